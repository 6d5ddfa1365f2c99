// rtcmv encode and decode over generated messages of all 32 types: exact round trips, framed and
// packed, and streams damaged by garbage between messages or by single bit flips.
#include "tool_support.h"

#include <RTCMV_codec.h>

#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace ToolSupport;

namespace {

const std::vector<GeneratedMessage> &messages()
{
    static const std::vector<GeneratedMessage> generated = generateMessages(0x7001, 3);
    return generated;
}

// Checks decode output line by line against the messages expected, in order; refusals in the
// output are skipped when `refusalsAllowed`.
void expectDecoded(const QByteArray &output, const std::vector<const GeneratedMessage *> &expected,
                   bool refusalsAllowed = false)
{
    std::size_t next = 0;
    for (const QByteArray &line : lines(output)) {
        const QJsonObject object = parseLine(line);
        if (object.contains(QLatin1String("event"))) {
            EXPECT_TRUE(refusalsAllowed) << line.toStdString();
            continue;
        }
        ASSERT_LT(next, expected.size()) << "more messages than expected: " << line.left(200).toStdString();
        const GeneratedMessage &m = *expected[next++];
        if (object != m.json) { // the rest of the sequence would only repeat the failure
            ADD_FAILURE() << "message " << next - 1 << ", type " << m.type << "\n  decoded:  " << line.toStdString()
                          << "\n  expected: " << QJsonDocument(m.json).toJson(QJsonDocument::Compact).toStdString();
            return;
        }
        // Keys in the position order of the message's fields.
        QStringList order;
        const Nvt::Mesaro::RTCMV_record_info_s &info = *Nvt::Mesaro::RTCMV_message_info(m.type);
        for (uint32_t i = 0; i < info.fieldCount; ++i) {
            if (m.json.contains(QLatin1String(info.fields[i].name)))
                order << QLatin1String(info.fields[i].name);
        }
        EXPECT_EQ(topLevelKeys(line), order) << "type " << m.type;
    }
    EXPECT_EQ(next, expected.size()) << "messages missing from the output";
}

std::vector<const GeneratedMessage *> all()
{
    std::vector<const GeneratedMessage *> pointers;
    for (const GeneratedMessage &m : messages())
        pointers.push_back(&m);
    return pointers;
}

} // namespace

// Decoding gives each record's fields, and encoding those objects gives back the very bytes the
// codec's encoders and the framer's writer made, framed and packed; the tool's own output goes
// through encode and decode unchanged.
TEST(ToolRoundTrip, AllTypesFramedAndPacked)
{
    ASSERT_EQ(messages().size(), 3u * 32u);
    const QByteArray framed = framedStream(messages());
    const QByteArray packed = packedStream(messages());

    const ToolRun decoded = runTool({"decode", "--format", "json"}, framed);
    EXPECT_EQ(decoded.status, 0) << decoded.err.toStdString();
    EXPECT_TRUE(decoded.err.isEmpty()) << decoded.err.toStdString();
    expectDecoded(decoded.out, all());

    const ToolRun decodedPacked = runTool({"decode", "--packed", "--format", "json", "-"}, packed);
    EXPECT_EQ(decodedPacked.status, 0) << decodedPacked.err.toStdString();
    EXPECT_EQ(decodedPacked.out, decoded.out);

    const ToolRun encoded = runTool({"encode"}, jsonLines(messages()));
    EXPECT_EQ(encoded.status, 0) << encoded.err.toStdString();
    EXPECT_TRUE(encoded.out == framed) << "encode differs from the writer's stream";
    const ToolRun encodedPacked = runTool({"encode", "--packed", "-"}, jsonLines(messages()));
    EXPECT_EQ(encodedPacked.status, 0) << encodedPacked.err.toStdString();
    EXPECT_TRUE(encodedPacked.out == packed) << "encode --packed differs from the encoders' words";

    const ToolRun again = runTool({"encode"}, decoded.out);
    EXPECT_EQ(again.status, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out == framed);
    const ToolRun againPacked = runTool({"encode", "--packed"}, decoded.out);
    EXPECT_TRUE(againPacked.out == packed);
    EXPECT_EQ(runTool({"decode", "--format", "json"}, again.out).out, decoded.out);
    EXPECT_EQ(runTool({"decode", "--format", "json", "--packed"}, againPacked.out).out, decoded.out);

    // A file larger than the tool's read size: messages across read boundaries come out whole.
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("large.rtcm2")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const int copies = (1 << 20) / framed.size() + 2;
    for (int i = 0; i < copies; ++i)
        file.write(framed);
    file.close();
    const ToolRun large = runTool({"decode", "--format", "json", file.fileName()});
    EXPECT_EQ(large.status, 0);
    EXPECT_TRUE(large.out == decoded.out.repeated(copies)) << "a " << copies * framed.size() << " byte file";
}

