// `rtcmv convert`'s engine: RTCM 3 bytes in, RTCM 2 transmission bytes out. RTKLIB decodes the
// RTCM 3 messages and keeps the observations, ephemerides and station data; this fills the RTCM 2
// records from them on the schedule asked for.
#pragma once

#include "Corrections.h"
#include "Observations.h"
#include "Rtcm2Sender.h"

#include <QtCore/QString>

#include <map>
#include <memory>
#include <optional>

namespace convert {

// Seconds between two messages of each RTCM 2 type sent; a type not listed is not sent.
using Schedule = std::map<int, double>;

// The types convert can send.
extern const int kConvertibleTypes[10];
// Parses "1:1,3:10,18:1" (type:seconds); false, with `error`, when it is not such a list.
bool parseSchedule(const QString &text, Schedule &schedule, QString *error);
Schedule defaultSchedule();

// A recording's own date: the GPS time of the first GPS ephemeris (1019) in `data`, its ten-bit
// week taken as the latest one not after `now`. None when `data` holds no 1019.
std::optional<gtime_t> ephemerisTime(const uint8_t *data, std::size_t size, gtime_t now);

struct ConvertStats
{
    uint64_t frames = 0;       // RTCM 3 frames with a good CRC
    uint64_t crcFailures = 0;  // frames whose CRC did not match
    uint64_t skippedBytes = 0; // bytes outside any frame
    uint64_t truncated = 0;    // a frame cut off by the end of the input
    std::map<int, uint64_t> rtcm3Types;
    uint64_t epochs = 0;
    uint64_t stationMoves = 0;
};

class Converter
{
public:
    struct Options
    {
        int stationId = -1;              // -1: the RTCM 3 station id modulo 1024
        Schedule schedule = defaultSchedule();
        std::optional<gtime_t> timeRef;  // GPS time near the data (a recording); none: now
    };

    Converter(const Options &options, Rtcm2Sender::Sink sink);
    ~Converter();

    void feed(const uint8_t *data, std::size_t size);
    // The end of the input: a frame begun is counted as truncated.
    void finish();

    const ConvertStats &stats() const { return m_stats; }
    const ObservationMessages::Dropped &dropped() const { return m_observations.dropped(); }
    const Rtcm2Sender &sender() const { return m_sender; }
    const Corrections::Counts &corrections() const { return m_corrections.counts(); }

private:
    void frame(const uint8_t *data, std::size_t size);
    void decoded(int result);
    void onEpoch();
    void onStation();
    void sendCorrections(bool glonass, gtime_t time);
    bool due(int type, gtime_t time);
    void updateStationId();

    Options m_options;
    struct Rtklib;
    std::unique_ptr<Rtklib> m_rtklib;
    Rtcm2Sender m_sender;
    ObservationMessages m_observations;
    Corrections m_corrections;
    std::map<int, double> m_next; // type: GPS seconds when it is next due
    std::vector<uint8_t> m_buffer;
    ConvertStats m_stats;
    double m_stationPos[3] = {0, 0, 0};
    gtime_t m_lastEpoch{};
};

} // namespace convert
