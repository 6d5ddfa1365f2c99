// rtcmv decode on real RTCM 2 recordings: messages per type, refusals, and values read by hand
// from the bytes.
#include "tool_support.h"

#include <QtCore/QJsonArray>

#include <gtest/gtest.h>

#include <map>

using namespace ToolSupport;

namespace {

struct Decoded
{
    std::map<int, int> perType;
    std::map<int, QJsonObject> firstOfType;
    QJsonObject first;
    QList<QJsonObject> refusals;
};

Decoded decodeRecording(const QString &path, int expectedStatus)
{
    Decoded decoded;
    const ToolRun run = runTool({"decode", "--format", "json", path});
    EXPECT_EQ(run.status, expectedStatus) << run.err.toStdString();
    for (const QByteArray &line : lines(run.out)) {
        const QJsonObject object = parseLine(line);
        if (object.contains(QLatin1String("event"))) {
            decoded.refusals << object;
            continue;
        }
        const int type = object.value(QLatin1String("Message_Type")).toInt();
        if (decoded.perType[type]++ == 0)
            decoded.firstOfType[type] = object;
        if (decoded.first.isEmpty())
            decoded.first = object;
    }
    return decoded;
}

QJsonObject element(const QJsonObject &message, const char *array, int index)
{
    return message.value(QLatin1String(array)).toArray().at(index).toObject();
}

int value(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toInt(-999999);
}

} // namespace

// The values below were read from the bytes by hand: keep the low six bits of each byte whose top
// bits are 01, reverse them (the first bit sent is bit 0), cut the bit string into 30-bit words at
// the preamble 0x66 whose parity holds, complement d1..d24 where D30 of the previous word is 1,
// and read the 24 data bits most significant first. Header: 8-bit preamble, 6-bit type, 10-bit
// station; 13-bit z-count, 3-bit sequence, 5-bit data word count N, 3-bit health. A 40-bit
// correction (types 1, 9, 31): scale 1, UDRE 2, satellite 5, PRC i16, RRC i8, IOD 8 bits.
TEST(ToolRecordings, SampleRtcm2)
{
    const QString path = recordingPath("sample.rtcm2");
    if (path.isEmpty())
        GTEST_SKIP() << "recordings not found in " << MESARO_TESTDATA_DIR;
    const Decoded d = decodeRecording(path, 0);
    EXPECT_EQ(d.perType, (std::map<int, int>{{9, 131}}));
    EXPECT_TRUE(d.refusals.isEmpty());
    // First message, header 0x66250C 0x0D0128, then 0DFAE6 220302 003DD8 490804 A40F16:
    // type 9, station 268, z-count 416, sequence 1, N 5 -> 3 corrections;
    // 0x0DFAE62203: satellite 13, PRC 0xFAE6 = -1306, RRC 0x22 = 34, IOD 3;
    // 0x02003DD849: satellite 2, PRC 61, RRC 0xD8 = -40, IOD 73.
    const QJsonObject &m = d.first;
    EXPECT_EQ(value(m, "Reference_Station_Id"), 268);
    EXPECT_EQ(value(m, "Modified_Z_Count"), 416);
    EXPECT_EQ(value(m, "Sequence_No_"), 1);
    EXPECT_EQ(value(m, "No_Of_Data_Words"), 5);
    EXPECT_EQ(value(m, "Ns"), 3);
    EXPECT_EQ(element(m, "Corrections", 0),
              (QJsonObject{{"Scale_Factor", 0}, {"UDRE", 0}, {"Satellite_Id", 13}, {"PRC", -1306}, {"RRC", 34},
                           {"Issue_Of_Data", 3}}));
    EXPECT_EQ(value(element(m, "Corrections", 1), "PRC"), 61);
    EXPECT_EQ(value(element(m, "Corrections", 1), "RRC"), -40);
}

