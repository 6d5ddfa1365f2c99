// rtcmv on the bundled sample: the checked-in stream is the encoding of the JSON Lines file, and
// decoding it gives them back; text and raw output, type filters and the counts on stderr.
#include "tool_support.h"

#include <RTCMV_codec.h>

#include <QtCore/QJsonArray>
#include <QtCore/QMap>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>

#include <gtest/gtest.h>

using namespace ToolSupport;
using Nvt::Mesaro::RTCMV_record_info_s;

namespace {

QList<QJsonObject> sampleObjects()
{
    QList<QJsonObject> objects;
    for (const QByteArray &line : lines(readFile(sourcePath("examples/sample.jsonl"))))
        objects << parseLine(line);
    return objects;
}

int typeOf(const QJsonObject &object)
{
    return object.value(QLatin1String("Message_Type")).toInt();
}

// Every key of `given` holds the same value in `decoded`. Keys that only `decoded` has are the
// derived fields (Ns and the like) and the preamble, which a hand-written line may leave out.
void expectExtends(const QJsonObject &given, const QJsonObject &decoded, const RTCMV_record_info_s &info,
                   const std::string &where)
{
    int matched = 0;
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        const auto &field = info.fields[i];
        const QString name = QLatin1String(field.name);
        const std::string path = where + "." + field.name;
        if (!decoded.contains(name)) {
            EXPECT_FALSE(given.contains(name)) << path;
            continue;
        }
        ++matched;
        if (!given.contains(name)) {
            EXPECT_TRUE(field.what == Nvt::Mesaro::RTCMV_FIELD_DERIVED ||
                        (name == QLatin1String("Preamble") && decoded.value(name) == 0x66))
                << path << " is not in the sample";
        } else if (field.what == Nvt::Mesaro::RTCMV_FIELD_RECORDS) {
            const QJsonArray a = given.value(name).toArray(), b = decoded.value(name).toArray();
            ASSERT_EQ(a.size(), b.size()) << path;
            for (int k = 0; k < a.size(); ++k)
                expectExtends(a[k].toObject(), b[k].toObject(), *Nvt::Mesaro::RTCMV_record_info(field.elementKind),
                              path + "[" + std::to_string(k) + "]");
        } else {
            EXPECT_EQ(given.value(name), decoded.value(name)) << path;
        }
    }
    EXPECT_EQ(decoded.size(), matched) << where << " has keys that are no fields";
}

QString byteText(const QJsonObject &object, const char *key)
{
    return QString::asprintf("%02X", object.value(QLatin1String(key)).toInt());
}

QString number(const QJsonObject &object, const char *key)
{
    return QString::number(object.value(QLatin1String(key)).toDouble(), 'f', 0);
}

} // namespace

TEST(ToolSample, StreamIsTheEncodingOfTheJsonLinesAndDecodesBack)
{
    const ToolRun encoded = runTool({"encode", sourcePath("examples/sample.jsonl")});
    EXPECT_EQ(encoded.status, 0) << encoded.err.toStdString();
    EXPECT_TRUE(encoded.out == readFile(sourcePath("examples/sample.rtcm2")))
        << "examples/sample.rtcm2 is out of date: run rtcmv encode examples/sample.jsonl";

    const QList<QJsonObject> given = sampleObjects();
    ASSERT_EQ(given.size(), 32);
    const ToolRun decoded = runTool({"decode", "--format", "json", sourcePath("examples/sample.rtcm2")});
    EXPECT_EQ(decoded.status, 0) << decoded.err.toStdString();
    const QList<QByteArray> output = lines(decoded.out);
    ASSERT_EQ(output.size(), given.size());
    for (int i = 0; i < given.size(); ++i) {
        const QJsonObject object = parseLine(output[i]);
        const RTCMV_record_info_s *info = Nvt::Mesaro::RTCMV_message_info(uint32_t(typeOf(given[i])));
        ASSERT_NE(info, nullptr);
        expectExtends(given[i], object, *info, info->name);
    }
}

