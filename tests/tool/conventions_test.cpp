// rtcmv as a command-line citizen: texts of messages never reach a terminal raw, exit statuses say
// why on stderr, encode refuses what it cannot write faithfully, options follow GNU conventions.
#include "tool_support.h"

#include <RTCMV_codec.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>

#include <gtest/gtest.h>

using namespace ToolSupport;
using namespace Nvt::Mesaro;

namespace {

QByteArray jsonLine(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// Every byte a terminal acts on, a line break that would start a fake message line, and bytes
// above 0x7E, in a text of every message type that carries one.
TEST(ToolConventions, OutputSafety)
{
    const QString nasty = QStringLiteral("A\x1b[2J\nMessage_Type_1 66;1\r\t\\") + QChar(0xE9) + QChar(0x7F) + QChar(0x9B);
    const QByteArray escaped = R"(A\x1b[2J\nMessage_Type_1 66;1\r\t\\\xe9\x7f\x9b)";
    int texts = 0;
    for (uint32_t type = 0; type < 64; ++type) {
        const RTCMV_record_info_s *info = RTCMV_message_info(type);
        for (uint32_t i = 0; info != nullptr && i < info->fieldCount; ++i) {
            if (info->fields[i].what != RTCMV_FIELD_TEXT || info->fields[i].conditional)
                continue;
            ++texts;
            SCOPED_TRACE(info->fields[i].name);
            const QJsonObject given{{"Message_Type", int(type)}, {QLatin1String(info->fields[i].name), nasty}};
            const ToolRun encoded = runTool({"encode"}, jsonLine(given));
            ASSERT_EQ(encoded.status, 0) << encoded.err.toStdString();
            // JSON keeps the text exactly (with the NULs that pad it to whole words).
            const ToolRun json = runTool({"decode", "--format", "json"}, encoded.out);
            ASSERT_EQ(lines(json.out).size(), 1);
            const QString back = parseLine(json.out).value(QLatin1String(info->fields[i].name)).toString();
            EXPECT_TRUE(back.startsWith(nasty) && back.mid(nasty.size()).count(QChar(0)) == back.size() - nasty.size());
            for (const char *format : {"text", "raw"}) {
                const ToolRun run = runTool({"decode", "--format", format}, encoded.out);
                EXPECT_EQ(run.status, 0) << format;
                EXPECT_TRUE(run.out.contains(escaped)) << format << ": " << run.out.toStdString();
                const QByteArray withoutLineEnds = QByteArray(run.out).replace('\n', "");
                for (const char c : withoutLineEnds)
                    ASSERT_TRUE(c >= 0x20 && c < 0x7F) << format << ": byte " << int(c) << " in " << run.out.toStdString();
                if (QByteArray(format) == "raw") {
                    EXPECT_EQ(lines(run.out).size(), 1) << run.out.toStdString();
                }
            }
        }
    }
    EXPECT_GE(texts, 2);
}

// Each case: the tool's status and the one line of stderr that says why (empty: no stderr).
TEST(ToolConventions, ExitStatuses)
{
    const QByteArray sample = readFile(sourcePath("examples/sample.rtcm2"));
    QByteArray unknownType = runTool({"encode", "--packed"}, R"({"Message_Type":3})").out;
    ASSERT_EQ(unknownType.size(), 18);
    unknownType[1] = char(14 << 2); // a type the decoder does not know: refused
    const struct
    {
        QStringList arguments;
        QByteArray input;
        int status;
        QByteArray why;
    } cases[] = {
        {{"decode", "--quiet"}, sample, 0, ""},
        {{"decode", "--quiet", "--types", "3"}, sample, 0, ""},
        {{"decode", "--quiet", "--exclude", "1"}, sample, 0, ""},
        {{"decode", "--quiet", "--packed"}, unknownType, 1, "rtcmv: the decoder refused 1 messages"},
        {{"decode", "--quiet", "--packed"}, unknownType.left(17), 1, "rtcmv: 17 bytes at the end do not make a whole message"},
        {{"decode", "--quiet", "--packed", "--types", "3"}, unknownType, 0, ""},
        {{"encode"}, R"({"Message_Type":3})" "\n\n", 0, ""},
        {{"encode"}, "\n{}\n", 1, "rtcmv: line 2: Message_Type is missing; skipped"},
    };
    for (const auto &c : cases) {
        const ToolRun run = runTool(c.arguments, c.input);
        const std::string what = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.status, c.status) << what;
        EXPECT_EQ(run.err, c.why.isEmpty() ? QByteArray() : c.why + '\n') << what;
    }
    // Without --quiet the refusal itself is the reason, on standard output.
    const ToolRun loud = runTool({"decode", "--packed"}, unknownType);
    EXPECT_EQ(loud.status, 1);
    EXPECT_TRUE(loud.out.startsWith("! ")) << loud.out.toStdString();
}

// One run over lines that must each be encoded or refused with their number and a sentence naming
// the field; what is encoded must decode to the expected fields.
TEST(ToolConventions, EncodeStrictness)
{
    const struct
    {
        QByteArray line;
        QByteArray refusal;  // empty: encoded
        QJsonObject decoded; // of an encoded line: some of its fields
    } cases[] = {
        {R"({"Message_Type":3})", "", {{"Preamble", 102}, {"No_Of_Data_Words", 4}}},
        {R"({"Message_Type":3,"Preamble":102,"No_Of_Data_Words":4})", "", {{"No_Of_Data_Words", 4}}},
        {R"({"Message_Type":16,"Message":"HELLO"})", "", {{"No_Of_Data_Words", 2}, {"Message", QStringLiteral("HELLO") + QChar(0)}}},
        {R"({"Message_Type":16,"Message":"HELLO!"})", "", {{"No_Of_Data_Words", 2}, {"Message", "HELLO!"}}},
        {R"({"Message_Type":1,"Corrections":[{},{},{}]})", "", {{"No_Of_Data_Words", 5}, {"Ns", 3}}},
        {R"({"Message_Type":3,"Preamble":103})", "Preamble must be 102 (0x66)", {}},
        {R"({"Message_Type":3,"ECEF_X":1,"ECEF_X":2})", "duplicate key \"ECEF_X\"", {}},
        {R"({"Message_Type":1,"Corrections":[{"PRC":1,"RRC":2,"PRC":3}]})", "duplicate key \"PRC\"", {}},
        {R"({"Message_Type":3,"Bogus":1})", "unknown key \"Bogus\"", {}},
        {R"({"Message_Type":3,"No_Of_Data_Words":1})", "does not fit in the 1 data words of No_Of_Data_Words (RTCMV_ERR_MESSAGE_TYPE_3_", {}},
        {R"({"Message_Type":16,"No_Of_Data_Words":1,"Message":"HELLO"})", "Message has 5 values", {}},
        {R"({"Message_Type":1,"Ns":2,"Corrections":[{},{},{}]})", "no No_Of_Data_Words holds the fields", {}},
    };
    QByteArray input;
    for (const auto &c : cases)
        input += c.line + '\n';
    const ToolRun run = runTool({"encode"}, input);
    EXPECT_EQ(run.status, 1);
    const QList<QByteArray> decoded = lines(runTool({"decode", "--format", "json"}, run.out).out);
    const QList<QByteArray> refusals = lines(run.err);
    int next = 0, refused = 0;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        SCOPED_TRACE(cases[i].line.toStdString());
        if (!cases[i].refusal.isEmpty()) {
            ASSERT_LT(refused, refusals.size());
            const QByteArray &text = refusals[refused++];
            EXPECT_TRUE(text.startsWith("rtcmv: line " + QByteArray::number(i + 1) + ": ")) << text.toStdString();
            EXPECT_TRUE(text.contains(cases[i].refusal)) << text.toStdString();
            continue;
        }
        ASSERT_LT(next, decoded.size());
        const QJsonObject object = parseLine(decoded[next++]);
        for (auto it = cases[i].decoded.begin(); it != cases[i].decoded.end(); ++it)
            EXPECT_EQ(object.value(it.key()), it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(next, decoded.size());
    EXPECT_EQ(refused, refusals.size()) << run.err.toStdString();

    // A line over the limit is refused by its number; the lines around it are encoded.
    const QByteArray huge = R"({"Message_Type":16,"Message":")" + QByteArray((16 << 20) + 1, 'A') + "\"}";
    const ToolRun longLine = runTool({"encode"}, cases[0].line + '\n' + huge + '\n' + cases[0].line);
    EXPECT_EQ(longLine.status, 1);
    EXPECT_EQ(longLine.err, QByteArray("rtcmv: line 2: longer than 16 MiB; skipped\n"));
    EXPECT_EQ(lines(runTool({"decode", "--format", "json"}, longLine.out).out).size(), 2);
}

// The same request written every way GNU allows gives the same output; a usage error is one line
// and a pointer to the help.
TEST(ToolConventions, OptionParsing)
{
    QTemporaryDir dir;
    const QString dashFile = dir.filePath(QStringLiteral("-x.rtcm2"));
    ASSERT_TRUE(QFile::copy(sourcePath("examples/sample.rtcm2"), dashFile));
    const QByteArray expected = runTool({"decode", "--format", "json", "--types", "3,24", dashFile}).out;
    ASSERT_FALSE(expected.isEmpty());
    const QList<QStringList> same = {
        {"decode", "--format=json", "--types=3,24", dashFile},
        {"decode", dashFile, "--types", "3,24", "--format", "json"},
        {"decode", "--format", "json", "--types", "3", "--types", "24", "--", dashFile},
    };
    for (const QStringList &arguments : same) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 0) << arguments.join(QLatin1Char(' ')).toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out == expected) << arguments.join(QLatin1Char(' ')).toStdString();
    }
    const struct
    {
        QStringList arguments;
        QByteArray error;
    } usage[] = {
        {{}, "no command given"},
        {{"transcode"}, "unknown command 'transcode'"},
        {{"decode", "--bogus"}, "unknown option 'bogus'"},
        {{"decode", "--format"}, "missing value after '--format'"},
        {{"decode", "--format=xml"}, "unknown format 'xml' (text, raw or json)"},
        {{"decode", "--types", "1,x"}, "bad list of message types '1,x'"},
        {{"decode", "--types", "14"}, "message type 14 is not one the decoder knows"},
        {{"decode", "a.rtcm2", "b.rtcm2"}, "unexpected argument 'b.rtcm2'"},
        {{"decode", "--", dashFile, "--stats"}, "unexpected argument '--stats'"},
        {{"encode", "--packed=yes"}, "unexpected value after '--packed'"},
        {{"catalogue", "extra"}, "unexpected argument 'extra'"},
    };
    for (const auto &u : usage) {
        const ToolRun run = runTool(u.arguments);
        const QByteArray command = u.arguments.isEmpty() || u.error.startsWith("unknown command")
                                       ? QByteArray()
                                       : u.arguments[0].toUtf8() + ' ';
        EXPECT_EQ(run.status, 2) << u.error.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << u.error.toStdString();
        EXPECT_EQ(run.err, "rtcmv: " + u.error + "\ntry 'rtcmv " + command + "--help'\n");
    }
}

} // namespace
