// Values people can read: small scaled values keep their digits, Z-counts land in the right hour,
// station positions agree with an independent conversion, and the values and CSV outputs give
// exactly raw x scale factor for every field of every message of the recordings.
#include <MessageTime.h>
#include <RTCMV_FormatInfo.h>
#include <RTCMV_RecordWalker.h>
#include <RTCMV_messages.h>
#include <RTCM2X_messages.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/MessageInfo.h>

#include <gtest/gtest.h>

#include <QtCore/QDateTime>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>

#include <cmath>

namespace {

QByteArray runTool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(RTCMV_TOOL), arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    EXPECT_LE(tool.exitCode(), 1) << arguments.join(QLatin1Char(' ')).toStdString() << ": "
                                  << tool.readAllStandardError().toStdString();
    return tool.readAllStandardOutput();
}

// The messages of JSON Lines output (refusals left out).
QList<QJsonObject> jsonLines(const QByteArray &output)
{
    QList<QJsonObject> lines;
    for (const QByteArray &line : output.split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        // Messages of types no decoder knows (their words in hex) carry no values.
        if (object.contains(QLatin1String("Message_Type")) && !object.contains(QLatin1String("words")))
            lines.append(object);
    }
    return lines;
}

// The recordings the tests read: the bundled sample always, the shared ones when present.
QStringList recordings()
{
    QStringList files{QStringLiteral(MESARO_SOURCE_DIR "/examples/sample.rtcm2")};
    for (const char *name : {"rtcm2.bend.log", "naujoks-rtcm2.log"}) {
        const QString path = QStringLiteral(MESARO_TESTDATA_DIR "/") + QLatin1String(name);
        if (QFile::exists(path))
            files.append(path);
    }
    return files;
}

GpsTime gpsAt(const char *isoUtc)
{
    return GpsTime::fromUtcMs(QDateTime::fromString(QLatin1String(isoUtc), Qt::ISODateWithMs).toMSecsSinceEpoch());
}

// The descriptor of a message type, in whichever format knows it.
const MessageInfo *mainInfo(int type)
{
    if (const Nvt::Mesaro::RTCMV_record_info_s *info = Nvt::Mesaro::RTCMV_message_info(uint32_t(type)))
        return RTCMV_messageInfoOfKind(info->kind);
    return RTCM2X_messageInfoOfKind(Nvt::Mesaro::RTCM2X_message_info(uint32_t(type))->kind);
}

// The class of the elements of a sub-record field.
const MessageInfo *elementInfo(const MessageInfo *info, const FieldInfo *field)
{
    uint32_t kind = 1;
    while (RTCMV_messageInfoOfKind(kind) != info)
        ++kind;
    return RTCMV_messageInfoOfKind(Nvt::Mesaro::RTCMV_record_info(kind)->fields[info->getFieldPosition(field)].elementKind);
}

FieldValue rawValue(const FieldInfo *field, double raw)
{
    switch (field->getType().kind()) {
    case FieldType::Byte: return FieldValue::byte(static_cast<unsigned char>(raw));
    case FieldType::Signed: return FieldValue::i(static_cast<long long>(raw), field->getType().width());
    default: return FieldValue::u(static_cast<unsigned long long>(raw), field->getType().width());
    }
}

// Each member of a values object against the raw JSON object of the same message.
void expectPhysical(const QJsonObject &raw, const QJsonObject &values, const MessageInfo *info)
{
    for (const FieldInfo *field : info->getFieldInfos()) {
        const QString name = field->getName();
        ASSERT_EQ(raw.contains(name), values.contains(name)) << name.toStdString();
        const QJsonValue r = raw.value(name), v = values.value(name);
        if (field->getType().kind() == FieldType::SubMessage) {
            const QJsonArray rs = r.toArray(), vs = v.toArray();
            ASSERT_EQ(rs.size(), vs.size());
            for (int i = 0; i < rs.size(); ++i)
                expectPhysical(rs[i].toObject(), vs[i].toObject(), elementInfo(info, field));
        } else if (r.isDouble() && field->hasScaleFactor()) {
            EXPECT_EQ(v.toDouble(), r.toDouble() * field->getScaleFactor()) << name.toStdString();
        } else {
            EXPECT_EQ(v, r) << name.toStdString();
        }
        if (r.isDouble() && !field->getSymbolicValues().isEmpty()) {
            const FieldValue value = rawValue(field, r.toDouble());
            const bool doNotUse = field->hasDoNotUseValue() && value == field->getDoNotUseValue();
            const QString text = doNotUse ? QStringLiteral("DNU") : field->getSymbolicText(value);
            EXPECT_EQ(values.value(name + QLatin1String("_text")).toString(), text) << name.toStdString();
        }
    }
}

