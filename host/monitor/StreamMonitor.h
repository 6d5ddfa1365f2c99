// The figures of `rtcmv monitor`: per reference station, per message type and for the whole
// stream, with outages. Fed one message header at a time with the time it counts at; knows
// nothing of terminals, sources or decoders, so it can be tested on its own.
#pragma once

#include <StationPositions.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// The header every RTCM 2 message starts with, read from its packed words.
struct MessageHeader
{
    unsigned type = 0, station = 0, zCount = 0, sequence = 0, health = 0;

    // None when the message is shorter than its two header words.
    static std::optional<MessageHeader> read(const uint8_t *packed, std::size_t bytes);
};

// Count, mean, least, largest and standard deviation of a series, kept as it grows.
class RunningFigures
{
public:
    void add(double value);
    uint64_t count() const { return m_count; }
    double mean() const { return m_mean; }
    double min() const { return m_min; }
    double max() const { return m_max; }
    double stddev() const; // of the population; 0 below two values

private:
    uint64_t m_count = 0;
    double m_mean = 0, m_m2 = 0, m_min = 0, m_max = 0;
};

struct TypeFigures
{
    uint64_t count = 0;         // messages the decoders published, or of a type none knows
    uint64_t refused = 0;       // messages the decoder of the type refused
    uint64_t sequenceGaps = 0;  // messages whose sequence number skipped one or more
    double last = 0;            // when the last one came (seconds on the GPS time scale)
    RunningFigures interval;    // seconds between messages of the type
    RunningFigures latency;     // live sources: host clock less the message's time, seconds
};

struct StationFigures
{
    unsigned health = 0; // of its last message
    uint64_t messages = 0;
    std::optional<unsigned> lastSequence;
    std::optional<StationPosition> position; // last known
};

// No complete message for the outage time: from the last message before it, `length` seconds.
struct Outage
{
    double start = 0;
    double length = 0;
    bool open = false; // still going on
};

class StreamMonitor
{
public:
    explicit StreamMonitor(double outageSeconds) : m_outageSeconds(outageSeconds) {}

    // Starts the watch at `now` (a live source): an outage opens when nothing comes from here on.
    void begin(double now);
    // A complete message, counted at `at`; `decoded` false when its decoder refused it. Closes an
    // outage, or records one when the gap since the last message was long enough.
    void message(const MessageHeader &header, bool decoded, double at, std::optional<double> latency = std::nullopt);
    void position(unsigned station, const StationPosition &position);
    // Time goes on without a message: opens an outage once quiet long enough.
    void advance(double now);
    // The outages that started or ended since the last call (an ended one has open == false).
    std::vector<Outage> takeEvents();

    const std::map<unsigned, TypeFigures> &types() const { return m_types; }
    const std::map<unsigned, StationFigures> &stations() const { return m_stations; }
    const std::vector<Outage> &outages() const { return m_outages; }
    // Messages per minute of a type over the time watched so far; 0 before any time has passed.
    double ratePerMinute(const TypeFigures &type) const;
    double watched() const { return m_started ? m_now - m_first : 0; }
    double now() const { return m_now; }

private:
    double m_outageSeconds;
    bool m_started = false;
    double m_first = 0, m_now = 0;
    double m_lastMessage = 0;
    std::map<unsigned, TypeFigures> m_types;
    std::map<unsigned, StationFigures> m_stations;
    std::vector<Outage> m_outages;
    std::vector<Outage> m_events;
};
