// Support for the rtcmv tool tests: running the program, reading JSON Lines, and streams of
// generated messages of every type with the JSON each one must decode to.
#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QStringList>

#include <cstdint>
#include <vector>

namespace ToolSupport {

struct ToolRun
{
    int status = -1;       // exit status; -1 when the program crashed or did not finish
    QByteArray out;
    QByteArray err;
};

// Runs rtcmv with `input` on its standard input and its standard output into `outputFile` when
// one is given. Sanitizer reports exit with status 86, so they cannot pass for the tool's own 1 or 2.
ToolRun runTool(const QStringList &arguments, const QByteArray &input = QByteArray(),
                const QString &outputFile = QString());

// The lines of a text, without their '\n'.
QList<QByteArray> lines(const QByteArray &text);
// One JSON Lines line as an object; records a test failure when it is not one.
QJsonObject parseLine(const QByteArray &line);
// The keys of a JSON object text at its top level, in the order written.
QStringList topLevelKeys(const QByteArray &json);

QByteArray readFile(const QString &path);
// A recording of ../shared/testdata, empty when the folder is absent.
QString recordingPath(const char *name);
QString sourcePath(const char *relative);
// The records of the validated message description, in registration order.
QJsonArray descriptionRecords();

// A message generated from a random valid record: its packed data words (fill bits zero) and
// the object `rtcmv decode --format json` must print for it, built from the record's fields.
struct GeneratedMessage
{
    uint32_t type;
    std::vector<uint8_t> packed;
    QJsonObject json;
};

// `perType` rounds of one message of each of the 32 types (in dispatch order), from one seed.
std::vector<GeneratedMessage> generateMessages(uint64_t seed, int perType);
// The messages' packed words back to back.
QByteArray packedStream(const std::vector<GeneratedMessage> &messages);
// The transmission bytes of the messages in one parity chain; `offsets` (when given) receives where
// each message starts, plus the end.
QByteArray framedStream(const std::vector<GeneratedMessage> &messages, std::vector<int> *offsets = nullptr);
// The objects as JSON Lines, one line each.
QByteArray jsonLines(const std::vector<GeneratedMessage> &messages);

} // namespace ToolSupport
