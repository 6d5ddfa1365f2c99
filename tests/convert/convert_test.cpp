// The converter against real RTCM 3 recordings (skipped when ../shared/testdata is absent).
#include <CodecTables.h>
#include <Converter.h>
#include <MessageTime.h>
#include <Rtklib.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

std::string testdata(const char *name)
{
    return std::string(MESARO_TESTDATA_DIR "/") + name;
}

// RTKLIB's decoder state, freed however the test ends.
struct Rtcm3
{
    Rtcm3() { init_rtcm(&rtcm); }
    ~Rtcm3() { free_rtcm(&rtcm); }
    rtcm_t rtcm;
};

GpsTime gpsTimeOf(gtime_t t)
{
    constexpr int64_t gpsEpochUnix = 315964800;
    return GpsTime{(int64_t(t.time) - gpsEpochUnix) * 1000 + int64_t(t.sec * 1000 + 0.5)};
}

// The header built with Debian's definitions: a layout mismatch between it and the library would
// scramble these values.
TEST(Rtklib, DecodesTheGloRecordingWithTheLibrarysLayout)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(testdata("testglo.rtcm3").c_str(), "rb"), std::fclose);
    if (!file)
        GTEST_SKIP() << "no " << testdata("testglo.rtcm3");
    auto decoder = std::make_unique<Rtcm3>();
    rtcm_t &rtcm = decoder->rtcm;
    const double recorded[] = {2009, 10, 2, 0, 0, 0}; // resolves the weeks of a recording
    rtcm.time = epoch2time(recorded);
    int epochs = 0, ephemerides = 0, stations = 0;
    std::string firstEpoch;
    for (int c; (c = std::fgetc(file.get())) != EOF;) {
        switch (input_rtcm3(&rtcm, uint8_t(c))) {
        case 1:
            if (epochs++ == 0)
                firstEpoch = gpsTimeOf(rtcm.obs.data[0].time).isoUtc().toStdString();
            EXPECT_GT(rtcm.obs.n, 0);
            break;
        case 2: ++ephemerides; break;
        case 5: ++stations; break;
        default: break;
        }
    }
    EXPECT_EQ(epochs, 186);
    EXPECT_GT(ephemerides, 0);
    EXPECT_GT(stations, 0);
    EXPECT_EQ(firstEpoch.substr(0, 10), "2009-10-02");
    EXPECT_NEAR(rtcm.sta.pos[0], -3869297.514, 5e-4);
    EXPECT_NEAR(rtcm.sta.pos[1], 3436571.335, 5e-4);
    EXPECT_NEAR(rtcm.sta.pos[2], 3717369.376, 5e-4);
}


// RTCM 3 frames made by RTKLIB's own encoder from a station and one GPS satellite's observations.
class Rtcm3Maker
{
public:
    Rtcm3Maker()
    {
        rtcm->time = gpst2time(2100, 36001);
        sta_t &s = rtcm->sta;
        const double pos[3] = {-2384764.7077, -3921089.1738, 4415976.0690};
        std::memcpy(s.pos, pos, sizeof pos);
        s.hgt = 1.2345;
        std::strcpy(s.antdes, "TRM59800.00     NONE");
        std::strcpy(s.antsno, "12345");
        s.antsetup = 3;
        rtcm->staid = 278;
    }
    ~Rtcm3Maker() { free_rtcm(rtcm.get()); }

    std::vector<uint8_t> frame(int type)
    {
        EXPECT_EQ(gen_rtcm3(rtcm.get(), type, 0, 0), 1) << type;
        return std::vector<uint8_t>(rtcm->buff, rtcm->buff + rtcm->nbyte);
    }
    // One epoch a second: a GPS satellite on L1 and L2.
    std::vector<uint8_t> epoch(int second, int type = 1004)
    {
        obsd_t &o = rtcm->obs.data[0];
        o = obsd_t{};
        o.time = timeadd(gpst2time(2100, 36001), second);
        rtcm->time = o.time;
        o.sat = uint8_t(satno(SYS_GPS, 5));
        o.code[0] = CODE_L1C;
        o.code[1] = CODE_L2W;
        o.P[0] = pseudorange(second);
        o.P[1] = o.P[0] + 1.5;
        o.L[0] = o.P[0] / (CLIGHT / FREQ1) + 0.3;
        o.L[1] = o.P[1] / (CLIGHT / FREQ2) - 0.2;
        o.SNR[0] = o.SNR[1] = 45 * 1000;
        rtcm->obs.n = 1;
        return frame(type);
    }
    static double pseudorange(int second) { return 21000000.5 + 700.25 * second; }

