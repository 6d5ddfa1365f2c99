// rtcmv as a command-line citizen, in tables of runs: output formats compared whole under a locale
// the output must not follow, texts of messages escaped in every format, type filters, the counts
// of --stats, GNU option forms, exit statuses and the one line on stderr that says why; encode's
// strictness; the catalogue, as the message description it was generated from.
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ToolRun
{
    int status = -1; // exit status; -1 when the program crashed or did not finish
    QByteArray out, err;
};

// Runs rtcmv with `input` on its standard input, its standard output into `outputFile` when one
// is given. The environment asks for a German number locale (decimal comma, digit grouping): the
// tool's output must not follow it. Sanitizer reports exit with status 86, so they cannot pass for
// the tool's own 1 or 2.
ToolRun runTool(const QStringList &arguments, const QByteArray &input = QByteArray(),
                const QString &outputFile = QString())
{
    ToolRun run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
        environment.insert(name, environment.value(name) + (environment.contains(name) ? ":" : "") + "exitcode=86");
    environment.remove("LC_ALL");
    environment.insert("LANG", "de_DE.UTF-8");
    environment.insert("LC_NUMERIC", "de_DE.UTF-8");
    environment.insert("LC_MESSAGES", "C"); // system error texts stay as the table has them
    process.setProcessEnvironment(environment);
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(RTCMV_TOOL, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << "rtcmv " << arguments.join(' ').toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    return run;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

// A DGNSS correction with a scale factor, symbols and numbers a locale would group; no
// corrections; an empty text; a text of every message type that carries one, with characters a
// terminal acts on, a line break that would start a fake message line, quote, backslash, DEL and
// characters above 0x7E.
const QByteArray kLines = R"({"Message_Type":1,"Reference_Station_Id":1023,"Modified_Z_Count":1200,"Corrections":[{"Scale_Factor":1,"UDRE":2,"Satellite_Id":7,"PRC":-5,"RRC":3,"Issue_Of_Data":71}]}
{"Message_Type":3,"ECEF_X":-123456789,"ECEF_Y":1,"ECEF_Z":2}
{"Message_Type":9}
{"Message_Type":16}
{"Message_Type":16,"Message":"A\u0001\u001b[2J\nMessage_Type_1 66;1\r\t\\\"\u00e9\u007f\u009bz\u001f\u0000"}
{"Message_Type":23,"Antenna_Descriptor":"\n\u00ff"}
{"Message_Type":41,"Datum_Name":"\u001b\\"}
)";

const QByteArray kType1Text = R"(Message Type 1 - Differential GPS Corrections at 2026-12-06T14:11:42.000Z
  Preamble: 66
  Message Type: 1
  Reference Station Id: 1023
  Modified Z-Count: 1200
  Sequence No.: 0
  No. Of Data Words: 2
  Station Health: UDRE Scale Factor = 1
  Ns: 1
  Corrections [0]: DGNSS
    Scale Factor: 0.32 m
    UDRE: GT 4 m and LE 8 m
    Satellite Id: 7
    PRC: -5
    RRC: 3
    Issue Of Data: 71
)";

const QByteArray kRaw = R"(Message_Type_1 66;1;1023;1200;0;2;00;1;submsg
  DGNSS 01;02;7;-5;3;71
Message_Type_3 66;3;0;0;0;4;00;-123456789;1;2
Message_Type_9 66;9;0;0;0;0;00;0;
Message_Type_16 66;16;0;0;0;0;00;0;
Message_Type_16 66;16;0;0;0;12;00;36;A\x01\x1b[2J\nMessage_Type_1 66;1\r\t\\"\xe9\x7f\x9bz\x1f
Message_Type_23 66;23;0;0;0;2;00;00;00;00;2;\n\xff;0;00;0;
Message_Type_41 66;41;0;0;0;2;00;00;00;00;02;\x1b\\
)";

