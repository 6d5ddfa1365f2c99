// rtcmv on bad input: missing and unreadable files, usage errors, empty input, random bytes, and
// JSON Lines that cannot be encoded; JSON output stays valid for any text.
#include "tool_support.h"

#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QPair>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace ToolSupport;

TEST(ToolBadInput, FilesAndUsage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.rtcm2"));
    for (const char *command : {"decode", "encode"}) {
        for (const QString &path : {missing, dir.path()}) { // a directory opens but cannot be read
            const ToolRun run = runTool({command, path});
            EXPECT_EQ(run.status, 2) << command << " " << path.toStdString();
            EXPECT_TRUE(run.out.isEmpty()) << command;
            EXPECT_EQ(lines(run.err).size(), 1) << command << ": " << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(path.toUtf8())) << run.err.toStdString();
        }
    }
    // Packed input that ends inside a message: the whole messages decode, the rest is reported.
    const QByteArray sample = readFile(sourcePath("examples/sample.rtcm2"));
    const QByteArray packed = runTool({"encode", "--packed", sourcePath("examples/sample.jsonl")}).out;
    ASSERT_FALSE(packed.isEmpty());
    const ToolRun truncated = runTool({"decode", "--packed", "--format", "json"}, packed.left(packed.size() - 1));
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(lines(truncated.out).size(), 31);
    EXPECT_EQ(lines(truncated.err).size(), 1) << truncated.err.toStdString();
    // Output that cannot be written is an I/O error.
    const QByteArray sampleLines = readFile(sourcePath("examples/sample.jsonl"));
    const QList<QPair<QStringList, QByteArray>> writes = {
        {{"decode", "--format", "json"}, sample}, {{"encode"}, sampleLines}, {{"catalogue", "--json"}, {}}};
    for (const auto &write : writes) {
        const ToolRun full = runTool(write.first, write.second, QStringLiteral("/dev/full"));
        EXPECT_EQ(full.status, 2) << write.first[0].toStdString();
        EXPECT_EQ(lines(full.err).size(), 1) << full.err.toStdString();
    }
    for (const char *command : {"decode", "encode", "catalogue"}) {
        const ToolRun help = runTool({command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.startsWith(QByteArray("usage: rtcmv ") + command)) << help.out.toStdString();
    }
}

TEST(ToolBadInput, EmptyInputPrintsNothing)
{
    QTemporaryDir dir;
    QFile empty(dir.filePath(QStringLiteral("empty")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const QList<QStringList> runs = {
        {"decode"}, {"decode", "--format", "raw"}, {"decode", "--format", "json", "--packed"},
        {"decode", "--format", "json", empty.fileName()}, {"encode"}, {"encode", "--packed", empty.fileName()},
    };
    for (const QStringList &arguments : runs) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 0) << arguments.join(QLatin1Char(' ')).toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << arguments.join(QLatin1Char(' ')).toStdString();
    }
}

// Noise of every kind: any bytes, bytes that all carry six data bits (so the framer locks on
// noise now and then), and noise taken as packed messages (every header reaches the decoder).
TEST(ToolBadInput, RandomBytesGiveValidJsonLines)
{
    int published = 0, refused = 0;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        QByteArray noise(1 << 18, Qt::Uninitialized);
        for (char &c : noise)
            c = char(random());
        QByteArray dataBytes = noise;
        for (char &c : dataBytes)
            c = char(0x40 | (c & 0x3F));
        const struct
        {
            QByteArray input;
            QStringList options;
        } cases[] = {{noise, {}}, {dataBytes, {}}, {noise, {"--packed"}}};
        for (const auto &c : cases) {
            const ToolRun run = runTool(QStringList{"decode", "--format", "json"} + c.options, c.input);
            EXPECT_TRUE(run.status == 0 || run.status == 1) << "seed " << seed << ": " << run.status << " "
                                                            << run.err.right(2000).toStdString();
            for (const QByteArray &line : lines(run.out)) {
                const QJsonObject object = parseLine(line);
                if (object.contains(QLatin1String("event"))) {
                    ++refused;
                    EXPECT_EQ(object.keys(), (QStringList{"code", "event", "text"})) << line.toStdString();
                    EXPECT_LT(object.value(QLatin1String("code")).toInt(), 0);
                } else {
                    ++published;
                    EXPECT_TRUE(object.value(QLatin1String("Message_Type")).isDouble()) << line.toStdString();
                }
            }
        }
    }
    // The packed noise reaches the decoder: both outcomes must have been exercised.
    EXPECT_GT(published, 100);
    EXPECT_GT(refused, 100);

    // Text and raw printing of whatever noise decodes to.
    std::mt19937 random(4);
    QByteArray noise(1 << 16, Qt::Uninitialized);
    for (char &c : noise)
        c = char(random());
    for (const char *format : {"text", "raw"}) {
        const ToolRun run = runTool({"decode", "--packed", "--format", format}, noise);
        EXPECT_TRUE(run.status == 0 || run.status == 1) << format << ": " << run.err.right(2000).toStdString();
        EXPECT_FALSE(run.out.isEmpty()) << format;
    }
}

