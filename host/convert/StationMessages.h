// RTCM 2 types 3 (station coordinates), 22 (extended station parameters), 23 (antenna descriptor)
// and 24 (antenna reference point) from the station data RTKLIB keeps from RTCM 3 1005 to 1008
// and 1033.
#pragma once

#include "Rtcm2Sender.h"

namespace convert {

// Whether `station` holds what `type` carries: coordinates for 3, 22 and 24, a descriptor for 23.
bool stationHas(const sta_t &station, int type);

// Sends `type` (3, 22, 23 or 24) at `now`.
void sendStation(const sta_t &station, int type, gtime_t now, Rtcm2Sender &sender);

} // namespace convert