const QByteArray kJsonTexts = R"({"Preamble":102,"Message_Type":9,"Reference_Station_Id":0,"Modified_Z_Count":0,"Sequence_No_":0,"No_Of_Data_Words":0,"Station_Health":0,"Ns":0,"Corrections":[]}
{"Preamble":102,"Message_Type":16,"Reference_Station_Id":0,"Modified_Z_Count":0,"Sequence_No_":0,"No_Of_Data_Words":0,"Station_Health":0,"Message_Length":0,"Message":""}
{"Preamble":102,"Message_Type":16,"Reference_Station_Id":0,"Modified_Z_Count":0,"Sequence_No_":0,"No_Of_Data_Words":12,"Station_Health":0,"Message_Length":36,"Message":"A\u0001\u001b[2J\nMessage_Type_1 66;1\r\t\\\")" "\xC3\xA9\\u007f\xC2\x9Bz\\u001f\\u0000\"}\n";

// The lines above encoded, framed and packed, and decoded again as JSON Lines; the packed type 3
// message made type 14 (a GPS time of week for the RTCM2X decoder) and type 60, which no decoder knows.
struct Streams
{
    QByteArray framed, packed, json, type14, type60, short3; // short3: a type 3 message of one data word
};

const Streams &streams()
{
    static const Streams s = [] {
        const ToolRun framed = runTool({"encode"}, kLines), packed = runTool({"encode", "--packed"}, kLines);
        EXPECT_EQ(framed.status + packed.status, 0) << framed.err.toStdString() << packed.err.toStdString();
        QByteArray short3 = packed.out.mid(12, 9);
        short3[5] = char((1 << 3) | (short3[5] & 7)); // the data word count, above the health bits
        return Streams{framed.out, packed.out, runTool({"decode", "--format", "json"}, framed.out).out,
                       packed.out.mid(12, 18).replace(1, 1, "\x38"), packed.out.mid(12, 18).replace(1, 1, "\xF0"), short3};
    }();
    return s;
}

// Output compared whole; "X..." asks only for the start X, "...X" for X anywhere, "*" for anything.
struct Run
{
    QStringList arguments;
    QByteArray input;
    int status;
    QByteArray out, err;
    QString outputFile = QString();
};

void expectRuns(const std::vector<Run> &runs)
{
    for (const Run &r : runs) {
        const ToolRun run = runTool(r.arguments, r.input, r.outputFile);
        const std::string what = "rtcmv " + r.arguments.join(' ').toStdString();
        EXPECT_EQ(run.status, r.status) << what;
        const bool outOk = r.out == "*" || (r.out.startsWith("...") ? run.out.contains(r.out.mid(3))
                                            : r.out.endsWith("...") ? run.out.startsWith(r.out.chopped(3))
                                                                    : run.out == r.out);
        EXPECT_TRUE(outOk) << what << " printed:\n" << run.out.toStdString();
        EXPECT_EQ(run.err.toStdString(), r.err.toStdString()) << what;
    }
}

QByteArray usage(const char *command, const char *why)
{
    return QByteArray("rtcmv: ") + why + "\ntry 'rtcmv " + command + "--help'\n";
}

} // namespace