// Garbage between messages (bytes the framer ignores and bytes it reads as data) never makes a
// wrong message. A message with garbage right after it has nothing to confirm it (a damaged one
// would look the same), so the framer may hold it back; all others come out, in order.
TEST(ToolRoundTrip, GarbageBetweenMessages)
{
    std::vector<int> offsets;
    const QByteArray framed = framedStream(messages(), &offsets);
    std::mt19937 random(7);
    QByteArray stream;
    std::vector<bool> beforeGarbage(messages().size(), false);
    for (std::size_t i = 0; i < messages().size(); ++i) {
        const int garbage = int(random() % 40);
        for (int k = 0; k < garbage; ++k)
            stream += char(random() % 2 ? 0x40 | (random() & 0x3F) : random() & 0xFF);
        if (i > 0 && garbage > 0)
            beforeGarbage[i - 1] = true;
        stream += framed.mid(offsets[i], offsets[i + 1] - offsets[i]);
    }
    const ToolRun run = runTool({"decode", "--format", "json"}, stream);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    std::size_t next = 0;
    for (const QByteArray &line : lines(run.out)) {
        const QJsonObject object = parseLine(line);
        for (; next < messages().size() && messages()[next].json != object; ++next)
            EXPECT_TRUE(beforeGarbage[next]) << "message " << next << " missing";
        ASSERT_LT(next++, messages().size()) << "not a message sent: " << line.left(200).toStdString();
    }
    EXPECT_EQ(next, messages().size());
}

// A flipped bit drops its message (or has it refused); the messages after it still decode. The
// last two parity bits of a message also count in the parity of the next message's first word.
TEST(ToolRoundTrip, SingleBitFlips)
{
    std::vector<int> offsets;
    QByteArray stream = framedStream(messages(), &offsets);
    std::mt19937 random(11);
    std::vector<const GeneratedMessage *> intact;
    for (std::size_t i = 0; i < messages().size(); ++i) {
        if (i % 3 != 1) {
            intact.push_back(&messages()[i]);
            continue;
        }
        // Six data bits per byte, the first sent in bit 0; D29 and D30 are bits 4 and 5 of the
        // last byte of a word.
        int byte, bit;
        if (i % 9 == 4) {
            byte = offsets[i + 1] - 1;
            bit = i % 2 ? 4 : 5;
        } else {
            byte = offsets[i] + int(random() % unsigned(offsets[i + 1] - offsets[i]));
            bit = int(random() % 6);
        }
        stream[byte] = char(stream[byte] ^ (1 << bit));
    }
    const ToolRun run = runTool({"decode", "--format", "json", "--stats"}, stream);
    EXPECT_LE(run.status, 1) << run.err.toStdString();
    expectDecoded(run.out, intact, true);
    // Each damaged message failed parity at least once, and only the intact ones were framed.
    const QRegularExpressionMatch counts =
        QRegularExpression(QStringLiteral("(\\d+) parity failures, (\\d+) messages")).match(QString::fromUtf8(run.err));
    ASSERT_TRUE(counts.hasMatch()) << run.err.toStdString();
    EXPECT_GE(counts.captured(1).toInt(), int(messages().size() - intact.size()));
    EXPECT_EQ(counts.captured(2).toInt(), int(intact.size()));
}