    std::unique_ptr<rtcm_t> rtcm = [] {
        auto r = std::make_unique<rtcm_t>();
        init_rtcm(r.get());
        return r;
    }();
};

// What came out of the converter, decoded by the project's own decoder, by type.
struct Rtcm2Messages
{
    explicit Rtcm2Messages(const std::vector<uint8_t> &stream)
    {
        Rtcm2Framer framer([this](const uint8_t *packed, std::size_t bytes, unsigned) {
            records.emplace_back();
            RTCMV_record_u &r = records.back();
            std::memset(&r, 0, sizeof r);
            EXPECT_GE(RTCMV_TABLES.decode(nullptr, packed, uint16_t(bytes), &r), 0);
            ++types[r.Message_Type_3.Message_Type];
        });
        framer.feed(stream.data(), stream.size());
        framer.flush();
    }
    ~Rtcm2Messages()
    {
        for (RTCMV_record_u &r : records)
            RTCMV_TABLES.freeRecord(&r);
    }
    const RTCMV_record_u *last(int type) const
    {
        for (auto r = records.rbegin(); r != records.rend(); ++r)
            if (r->Message_Type_3.Message_Type == type)
                return &*r;
        return nullptr;
    }
    std::vector<RTCMV_record_u> records;
    std::map<int, int> types;
};

std::vector<uint8_t> convertAll(const std::vector<uint8_t> &rtcm3, convert::ConvertStats *stats = nullptr)
{
    std::vector<uint8_t> out;
    convert::Converter::Options options;
    options.timeRef = gpst2time(2100, 36000);
    convert::Converter converter(options, [&](const uint8_t *d, std::size_t n) { out.insert(out.end(), d, d + n); });
    converter.feed(rtcm3.data(), rtcm3.size());
    converter.finish();
    EXPECT_EQ(converter.sender().refusals(), 0u);
    if (stats != nullptr)
        *stats = converter.stats();
    return out;
}

