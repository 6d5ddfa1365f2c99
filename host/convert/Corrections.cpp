// Pseudorange and range-rate corrections (RTCM 2 types 1, 9, 31, 34) from a reference station's own
// observations, RTKLIB's broadcast orbits and clocks, and the station's known position.
#include "Corrections.h"

#include <algorithm>
#include <cmath>

using Nvt::Mesaro::RTCMV_DGNSS_s;

namespace convert {

namespace {

// Epochs further apart than this give no range rate and no prediction to assess.
constexpr double kMaxGap = 30.0;
// The range rate is the slope of a satellite's corrections over about this many epochs.
constexpr int kRateWindow = 60;
// How long the GLONASS change-of-ephemeris flag stays set after the station switched to a new
// ephemeris: long enough for a user receiver to collect the new one from the satellite.
constexpr double kChangeFlagSeconds = 120.0;
// The UDRE follows the prediction errors of about this many epochs.
constexpr int kAssessWindow = 30;
// Largest magnitudes of the 16-bit PRC and 8-bit RRC; the most negative values mean "error".
constexpr double kPrcMax = 32767, kRrcMax = 127;

double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    const auto mid = v.begin() + v.size() / 2;
    std::nth_element(v.begin(), mid, v.end());
    double m = *mid;
    if (v.size() % 2 == 0)
        m = (m + *std::max_element(v.begin(), mid)) / 2;
    return m;
}

bool isSet(gtime_t t) { return t.time != 0 || t.sec != 0.0; }

// Whole weeks between an ephemeris' reference time and the epoch (see alignedEphemeris).
double weeksApart(gtime_t toe, gtime_t time)
{
    return std::round(timediff(time, toe) / 604800.0);
}

// The ephemeris whose reference time is nearest the epoch, within the validity RTKLIB's own
// positioning allows (2 h for GPS, 30 min for GLONASS), so a receiver using RTKLIB or following
// the same rule picks the same issue.
template <typename Ephemeris>
const Ephemeris *nearest(const Ephemeris *list, int count, int sat, gtime_t time, double validity)
{
    const Ephemeris *best = nullptr;
    double bestGap = validity;
    for (int i = 0; i < count; ++i) {
        const double apart = timediff(time, list[i].toe);
        const double gap = std::fabs(apart - 604800.0 * weeksApart(list[i].toe, time));
        if (list[i].sat == sat && gap <= bestGap) {
            best = &list[i];
            bestGap = gap;
        }
    }
    return best;
}

enum class Availability { Ok, NoEphemeris, Unhealthy };

// Where the satellite was when it sent the signal received at the epoch, seen from the station.
struct Geometry
{
    double range = 0.0;  // metres, with the earth's rotation during the signal's travel (geodist)
    double clock = 0.0;  // satellite clock offset on L1, seconds
    int issueOfData = 0; // GPS IODE, GLONASS tb
};

Availability gpsGeometry(const obsd_t &o, const nav_t &nav, const double *station, Geometry &g)
{
    const eph_t *found = nearest(nav.eph, nav.n, o.sat, o.time, MAXDTOE);
    if (found == nullptr)
        return Availability::NoEphemeris;
    const eph_t aligned = alignedEphemeris(*found, o.time);
    const eph_t *eph = &aligned;
    if (eph->svh != 0)
        return Availability::Unhealthy;
    gtime_t sent = timeadd(o.time, -o.P[0] / CLIGHT);
    sent = timeadd(sent, -eph2clk(sent, eph));
    double rs[3], dts = 0, var = 0, e[3];
    eph2pos(sent, eph, rs, &dts, &var);
    g.range = geodist(rs, station, e);
    // An L1 C/A user takes the group delay into the satellite clock; the station does the same, so
    // it cancels in the user's position.
    g.clock = dts - eph->tgd[0];
    g.issueOfData = eph->iode & 0xFF;
    return g.range > 0 ? Availability::Ok : Availability::NoEphemeris;
}

Availability glonassGeometry(const obsd_t &o, const nav_t &nav, const double *station, Geometry &g)
{
    const geph_t *found = nearest(nav.geph, nav.ng, o.sat, o.time, MAXDTOE_GLO);
    if (found == nullptr)
        return Availability::NoEphemeris;
    const geph_t aligned = alignedEphemeris(*found, o.time);
    const geph_t *eph = &aligned;
    if (eph->svh != 0)
        return Availability::Unhealthy;
    gtime_t sent = timeadd(o.time, -o.P[0] / CLIGHT);
    sent = timeadd(sent, -geph2clk(sent, eph));
    double rs[3], dts = 0, var = 0, e[3];
    geph2pos(sent, eph, rs, &dts, &var);
    g.range = geodist(rs, station, e);
    g.clock = dts;
    // RTKLIB keeps the 7-bit tb (the ephemeris' time of day in 15-minute steps) as the GLONASS IODE.
    g.issueOfData = eph->iode & 0x7F;
    return g.range > 0 ? Availability::Ok : Availability::NoEphemeris;
}

long steps(double value, double step) { return std::lround(value / step); }

int udreClass(double metres)
{
    return metres <= 1.0 ? 0 : metres <= 4.0 ? 1 : metres <= 8.0 ? 2 : 3;
}

} // namespace

