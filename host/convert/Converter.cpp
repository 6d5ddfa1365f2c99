#include "Converter.h"

#include "Corrections.h"
#include "StationMessages.h"

#include <QtCore/QStringList>

#include <cmath>

using namespace Nvt::Mesaro;

namespace convert {

const int kConvertibleTypes[10] = {1, 3, 9, 18, 19, 22, 23, 24, 31, 34};

namespace {

constexpr uint8_t kPreamble = 0xD3;
constexpr std::size_t kType1Satellites = 18; // 40 bits each in 31 data words
constexpr std::size_t kType9Satellites = 3;  // types 9 and 34 carry groups of up to three

double gpsSeconds(gtime_t t)
{
    return double(t.time) + t.sec;
}

} // namespace

Schedule defaultSchedule()
{
    return Schedule{{1, 1}, {3, 10}, {18, 1}, {19, 1}, {22, 10}, {23, 30}, {24, 10}};
}

bool parseSchedule(const QString &text, Schedule &schedule, QString *error)
{
    schedule.clear();
    for (const QString &item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QLatin1Char(':'));
        bool typeOk = false, secondsOk = false;
        const int type = parts.value(0).trimmed().toInt(&typeOk);
        const double seconds = parts.size() == 2 ? parts[1].trimmed().toDouble(&secondsOk) : 1.0;
        if (!typeOk || (parts.size() == 2 && (!secondsOk || !(seconds > 0))) || parts.size() > 2) {
            *error = QStringLiteral("bad item '%1' in --messages (such as 18:1, type:seconds)").arg(item);
            return false;
        }
        if (std::find(std::begin(kConvertibleTypes), std::end(kConvertibleTypes), type) == std::end(kConvertibleTypes)) {
            *error = QStringLiteral("convert cannot make type %1 (only 1, 3, 9, 18, 19, 22, 23, 24, 31, 34)").arg(type);
            return false;
        }
        schedule[type] = seconds;
    }
    return true;
}

std::optional<gtime_t> ephemerisTime(const uint8_t *data, std::size_t size, gtime_t now)
{
    struct Scratch
    {
        Scratch() { init_rtcm(&rtcm); }
        ~Scratch() { free_rtcm(&rtcm); }
        rtcm_t rtcm;
    };
    const auto scratch = std::make_unique<Scratch>(); // rtcm_t is too large for the stack
    rtcm_t &rtcm = scratch->rtcm;
    for (std::size_t i = 0; i < size; ++i) {
        if (input_rtcm3(&rtcm, data[i]) != 2 || rtcm.ephsat <= 0 || satsys(rtcm.ephsat, nullptr) != SYS_GPS)
            continue;
        const eph_t &eph = rtcm.nav.eph[rtcm.ephsat - 1];
        int nowWeek = 0;
        time2gpst(now, &nowWeek);
        const int week = eph.week % 1024;
        return gpst2time(week + std::max(0, nowWeek - week) / 1024 * 1024, eph.toes);
    }
    return std::nullopt;
}

struct Converter::Rtklib
{
    Rtklib() { init_rtcm(&rtcm); }
    ~Rtklib() { free_rtcm(&rtcm); }
    rtcm_t rtcm;
};

Converter::Converter(const Options &options, Rtcm2Sender::Sink sink)
    : m_options(options), m_rtklib(std::make_unique<Rtklib>()), m_sender(std::move(sink))
{
    if (options.timeRef)
        m_rtklib->rtcm.time = *options.timeRef; // resolves the weeks and days of a recording
    if (options.stationId >= 0)
        m_sender.setStationId(unsigned(options.stationId));
}

Converter::~Converter() = default;

// Frames are found here, not only inside RTKLIB, to count what was skipped and what failed its CRC.
void Converter::feed(const uint8_t *data, std::size_t size)
{
    m_buffer.insert(m_buffer.end(), data, data + size);
    std::size_t pos = 0;
    for (;;) {
        while (pos < m_buffer.size() && m_buffer[pos] != kPreamble) {
            ++pos;
            ++m_stats.skippedBytes;
        }
        if (m_buffer.size() - pos < 3)
            break;
        const std::size_t length = std::size_t(getbitu(&m_buffer[pos], 14, 10));
        if (m_buffer.size() - pos < length + 6)
            break;
        if (rtk_crc24q(&m_buffer[pos], int(length + 3)) != getbitu(&m_buffer[pos], int(length + 3) * 8, 24)) {
            ++m_stats.crcFailures;
            ++m_stats.skippedBytes;
            ++pos; // hunt for the next preamble from the byte after this one
            continue;
        }
        frame(&m_buffer[pos], length + 6);
        pos += length + 6;
    }
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(pos));
}

void Converter::finish()
{
    if (!m_buffer.empty()) {
        ++m_stats.truncated;
        m_stats.skippedBytes += m_buffer.size();
        m_buffer.clear();
    }
}