TEST(ToolSample, TextAndRawOutput)
{
    const QString sample = sourcePath("examples/sample.rtcm2");
    const QList<QJsonObject> given = sampleObjects();
    QMap<int, QJsonObject> records; // by message type
    for (const QJsonValue record : descriptionRecords())
        records[record.toObject().value(QLatin1String("messageType")).toInt()] = record.toObject();

    // Text: one title line per message, its fields indented under it.
    const ToolRun text = runTool({"decode", sample});
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    QStringList titles, expectedTitles;
    for (const QByteArray &line : lines(text.out)) {
        if (!line.startsWith(' '))
            titles << QString::fromUtf8(line);
    }
    for (const QJsonObject &m : given) {
        const QJsonObject record = records.value(typeOf(m));
        expectedTitles << record.value(QLatin1String("display")).toString() + QStringLiteral(" - ") +
                              record.value(QLatin1String("description")).toString();
    }
    EXPECT_EQ(titles, expectedTitles);
    const QString textOut = QString::fromUtf8(text.out);
    const QJsonObject type1 = given[0], type16 = given[4];
    ASSERT_EQ(typeOf(type1), 1);
    ASSERT_EQ(typeOf(type16), 16);
    const QJsonObject correction = type1.value(QLatin1String("Corrections")).toArray()[0].toObject();
    EXPECT_TRUE(textOut.contains(QStringLiteral("\n  Reference Station Id: ") + number(type1, "Reference_Station_Id") +
                                 QStringLiteral("\n")));
    EXPECT_TRUE(textOut.contains(QStringLiteral("\n  Station Health: UDRE Scale Factor = 1\n")));
    EXPECT_TRUE(textOut.contains(QStringLiteral("\n  Corrections [0]: DGNSS\n    Scale Factor: 0.02 m\n")));
    EXPECT_TRUE(textOut.contains(QStringLiteral("\n    PRC: ") + number(correction, "PRC") + QStringLiteral("\n")));
    EXPECT_TRUE(textOut.contains(QStringLiteral("\n  Message: \"") +
                                 type16.value(QLatin1String("Message")).toString() + QStringLiteral("\"\n")));

    // Raw: the message's line with every field, each sub-record's line indented under it.
    const ToolRun raw = runTool({"decode", "--format", "raw", sample});
    EXPECT_EQ(raw.status, 0) << raw.err.toStdString();
    const QList<QByteArray> rawLines = lines(raw.out);
    QStringList messageNames, expectedNames;
    int subLines = 0, expectedSubLines = 0;
    for (const QByteArray &line : rawLines) {
        if (line.startsWith(' '))
            ++subLines;
        else
            messageNames << QString::fromUtf8(line.left(line.indexOf(' ')));
    }
    for (const QJsonObject &m : given) {
        expectedNames << QStringLiteral("Message_Type_%1").arg(typeOf(m));
        for (const QJsonValue v : m) {
            if (v.isArray() && v.toArray().first().isObject())
                expectedSubLines += v.toArray().size();
        }
    }
    EXPECT_EQ(messageNames, expectedNames);
    EXPECT_EQ(subLines, expectedSubLines);
    // Byte fields show two hexadecimal digits, numbers in decimal, fields separated by ';'.
    const QJsonObject type3 = given[1];
    ASSERT_EQ(typeOf(type3), 3);
    const QString header3 = QStringList{QStringLiteral("66"), QStringLiteral("3"), number(type3, "Reference_Station_Id"),
                                        number(type3, "Modified_Z_Count"), number(type3, "Sequence_No_"),
                                        number(type3, "No_Of_Data_Words"), byteText(type3, "Station_Health")}
                                .join(QLatin1Char(';'));
    EXPECT_TRUE(rawLines.contains((QStringLiteral("Message_Type_3 ") + header3 + QLatin1Char(';') +
                                   QStringList{number(type3, "ECEF_X"), number(type3, "ECEF_Y"), number(type3, "ECEF_Z")}
                                       .join(QLatin1Char(';')))
                                      .toUtf8()))
        << raw.out.left(600).toStdString();
    const QString dgnss = QStringList{byteText(correction, "Scale_Factor"), byteText(correction, "UDRE"),
                                      number(correction, "Satellite_Id"), number(correction, "PRC"),
                                      number(correction, "RRC"), number(correction, "Issue_Of_Data")}
                              .join(QLatin1Char(';'));
    EXPECT_EQ(rawLines.value(1), (QStringLiteral("  DGNSS ") + dgnss).toUtf8());
}

// --types and --exclude switch types off: their messages are skipped without a word and without
// changing the exit status; --stats counts them as skipped, on stderr.
TEST(ToolSample, TypeFiltersAndStats)
{
    const QString sample = sourcePath("examples/sample.rtcm2");
    const QList<QJsonObject> given = sampleObjects();
    const QList<QByteArray> all = lines(runTool({"decode", "--format", "json", sample}).out);
    ASSERT_EQ(all.size(), given.size());
    const struct
    {
        QStringList options;
        QSet<int> decoded;
    } filters[] = {
        {{"--types", "1,3"}, {1, 3}},
        {{"--types=18-21,59"}, {18, 19, 20, 21, 59}},
        {{"--exclude", "1"}, {}},
        {{"--types", "1,9", "--exclude", "9"}, {1}},
    };
    for (const auto &filter : filters) {
        const ToolRun run = runTool(QStringList{"decode", "--format", "json"} + filter.options + QStringList{sample});
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QList<QByteArray> expected;
        for (int i = 0; i < given.size(); ++i) {
            const int type = typeOf(given[i]);
            if (filter.decoded.isEmpty() ? type != 1 : filter.decoded.contains(type))
                expected << all[i];
        }
        EXPECT_EQ(lines(run.out), expected) << filter.options.join(QLatin1Char(' ')).toStdString();
    }

    const ToolRun stats = runTool({"decode", "--quiet", "--stats", "--exclude", "1", sample});
    EXPECT_EQ(stats.status, 0);
    EXPECT_TRUE(stats.out.isEmpty());
    const QString err = QString::fromUtf8(stats.err);
    EXPECT_TRUE(err.contains(QStringLiteral("messages: 31 decoded, 0 refused, 1 skipped (types switched off)\n")))
        << err.toStdString();
    for (const QJsonObject &m : given) {
        const QRegularExpression line(QStringLiteral("\n  Message_Type_%1 +1\n").arg(typeOf(m)));
        EXPECT_EQ(err.contains(line), typeOf(m) != 1) << typeOf(m);
    }
    EXPECT_FALSE(err.contains(QStringLiteral("refused -")));
    int words = 0;
    for (const QJsonObject &m : given)
        words += 2 + m.value(QLatin1String("No_Of_Data_Words")).toInt();
    EXPECT_TRUE(err.contains(QStringLiteral("framing: %1 bytes (0 ignored), %2 words, 0 parity failures, 32 messages, "
                                            "0 resyncs, 1 released unconfirmed, 0 dropped unconfirmed\n")
                                            .arg(5 * words)
                                            .arg(words)))
        << err.toStdString();
}
