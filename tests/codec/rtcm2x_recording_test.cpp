// The RTCM2X codec on a real stream: the time-of-week messages of naujoks-rtcm2.log decode to the
// values gpsd publishes for this recording (test/daemon/naujoks-rtcm2.log.chk: week 601, hour 109,
// 15 leap seconds; station 652 and Z-count 1680.0 s for the last one) and encode back to the very same words.
#include "RTCM2X_codec.h"
#include "Rtcm2Framer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

using namespace Nvt::Mesaro;

TEST(Rtcm2xRecording, TimeOfWeekMessagesDecodeAndEncodeBack)
{
    std::ifstream in(std::string(MESARO_TESTDATA_DIR) + "/naujoks-rtcm2.log", std::ios::binary);
    if (!in)
        GTEST_SKIP() << "recordings not found in " << MESARO_TESTDATA_DIR;
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<RTCM2X_Message_Type_14_s> decoded;
    Rtcm2Framer framer([&](const uint8_t *packed, std::size_t bytes, unsigned) {
        if ((packed[1] >> 2) != 14)
            return;
        RTCM2X_record_u record;
        ASSERT_EQ(RTCM2X_decode(nullptr, packed, uint16_t(bytes), &record), int32_t(bytes * 8));
        unsigned char again[16] = {};
        ASSERT_EQ(RTCM2X_encode_record(again, sizeof again, &record), int32_t(bytes * 8));
        EXPECT_EQ(std::vector<uint8_t>(again, again + bytes), std::vector<uint8_t>(packed, packed + bytes));
        decoded.push_back(record.Message_Type_14);
    });
    framer.feed(stream.data(), stream.size());
    framer.flush();

    ASSERT_EQ(decoded.size(), 3u);
    for (const RTCM2X_Message_Type_14_s &m : decoded) // words, week, hour, leap seconds
        EXPECT_EQ(std::make_tuple(m.No_Of_Data_Words, m.GPS_Week, m.Hour, m.Leap_Seconds), std::make_tuple(1, 601, 109, 15));
    // Station 652 and 1680.0 s at 0.6 s a count.
    EXPECT_EQ(std::make_tuple(decoded.back().Reference_Station_Id, decoded.back().Modified_Z_Count), std::make_tuple(652, 2800));
    // Week 601 of the 1024-week cycle that holds the header's date (2011-04-05, GPS week 1630) is
    // week 1625: Thursday 2011-03-03, 13 h; 15 leap seconds were in force from 2009 to mid-2012.
    EXPECT_EQ(1630 - (1630 - decoded.front().GPS_Week) % 1024, 1625);
}
