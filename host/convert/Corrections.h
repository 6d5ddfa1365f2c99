// Pseudorange and range-rate corrections of one epoch, for RTCM 2 types 1 and 9 (GPS) and 31 and
// 34 (GLONASS): the reference station's own observations against the ranges computed from the
// broadcast ephemerides and the station's known coordinates.
//
// The converter calls computeCorrections() once per observation epoch and constellation, when a
// type of that constellation is due, with the epoch's observations as RTKLIB decoded them, RTKLIB's
// navigation data (ephemerides from 1019/1020) and the station's ECEF position (1005/1006). It
// wraps what comes back in messages itself: every satellite in one type 1 (GPS) or 31 (GLONASS), or
// groups of up to three satellites in types 9 / 34; it sets the header (station id, Z-count,
// sequence number, health) and counts the skipped satellites in --stats.
#pragma once

#include <RTCMV_codec.h>
#include "Rtklib.h"

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

// Fills `out` with one RTCMV_DGNSS_s per satellite of `constellation` in the epoch that has a usable
// ephemeris (each initialised with RTCMV_init_DGNSS, then Scale_Factor, UDRE, Satellite_Id, PRC, RRC
// and Issue_Of_Data set as types 1 and 31 carry them). Returns how many of the constellation's
// satellites were skipped for want of an ephemeris.
int computeCorrections(const CorrectionInput &input, Constellation constellation,
                       std::vector<Nvt::Mesaro::RTCMV_DGNSS_s> &out);

} // namespace convert