TEST(ToolConventions, FormatsFiltersAndCounts)
{
    const Streams &s = streams();
    const QList<QByteArray> raw = kRaw.split('\n');
    const QByteArray raw3 = raw[2] + '\n', raw1to3 = raw[0] + '\n' + raw[1] + '\n' + raw3;
    const QString sample = MESARO_SOURCE_DIR "/examples/sample";
    expectRuns({
        {{"decode", "--types", "1", "--time-ref", "2026-12-06T14:00:00Z"}, s.framed, 0, kType1Text, ""},
        {{"decode", "--types", "41"}, s.framed, 0, "...\n  Datum Name: \"\\x1b\\\\\"\n", ""},
        {{"decode", "--format", "raw"}, s.framed, 0, kRaw, ""},
        {{"decode", "--format=json", "--types=9,16-22"}, s.framed, 0, kJsonTexts, ""},
        {{"decode", "--format", "json", "--packed", "-"}, s.packed, 0, s.json, ""},
        {{"encode"}, s.json, 0, s.framed, ""},
        {{"encode", sample + ".jsonl"}, "", 0, readFile(sample + ".rtcm2"), ""},
        // Type filters; the same request written every way GNU allows.
        {{"decode", "--format=raw", "--types=3"}, s.framed, 0, raw3, ""},
        {{"decode", "-", "--types", "3", "--format", "raw"}, s.framed, 0, raw3, ""},
        {{"decode", "--format", "raw", "--types", "1", "--types", "3", "--", "-"}, s.framed, 0, raw1to3, ""},
        {{"decode", "--format", "raw", "--types", "1,3", "--exclude", "1"}, s.framed, 0, raw3, ""},
        {{"decode", "--format", "raw", "--exclude", "1,9,16-23,41"}, s.framed, 0, raw3, ""},
        {{"decode", "--packed", "--types", "3"}, s.type14, 0, "", ""}, // switched off: skipped, not refused
        // A type the decoder has no record for can be filtered too: skipped, not refused.
        {{"decode", "--quiet", "--packed", "--exclude", "14"}, s.packed + s.type14, 0, "", ""},
        {{"decode", "--packed", "--types", "60"}, s.packed + s.type14, 0, "", ""},
        {{"decode", "--quiet", "--stats", "--exclude", "3,23,41"}, s.framed, 0, "",
         "messages: 4 decoded, 0 refused, 3 skipped (types switched off)\n  Message_Type_1     1\n"
         "  Message_Type_9     1\n  Message_Type_16    2\nframing: 180 bytes (0 ignored), 36 words, 0 parity failures, "
         "7 messages, 0 resyncs, 1 released unconfirmed, 0 dropped unconfirmed\n"},
        // A type 14 message sets the time of the messages after it (its words read as week 994, hour
        // 144, Z-count 0: the latest week 994 + 1024 k not after the host clock's week).
        {{"decode", "--packed", "--stats", "--format", "values"}, s.type14 + s.packed, 0, "*",
         "messages: 8 decoded, 0 refused\n  Message_Type_1     1\n"
         "  Message_Type_3     1\n  Message_Type_9     1\n  Message_Type_16    2\n  Message_Type_23    1\n"
         "  Message_Type_41    1\n  Message_Type_14    1\npacked input: 8 messages\n"
         "time reference: the stream's GPS time of week (type 14: week 2018, from 2018-09-14T23:59:42.000Z)\n"
         "station 0: lat 0.000000961, lon 179.999999536, height -5143569.1100 m (ECEF -1234567.8900 0.0100 0.0200 m, "
         "type 3)\n"},
        // A type no decoder knows is counted, not refused; a refusal sets the exit status.
        {{"decode", "--quiet", "--stats", "--packed"}, s.packed + s.type60 + s.short3, 1, "",
         "messages: 7 decoded, 1 refused, 1 of types no decoder knows (shown as words)\n  Message_Type_1     1\n"
         "  Message_Type_3     1\n  Message_Type_9     1\n  Message_Type_16    2\n  Message_Type_23    1\n"
         "  Message_Type_41    1\n  Message_Type_60    1 (type unknown)\n"
         "  refused -124 RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_EXT_BUFFER_OVERFLOW: 1\n"
         "packed input: 9 messages\nstation 0: lat 0.000000961, lon 179.999999536, height -5143569.1100 m "
         "(ECEF -1234567.8900 0.0100 0.0200 m, type 3)\nrtcmv: the decoder refused 1 messages\n"},
    });
}