// Geodetic latitude, longitude (degrees) and height on WGS 84 from ECEF, by fixed-point iteration
// on the latitude: the textbook method, written apart from the library the tool uses.
std::array<double, 3> geodetic(double x, double y, double z)
{
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double p = std::hypot(x, y);
    double lat = std::atan2(z, p * (1 - e2)), height = 0;
    for (int i = 0; i < 20; ++i) {
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        height = p / std::cos(lat) - n;
        lat = std::atan2(z, p * (1 - e2 * n / (n + height)));
    }
    const double degrees = 180 / M_PI;
    return {lat * degrees, std::atan2(y, x) * degrees, height};
}

} // namespace

TEST(MessageTime, ZCountsLandInTheirHour)
{
    const int64_t hour = GpsTime{gpsAt("2020-01-14T12:30:00Z").ms / 3600000 * 3600000}.ms;
    const auto at = [&](double seconds) { return GpsTime{hour + int64_t(std::llround(seconds * 1000))}; };
    struct Case
    {
        double reference; // seconds from the start of the GPS hour
        unsigned int zCount;
        double expected;
    } cases[] = {
        {3599, 10, 3606},        // just before the hour: the message is early in the next one
        {5, 5990, -6},           // just after: late in the previous one
        {29 * 60, 0, 0},         // a reference 29 minutes off still finds the hour
        {31 * 60, 0, 3600},      // 31 minutes off: the next hour is nearer (the documented limit)
        {-29 * 60, 5999, -0.6},
    };
    for (const Case &c : cases) {
        MessageClock clock(at(c.reference));
        EXPECT_EQ(clock.resolve(c.zCount)->ms, at(c.expected).ms) << c.reference << " s, Z-count " << c.zCount;
    }
    EXPECT_FALSE(MessageClock(at(0)).resolve(6000)); // 3600 s and above name no time
    // The leap second at the end of 2016: UTC 23:59:59 and 00:00:00 are two seconds apart in GPS time.
    EXPECT_EQ(gpsAt("2017-01-01T00:00:00Z").ms - gpsAt("2016-12-31T23:59:59Z").ms, 2000);
    // A type 14 message sets the clock (15 leap seconds in 2011).
    MessageClock stream(gpsAt("2011-04-05T00:00:00Z"));
    stream.useTimeOfWeek(601, 109, 2800);
    EXPECT_EQ(stream.resolve(2802)->isoUtc(), QStringLiteral("2011-03-03T13:27:46.200Z"));
}