TEST(ToolBadInput, EncodeReportsAndSkipsBadLines)
{
    const QByteArray valid1 = R"({"Message_Type":3,"No_Of_Data_Words":4,"ECEF_X":1})";
    const QByteArray valid2 = R"({"Message_Type":1,"No_Of_Data_Words":2,"Corrections":[{"PRC":-5,"Satellite_Id":7}]})";
    const QList<QByteArray> bad = {
        R"({"Message_Type":3,)",                                                     // line 2
        R"({"Message_Type":14,"No_Of_Data_Words":1})",                               // 3: unknown type
        R"({"Message_Type":3,"No_Of_Data_Words":4,"Bogus":1})",                      // 4: unknown field
        R"({"Message_Type":1,"No_Of_Data_Words":2,"Corrections":[{"Bogus":1}]})",    // 5
        R"({"Message_Type":3,"No_Of_Data_Words":4,"Reference_Station_Id":1024})",    // 6: 10 bits
        R"({"Message_Type":1,"No_Of_Data_Words":2,"Corrections":[{"PRC":32768}]})",  // 7: 16 bits signed
        R"({"Message_Type":3,"No_Of_Data_Words":4,"Sequence_No_":-1})",              // 8: unsigned
        R"({"Message_Type":1,"No_Of_Data_Words":5,"Ns":2,"Corrections":[{},{},{}]})", // 9: Ns is 3
        R"({"Message_Type":1,"No_Of_Data_Words":5,"Corrections":[{},{}]})",          // 10: 3 expected
        R"({"Message_Type":3,"No_Of_Data_Words":3})",                                // 11: too few words
        R"([3])",                                                                    // 12
    };
    QByteArray input = valid1 + "\n";
    for (const QByteArray &line : bad)
        input += line + "\n";
    input += "\n" + valid2; // an empty line counts, and is no error; the last line has no '\n'

    const ToolRun run = runTool({"encode"}, input);
    EXPECT_EQ(run.status, 1);
    const QList<QByteArray> errors = lines(run.err);
    ASSERT_EQ(errors.size(), bad.size()) << run.err.toStdString();
    for (int i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(errors[i].startsWith(QStringLiteral("rtcmv: line %1: ").arg(i + 2).toUtf8())) << errors[i].toStdString();
    const ToolRun good = runTool({"encode"}, valid1 + "\n" + valid2 + "\n");
    EXPECT_EQ(good.status, 0) << good.err.toStdString();
    EXPECT_EQ(good.out.size(), 5 * (6 + 4));
    EXPECT_TRUE(run.out == good.out) << "the valid lines are not encoded as on their own";
}

// A count given as 0 disagrees with a non-empty text just as much as any other wrong count
// (it once was taken for "not given" and silently replaced).
TEST(ToolBadInput, EncodeRejectsAGivenZeroCountThatDisagrees)
{
    const ToolRun zero = runTool({"encode"}, R"({"Message_Type":23,"No_Of_Data_Words":6,"NAD":0,"Antenna_Descriptor":"abc"})");
    const ToolRun two = runTool({"encode"}, R"({"Message_Type":23,"No_Of_Data_Words":6,"NAD":2,"Antenna_Descriptor":"abc"})");
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(zero.status, 1) << "the line was encoded as: "
                              << runTool({"decode", "--format", "json"}, zero.out).out.toStdString();
    EXPECT_TRUE(zero.out.isEmpty());
}

// Type 16 text with control characters, quote, backslash, DEL, NUL and characters above 0x7F:
// JSON escapes and UTF-8, and back through encode to the same bytes.
TEST(ToolBadInput, JsonEscapingOfTexts)
{
    const QString message = QStringLiteral("a\x01\"\\\t\n") + QChar(0xE9) + QChar(0xFF) + QChar(0x7F) + QChar(0) +
                            QStringLiteral("z\x1F");
    ASSERT_EQ(message.size(), 12);
    const QJsonObject given{{"Message_Type", 16}, {"No_Of_Data_Words", 4}, {"Message", message}};
    const ToolRun encoded = runTool({"encode"}, QJsonDocument(given).toJson(QJsonDocument::Compact) + "\n");
    ASSERT_EQ(encoded.status, 0) << encoded.err.toStdString();
    const ToolRun decoded = runTool({"decode", "--format", "json"}, encoded.out);
    EXPECT_EQ(decoded.status, 0);
    ASSERT_EQ(lines(decoded.out).size(), 1);
    const QByteArray line = lines(decoded.out)[0];
    EXPECT_EQ(parseLine(line).value(QLatin1String("Message")).toString(), message);
    EXPECT_TRUE(line.contains(R"("a\u0001\"\\\t\n)" "\xC3\xA9\xC3\xBF" R"(\u007f\u0000z\u001f")")) << line.toStdString();
    for (const char c : line)
        EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20) << "raw control character in " << line.toStdString();
    EXPECT_TRUE(runTool({"encode"}, line + "\n").out == encoded.out);

    // No characters: an empty string; no corrections: an empty array.
    const ToolRun empty = runTool({"encode"}, R"({"Message_Type":16}
{"Message_Type":9})");
    const QList<QByteArray> emptyLines = lines(runTool({"decode", "--format", "json"}, empty.out).out);
    ASSERT_EQ(emptyLines.size(), 2);
    EXPECT_TRUE(emptyLines[0].endsWith(R"("Message_Length":0,"Message":""})")) << emptyLines[0].toStdString();
    EXPECT_TRUE(emptyLines[1].endsWith(R"("Ns":0,"Corrections":[]})")) << emptyLines[1].toStdString();
}