TEST(ToolRecordings, NaujoksLog)
{
    const QString path = recordingPath("naujoks-rtcm2.log");
    if (path.isEmpty())
        GTEST_SKIP() << "recordings not found in " << MESARO_TESTDATA_DIR;
    const Decoded d = decodeRecording(path, 1);
    EXPECT_EQ(d.perType, (std::map<int, int>{{1, 41}, {3, 6}, {16, 1}, {31, 41}}));
    ASSERT_EQ(d.refusals.size(), 3);
    for (const QJsonObject &refusal : d.refusals)
        EXPECT_EQ(refusal, (QJsonObject{{"event", 3}, {"code", -587},
                                        {"text", "RTCMV: Message type 14 unknown to PC software"}}));
    // First message: type 31, station 688, z-count 2710, sequence 7, N 15, health 6; its first
    // correction 0x0519D10000: satellite 5, PRC 0x19D1 = 6609, RRC 0, IOD 0.
    EXPECT_EQ(value(d.first, "Message_Type"), 31);
    EXPECT_EQ(value(d.first, "Reference_Station_Id"), 688);
    EXPECT_EQ(value(d.first, "Modified_Z_Count"), 2710);
    EXPECT_EQ(value(d.first, "Station_Health"), 6);
    EXPECT_EQ(value(d.first, "Ns"), 9);
    EXPECT_EQ(value(element(d.first, "Corrections", 0), "Satellite_Id"), 5);
    EXPECT_EQ(value(element(d.first, "Corrections", 0), "PRC"), 6609);
    // First type 1 (z-count 2735): 0x0DFF51005C: satellite 13, PRC 0xFF51 = -175, RRC 0, IOD 0x5C = 92.
    const QJsonObject type1 = d.firstOfType.at(1);
    EXPECT_EQ(value(type1, "Modified_Z_Count"), 2735);
    EXPECT_EQ(element(type1, "Corrections", 0),
              (QJsonObject{{"Scale_Factor", 0}, {"UDRE", 0}, {"Satellite_Id", 13}, {"PRC", -175}, {"RRC", 0},
                           {"Issue_Of_Data", 92}}));
    // First type 3: 16E6DE E403F4 DA241D FC3968 -> X 0x16E6DEE4, Y 0x03F4DA24, Z 0x1DFC3968 (0.01 m).
    const QJsonObject type3 = d.firstOfType.at(3);
    EXPECT_EQ(value(type3, "ECEF_X"), 384229092);
    EXPECT_EQ(value(type3, "ECEF_Y"), 66378276);
    EXPECT_EQ(value(type3, "ECEF_Z"), 503069032);
    // Type 16, station 652, z-count 2768, N 3: 534150 4F535F 455053 = "SAPOS_EPS".
    const QJsonObject type16 = d.firstOfType.at(16);
    EXPECT_EQ(value(type16, "Reference_Station_Id"), 652);
    EXPECT_EQ(type16.value(QLatin1String("Message")).toString(), QStringLiteral("SAPOS_EPS"));
    EXPECT_EQ(value(type16, "Message_Length"), 9);
}

TEST(ToolRecordings, BendLog)
{
    const QString path = recordingPath("rtcm2.bend.log");
    if (path.isEmpty())
        GTEST_SKIP() << "recordings not found in " << MESARO_TESTDATA_DIR;
    const Decoded d = decodeRecording(path, 0);
    EXPECT_EQ(d.perType, (std::map<int, int>{{1, 29}, {3, 5}, {18, 56}, {19, 56}, {22, 5}, {23, 6}, {24, 5}}));
    EXPECT_TRUE(d.refusals.isEmpty());
    // First message: type 1, station 205, z-count 4960, N 0: no corrections.
    EXPECT_EQ(value(d.first, "Message_Type"), 1);
    EXPECT_EQ(value(d.first, "Reference_Station_Id"), 205);
    EXPECT_EQ(value(d.first, "Modified_Z_Count"), 4960);
    EXPECT_EQ(d.first.value(QLatin1String("Corrections")), QJsonArray());
    // Type 3: F1C659 32E89E 1B311A 4E582E -> X 0xF1C65932, Y 0xE89E1B31, Z 0x1A4E582E, signed.
    const QJsonObject type3 = d.firstOfType.at(3);
    EXPECT_EQ(value(type3, "ECEF_X"), -238659278);
    EXPECT_EQ(value(type3, "ECEF_Y"), -392291535);
    EXPECT_EQ(value(type3, "ECEF_Z"), 441341998);
    // Type 24: the same point in 38-bit 0.1 mm units: E9C5EB 5EBCDB ... -> X 0x3A717AD7AF, sign
    // bit set: -23865927761; then Y -39229153501, Z 44134199822, height indicator 1, height 0.
    const QJsonObject type24 = d.firstOfType.at(24);
    EXPECT_EQ(type24.value(QLatin1String("ECEF_X")).toDouble(), -23865927761.0);
    EXPECT_EQ(type24.value(QLatin1String("ECEF_Y")).toDouble(), -39229153501.0);
    EXPECT_EQ(type24.value(QLatin1String("ECEF_Z")).toDouble(), 44134199822.0);
    EXPECT_EQ(value(type24, "Height_Indicator"), 1);
    // Type 23, N 6: 0x4E = reserved 0, ARP 1, serial flag 0, NAD 01110 = 14; then 14 characters
    // 47 50 50 4E 55 4C 4C 41 4E 54 45 4E 4E 41, setup id 0, 0xAA = reserved 101, NAS 01010.
    const QJsonObject type23 = d.firstOfType.at(23);
    EXPECT_EQ(value(type23, "NAD"), 14);
    EXPECT_EQ(type23.value(QLatin1String("Antenna_Descriptor")).toString(), QStringLiteral("GPPNULLANTENNA"));
    EXPECT_EQ(value(type23, "ARP_Indicator"), 1);
    EXPECT_EQ(value(type23, "NAS"), 10);
    EXPECT_FALSE(type23.contains(QLatin1String("Antenna_Serial_Number"))); // serial flag 0
    // Type 18, words 000000 864019 57D412: first 48-bit block: multiple message 1, P code 0,
    // GLONASS 0, satellite 6, data quality 2, loss of continuity 0, carrier phase 0x1957D412.
    const QJsonObject block = element(d.firstOfType.at(18), "Data", 0);
    EXPECT_EQ(value(block, "Multiple_Message"), 1);
    EXPECT_EQ(value(block, "Satellite_Id"), 6);
    EXPECT_EQ(value(block, "Data_Quality"), 2);
    EXPECT_EQ(value(block, "Carrier_Phase"), 425186322);
}
