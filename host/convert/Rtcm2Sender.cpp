#include "Rtcm2Sender.h"

#include <cmath>

namespace convert {

ZTime zTimeOf(gtime_t time, bool glonass)
{
    const gtime_t t = glonass ? gpst2utc(time) : time;
    // The hour boundaries of GPS time and of UTC fall on whole multiples of 3600 s since 1970 on
    // their own scales, since the GPS epoch and every leap second are whole seconds.
    const int64_t us = (int64_t(t.time) % 3600) * 1000000 + std::llround(t.sec * 1e6);
    const int64_t inHour = ((us % 3600000000LL) + 3600000000LL) % 3600000000LL;
    return ZTime{unsigned(inHour / 600000), unsigned(inHour % 600000)};
}

void Rtcm2Sender::write(int type, const std::vector<uint8_t> &packed, unsigned words)
{
    m_bytes.clear();
    m_writer.writeMessage(packed.data(), words + 2, m_bytes);
    m_sink(m_bytes.data(), m_bytes.size());
    m_sequence = (m_sequence + 1) % 8;
    ++m_sent[type];
}

} // namespace convert
