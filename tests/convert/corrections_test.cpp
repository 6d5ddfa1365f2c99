// Corrections of types 1/9/31/34: a real station's own pseudoranges, corrected, must solve to the
// station's published position, and gpsd's decoder must read our correction messages as ours does.
#include "Corrections.h"

#include <Rtcm2Framer.h>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

using namespace Nvt::Mesaro;
using convert::Constellation;

namespace {

// A type 1, 9, 31 or 34 message holding `blocks`, packed (3 bytes per word). The four share one
// layout, and the encoder writes the type as the record holds it, so one record serves them all.
// Successive messages get successive sequence numbers and Z-counts 1.2 s apart, as gpsd expects.
std::vector<uint8_t> packedMessage(unsigned type, const std::vector<RTCMV_DGNSS_s> &blocks)
{
    static unsigned sequence = 0;
    ++sequence;
    RTCMV_Message_Type_1_s record;
    RTCMV_init_Message_Type_1(&record);
    record.Message_Type = static_cast<unsigned char>(type);
    record.Reference_Station_Id = 77;
    record.Modified_Z_Count = static_cast<unsigned short>(100 + 2 * (sequence % 2000));
    record.Sequence_No_ = static_cast<unsigned char>(sequence % 8);
    for (const RTCMV_DGNSS_s &b : blocks) {
        RTCMV_DGNSS_s *slot = RTCMV_append_Message_Type_1_Corrections(&record);
        void *parent = slot->parent;
        *slot = b;
        slot->parent = parent;
    }
    record.No_Of_Data_Words = static_cast<unsigned char>((40 * blocks.size() + 23) / 24);
    std::vector<uint8_t> packed(3u * (2u + record.No_Of_Data_Words));
    const int32_t bits = RTCMV_encode_Message_Type_1(packed.data(), static_cast<uint16_t>(packed.size()), &record);
    RTCMV_free_Message_Type_1(&record);
    EXPECT_EQ(bits, int32_t(48 + 40 * blocks.size()));
    return packed;
}

// A correction as our decoder reads it back, in metres and metres per second (`id` as on the wire:
// 0 for satellite 32).
struct Decoded
{
    int id, udre, issueOfData;
    double prc, rrc;
    bool error;
};

std::vector<Decoded> decodeMessage(const std::vector<uint8_t> &packed)
{
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record;
    const int32_t bits = RTCMV_decode(&context, packed.data(), static_cast<uint16_t>(packed.size()), &record);
    EXPECT_GT(bits, 0);
    std::vector<Decoded> out;
    if (bits <= 0)
        return out;
    const RTCMV_Message_Type_1_s &m = record.Message_Type_1;
    for (unsigned i = 0; i < m.Ns; ++i) {
        const RTCMV_DGNSS_s &b = m.Corrections[i];
        const double scale = b.Scale_Factor ? 16.0 : 1.0;
        out.push_back({b.Satellite_Id, b.UDRE, b.Issue_Of_Data, b.PRC * 0.02 * scale,
                       b.RRC * 0.002 * scale, b.PRC == -32768 || b.RRC == -128});
    }
    RTCMV_free_record(&record);
    return out;
}

// Satellites of `system` in the epoch with an L1 pseudorange, and how many of those `nav` has no
// ephemeris for.
std::pair<int, int> observedAndMissing(const obs_t &obs, const nav_t &nav, int system)
{
    int observed = 0, missing = 0;
    for (int i = 0; i < obs.n; ++i) {
        const int sat = obs.data[i].sat;
        if (satsys(sat, nullptr) != system || obs.data[i].P[0] == 0.0)
            continue;
        ++observed;
        missing += std::none_of(nav.eph, nav.eph + nav.n, [sat](const eph_t &e) { return e.sat == sat; }) &&
                   std::none_of(nav.geph, nav.geph + nav.ng, [sat](const geph_t &e) { return e.sat == sat; });
    }
    return {observed, missing};
}

// The ephemerides as an L1 user receiver of the corrections sees them: GPS weeks as the station
// matched them, and without GLONASS' L2-L1 delay, which RTKLIB's single-point positioning puts into
// the L1 clock where the GLONASS ICD, the station and an L1 receiver do not.
struct UserEphemerides
{
    UserEphemerides(const nav_t &station, gtime_t time) : nav(station)
    {
        for (int i = 0; i < station.n; ++i)
            gps.push_back(convert::alignedEphemeris(station.eph[i], time));
        for (int i = 0; i < station.ng; ++i) {
            glonass.push_back(convert::alignedEphemeris(station.geph[i], time));
            glonass.back().dtaun = 0.0;
        }
        nav.eph = gps.data();
        nav.geph = glonass.data();
    }
    nav_t nav;
    std::vector<eph_t> gps;
    std::vector<geph_t> glonass;
};

// Single-point position of the epoch from its own pseudoranges, each corrected as a user receiver
// corrects it: PRC + RRC * (time - time of the corrections). Satellites without a correction are
// left out; atmosphere models are off, since the corrections hold the atmosphere. Returns the
// distance to `station`; -1 when pntpos finds no solution, -2 with fewer than five corrected
// satellites.
double correctedSolution(const obs_t &obs, const nav_t &nav, const std::map<int, Decoded> &corrections,
                         gtime_t correctionTime, const double *station)
{
    std::vector<obsd_t> used;
    for (int i = 0; i < obs.n; ++i) {
        const auto it = corrections.find(obs.data[i].sat);
        if (it == corrections.end() || it->second.error || obs.data[i].P[0] == 0.0)
            continue;
        obsd_t o = obs.data[i];
        o.P[0] += it->second.prc + it->second.rrc * timediff(o.time, correctionTime);
        used.push_back(o);
    }
    prcopt_t opt = prcopt_default;
    opt.navsys = SYS_GPS | SYS_GLO;
    opt.ionoopt = IONOOPT_OFF;
    opt.tropopt = TROPOPT_OFF;
    sol_t sol = {};
    char msg[128] = "";
    const UserEphemerides user(nav, obs.data[0].time);
    if (used.size() < 5)
        return -2.0;
    if (!pntpos(used.data(), int(used.size()), &user.nav, &opt, &sol, nullptr, nullptr, msg))
        return -1.0;
    double d[3];
    for (int k = 0; k < 3; ++k)
        d[k] = sol.rr[k] - station[k];
    return norm(d, 3);
}

// The station's corrections epoch by epoch, each epoch first solved with the corrections of the one
// before, as a user receiver one epoch behind would.
struct Replay
{
    convert::Corrections corrections;
    std::map<int, Decoded> last; // by RTKLIB satellite number
    gtime_t lastTime = {};
    int epochs = 0, corrected = 0, solved = 0, missing = 0;
    int udre[4] = {};
    int flagged = 0; // GLONASS blocks with the change-of-ephemeris bit
    double worst = 0.0, sumSquares = 0.0;