eph_t alignedEphemeris(const eph_t &eph, gtime_t time)
{
    const double weeks = weeksApart(eph.toe, time);
    eph_t e = eph;
    e.week += static_cast<int>(weeks);
    e.toe = timeadd(e.toe, weeks * 604800.0);
    e.toc = timeadd(e.toc, weeks * 604800.0);
    return e;
}

geph_t alignedEphemeris(const geph_t &eph, gtime_t time)
{
    const double weeks = weeksApart(eph.toe, time);
    geph_t e = eph;
    e.toe = timeadd(e.toe, weeks * 604800.0);
    e.tof = timeadd(e.tof, weeks * 604800.0);
    return e;
}

RTCMV_DGNSS_s correctionBlock(int id, double prc, double rrc, int udre, int issueOfData)
{
    RTCMV_DGNSS_s b;
    Nvt::Mesaro::RTCMV_init_DGNSS(&b);
    const bool fine = std::labs(steps(prc, 0.02)) <= kPrcMax && std::labs(steps(rrc, 0.002)) <= kRrcMax;
    const double prcStep = fine ? 0.02 : 0.32, rrcStep = fine ? 0.002 : 0.032;
    const long p = steps(prc, prcStep), r = steps(rrc, rrcStep);
    b.Scale_Factor = fine ? 0 : 1;
    b.UDRE = static_cast<unsigned char>(udre & 3);
    b.Satellite_Id = static_cast<unsigned char>(id & 31);
    b.PRC = static_cast<short>(std::labs(p) <= kPrcMax ? p : -32768);
    b.RRC = static_cast<signed char>(std::labs(r) <= kRrcMax ? r : -128);
    b.Issue_Of_Data = static_cast<unsigned char>(issueOfData & 0xFF);
    return b;
}

// One satellite of the epoch on its way to a correction block.
struct Corrections::Satellite
{
    int sat = 0, id = 0;
    Geometry geometry;
    double raw = 0.0;        // range - pseudorange - satellite clock: the PRC with the receiver clock in it
    double since = 0.0;      // seconds since the track's epoch with the same ephemeris (0: none)
    double prc = 0.0, rrc = 0.0;
    int udre = 1;
};

Corrections::Corrections() : m_tracks(MAXSAT) {}

int Corrections::compute(const CorrectionInput &input, Constellation constellation,
                         std::vector<RTCMV_DGNSS_s> &out)
{
    out.clear();
    std::vector<Satellite> sats;
    const int missing = collect(input, constellation, sats);
    m_counts.withoutEphemeris += static_cast<uint64_t>(missing);
    if (sats.empty())
        return missing;
    // The receiver clock offset is common to every satellite of the constellation: the median of
    // the raw corrections takes it out and stands firm against a satellite with a bad pseudorange.
    // What stays is each satellite's atmosphere and noise, and a common remainder that a user
    // receiver takes into its own clock.
    std::vector<double> raws;
    for (const Satellite &s : sats)
        raws.push_back(s.raw);
    const double clock = median(raws);
    for (Satellite &s : sats)
        s.prc = s.raw - clock;
    const gtime_t epoch = input.obs[0].time;
    rates(sats);
    assess(sats, epoch);
    for (const Satellite &s : sats) {
        Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
        const int iod = issueOfData(s, constellation, epoch);
        out.push_back(correctionBlock(s.id, s.prc, s.rrc, s.udre, iod));
        t.time = epoch;
        t.issueOfData = s.geometry.issueOfData;
        t.prc = s.prc;
        t.rrc = s.rrc;
    }
    m_counts.corrections += out.size();
    return missing;
}