TEST(ToolConventions, ExitStatusesAndFailureTexts)
{
    const Streams &s = streams();
    const QByteArray refusal =
        R"({"event":4,"code":-124,"text":"RTCMV: RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_EXT_BUFFER_OVERFLOW"})" "\n";
    expectRuns({
        {{"decode", "--packed"}, s.short3, 1, "! RTCMV: RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_EXT_BUFFER_OVERFLOW (-124)\n", ""},
        {{"decode", "--packed", "--format", "json"}, s.short3, 1, refusal, ""},
        // A type no decoder knows: its header and words in every format, exit status 0.
        {{"decode", "--packed"}, s.type60, 0,
         "Message Type 60 - type unknown to the decoders\n  Preamble: 66\n  Message Type: 60\n  Reference Station Id: 0\n"
         "  Modified Z-Count: 0\n  Sequence No.: 0\n  No. Of Data Words: 4\n  Station Health: 00\n"
         "  Words: F8A432 EB0000 000100 000002\n", ""},
        {{"decode", "--packed", "--format", "raw"}, s.type60, 0,
         "Message_Type_60 66;60;0;0;0;4;00;F8A432;EB0000;000100;000002\n", ""},
        {{"decode", "--packed", "--format", "json"}, s.type60, 0,
         R"({"Preamble":102,"Message_Type":60,"Reference_Station_Id":0,"Modified_Z_Count":0,"Sequence_No_":0,)"
         R"("No_Of_Data_Words":4,"Station_Health":0,"words":["F8A432","EB0000","000100","000002"]})" "\n", ""},
        // A type of the second format goes to its decoder: a time of week of four data words
        // (the first one read, the rest skipped as the message's length says).
        {{"decode", "--packed", "--format", "raw"}, s.type14, 0, "Message_Type_14 66;14;0;0;0;4;00;994;144;50\n", ""},
        {{"decode", "--quiet", "--packed"}, s.type14.left(17), 1, "", "rtcmv: 17 bytes at the end do not make a whole message\n"},
        {{"decode", "--packed", "--format", "raw"}, s.packed.chopped(1), 1, kRaw.left(kRaw.lastIndexOf("Message_Type_41")),
         "rtcmv: 11 bytes at the end do not make a whole message\n"},
        {{"decode"}, "", 0, "", ""},
        {{"encode", "--packed"}, "\n\n", 0, "", ""},
        {{"decode", "--help"}, "", 0, "usage: rtcmv decode ...", ""},
        {{"encode", "--help"}, "", 0, "usage: rtcmv encode ...", ""},
        {{"catalogue", "--help"}, "", 0, "usage: rtcmv catalogue ...", ""},
        {{"decode", "/nonexistent/x"}, "", 2, "", "rtcmv: cannot open /nonexistent/x: No such file or directory\n"},
        {{"encode", "/nonexistent/x"}, "", 2, "", "rtcmv: cannot open /nonexistent/x: No such file or directory\n"},
        {{"decode", "/"}, "", 2, "", "rtcmv: cannot read /: Is a directory\n"},
        {{"encode", "/"}, "", 2, "", "rtcmv: cannot read /\n"},
        {{"decode", "--format", "json"}, s.framed, 2, "*", "rtcmv: cannot write the output\n", "/dev/full"},
        {{"encode"}, kLines, 2, "*", "rtcmv: cannot write the output\n", "/dev/full"},
        {{"catalogue", "--json"}, "", 2, "*", "rtcmv: cannot write the output\n", "/dev/full"},
        {{}, "", 2, "", usage("", "no command given")},
        {{"transcode"}, "", 2, "", usage("", "unknown command 'transcode'")},
        {{"decode", "--bogus"}, "", 2, "", usage("decode ", "unknown option 'bogus'")},
        {{"decode", "--format"}, "", 2, "", usage("decode ", "missing value after '--format'")},
        {{"decode", "--format=xml"}, "", 2, "", usage("decode ", "unknown format 'xml' (text, raw, json, values or csv)")},
        {{"decode", "--types", "1,x"}, "", 2, "", usage("decode ", "bad list of message types '1,x'")},
        {{"decode", "--exclude", "1,64"}, "", 2, "", usage("decode ", "bad list of message types '1,64'")},
        {{"decode", "a", "b"}, "", 2, "", usage("decode ", "unexpected argument 'b'")},
        {{"decode", "--", "-", "--stats"}, "", 2, "", usage("decode ", "unexpected argument '--stats'")},
        {{"encode", "--packed=yes"}, "", 2, "", usage("encode ", "unexpected value after '--packed'")},
        {{"catalogue", "extra"}, "", 2, "", usage("catalogue ", "unexpected argument 'extra'")},
    });
}

