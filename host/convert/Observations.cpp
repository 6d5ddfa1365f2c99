#include "Observations.h"

#include <cmath>
#include <vector>

namespace convert {

namespace {

constexpr double kPseudorangeStep = 0.02; // metres
constexpr double kPhaseSteps = 256;       // per cycle
// The phase is started again (a loss of continuity) before it could leave its 32 bits.
constexpr double kPhaseLimit = 2.0e9;
constexpr int kMaxBlocks = 15; // of 48 bits after the time word, in 31 data words
// RTCM 3 carries no quality figures: these are what a geodetic reference receiver announces
// (0.0124 cycle phase, 0.329 m pseudorange; multipath unknown), as a network station's RTCM 2 does.
constexpr unsigned char kPhaseQuality = 2;
constexpr unsigned char kPseudorangeQuality = 7;
constexpr unsigned char kMultipathUnknown = 15;

bool precise(uint8_t code)
{
    return code == CODE_L1P || code == CODE_L1W || code == CODE_L1Y || code == CODE_L2P || code == CODE_L2W
           || code == CODE_L2Y || code == CODE_L2D;
}

} // namespace

void ObservationMessages::count(const obsd_t &o)
{
    int prn = 0;
    switch (satsys(o.sat, &prn)) {
    case SYS_GPS:
    case SYS_GLO:
        for (int f = 2; f < NFREQ + NEXOBS; ++f)
            m_dropped.otherSignals += (o.L[f] != 0 || o.P[f] != 0) ? 1 : 0;
        break;
    case SYS_GAL: ++m_dropped.galileo; break;
    case SYS_CMP: ++m_dropped.beidou; break;
    case SYS_QZS: ++m_dropped.qzss; break;
    case SYS_SBS: ++m_dropped.sbas; break;
    case SYS_IRN: ++m_dropped.irnss; break;
    default: break;
    }
}

// Loss of lock: RTKLIB flags a slip (LLI bit 0) when the RTCM 3 lock-time indicator went back; a
// carrier missing from the epoch before, or a phase about to leave its 32 bits, counts as one too.
void ObservationMessages::follow(const obs_t &obs)
{
    for (int i = 0; i < obs.n; ++i) {
        const obsd_t &o = obs.data[i];
        count(o);
        for (int f = 0; f < 2; ++f) {
            Track &t = m_tracks[std::size_t(o.sat - 1)][std::size_t(f)];
            if (o.L[f] == 0) {
                t.tracked = false;
                continue;
            }
            const bool continued = t.tracked && !(o.LLI[f] & 1) && timediff(t.last, m_lastEpoch) == 0;
            double phase = -o.L[f] - t.offset; // RTCM 2 counts the phase the other way round
            if (!continued || std::fabs(phase * kPhaseSteps) > kPhaseLimit) {
                if (t.seen)
                    t.losses = (t.losses + 1) % 32;
                t.offset = std::round(-o.L[f]);
                phase = -o.L[f] - t.offset;
            }
            t.tracked = t.seen = true;
            t.last = o.time;
            t.phase = int32_t(std::llround(phase * kPhaseSteps));
        }
    }
    if (obs.n > 0)
        m_lastEpoch = obs.data[0].time;
}

bool ObservationMessages::select(const obsd_t &o, int sys, int type, int freq) const
{
    int prn = 0;
    if (satsys(o.sat, &prn) != sys || prn < 1 || prn > 32)
        return false;
    if (type == 18)
        return o.L[freq] != 0 && m_tracks[std::size_t(o.sat - 1)][std::size_t(freq)].tracked;
    return o.P[freq] > 0 && o.P[freq] / kPseudorangeStep < 4294967295.0;
}

template <typename Block>
void fillHead(Block &b, const obsd_t &o, int sys, int freq, bool more)
{
    int prn = 0;
    satsys(o.sat, &prn);
    b.Multiple_Message = more ? 1 : 0;
    b.Code = precise(o.code[freq]) ? 1 : 0;
    b.Constellation = sys == SYS_GLO ? 1 : 0;
    b.Satellite_Id = static_cast<unsigned char>(prn % 32);
}

// Sends the `type` message(s) of one constellation and frequency, at most kMaxBlocks satellites each.
void ObservationMessages::sendGroup(const obs_t &obs, const Group &g, Rtcm2Sender &sender, bool last)
{
    std::vector<const obsd_t *> sats;
    for (int i = 0; i < obs.n; ++i)
        if (select(obs.data[i], g.sys, g.type, g.freq))
            sats.push_back(&obs.data[i]);
    const ZTime when = zTimeOf(obs.data[0].time, g.sys == SYS_GLO);
    for (std::size_t first = 0; first < sats.size(); first += kMaxBlocks) {
        const std::size_t n = std::min<std::size_t>(kMaxBlocks, sats.size() - first);
        const bool more = !last || first + n < sats.size();
        if (g.type == 18) {
            std::vector<Nvt::Mesaro::RTCMV_RTK_18_s> blocks(n);
            for (std::size_t k = 0; k < n; ++k) {
                const obsd_t &o = *sats[first + k];
                Nvt::Mesaro::RTCMV_init_RTK_18(&blocks[k]);
                fillHead(blocks[k], o, g.sys, g.freq, more);
                blocks[k].Data_Quality = kPhaseQuality;
                const Track &t = m_tracks[std::size_t(o.sat - 1)][std::size_t(g.freq)];
                blocks[k].Cumulative_Loss_Of_Continuity = static_cast<unsigned char>(t.losses);
                blocks[k].Carrier_Phase = t.phase;
            }
            Nvt::Mesaro::RTCMV_Message_Type_18_s m;
            Nvt::Mesaro::RTCMV_init_Message_Type_18(&m);
            sendTimed(m, blocks, g.freq, when, sender, &Nvt::Mesaro::RTCMV_encode_Message_Type_18);
        } else {
            std::vector<Nvt::Mesaro::RTCMV_RTK_19_s> blocks(n);
            for (std::size_t k = 0; k < n; ++k) {
                const obsd_t &o = *sats[first + k];
                Nvt::Mesaro::RTCMV_init_RTK_19(&blocks[k]);
                fillHead(blocks[k], o, g.sys, g.freq, more);
                blocks[k].Data_Quality = kPseudorangeQuality;
                blocks[k].Multipath_Error = kMultipathUnknown;
                blocks[k].Pseudorange = static_cast<unsigned int>(std::llround(o.P[g.freq] / kPseudorangeStep));
            }
            Nvt::Mesaro::RTCMV_Message_Type_19_s m;
            Nvt::Mesaro::RTCMV_init_Message_Type_19(&m);
            sendTimed(m, blocks, g.freq, when, sender, &Nvt::Mesaro::RTCMV_encode_Message_Type_19);
        }
    }
}

void ObservationMessages::epoch(const obs_t &obs, Rtcm2Sender &sender, bool phases, bool ranges)
{
    follow(obs);
    if (obs.n == 0)
        return;
    std::vector<Group> groups;
    for (int sys : {SYS_GPS, SYS_GLO})
        for (int type : {18, 19})
            for (int freq : {0, 1}) {
                if (!(type == 18 ? phases : ranges))
                    continue;
                for (int i = 0; i < obs.n; ++i)
                    if (select(obs.data[i], sys, type, freq)) {
                        groups.push_back(Group{sys, type, freq});
                        break;
                    }
            }
    for (std::size_t i = 0; i < groups.size(); ++i)
        sendGroup(obs, groups[i], sender, i + 1 == groups.size());
}

} // namespace convert
