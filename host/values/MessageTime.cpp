// Absolute time of RTCM 2 messages.
#include "MessageTime.h"

#include <QtCore/QDateTime>

#include <cstdlib>
#include <ctime>

// RTKLIB keeps the table of leap seconds; Debian's librtklib-dev installs the library without its
// header, so the two conversions used here and their time type are declared as RTKLIB defines them.
extern "C" {
struct gtime_t
{
    time_t time; // seconds since 1970 on the time scale at hand
    double sec;  // fraction of a second
};
gtime_t gpst2utc(gtime_t t);
gtime_t utc2gpst(gtime_t t);

// The progress and message hooks that RTKLIB expects its host program to define; this host shows
// nothing of RTKLIB's own progress.
int showmsg(const char *, ...)
{
    return 0;
}
void settspan(gtime_t, gtime_t) {}
void settime(gtime_t) {}
}

namespace {

constexpr int64_t gpsEpochUnix = 315964800; // 1980-01-06T00:00:00 in seconds since 1970
constexpr int64_t weekMs = 7 * 86400 * int64_t(1000);
constexpr int64_t hourMs = 3600 * int64_t(1000);

int64_t floorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

int GpsTime::week() const
{
    return int(floorDiv(ms, weekMs));
}

double GpsTime::secondsOfWeek() const
{
    return double(ms - int64_t(week()) * weekMs) / 1000.0;
}

int64_t GpsTime::utcMs() const
{
    const gtime_t gps{time_t(gpsEpochUnix + floorDiv(ms, 1000)), 0.0};
    const int64_t leap = int64_t(gps.time - gpst2utc(gps).time);
    return ms + (gpsEpochUnix - leap) * 1000;
}

QString GpsTime::isoUtc() const
{
    return QDateTime::fromMSecsSinceEpoch(utcMs(), Qt::UTC).toString(Qt::ISODateWithMs);
}

GpsTime GpsTime::fromUtcMs(int64_t utcMs)
{
    const gtime_t utc{time_t(floorDiv(utcMs, 1000)), 0.0};
    const int64_t leap = int64_t(utc2gpst(utc).time - utc.time);
    return GpsTime{utcMs + (leap - gpsEpochUnix) * 1000};
}

GpsTime GpsTime::now()
{
    return fromUtcMs(QDateTime::currentMSecsSinceEpoch());
}

MessageClock::MessageClock(std::optional<GpsTime> reference, bool live) : m_reference(reference), m_live(live) {}

std::optional<GpsTime> MessageClock::resolve(unsigned int zCount)
{
    if (zCount >= 6000)
        return std::nullopt;
    GpsTime near;
    if (m_live)
        near = GpsTime::now();
    else if (m_last)
        near = *m_last;
    else
        near = m_reference ? *m_reference : GpsTime::now();
    // Of the candidates in the hour of `near` and the hours either side, the nearest.
    int64_t best = floorDiv(near.ms, hourMs) * hourMs + int64_t(zCount) * 600;
    for (int64_t candidate : {best - hourMs, best + hourMs}) {
        if (std::llabs(candidate - near.ms) < std::llabs(best - near.ms))
            best = candidate;
    }
    m_last = GpsTime{best};
    return m_last;
}

void MessageClock::useTimeOfWeek(unsigned int week, unsigned int hour, unsigned int zCount)
{
    if (zCount >= 6000 || hour >= 168)
        return;
    const int64_t nearWeek = (m_last ? *m_last : m_reference && !m_live ? *m_reference : GpsTime::now()).week();
    // The latest week of that number not after the clock's week: a time message is not from the future.
    const int64_t fullWeek = nearWeek - (nearWeek % 1024 - int64_t(week) + 1024) % 1024;
    const GpsTime at{fullWeek * weekMs + int64_t(hour) * hourMs + int64_t(zCount) * 600};
    if (!m_timeOfWeek)
        m_timeOfWeek = at;
    m_last = at;
    m_live = false; // the stream's own time beats the host clock
}

QString MessageClock::describe() const
{
    if (m_timeOfWeek)
        return QStringLiteral("the stream's GPS time of week (type 14: week %1, from %2)")
            .arg(m_timeOfWeek->week())
            .arg(m_timeOfWeek->isoUtc());
    if (m_live)
        return QStringLiteral("the host clock at each message");
    if (m_reference)
        return QStringLiteral("--time-ref %1").arg(m_reference->isoUtc());
    return QStringLiteral("the host clock at the first message");
}