// One run over lines that must each be encoded or refused with their number and the reason; what
// is encoded must decode to the fields given, with what the encoder works out.
TEST(ToolConventions, EncodeStrictness)
{
    const struct
    {
        QByteArray line;
        QByteArray result; // refused: the reason; encoded: part of its decoded JSON
    } lines[] = {
        {R"({"Message_Type":3,"Reference_Station_Id":1023,"Sequence_No_":7})", R"("Reference_Station_Id":1023,"Modified_Z_Count":0,"Sequence_No_":7,"No_Of_Data_Words":4,)"},
        {R"({"Message_Type":3,"Reference_Station_Id":1024})", "Reference_Station_Id = 1024 does not fit 10 unsigned bits"},
        {R"({"Message_Type":3,"Sequence_No_":-1})", "Sequence_No_ = -1 does not fit 3 unsigned bits"},
        {R"({"Message_Type":1,"Corrections":[{"PRC":32767},{"PRC":-32768}]})", R"("No_Of_Data_Words":4,"Station_Health":0,"Ns":2,)"},
        {R"({"Message_Type":1,"Corrections":[{"PRC":32768}]})", "Corrections[0].PRC = 32768 does not fit 16 signed bits"},
        {R"({"Message_Type":1,"Corrections":[{"PRC":-32769}]})", "Corrections[0].PRC = -32769 does not fit 16 signed bits"},
        {R"({"Message_Type":3,"ECEF_X":1.5})", "ECEF_X must be a whole number"},
        {R"({"Message_Type":1,"No_Of_Data_Words":5,"Ns":3,"Corrections":[{},{},{}]})", R"("No_Of_Data_Words":5,"Station_Health":0,"Ns":3,)"},
        {R"({"Message_Type":1,"No_Of_Data_Words":5,"Ns":2,"Corrections":[{},{},{}]})", "Ns = 2 does not agree with the fields it is derived from (3)"},
        {R"({"Message_Type":1,"Ns":2,"Corrections":[{},{},{}]})", "no No_Of_Data_Words holds the fields; with 0: Ns = 2 does not agree with the fields it is derived from (0)"},
        {R"({"Message_Type":1,"No_Of_Data_Words":5,"Corrections":[{},{}]})", "Corrections has 2 elements, the message's fields say 3"},
        // A count given as 0 disagrees with a text just as much (it was once taken for "not given").
        {R"({"Message_Type":23,"No_Of_Data_Words":6,"NAD":0,"Antenna_Descriptor":"abc"})", "Antenna_Descriptor has 3 values but NAD says 0"},
        {R"({"Message_Type":16,"Message":"HELLO"})", R"("No_Of_Data_Words":2,"Station_Health":0,"Message_Length":6,"Message":"HELLO\u0000"})"},
        {R"({"Message_Type":16,"No_Of_Data_Words":1,"Message":"HELLO"})", "Message has 5 values, the message's fields say 3"},
        {R"({"Message_Type":16,"Message":"\u0100"})", "Message holds a character beyond Latin-1"},
        {R"({"Message_Type":3,"No_Of_Data_Words":3})", "Message_Type_3.ECEF_Z does not fit in the 3 data words of No_Of_Data_Words (RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_EXT_BUFFER_OVERFLOW)"},
        {R"({"Message_Type":3,"Preamble":103})", "Preamble must be 102 (0x66), the value that starts every message"},
        {R"({"Message_Type":1,"Corrections":[{"PRC":1,"RRC":2,"PRC":3}]})", "duplicate key \"PRC\""},
        {R"({"Message_Type":1,"Corrections":[{"Bogus":1}]})", "unknown key \"Corrections[0].Bogus\" in DGNSS"},
        {R"({"Message_Type":60,"No_Of_Data_Words":1})", "message type 60 is not one the encoder knows"},
        {R"({"Message_Type":14,"GPS_Week":601,"Hour":109,"Leap_Seconds":15})", R"("No_Of_Data_Words":1,"Station_Health":0,"GPS_Week":601,"Hour":109,"Leap_Seconds":15})"},
        {R"({"Message_Type":3,)", "not valid JSON (unterminated object at offset 18)"},
        {"[3]", "not a JSON object"},
        {"{}", "Message_Type is missing"},
        {R"({"Message_Type":16,"Message":")" + QByteArray((16 << 20) + 1, 'A') + "\"}", "longer than 16 MiB"},
    };
    QByteArray input, refusals;
    QList<QByteArray> encoded;
    int number = 0;
    for (const auto &l : lines) {
        input += l.line + "\n\n"; // an empty line counts, and is no error
        number += 2;
        if (l.result.startsWith('"'))
            encoded << l.result;
        else
            refusals += "rtcmv: line " + QByteArray::number(number - 1) + ": " + l.result + "; skipped\n";
    }
    input.chop(2); // the last line has no '\n'
    const ToolRun run = runTool({"encode"}, input);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.toStdString(), refusals.toStdString());
    const QList<QByteArray> decoded = runTool({"decode", "--format", "json"}, run.out).out.split('\n');
    ASSERT_EQ(decoded.size(), encoded.size() + 1);
    for (int i = 0; i < encoded.size(); ++i)
        EXPECT_TRUE(decoded[i].contains(encoded[i])) << decoded[i].toStdString() << "\nhas no " << encoded[i].toStdString();
}

