// Reference-station positions from the station messages.
#include "StationPositions.h"

#include "RecordFields.h"

#include <GeographicLib/Geocentric.hpp>

namespace {

StationPosition located(int messageType, const std::array<double, 3> &ecef)
{
    StationPosition position;
    position.messageType = messageType;
    position.ecef = ecef;
    GeographicLib::Geocentric::WGS84().Reverse(ecef[0], ecef[1], ecef[2], position.latitude,
                                               position.longitude, position.height);
    return position;
}

} // namespace

std::optional<StationPosition> StationPositions::phaseCentreOf(const Station &station, int constellation) const
{
    if (!station.phaseCentre[constellation])
        return std::nullopt;
    std::array<double, 3> ecef = *station.phaseCentre[constellation];
    const bool refined = station.hasDelta && station.deltaConstellation == constellation;
    if (refined) {
        for (int i = 0; i < 3; ++i)
            ecef[i] += station.delta[i];
    }
    StationPosition position = located(constellation == 0 ? 3 : 32, ecef);
    position.refined = refined;
    if (refined)
        position.antennaHeight = station.phaseCentreHeight;
    return position;
}

std::optional<StationPosition> StationPositions::update(const void *record)
{
    const RecordFields r(record);
    if (r.info == nullptr)
        return std::nullopt;
    const int type = int(r.info->messageType);
    if (type != 3 && type != 22 && type != 24 && type != 32)
        return std::nullopt;
    const int id = int(r.raw("Reference_Station_Id").value_or(0));
    Station &station = m_stations[id];
    std::optional<StationPosition> position;
    switch (type) {
    case 3:
    case 32:
        station.phaseCentre[type == 3 ? 0 : 1] = r.ecef("ECEF_X", "ECEF_Y", "ECEF_Z");
        position = phaseCentreOf(station, type == 3 ? 0 : 1);
        break;
    case 22:
        station.delta = r.ecef("L1_ECEF_Delta_X", "L1_ECEF_Delta_Y", "L1_ECEF_Delta_Z");
        station.hasDelta = true;
        station.deltaConstellation = int(r.raw("Constellation").value_or(0));
        // Height indicator 0 means the phase-centre height is given.
        station.phaseCentreHeight.reset();
        if (r.raw("Height_Indicator").value_or(1) == 0)
            station.phaseCentreHeight = r.metres("Phase_Center_Height");
        position = phaseCentreOf(station, station.deltaConstellation);
        break;
    default: // 24: the antenna reference point, with its height when the indicator says so
        position = located(24, r.ecef("ECEF_X", "ECEF_Y", "ECEF_Z"));
        if (r.raw("Height_Indicator").value_or(0) == 1)
            position->antennaHeight = r.metres("Antenna_Height");
        break;
    }
    if (position)
        m_latest[id] = *position;
    return position;
}