    void solve(const rtcm_t &rtcm)
    {
        ++epochs;
        const double error = correctedSolution(rtcm.obs, rtcm.nav, last, lastTime, rtcm.sta.pos);
        corrected += error > -2.0 ? 1 : 0;
        if (error >= 0.0) {
            ++solved;
            worst = std::max(worst, error);
            sumSquares += error * error;
        }
    }

    // Makes the epoch's corrections and keeps them as our decoder reads them from types 1 and 31.
    void correct(const rtcm_t &rtcm, int system)
    {
        convert::CorrectionInput input;
        input.obs = rtcm.obs.data;
        input.n = rtcm.obs.n;
        input.nav = &rtcm.nav;
        std::copy(rtcm.sta.pos, rtcm.sta.pos + 3, input.stationEcef);
        std::vector<RTCMV_DGNSS_s> blocks;
        const int skipped = corrections.compute(input, system == SYS_GPS ? Constellation::Gps : Constellation::Glonass, blocks);
        // No correction without an ephemeris, each such satellite counted; every other one corrected.
        const auto [observed, withoutEphemeris] = observedAndMissing(rtcm.obs, rtcm.nav, system);
        EXPECT_EQ(skipped, withoutEphemeris);
        EXPECT_EQ(int(blocks.size()) + skipped, observed);
        missing += skipped;
        for (const RTCMV_DGNSS_s &b : blocks) {
            ++udre[b.UDRE];
            flagged += system == SYS_GLO && (b.Issue_Of_Data & 0x80) ? 1 : 0;
        }
        for (std::size_t at = 0; at < blocks.size(); at += 18) {
            const std::vector<RTCMV_DGNSS_s> part(blocks.begin() + at, blocks.begin() + std::min(blocks.size(), at + 18));
            for (const Decoded &d : decodeMessage(packedMessage(system == SYS_GPS ? 1 : 31, part)))
                last[satno(system, d.id == 0 ? 32 : d.id)] = d;
        }
        lastTime = rtcm.obs.data[0].time;
    }
};

TEST(CorrectionsTest, StationsOwnPseudorangesSolveToItsPosition)
{
    QFile file(QStringLiteral(MESARO_TESTDATA_DIR "/testglo.rtcm3"));
    if (!file.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no recording at " << MESARO_TESTDATA_DIR;
    const QByteArray bytes = file.readAll();
    auto rtcm = std::make_unique<rtcm_t>();
    ASSERT_TRUE(init_rtcm(rtcm.get()));
    // RTCM 3 carries no GPS week: RTKLIB places the epochs near this time (noon of the recording's day).
    const double day[6] = {2009, 10, 2, 12, 0, 0};
    rtcm->time = epoch2time(day);
    Replay r;
    for (const char c : bytes) {
        if (input_rtcm3(rtcm.get(), static_cast<uint8_t>(c)) != 1 || norm(rtcm->sta.pos, 3) == 0.0)
            continue;
        r.solve(*rtcm);
        r.last.clear();
        r.correct(*rtcm, SYS_GPS);
        r.correct(*rtcm, SYS_GLO);
        // A new GLONASS ephemeris (the same orbit under the next tb) from the 100th epoch on: its
        // satellite's corrections carry the change bit for the two minutes after the switch.
        if (r.epochs == 100) {
            const int sat = rtcm->obs.data[rtcm->obs.n - 1].sat; // GLONASS comes last in the epoch
            ASSERT_EQ(satsys(sat, nullptr), SYS_GLO);
            for (int k = 0; k < rtcm->nav.ng; ++k)
                rtcm->nav.geph[k].iode += rtcm->nav.geph[k].sat == sat ? 1 : 0;
        }
    }
    free_rtcm(rtcm.get());
    EXPECT_GT(r.missing, 0) << "the recording starts before its ephemerides";
    EXPECT_GT(r.corrected, r.epochs / 2);
    EXPECT_EQ(r.solved, r.corrected);
    EXPECT_LT(r.worst, 1.0);
    // A geodetic receiver's code is good to well under a metre: "LT 1 m" but for satellites not yet
    // assessed (their first epoch).
    EXPECT_GT(r.udre[0], 20 * r.udre[1]);
    EXPECT_EQ(r.udre[2] + r.udre[3], 0);
    EXPECT_EQ(r.flagged, r.epochs - 100);
    std::printf("corrected single-point positions: %d of %d epochs (%d corrected), RMS %.3f m, worst %.3f m from the station\n",
                r.solved, r.epochs, r.corrected, r.solved ? std::sqrt(r.sumSquares / r.solved) : 0.0, r.worst);
}

// gpsdecode's JSON lines for an RTCM 2 byte stream.
QList<QByteArray> gpsdecodeJson(const QString &gpsdecode, const std::vector<uint8_t> &stream)
{
    QProcess process;
    process.start(gpsdecode, {QStringLiteral("-j")});
    EXPECT_TRUE(process.waitForStarted(5000));
    process.write(reinterpret_cast<const char *>(stream.data()), qint64(stream.size()));
    process.closeWriteChannel();
    EXPECT_TRUE(process.waitForFinished(10000));
    return process.readAllStandardOutput().trimmed().split('\n');
}

// gpsd's satellites of one message against ours; a GLONASS message splits the issue of data into
// the change-of-ephemeris bit and the 7-bit time of day.
void expectSame(const QJsonArray &theirs, const std::vector<Decoded> &ours, bool glonass)
{
    ASSERT_EQ(theirs.size(), int(ours.size()));
    for (int s = 0; s < theirs.size(); ++s) {
        const QJsonObject sat = theirs[s].toObject();
        const Decoded &d = ours[std::size_t(s)];
        EXPECT_EQ(sat.value(QStringLiteral("ident")).toInt(), d.id);
        EXPECT_EQ(sat.value(QStringLiteral("udre")).toInt(), d.udre);
        if (glonass) {
            EXPECT_EQ(sat.value(QStringLiteral("change")).toBool(), (d.issueOfData & 0x80) != 0);
            EXPECT_EQ(sat.value(QStringLiteral("tod")).toInt(), d.issueOfData & 0x7F);
        } else {
            EXPECT_EQ(sat.value(QStringLiteral("iod")).toInt(), d.issueOfData);
        }
        EXPECT_NEAR(sat.value(QStringLiteral("prc")).toDouble(), d.prc, 0.0005);
        EXPECT_NEAR(sat.value(QStringLiteral("rrc")).toDouble(), d.rrc, 0.0005);
    }
}

TEST(CorrectionsTest, GpsdecodeReadsOurCorrectionMessages)
{
    const QString gpsdecode = QStandardPaths::findExecutable(QStringLiteral("gpsdecode"));
    if (gpsdecode.isEmpty())
        GTEST_SKIP() << "gpsdecode (gpsd-clients) is not installed";
    // Values on both sides of the scale switch: the fine scale holds PRC to 655.34 m and RRC to
    // 0.254 m/s, the coarse one 16 times as much.
    struct Case
    {
        int id;
        double prc, rrc;
        int udre, issueOfData;
        unsigned scale;
    };
    const std::vector<Case> cases = {{5, 12.34, -0.05, 0, 17, 0},    {32, -655.34, 0.254, 1, 255, 0},
                                     {12, 655.36, 0.01, 2, 0, 1},    {20, 3.0, -0.256, 3, 99, 1},
                                     {7, -10485.44, 4.064, 0, 1, 1}, {1, 0.0, 0.0, 0, 0x80 | 33, 0}};
    std::vector<RTCMV_DGNSS_s> blocks;
    for (const Case &c : cases) {
        blocks.push_back(convert::correctionBlock(c.id, c.prc, c.rrc, c.udre, c.issueOfData));
        EXPECT_EQ(blocks.back().Scale_Factor, c.scale) << c.prc << " m, " << c.rrc << " m/s";
    }
    // Beyond the coarse scale the value is sent as "error".
    EXPECT_EQ(convert::correctionBlock(1, 10485.8, 0.0, 0, 0).PRC, -32768);
    EXPECT_EQ(convert::correctionBlock(1, 0.0, -4.1, 0, 0).RRC, -128);

    // Every block in one type 1, the first three in a type 9, the last three as GLONASS in a 31.
    const std::vector<std::pair<unsigned, std::vector<RTCMV_DGNSS_s>>> messages = {
        {1, blocks}, {9, {blocks.begin(), blocks.begin() + 3}}, {31, {blocks.begin() + 3, blocks.end()}}};
    std::vector<std::vector<uint8_t>> packed;
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    for (const auto &[type, part] : messages) {
        packed.push_back(packedMessage(type, part));
        writer.writeMessage(packed.back().data(), unsigned(packed.back().size() / 3), stream);
    }
    // gpsd delivers a message once the next one's preamble is seen: one more to close the stream.
    const std::vector<uint8_t> closing = packedMessage(1, {});
    writer.writeMessage(closing.data(), unsigned(closing.size() / 3), stream);

    const QList<QByteArray> lines = gpsdecodeJson(gpsdecode, stream);
    ASSERT_GE(lines.size(), int(messages.size()));

    for (std::size_t m = 0; m < messages.size(); ++m) {
        SCOPED_TRACE(lines[int(m)].constData());
        const QJsonObject json = QJsonDocument::fromJson(lines[int(m)]).object();
        EXPECT_EQ(json.value(QStringLiteral("type")).toInt(), int(messages[m].first));
        expectSame(json.value(QStringLiteral("satellites")).toArray(), decodeMessage(packed[m]), messages[m].first == 31);
    }
    // And both agree with what was meant, to half a step of the scale chosen.
    const std::vector<Decoded> all = decodeMessage(packed[0]);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const double step = cases[i].scale ? 16.0 : 1.0;
        EXPECT_NEAR(all[i].prc, cases[i].prc, 0.01 * step + 1e-9);
        EXPECT_NEAR(all[i].rrc, cases[i].rrc, 0.001 * step + 1e-9);
        EXPECT_EQ(all[i].id, cases[i].id % 32);
    }
}

} // namespace