// The epoch's satellites of the constellation with an L1 pseudorange and a healthy ephemeris;
// returns how many had no ephemeris.
int Corrections::collect(const CorrectionInput &input, Constellation constellation, std::vector<Satellite> &sats)
{
    const int system = constellation == Constellation::Gps ? SYS_GPS : SYS_GLO;
    int missing = 0;
    for (int i = 0; i < input.n; ++i) {
        const obsd_t &o = input.obs[i];
        Satellite s;
        s.sat = o.sat;
        if (satsys(o.sat, &s.id) != system || o.P[0] == 0.0)
            continue;
        const Availability a = system == SYS_GPS ? gpsGeometry(o, *input.nav, input.stationEcef, s.geometry)
                                                 : glonassGeometry(o, *input.nav, input.stationEcef, s.geometry);
        if (a == Availability::NoEphemeris) {
            ++missing;
            continue;
        }
        if (a == Availability::Unhealthy) {
            ++m_counts.unhealthy;
            continue;
        }
        // The pseudorange is range + c * (receiver clock - satellite clock) + atmosphere. The user
        // adds the PRC and corrects the satellite clock from the same ephemeris, so the correction is
        // range - (pseudorange + c * satellite clock): the satellite's clock correction taken in,
        // what is left the atmosphere and the receiver clock (taken out in compute()).
        const double satelliteClock = CLIGHT * s.geometry.clock;
        s.raw = s.geometry.range - o.P[0] - satelliteClock;
        const Track &t = m_tracks[static_cast<std::size_t>(o.sat - 1)];
        const double since = isSet(t.time) ? timediff(o.time, t.time) : 0.0;
        if (since > 0.0 && since <= kMaxGap && t.issueOfData == s.geometry.issueOfData)
            s.since = since;
        sats.push_back(s);
    }
    return missing;
}

// Range rates: the slope of each satellite's corrections, fitted as they come in. With the
// broadcast orbit and clock taken out, what a correction follows is the slowly changing atmosphere
// (and code noise), so a straight line through the recent corrections gives its rate. The filter's
// gains are those of a least-squares line through the corrections since the satellite's track
// began, up to kRateWindow of them, then stay fixed; until the line spans that many, its slope is
// too noisy to help a user and the rate goes out as 0. A jump common to all satellites (the receiver
// clock's median moving as satellites come and go) moves every line without tilting it. The carrier
// phase would give a smoother rate, but its ionospheric delay changes with the opposite sign to the
// pseudorange's. A new ephemeris or a gap starts the line again.
void Corrections::rates(std::vector<Satellite> &sats)
{
    std::vector<double> offsets;
    for (const Satellite &s : sats) {
        const Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
        if (s.since > 0.0)
            offsets.push_back(s.prc - (t.level + t.rate * s.since));
    }
    const double common = median(offsets);
    for (Satellite &s : sats) {
        Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
        if (s.since <= 0.0) {
            t.level = s.prc;
            t.rate = 0.0;
            t.fitted = 1;
        } else {
            const double n = t.fitted = std::min(t.fitted + 1, kRateWindow);
            const double predicted = t.level + t.rate * s.since + common;
            const double residual = s.prc - predicted;
            t.level = predicted + 2.0 * (2.0 * n - 1.0) / (n * (n + 1.0)) * residual;
            t.rate += 6.0 / (n * (n + 1.0)) * residual / s.since;
        }
        s.rrc = t.fitted >= kRateWindow ? t.rate : 0.0;
    }
}

// UDRE from how far each correction is from what the satellite's last correction and its rate
// foretold, the part common to all satellites (the receiver clock) taken out: the running RMS of
// that error, over about kAssessWindow epochs. A satellite not yet assessed gets "GT 1 m and LE 4 m".
void Corrections::assess(std::vector<Satellite> &sats, gtime_t epoch)
{
    std::vector<double> errors;
    for (const Satellite &s : sats) {
        const Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
        if (s.since > 0.0)
            errors.push_back(s.prc - (t.prc + t.rrc * s.since));
    }
    const double common = median(errors);
    for (Satellite &s : sats) {
        Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
        if (s.since > 0.0) {
            const double e = s.prc - (t.prc + t.rrc * s.since) - common;
            t.samples = std::min(t.samples + 1, kAssessWindow);
            t.meanSquare += (e * e - t.meanSquare) / t.samples;
        } else if (!isSet(t.time) || timediff(epoch, t.time) > kMaxGap) {
            t.samples = 0;
            t.meanSquare = 0.0;
        }
        s.udre = t.samples == 0 ? 1 : udreClass(std::sqrt(t.meanSquare));
    }
}

// GPS: the IODE of the ephemeris used. GLONASS (type 31's layout of the same eight bits): the
// change-of-ephemeris flag, then the ephemeris' 7-bit tb. The flag is set for a while after the
// station switched to a new ephemeris of the satellite.
int Corrections::issueOfData(const Satellite &s, Constellation constellation, gtime_t epoch)
{
    if (constellation == Constellation::Gps)
        return s.geometry.issueOfData;
    Track &t = m_tracks[static_cast<std::size_t>(s.sat - 1)];
    if (t.issueOfData >= 0 && t.issueOfData != s.geometry.issueOfData)
        t.ephemerisChanged = epoch;
    const bool changed = isSet(t.ephemerisChanged) && timediff(epoch, t.ephemerisChanged) < kChangeFlagSeconds;
    return (changed ? 0x80 : 0) | s.geometry.issueOfData;
}

} // namespace convert
