// Absolute time of RTCM 2 messages: the Modified Z-count (the time within the GPS hour, in 0.6 s
// steps) resolved against a reference, and GPS time turned into UTC with the leap seconds.
#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <optional>

// A time on the GPS time scale, in milliseconds since the GPS epoch (1980-01-06T00:00:00).
struct GpsTime
{
    int64_t ms = 0;

    int week() const;
    double secondsOfWeek() const;
    // UTC in milliseconds since 1970: GPS time less the leap seconds in force at that time.
    int64_t utcMs() const;
    // ISO 8601 UTC with milliseconds, e.g. "2020-01-14T12:00:00.600Z".
    QString isoUtc() const;

    static GpsTime fromUtcMs(int64_t utcMs);
    static GpsTime now();
};

// Resolves each message's Modified Z-count to an absolute time. The first message is placed in
// the hour that puts it nearest the reference (so the reference may be up to 30 minutes off);
// each later one nearest the message before it, which carries the hour across rollovers. A live
// source resolves every message against the host clock instead.
class MessageClock
{
public:
    enum class Source { HostClock, Given, Stream };

    // `reference`: GPS time near the first message; none for the host clock.
    explicit MessageClock(std::optional<GpsTime> reference = std::nullopt, bool live = false);

    // The time of a message with this Modified Z-count; none for a count of an hour or more
    // (6000 and above), which names no time.
    std::optional<GpsTime> resolve(unsigned int zCount);
    // A GPS time-of-week message in the stream (type 14): its 10-bit GPS week, taken as the latest
    // week of that number not after the time the clock would use now, the hour of the week and its own
    // Z-count. From here on messages are resolved against it, not against the host clock or the
    // given reference; a count of an hour or more, or an hour past the week, is ignored.
    void useTimeOfWeek(unsigned int week, unsigned int hour, unsigned int zCount);

    Source source() const { return m_timeOfWeek ? Source::Stream : m_reference ? Source::Given : Source::HostClock; }
    // What the times were resolved against, for the statistics.
    QString describe() const;

private:
    std::optional<GpsTime> m_reference;
    std::optional<GpsTime> m_last;
    std::optional<GpsTime> m_timeOfWeek; // the first type 14 message's time
    bool m_live;
};
