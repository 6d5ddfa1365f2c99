// The options of the commands that read live sources: NTRIP version and credentials, the GGA
// sentence for the caster, reconnects.
#pragma once

#include <ByteSource.h>

#include <QtCore/QCommandLineParser>

// The options' help lines.
extern const char sourceOptionsHelp[];

void addSourceOptions(QCommandLineParser &parser);
// ExitOk, or the usage error reported for `command`.
int readSourceOptions(const QCommandLineParser &parser, const QString &command, SourceOptions &options);
