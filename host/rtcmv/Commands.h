// The subcommands of the rtcmv tool. Each returns the process exit status:
// 0 ok, 1 bad input data, 2 usage or I/O error.
#pragma once

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

enum ExitStatus { ExitOk = 0, ExitBadData = 1, ExitUsage = 2 };

int runDecode(const QStringList &arguments);
int runEncode(const QStringList &arguments);
int runCatalogue(const QStringList &arguments);

// One line on stderr, prefixed with the tool's name.
void reportError(const QString &text);

// Parses a list of message types such as "1,3,18-21"; false when it is not one.
bool parseTypeList(const QString &text, QVector<int> &types);
