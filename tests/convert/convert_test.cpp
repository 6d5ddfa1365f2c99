// The converter against real RTCM 3 recordings (skipped when ../shared/testdata is absent).
#include <MessageTime.h>
#include <Rtklib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

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

} // namespace
