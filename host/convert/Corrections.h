// Pseudorange and range-rate corrections of one epoch, for RTCM 2 types 1 and 9 (GPS) and 31 and
// 34 (GLONASS): the reference station's own observations against the ranges computed from the
// broadcast ephemerides and the station's known coordinates.
//
// The converter keeps one Corrections object per station and calls compute() once per observation
// epoch and constellation, when a type of that constellation is due, with the epoch's observations
// as RTKLIB decoded them, RTKLIB's navigation data (ephemerides from 1019/1020) and the station's
// ECEF position (1005/1006). It wraps what comes back in messages itself: every satellite in one
// type 1 (GPS) or 31 (GLONASS), or groups of up to three satellites in types 9 / 34; it sets the
// header (station id, Z-count of the epoch's time, sequence number, health) and counts the skipped
// satellites in --stats. The object remembers each satellite's recent epochs: the range rates are
// the slope of its corrections, the UDRE tells how well the last correction and its rate foretold
// this one, the GLONASS change-of-ephemeris flag follows the ephemeris used. Calls more than 30 s
// apart start each satellite's history again.
#pragma once

#include "Rtklib.h"
#include <RTCMV_codec.h>

#include <cstdint>
#include <vector>

namespace convert {

struct CorrectionInput
{
    const obsd_t *obs = nullptr; // the epoch's observations, any constellation
    int n = 0;                   // how many
    const nav_t *nav = nullptr;  // broadcast ephemerides
    double stationEcef[3] = {0, 0, 0};
};

enum class Constellation { Gps, Glonass };

// One correction block in the units of the wire: PRC in 0.02 m and RRC in 0.002 m/s steps when both
// fit (scale factor 0), in 0.32 m and 0.032 m/s steps otherwise (scale factor 1); a value too large
// even for those is sent as the format's "error" value (PRC -32768, RRC -128). `id` is the GPS PRN
// or the GLONASS slot; 32 goes out as 0.
Nvt::Mesaro::RTCMV_DGNSS_s correctionBlock(int id, double prcMetres, double rrcMetresPerSecond, int udre,
                                           int issueOfData);

// The ephemeris with its reference times moved by whole weeks to within half a week of `time`.
// Broadcast ephemerides are current by nature, but a stream's 10-bit GPS week may resolve to the
// wrong 1024-week era or be off by some weeks; the corrections match ephemerides by time of week.
eph_t alignedEphemeris(const eph_t &eph, gtime_t time);
geph_t alignedEphemeris(const geph_t &eph, gtime_t time);

class Corrections
{
public:
    struct Counts
    {
        uint64_t withoutEphemeris = 0; // satellite-epochs skipped: no ephemeris of the time
        uint64_t unhealthy = 0;        // satellite-epochs skipped: the ephemeris says unhealthy
        uint64_t corrections = 0;      // blocks made
    };

    Corrections();

    // Fills `out` with one RTCMV_DGNSS_s per satellite of `constellation` in the epoch that has an
    // L1 pseudorange and a usable ephemeris: Scale_Factor, UDRE, Satellite_Id, PRC, RRC and
    // Issue_Of_Data as types 1 and 31 carry them, referenced to the epoch's time. Returns how many
    // of the constellation's satellites were skipped for want of an ephemeris; they get corrections
    // from the first epoch after one arrives.
    int compute(const CorrectionInput &input, Constellation constellation,
                std::vector<Nvt::Mesaro::RTCMV_DGNSS_s> &out);

    const Counts &counts() const { return m_counts; }

private:
    // What a satellite's previous epoch left for the next one.
    struct Track
    {
        gtime_t time{};                 // epoch of the last correction (time 0: none yet)
        int issueOfData = -1;           // ephemeris used then (GPS IODE, GLONASS tb)
        double prc = 0.0, rrc = 0.0;    // the correction sent then
        double level = 0.0, rate = 0.0; // the line fitted through its corrections
        int fitted = 0;                 // corrections in the fit (up to its window)
        double meanSquare = 0.0;        // of the prediction errors assessed
        int samples = 0;                // how many (up to the assessment's window)
        gtime_t ephemerisChanged{};     // when the station last switched to a new GLONASS ephemeris
    };
    struct Satellite;
    int collect(const CorrectionInput &input, Constellation constellation, std::vector<Satellite> &sats);
    void rates(std::vector<Satellite> &sats);
    void assess(std::vector<Satellite> &sats, gtime_t epoch);
    int issueOfData(const Satellite &s, Constellation constellation, gtime_t epoch);

    std::vector<Track> m_tracks; // by RTKLIB satellite number - 1
    Counts m_counts;
};

} // namespace convert