// Every message and field of a format's description, in registration order (its sub-records, then
// its messages by type), without the keys only the generator uses. The values themselves are checked
// against the published tables by the message tests' presentation data.
QJsonObject catalogueOf(const char *descriptionJson, const char *format, int records, int subRecords)
{
    const QJsonArray description = QJsonDocument::fromJson(readFile(descriptionJson)).object().value("records").toArray();
    EXPECT_EQ(description.size(), records) << format;
    QJsonArray messages;
    for (int i = 0; i < description.size(); ++i) {
        const QJsonObject d = description[i].toObject();
        QJsonArray fields;
        for (const QJsonValue v : d.value("fields").toArray()) {
            QJsonObject f = v.toObject();
            for (const char *key : {"bits", "ctype", "what"})
                f.remove(key);
            fields.append(f);
        }
        messages.append(QJsonObject({{"name", d.value("name")}, {"display", d.value("display")}, {"description", d.value("description")},
                                     {"main", i >= subRecords}, {"discriminant", d.value("messageType")}, {"fields", fields}}));
        EXPECT_TRUE(i <= subRecords || d.value("messageType").toInt() > description[i - 1].toObject().value("messageType").toInt());
    }
    return QJsonObject({{"format", format}, {"messages", messages}});
}

// RTCMV's catalogue at the top, as before the second format; RTCM2X's under "other_formats".
TEST(ToolCatalogue, JsonIsTheDescription)
{
    const ToolRun run = runTool({"catalogue", "--json"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    ASSERT_TRUE(run.out.endsWith("}\n") && run.out.count('\n') == 1);
    QJsonObject want = catalogueOf(RTCMV_DESCRIPTION_JSON, "RTCMV", 45, 13);
    want.insert("other_formats", QJsonArray({catalogueOf(RTCM2X_DESCRIPTION_JSON, "RTCM2X", 11, 3)}));
    EXPECT_EQ(QJsonDocument::fromJson(run.out).object(), want);

    const ToolRun text = runTool({"catalogue"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.contains("\n  0 Scale_Factor \"Scale Factor\" byte\n      00 = 0.02 m\n      01 = 0.32 m\n"));
}
