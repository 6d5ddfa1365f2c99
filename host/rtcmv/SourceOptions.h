// The options of the commands that read live sources: NTRIP version and credentials, the GGA
// sentence for the caster, reconnects.
#pragma once

#include <ByteSource.h>

#include <QtCore/QCommandLineParser>

#include <memory>
#include <string>

// A command's help with the options' help lines in place of its "%SOURCES%".
std::string withSourceOptionsHelp(const char *help);

void addSourceOptions(QCommandLineParser &parser);
// ExitOk, or the usage error reported for `command`.
int readSourceOptions(const QCommandLineParser &parser, const QString &command, SourceOptions &options);
// The command's input made and opened, with SIGINT and SIGTERM ending the run cleanly from here
// on; null, reported, when it cannot be used (a malformed URL, a file or port that does not open).
std::unique_ptr<ByteSource> openSource(const QString &input, const SourceOptions &options);