void Converter::frame(const uint8_t *data, std::size_t size)
{
    ++m_stats.frames;
    if (size > 6)
        ++m_stats.rtcm3Types[int(getbitu(data, 24, 12))];
    int result = 0;
    for (std::size_t i = 0; i < size; ++i)
        result = input_rtcm3(&m_rtklib->rtcm, data[i]);
    decoded(result);
}

void Converter::decoded(int result)
{
    if (result == 5)
        onStation();
    // RTKLIB ends an epoch of 1001, 1003, 1009 or 1011 without decoding their observations (they
    // lack the pseudoranges' whole milliseconds), leaving the epoch before in place: not sent again.
    else if (result == 1 && m_rtklib->rtcm.obs.n > 0
             && timediff(m_rtklib->rtcm.obs.data[0].time, m_lastEpoch) != 0) {
        m_lastEpoch = m_rtklib->rtcm.obs.data[0].time;
        onEpoch();
    }
}

// A new 1005/1006: a station that moved has its coordinates sent at the next epoch, not at the
// next repeat.
void Converter::onStation()
{
    const sta_t &s = m_rtklib->rtcm.sta;
    const bool had = m_stationPos[0] != 0 || m_stationPos[1] != 0 || m_stationPos[2] != 0;
    double moved = 0;
    for (int i = 0; i < 3; ++i)
        moved = std::max(moved, std::fabs(s.pos[i] - m_stationPos[i]));
    if (moved < 1e-4)
        return;
    if (had)
        ++m_stats.stationMoves;
    for (int i = 0; i < 3; ++i)
        m_stationPos[i] = s.pos[i];
    for (int type : {3, 22, 24})
        m_next.erase(type);
}

bool Converter::due(int type, gtime_t time)
{
    const auto interval = m_options.schedule.find(type);
    if (interval == m_options.schedule.end())
        return false;
    const double now = gpsSeconds(time);
    const auto next = m_next.find(type);
    if (next != m_next.end() && now < next->second - 1e-3)
        return false;
    // On whole multiples of the interval, so that repeats keep to round times.
    m_next[type] = (std::floor(now / interval->second + 1e-6) + 1) * interval->second;
    return true;
}

void Converter::updateStationId()
{
    if (m_options.stationId < 0)
        m_sender.setStationId(unsigned(m_rtklib->rtcm.staid));
}

void Converter::onEpoch()
{
    ++m_stats.epochs;
    updateStationId();
    const rtcm_t &rtcm = m_rtklib->rtcm;
    const gtime_t time = rtcm.obs.data[0].time;
    // The station first: a receiver that has just started needs it for what follows.
    for (int type : {3, 22, 23, 24})
        if (stationHas(rtcm.sta, type) && due(type, time))
            sendStation(rtcm.sta, type, time, m_sender);
    const bool phases = due(18, time), ranges = due(19, time);
    m_observations.epoch(rtcm.obs, m_sender, phases, ranges);
    sendCorrections(false, time);
    sendCorrections(true, time);
}

// Corrections for all the constellation's satellites in one type 1 (31), or in groups of three in
// type 9 (34); both when both are asked for.
void Converter::sendCorrections(bool glonass, gtime_t time)
{
    const int all = glonass ? 31 : 1, groups = glonass ? 34 : 9;
    const bool sendAll = due(all, time), sendGroups = due(groups, time);
    if (!(sendAll || sendGroups) || !stationHas(m_rtklib->rtcm.sta, 3))
        return;
    CorrectionInput input;
    input.obs = m_rtklib->rtcm.obs.data;
    input.n = m_rtklib->rtcm.obs.n;
    input.nav = &m_rtklib->rtcm.nav;
    for (int i = 0; i < 3; ++i)
        input.stationEcef[i] = m_rtklib->rtcm.sta.pos[i];
    std::vector<RTCMV_DGNSS_s> corrections;
    m_corrections.compute(input, glonass ? Constellation::Glonass : Constellation::Gps, corrections);
    const unsigned z = zTimeOf(time, glonass).zCount;
    for (int type : {all, groups}) {
        if (!(type == all ? sendAll : sendGroups))
            continue;
        const std::size_t per = type == all ? kType1Satellites : kType9Satellites;
        for (std::size_t first = 0; first < corrections.size(); first += per) {
            RTCMV_Message_Type_1_s m; // types 1, 9, 31 and 34 share one layout
            RTCMV_init_Message_Type_1(&m);
            m.Message_Type = static_cast<unsigned char>(type);
            m.Ns = static_cast<unsigned char>(std::min(per, corrections.size() - first));
            m.Corrections = &corrections[first];
            m_sender.send(m, &RTCMV_encode_Message_Type_1, z);
            m.Corrections = nullptr;
        }
    }
}

} // namespace convert