void append(std::vector<uint8_t> &to, const std::vector<uint8_t> &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

// Station and antenna data reach 3, 23 and 24 within their resolution, the observations 18 and
// 19; a station that moves is sent again at the next epoch, not at the next repeat.
TEST(Convert, StationMessagesFollowTheRtcm3StationAndItsMoves)
{
    Rtcm3Maker maker;
    std::vector<uint8_t> in = maker.frame(1006);
    append(in, maker.frame(1008));
    for (int s = 0; s < 3; ++s)
        append(in, maker.epoch(s));
    const Rtcm2Messages first(convertAll(in));
    ASSERT_NE(first.last(3), nullptr);
    ASSERT_NE(first.last(23), nullptr);
    ASSERT_NE(first.last(24), nullptr);
    const double *pos = maker.rtcm->sta.pos;
    const RTCMV_Message_Type_3_s &m3 = first.last(3)->Message_Type_3;
    EXPECT_NEAR(m3.ECEF_X * 0.01, pos[0], 0.005);
    EXPECT_NEAR(m3.ECEF_Y * 0.01, pos[1], 0.005);
    EXPECT_NEAR(m3.ECEF_Z * 0.01, pos[2], 0.005);
    const RTCMV_Message_Type_24_s &m24 = first.last(24)->Message_Type_24;
    EXPECT_NEAR(double(m24.ECEF_X) * 1e-4, pos[0], 5e-5);
    EXPECT_NEAR(double(m24.ECEF_Z) * 1e-4, pos[2], 5e-5);
    EXPECT_EQ(m24.Height_Indicator, 1);
    EXPECT_NEAR(m24.Antenna_Height * 0.01 / 256, 1.2345, 0.01 / 512);
    const RTCMV_Message_Type_23_s &m23 = first.last(23)->Message_Type_23;
    EXPECT_STREQ(m23.Antenna_Descriptor, "TRM59800.00     NONE");
    EXPECT_STREQ(m23.Antenna_Serial_Number, "12345");
    EXPECT_EQ(m23.Setup_Id, 3);
    EXPECT_EQ(m3.Reference_Station_Id, 278);
    EXPECT_EQ(first.types.at(18), 3 * 2); // L1 and L2 each epoch
    const RTCMV_Message_Type_19_s &m19 = first.last(19)->Message_Type_19;
    EXPECT_EQ(m19.Data[0].Multiple_Message, 0); // the epoch's last message
    EXPECT_NEAR(m19.Data[0].Pseudorange * 0.02, Rtcm3Maker::pseudorange(2) + 1.5, 0.01);

    maker.rtcm->sta.pos[0] += 10;
    append(in, maker.frame(1006));
    append(in, maker.epoch(3));
    convert::ConvertStats stats;
    const Rtcm2Messages moved(convertAll(in, &stats));
    EXPECT_EQ(stats.stationMoves, 1u);
    EXPECT_EQ(moved.types.at(3), first.types.at(3) + 1);
    EXPECT_NEAR(moved.last(3)->Message_Type_3.ECEF_X * 0.01, pos[0], 0.005);
    EXPECT_NEAR(double(moved.last(24)->Message_Type_24.ECEF_X) * 1e-4, pos[0], 5e-5);
}

// Noise, a frame failing its CRC, a frame cut short inside the stream and one at its end: each is
// counted, and every good frame around them still converts.
TEST(Convert, BadRtcm3InputIsCountedAndTheRestConverts)
{
    Rtcm3Maker maker;
    std::vector<uint8_t> in = {'#', ' ', 'l', 'o', 'g', '\n'};
    append(in, maker.frame(1005));
    append(in, maker.epoch(0));
    std::vector<uint8_t> bad = maker.epoch(1);
    bad[8] ^= 0x10;
    append(in, bad);
    std::vector<uint8_t> cut = maker.epoch(2);
    in.insert(in.end(), cut.begin(), cut.begin() + std::ptrdiff_t(cut.size() / 2));
    for (int s = 3; s < 6; ++s)
        append(in, maker.epoch(s));
    const std::vector<uint8_t> last = maker.epoch(6);
    in.insert(in.end(), last.begin(), last.end() - 2);

    convert::ConvertStats stats;
    const Rtcm2Messages out(convertAll(in, &stats));
    EXPECT_EQ(stats.epochs, 4u); // 0, 3, 4 and 5
    EXPECT_GE(stats.crcFailures, 2u); // the bad frame and the one cut short
    EXPECT_EQ(stats.truncated, 1u);
    EXPECT_GT(stats.skippedBytes, 6u);
    EXPECT_EQ(out.types.at(19), 4 * 2);
    EXPECT_EQ(out.types.at(3), 1);
    // RTKLIB decodes no observations from 1003 (it lacks the pseudoranges' whole milliseconds)
    // and leaves the epoch before in place: that must not go out again.
    Rtcm3Maker partial;
    std::vector<uint8_t> p = partial.frame(1005);
    append(p, partial.epoch(0));
    append(p, partial.epoch(1, 1003));
    convert::ConvertStats partialStats;
    const Rtcm2Messages partialOut(convertAll(p, &partialStats));
    EXPECT_EQ(partialStats.epochs, 1u);
    EXPECT_EQ(partialOut.types.at(18), 2);
    // Whatever the input, each cut of it converts without a refusal.
    for (std::size_t n = 0; n < in.size(); n += 7)
        convertAll(std::vector<uint8_t>(in.begin(), in.begin() + std::ptrdiff_t(n)));
}

} // namespace