TEST(ValuesOutput, PhysicalValuesTimesAndPositionsOfEveryRecording)
{
    for (const QString &file : recordings()) {
        SCOPED_TRACE(file.toStdString());
        const QList<QJsonObject> raw = jsonLines(runTool({QStringLiteral("decode"), QStringLiteral("--format=json"), file}));
        // The reference of each recording's own hour: naujoks-rtcm2.log's type 14 messages put it in
        // GPS week 1625, hour 109, and the times carry on across them without a jump.
        const QString reference = file.endsWith(QLatin1String("naujoks-rtcm2.log")) ? QStringLiteral("2011-03-03T13:30:00Z")
                                                                                     : QStringLiteral("2020-01-14T12:00:00Z");
        const QList<QJsonObject> values = jsonLines(runTool(
            {QStringLiteral("decode"), QStringLiteral("--format=values"), QStringLiteral("--time-ref=") + reference, file}));
        ASSERT_EQ(raw.size(), values.size());
        ASSERT_FALSE(raw.isEmpty());
        QMap<int, std::array<double, 3>> delta; // the latest type 22 L1 deltas of each station, metres
        for (int m = 0; m < raw.size(); ++m) {
            const int type = raw[m].value(QLatin1String("Message_Type")).toInt();
            EXPECT_EQ(values[m].value(QLatin1String("values_schema")).toInt(), 1);
            expectPhysical(raw[m], values[m], mainInfo(type));
            if (m > 0) { // consecutive times differ by the Z-counts' own spacing
                const int step = (raw[m].value(QLatin1String("Modified_Z_Count")).toInt() -
                                  raw[m - 1].value(QLatin1String("Modified_Z_Count")).toInt() + 6000) % 6000;
                const qint64 ms = QDateTime::fromString(values[m].value(QLatin1String("time")).toString(), Qt::ISODateWithMs)
                                      .msecsTo(QDateTime::fromString(values[m - 1].value(QLatin1String("time")).toString(), Qt::ISODateWithMs));
                EXPECT_EQ(-ms, (step < 3000 ? step : step - 6000) * 600);
            }
            // The station position, from the raw coordinates in their published steps.
            const int station = raw[m].value(QLatin1String("Reference_Station_Id")).toInt();
            const auto coordinate = [&](const char *name) { return raw[m].value(QLatin1String(name)).toDouble(); };
            if (type == 22)
                delta[station] = {coordinate("L1_ECEF_Delta_X") / 25600, coordinate("L1_ECEF_Delta_Y") / 25600,
                                  coordinate("L1_ECEF_Delta_Z") / 25600};
            if (type != 3 && type != 24)
                continue;
            const double step = type == 3 ? 0.01 : 0.0001;
            std::array<double, 3> ecef{coordinate("ECEF_X") * step, coordinate("ECEF_Y") * step, coordinate("ECEF_Z") * step};
            if (type == 3 && delta.contains(station)) {
                for (int i = 0; i < 3; ++i)
                    ecef[i] += delta[station][i];
            }
            const QJsonObject position = values[m].value(QLatin1String("position")).toObject();
            const std::array<double, 3> expected = geodetic(ecef[0], ecef[1], ecef[2]);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(position.value(QLatin1String("ecef")).toArray()[i].toDouble(), ecef[i], 1e-6);
            EXPECT_NEAR(position.value(QLatin1String("lat")).toDouble(), expected[0], 1e-9);
            EXPECT_NEAR(position.value(QLatin1String("lon")).toDouble(), expected[1], 1e-9);
            EXPECT_NEAR(position.value(QLatin1String("height")).toDouble(), expected[2], 1e-4);
        }
    }
}

// The CSV table of one type: a time column, then every field as the values output has it.
TEST(CsvOutput, OneTypeAsTableOfPhysicalValues)
{
    const auto run = [](const char *format) {
        return runTool({QStringLiteral("decode"), QLatin1String(format), QStringLiteral("--types=17"),
                        QStringLiteral("--time-ref=2026-12-06T14:00:00Z"), QStringLiteral(MESARO_SOURCE_DIR "/examples/sample.rtcm2")});
    };
    const QList<QJsonObject> values = jsonLines(run("--format=values"));
    const QList<QByteArray> rows = run("--format=csv").trimmed().split('\n');
    const auto fields = mainInfo(17)->getFieldInfos();
    ASSERT_EQ(rows.size(), values.size() + 1);
    for (int row = 1; row < rows.size(); ++row) {
        const QList<QByteArray> cells = rows[row].split(',');
        ASSERT_EQ(cells.size(), fields.size() + 1);
        for (int c = 0; c < fields.size(); ++c)
            EXPECT_EQ(cells[c + 1].toDouble(), values[row - 1].value(fields[c]->getName()).toDouble()) << row << " " << c;
    }
}
