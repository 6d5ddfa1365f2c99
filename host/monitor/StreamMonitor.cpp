// The monitor's figures: running statistics, sequence gaps and outages.
#include "StreamMonitor.h"

#include <algorithm>
#include <cmath>

std::optional<MessageHeader> MessageHeader::read(const uint8_t *packed, std::size_t bytes)
{
    if (bytes < 6)
        return std::nullopt;
    MessageHeader h;
    h.type = packed[1] >> 2u;
    h.station = (unsigned(packed[1] & 3u) << 8) | packed[2];
    h.zCount = (unsigned(packed[3]) << 5) | (packed[4] >> 3u);
    h.sequence = packed[4] & 7u;
    h.health = packed[5] & 7u;
    return h;
}

void RunningFigures::add(double value)
{
    ++m_count;
    const double delta = value - m_mean; // Welford: stable for long runs
    m_mean += delta / double(m_count);
    m_m2 += delta * (value - m_mean);
    m_min = m_count == 1 ? value : std::min(m_min, value);
    m_max = m_count == 1 ? value : std::max(m_max, value);
}

double RunningFigures::stddev() const
{
    return m_count < 2 ? 0 : std::sqrt(m_m2 / double(m_count));
}

void StreamMonitor::begin(double now)
{
    m_started = true;
    m_first = m_now = m_lastMessage = now;
}

void StreamMonitor::message(const MessageHeader &header, bool decoded, double at, std::optional<double> latency)
{
    if (!m_started)
        begin(at);
    advance(at);
    if (!m_outages.empty() && m_outages.back().open) {
        m_outages.back().open = false;
        m_outages.back().length = at - m_outages.back().start;
        m_events.push_back(m_outages.back());
    }
    m_lastMessage = std::max(m_lastMessage, at);

    TypeFigures &type = m_types[header.type];
    if (!decoded) {
        ++type.refused;
        return;
    }
    if (type.count > 0)
        type.interval.add(at - type.last);
    ++type.count;
    type.last = at;
    if (latency)
        type.latency.add(*latency);

    StationFigures &station = m_stations[header.station];
    // The 3-bit sequence number goes up by one with each message of a station.
    if (station.lastSequence && header.sequence != ((*station.lastSequence + 1) & 7u))
        ++type.sequenceGaps;
    station.lastSequence = header.sequence;
    station.health = header.health;
    ++station.messages;
}

void StreamMonitor::position(unsigned station, const StationPosition &position)
{
    m_stations[station].position = position;
}

void StreamMonitor::advance(double now)
{
    if (!m_started)
        return;
    m_now = std::max(m_now, now);
    const double quiet = m_now - m_lastMessage;
    if (quiet < m_outageSeconds)
        return;
    // An open outage runs from the last message; a message closes it.
    if (m_outages.empty() || !m_outages.back().open) {
        m_outages.push_back({m_lastMessage, quiet, true});
        m_events.push_back(m_outages.back());
    }
    m_outages.back().length = quiet;
}

std::vector<Outage> StreamMonitor::takeEvents()
{
    std::vector<Outage> events;
    events.swap(m_events);
    return events;
}

double StreamMonitor::ratePerMinute(const TypeFigures &type) const
{
    const double seconds = watched();
    return seconds > 0 ? double(type.count) * 60.0 / seconds : 0;
}
