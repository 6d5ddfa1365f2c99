// The subcommands of the rtcmv tool. Each returns the process exit status:
// 0 ok, 1 bad input data, 2 usage or I/O error.
#pragma once

#include <QtCore/QCommandLineParser>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

enum ExitStatus { ExitOk = 0, ExitBadData = 1, ExitUsage = 2 };

int runDecode(const QStringList &arguments);
int runEncode(const QStringList &arguments);
int runCatalogue(const QStringList &arguments);
int runSources(const QStringList &arguments);
int runMonitor(const QStringList &arguments);
#ifdef RTCMV_HAVE_CONVERT
int runConvert(const QStringList &arguments);
#endif

// One line on stderr, prefixed with the tool's name.
void reportError(const QString &text);
// A usage error: its line, then where the help is.
int usageError(const QString &command, const QString &text);

// Reads a command's options the GNU way (`--opt value`, `--opt=value`, `--` ends the options),
// with --help/-h, and at most one operand, the input. ExitOk to go on with `parser` and `input`
// ("-" when none is given); -1 once the help is printed; else ExitUsage, reported.
int parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, const QString &command,
                     const char *help, QString *input);

// The input's file descriptor (0 for "-", standard input); -1, reported, when it cannot be opened.
int openInput(const QString &path);

// Parses a list of message types such as "1,3,18-21"; false when it is not one.
bool parseTypeList(const QString &text, QVector<int> &types);
