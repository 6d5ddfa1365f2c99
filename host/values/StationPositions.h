// Reference-station positions from the station messages: types 3 and 32 (the L1 phase centre in
// ECEF), 22 (finer L1 deltas and the phase-centre height, applied to the latest 3 or 32 of the same
// station) and 24 (the antenna reference point and its height), in metres and on WGS 84.
#pragma once

#include <QtCore/QMap>

#include <array>
#include <optional>

struct StationPosition
{
    int messageType = 0;   // what the position comes from: 3, 32 (with 22 applied when seen) or 24
    bool refined = false;  // type 22 deltas applied
    std::array<double, 3> ecef{}; // metres
    double latitude = 0, longitude = 0, height = 0; // WGS 84: degrees and ellipsoidal metres
    std::optional<double> antennaHeight; // metres above the marker, when the station gives it
};

class StationPositions
{
public:
    // Takes in a decoded codec record. For a station message, the position it gives (for a type
    // 22, the latest type 3 or 32 of its station refined by it); none for other messages and
    // for a type 22 before any 3 or 32 of its station.
    std::optional<StationPosition> update(const void *record);

    // The last position of each station (by station id).
    const QMap<int, StationPosition> &latest() const { return m_latest; }

private:
    struct Station
    {
        std::optional<std::array<double, 3>> phaseCentre[2]; // from type 3 (GPS) and 32 (GLONASS)
        std::array<double, 3> delta{};
        bool hasDelta = false;
        int deltaConstellation = 0; // 0 GPS, 1 GLONASS
        std::optional<double> phaseCentreHeight;
    };

    std::optional<StationPosition> phaseCentreOf(const Station &station, int constellation) const;

    QMap<int, Station> m_stations;
    QMap<int, StationPosition> m_latest;
};
