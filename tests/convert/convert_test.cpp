// The converter on RTCM 3 made by RTKLIB's encoder and on real recordings (skipped when
// ../shared/testdata is absent): station messages, bad input, and the corrections, which must bring
// the station's own pseudoranges to its position and read the same through gpsd's decoder.
#include <CodecTables.h>
#include <Converter.h>
#include <Rtklib.h>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

// testglo.rtcm3's bytes; empty when the recordings are absent.
std::vector<uint8_t> gloRecording()
{
    QFile file(QStringLiteral(MESARO_TESTDATA_DIR "/testglo.rtcm3"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

gtime_t gloDay()
{
    const double noon[6] = {2009, 10, 2, 12, 0, 0}; // resolves the weeks of the recording
    return epoch2time(noon);
}

// RTKLIB's decoder state, freed however the test ends.
struct Rtcm3
{
    Rtcm3() { init_rtcm(&rtcm); }
    ~Rtcm3() { free_rtcm(&rtcm); }
    rtcm_t rtcm;
};

// gpsd's decoder's JSON objects for an RTCM 2 stream; none when gpsdecode is not installed.
std::vector<QJsonObject> gpsdecode(const std::vector<uint8_t> &stream)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gpsdecode"));
    std::vector<QJsonObject> out;
    if (program.isEmpty())
        return out;
    QProcess process;
    process.start(program, {QStringLiteral("-j")});
    EXPECT_TRUE(process.waitForStarted(5000));
    process.write(reinterpret_cast<const char *>(stream.data()), qint64(stream.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(20000));
    for (const QByteArray &line : process.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            out.push_back(QJsonDocument::fromJson(line).object());
    return out;
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

    std::vector<uint8_t> frame(int type)
    {
        EXPECT_EQ(gen_rtcm3(rtcm, type, 0, 0), 1) << type;
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
        o.P[0] = 21000000.5 + 700.25 * second;
        o.P[1] = o.P[0] + 1.5;
        o.L[0] = o.P[0] / (CLIGHT / FREQ1) + 0.3;
        o.L[1] = o.P[1] / (CLIGHT / FREQ2) - 0.2;
        o.SNR[0] = o.SNR[1] = 45 * 1000;
        rtcm->obs.n = 1;
        return frame(type);
    }

    std::unique_ptr<Rtcm3> state = std::make_unique<Rtcm3>();
    rtcm_t *rtcm = &state->rtcm;
};

// What came out of the converter, decoded by the project's own decoder, by type.
struct Rtcm2Messages
{
    explicit Rtcm2Messages(const std::vector<uint8_t> &stream)
    {
        Rtcm2Framer framer([this](const uint8_t *packed, std::size_t bytes, unsigned) {
            RTCMV_record_u &r = records.emplace_back();
            std::memset(&r, 0, sizeof r);
            EXPECT_GE(RTCMV_TABLES.decode(nullptr, packed, uint16_t(bytes), &r), 0);
            ++types[r.Message_Type_3.Message_Type];
            last[r.Message_Type_3.Message_Type] = &r;
        });
        framer.feed(stream.data(), stream.size());
        framer.flush();
    }
    ~Rtcm2Messages()
    {
        for (RTCMV_record_u &r : records)
            RTCMV_TABLES.freeRecord(&r);
    }
    std::deque<RTCMV_record_u> records; // a deque: `last` points into it
    std::map<int, int> types;
    std::map<int, const RTCMV_record_u *> last;
};

std::vector<uint8_t> convertAll(const std::vector<uint8_t> &rtcm3, convert::ConvertStats *stats = nullptr,
                                convert::Converter::Options options = {})
{
    if (!options.timeRef)
        options.timeRef = gpst2time(2100, 36000); // Rtcm3Maker's time
    std::vector<uint8_t> out;
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

// Station and antenna data reach 3, 23 and 24 within their resolution, as our decoder and gpsd's
// read them; a station that moves is sent again at the next epoch, not at the next repeat.
TEST(Convert, StationMessagesFollowTheRtcm3StationAndItsMoves)
{
    Rtcm3Maker maker;
    std::vector<uint8_t> in = maker.frame(1006);
    append(in, maker.frame(1008));
    for (int s = 0; s < 3; ++s)
        append(in, maker.epoch(s));
    const double *pos = maker.rtcm->sta.pos;
    const auto expectStation = [pos](const std::vector<uint8_t> &stream) {
        const Rtcm2Messages out(stream);
        if (!out.last.count(3) || !out.last.count(23) || !out.last.count(24)) {
            ADD_FAILURE() << "no type 3, 23 or 24";
            return 0;
        }
        const RTCMV_Message_Type_3_s &m3 = out.last.at(3)->Message_Type_3;
        const RTCMV_Message_Type_24_s &m24 = out.last.at(24)->Message_Type_24;
        const double got[][3] = {{m3.ECEF_X * 0.01, pos[0], 0.005},        {m3.ECEF_Y * 0.01, pos[1], 0.005},
                                 {m3.ECEF_Z * 0.01, pos[2], 0.005},        {double(m24.ECEF_X) * 1e-4, pos[0], 5e-5},
                                 {double(m24.ECEF_Y) * 1e-4, pos[1], 5e-5}, {double(m24.ECEF_Z) * 1e-4, pos[2], 5e-5},
                                 {m24.Antenna_Height * 0.01 / 256, 1.2345, 0.01 / 512}};
        for (const auto &g : got)
            EXPECT_NEAR(g[0], g[1], g[2]);
        EXPECT_EQ(m24.Height_Indicator, 1);
        EXPECT_EQ(m3.Reference_Station_Id, 278);
        const RTCMV_Message_Type_23_s &m23 = out.last.at(23)->Message_Type_23;
        EXPECT_STREQ(m23.Antenna_Descriptor, "TRM59800.00     NONE");
        EXPECT_STREQ(m23.Antenna_Serial_Number, "12345");
        EXPECT_EQ(m23.Setup_Id, 3);
        // gpsd reads the 38-bit X and Y and the height flag of type 24 wrongly (on real receivers'
        // streams too): its Z only.
        std::map<int, QJsonObject> theirs;
        for (const QJsonObject &m : gpsdecode(stream))
            theirs[m.value(QStringLiteral("type")).toInt()] = m;
        const auto value = [&](int type, const char *name) { return theirs[type].value(QLatin1String(name)).toDouble(); };
        const double gpsd[][3] = {{value(3, "x"), pos[0], 0.0051}, {value(3, "y"), pos[1], 0.0051},
                                  {value(3, "z"), pos[2], 0.0051}, {value(24, "z"), pos[2], 6e-5}};
        for (const auto &g : gpsd)
            EXPECT_TRUE(theirs.empty() || std::fabs(g[0] - g[1]) <= g[2]) << g[0] << " for " << g[1];
        EXPECT_TRUE(theirs.empty() || theirs[23].value(QStringLiteral("ad")).toString() == QLatin1String(m23.Antenna_Descriptor));
        return out.types.at(3);
    };
    const int stations = expectStation(convertAll(in));
    maker.rtcm->sta.pos[0] += 10;
    append(in, maker.frame(1006));
    append(in, maker.epoch(3));
    convert::ConvertStats stats;
    EXPECT_EQ(expectStation(convertAll(in, &stats)), stations + 1);
    EXPECT_EQ(stats.stationMoves, 1u);
}

// Noise, a frame failing its CRC, a frame cut short inside the stream and one at its end: each is
// counted, and every good frame around them still converts. RTKLIB decodes no observations from
// 1003 (it lacks the pseudoranges' whole milliseconds) and leaves the epoch before in place: that
// must not go out again.
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
    append(in, maker.epoch(6, 1003));
    const std::vector<uint8_t> last = maker.epoch(7);
    in.insert(in.end(), last.begin(), last.end() - 2);

    convert::ConvertStats stats;
    const Rtcm2Messages out(convertAll(in, &stats));
    EXPECT_EQ(stats.epochs, 4u); // 0, 3, 4 and 5
    EXPECT_GE(stats.crcFailures, 2u); // the bad frame and the one cut short
    EXPECT_EQ(stats.truncated, 1u);
    EXPECT_GT(stats.skippedBytes, 6u);
    EXPECT_EQ(out.types.at(19), 4 * 2);
    // Whatever the input, each cut of it converts without a refusal.
    for (std::size_t n = 0; n < in.size(); n += 7)
        convertAll(std::vector<uint8_t>(in.begin(), in.begin() + std::ptrdiff_t(n)));
}

// testglo.rtcm3 converted to corrections 1, 9 and 31 each second (station id 77: gpsd does not
// lock onto a stream of station id 0), and as our decoder reads them.
struct GloCorrections
{
    std::vector<uint8_t> stream = convertAll(gloRecording(), nullptr, {77, {{1, 1}, {9, 1}, {31, 1}}, gloDay()});
    Rtcm2Messages messages{stream};
};
const GloCorrections &gloCorrections()
{
    static const GloCorrections corrections;
    return corrections;
}

// The epoch's satellites of `system` with a pseudorange: how many have an ephemeris, and how many not.
std::pair<int, int> withAndWithoutEphemeris(const rtcm_t &rtcm, int system)
{
    std::pair<int, int> counts;
    for (int i = 0; i < rtcm.obs.n; ++i) {
        const int sat = rtcm.obs.data[i].sat;
        if (satsys(sat, nullptr) != system || rtcm.obs.data[i].P[0] == 0.0)
            continue;
        const bool has = std::any_of(rtcm.nav.eph, rtcm.nav.eph + rtcm.nav.n, [sat](const eph_t &e) { return e.sat == sat; })
                         || std::any_of(rtcm.nav.geph, rtcm.nav.geph + rtcm.nav.ng, [sat](const geph_t &e) { return e.sat == sat; });
        ++(has ? counts.first : counts.second);
    }
    return counts;
}

// Single-point position of the epoch from its own pseudoranges, each corrected as a user receiver
// corrects it: PRC + RRC * (time - time of the corrections), scaled by the block's scale factor.
// Atmosphere models are off, since the corrections hold the atmosphere. The distance to the station;
// -1 when pntpos finds no solution, -2 with fewer than five corrected satellites.
double correctedSolution(const rtcm_t &rtcm, const std::map<int, RTCMV_DGNSS_s> &corrections, gtime_t correctionTime)
{
    std::vector<obsd_t> used;
    for (int i = 0; i < rtcm.obs.n; ++i) {
        const auto it = corrections.find(rtcm.obs.data[i].sat);
        if (it == corrections.end() || it->second.PRC == -32768 || it->second.RRC == -128 || rtcm.obs.data[i].P[0] == 0)
            continue;
        obsd_t o = rtcm.obs.data[i];
        const double scale = it->second.Scale_Factor ? 16.0 : 1.0;
        o.P[0] += scale * (it->second.PRC * 0.02 + it->second.RRC * 0.002 * timediff(o.time, correctionTime));
        used.push_back(o);
    }
    // The ephemerides as an L1 user receiver sees them: matched by time of week as the station
    // matched them, and without GLONASS' L2-L1 delay, which RTKLIB's single-point positioning puts
    // into the L1 clock where the GLONASS ICD, the station and an L1 receiver do not.
    const gtime_t time = rtcm.obs.data[0].time;
    std::vector<eph_t> gps(rtcm.nav.eph, rtcm.nav.eph + rtcm.nav.n);
    for (eph_t &e : gps)
        e = convert::alignedEphemeris(e, time);
    std::vector<geph_t> glonass(rtcm.nav.geph, rtcm.nav.geph + rtcm.nav.ng);
    for (geph_t &g : glonass) {
        g = convert::alignedEphemeris(g, time);
        g.dtaun = 0.0;
    }
    nav_t nav = rtcm.nav;
    nav.eph = gps.data();
    nav.geph = glonass.data();
    prcopt_t opt = prcopt_default;
    opt.navsys = SYS_GPS | SYS_GLO;
    opt.ionoopt = IONOOPT_OFF;
    opt.tropopt = TROPOPT_OFF;
    sol_t sol = {};
    char msg[128] = "";
    if (used.size() < 5)
        return -2.0;
    if (!pntpos(used.data(), int(used.size()), &nav, &opt, &sol, nullptr, nullptr, msg))
        return -1.0;
    double d[3];
    for (int k = 0; k < 3; ++k)
        d[k] = sol.rr[k] - rtcm.sta.pos[k];
    return norm(d, 3);
}

// testglo.rtcm3 through RTKLIB, whose header is built with Debian's definitions: a layout mismatch
// between it and the library would scramble the counts and the station. Each epoch is solved with
// the corrections of the epoch before (types 1 and 31, found by their Z-count), as a user receiver
// one epoch behind would; each epoch's corrections hold exactly the satellites observed that have
// an ephemeris by then.
TEST(Corrections, StationsOwnPseudorangesSolveToItsPosition)
{
    const std::vector<uint8_t> bytes = gloRecording();
    if (bytes.empty())
        GTEST_SKIP() << "no recordings at " << MESARO_TESTDATA_DIR;
    std::map<std::pair<int, unsigned>, const RTCMV_Message_Type_1_s *> byZCount;
    for (const RTCMV_record_u &r : gloCorrections().messages.records)
        if (r.Message_Type_1.Message_Type == 1 || r.Message_Type_1.Message_Type == 31)
            byZCount[{r.Message_Type_1.Message_Type, r.Message_Type_1.Modified_Z_Count}] = &r.Message_Type_1;
    auto decoder = std::make_unique<Rtcm3>();
    rtcm_t &rtcm = decoder->rtcm;
    rtcm.time = gloDay();
    std::map<int, RTCMV_DGNSS_s> last; // by RTKLIB satellite number
    gtime_t lastTime{};
    int corrected = 0, solved = 0, missing = 0, udre[4] = {};
    double worst = 0.0, sumSquares = 0.0, firstEpoch[6] = {};
    std::map<int, int> results;
    for (const uint8_t c : bytes) {
        const int result = input_rtcm3(&rtcm, c);
        if (++results[result] && result != 1)
            continue;
        if (results[1] == 1)
            time2epoch(rtcm.obs.data[0].time, firstEpoch);
        const double error = correctedSolution(rtcm, last, lastTime);
        corrected += error > -2.0 ? 1 : 0;
        solved += error >= 0.0 ? 1 : 0;
        worst = std::max(worst, error);
        sumSquares += error >= 0.0 ? error * error : 0.0;
        last.clear();
        lastTime = rtcm.obs.data[0].time;
        for (const int system : {SYS_GPS, SYS_GLO}) {
            const auto found = byZCount.find({system == SYS_GPS ? 1 : 31, convert::zTimeOf(lastTime, system == SYS_GLO).zCount});
            const RTCMV_Message_Type_1_s *m = found == byZCount.end() ? nullptr : found->second;
            for (unsigned i = 0; m != nullptr && i < m->Ns; ++i) {
                const RTCMV_DGNSS_s &b = m->Corrections[i];
                last[satno(system, b.Satellite_Id == 0 ? 32 : b.Satellite_Id)] = b;
                ++udre[b.UDRE];
            }
            const auto [with, without] = withAndWithoutEphemeris(rtcm, system);
            const bool station = norm(rtcm.sta.pos, 3) > 0.0;
            missing += station ? without : 0;
            EXPECT_EQ(m != nullptr ? int(m->Ns) : 0, station ? with : 0) << "epoch " << results[1] << " system " << system;
        }
    }
    const int epochs = results[1];
    EXPECT_EQ(epochs, 186);
    EXPECT_EQ(results[2], 21); // new ephemerides
    EXPECT_EQ(results[5], 19); // stations
    EXPECT_EQ(firstEpoch[0] * 10000 + firstEpoch[1] * 100 + firstEpoch[2], 20091002);
    const double station[3] = {-3869297.514, 3436571.335, 3717369.376};
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(rtcm.sta.pos[k], station[k], 5e-4);
    EXPECT_GT(missing, 0) << "the recording starts before its ephemerides";
    EXPECT_GT(corrected, epochs / 2);
    EXPECT_EQ(solved, corrected);
    EXPECT_LT(worst, 1.0);
    // A geodetic receiver's code is good to well under a metre: "LT 1 m" but for satellites not yet
    // assessed (their first epoch).
    EXPECT_GT(udre[0], 20 * udre[1]);
    EXPECT_EQ(udre[2] + udre[3], 0);
    std::printf("corrected single-point positions: %d of %d epochs (%d corrected), RMS %.3f m, worst %.3f m from the station\n",
                solved, epochs, corrected, solved ? std::sqrt(sumSquares / solved) : 0.0, worst);
}

// gpsd's decoder reads our 1, 9 and 31 from the converted recording as ours does (a GLONASS
// message splits the issue of data into the change-of-ephemeris bit and the 7-bit time of day); and
// a correction block takes the coarse scale exactly when the fine one cannot hold it.
TEST(Corrections, GpsdecodeReadsOurCorrectionMessages)
{
    // PRC metres, RRC metres per second, scale factor.
    const double cases[][3] = {{12.34, -0.05, 0}, {-655.34, 0.254, 0}, {655.36, 0.01, 1}, {3.0, -0.256, 1}, {-10485.44, 4.064, 1}};
    for (const auto &c : cases) {
        const RTCMV_DGNSS_s b = convert::correctionBlock(5, c[0], c[1], 0, 17);
        const double step = c[2] ? 16.0 : 1.0;
        EXPECT_EQ(b.Scale_Factor, c[2]) << c[0] << " m, " << c[1] << " m/s";
        EXPECT_NEAR(b.PRC * 0.02 * step, c[0], 0.01 * step + 1e-9);
        EXPECT_NEAR(b.RRC * 0.002 * step, c[1], 0.001 * step + 1e-9);
    }
    EXPECT_EQ(convert::correctionBlock(1, 10485.8, 0.0, 0, 0).PRC, -32768); // beyond the coarse scale: "error"
    EXPECT_EQ(convert::correctionBlock(1, 0.0, -4.1, 0, 0).RRC, -128);

    const std::vector<QJsonObject> lines = gloRecording().empty() ? std::vector<QJsonObject>() : gpsdecode(gloCorrections().stream);
    if (lines.empty())
        GTEST_SKIP() << "gpsdecode (gpsd-clients) is not installed, or no recordings";
    const std::deque<RTCMV_record_u> &ours = gloCorrections().messages.records;
    // gpsd delivers a message once the next one's preamble is seen: all but the last.
    ASSERT_GE(lines.size() + 1, ours.size());
    ASSERT_GT(ours.size(), 3u * 150);
    for (std::size_t m = 0; m < lines.size() && m < ours.size(); ++m) {
        const QJsonObject &json = lines[m];
        const RTCMV_Message_Type_1_s &our = ours[m].Message_Type_1;
        const bool glonass = our.Message_Type == 31;
        ASSERT_EQ(json.value(QStringLiteral("type")).toInt(), our.Message_Type);
        const QJsonArray theirs = json.value(QStringLiteral("satellites")).toArray();
        ASSERT_EQ(theirs.size(), int(our.Ns));
        for (int s = 0; s < theirs.size(); ++s) {
            const auto value = [&](const char *name) { return theirs[s].toObject().value(QLatin1String(name)).toDouble(); };
            const RTCMV_DGNSS_s &b = our.Corrections[s];
            const double scale = b.Scale_Factor ? 16.0 : 1.0;
            const double iod = glonass ? theirs[s].toObject().value(QLatin1String("change")).toBool() * 128 + value("tod") : value("iod");
            const double pairs[][2] = {{value("ident"), double(b.Satellite_Id)}, {value("udre"), double(b.UDRE)},
                                       {iod, double(b.Issue_Of_Data)}, {value("prc"), b.PRC * 0.02 * scale},
                                       {value("rrc"), b.RRC * 0.002 * scale}};
            for (const auto &p : pairs)
                EXPECT_NEAR(p[0], p[1], 0.0005) << lines[m].value(QLatin1String("zcount")).toDouble();
        }
    }
}

} // namespace
