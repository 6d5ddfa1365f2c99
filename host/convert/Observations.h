// RTCM 2 types 18 (uncorrected carrier phases) and 19 (uncorrected pseudoranges), GPS and GLONASS,
// L1 and L2, from one observation epoch as RTKLIB decoded it from RTCM 3.
#pragma once

#include "Rtcm2Sender.h"

#include <array>
#include <type_traits>
#include <vector>

namespace convert {

class ObservationMessages
{
public:
    // What of an epoch has no RTCM 2 counterpart.
    struct Dropped
    {
        uint64_t galileo = 0, beidou = 0, qzss = 0, sbas = 0, irnss = 0; // satellite observations
        uint64_t otherSignals = 0; // GPS and GLONASS signals other than L1 and L2
    };

    // Follows every epoch, sent or not, so that the loss-of-continuity counters see each loss of
    // lock; then sends the phases and/or ranges. All messages of the epoch but the last say that
    // more of the same epoch follow.
    void epoch(const obs_t &obs, Rtcm2Sender &sender, bool phases, bool ranges);

    const Dropped &dropped() const { return m_dropped; }

private:
    // A satellite's carrier on one frequency: the loss-of-continuity counter and the whole cycles
    // taken off its phase since lock, so that the phase starts near zero and fits 32 bits.
    struct Track
    {
        bool tracked = false; // in the epoch before
        bool seen = false;    // ever
        gtime_t last{};
        unsigned losses = 0;
        double offset = 0;
        int32_t phase = 0; // 1/256 cycle, this epoch
    };


    // The satellites of one constellation, message type and frequency (0 L1, 1 L2).
    struct Group
    {
        int sys, type, freq;
    };

    void follow(const obs_t &obs);
    void count(const obsd_t &o);
    bool select(const obsd_t &o, int sys, int type, int freq) const;
    void sendGroup(const obs_t &obs, const Group &group, Rtcm2Sender &sender, bool last);

    // The header word of types 18 and 19, then the blocks, sent.
    template <typename Message, typename Block>
    static void sendTimed(Message &m, std::vector<Block> &blocks, int freq, ZTime when, Rtcm2Sender &sender,
                          int32_t (*encode)(unsigned char *, uint16_t, Message *))
    {
        m.Message_Type = std::is_same<Block, Nvt::Mesaro::RTCMV_RTK_18_s>::value ? 18 : 19;
        m.Frequency = static_cast<unsigned char>(freq == 0 ? 0 : 2);
        m.Smoothing_Interval = 0;
        m.GNSS_Time_Of_Measurement = when.microseconds;
        m.Ns = static_cast<unsigned char>(blocks.size());
        m.Data = blocks.data();
        sender.send(m, encode, when.zCount);
        m.Data = nullptr; // the blocks are the caller's
    }

    std::array<std::array<Track, 2>, MAXSAT> m_tracks{};
    Dropped m_dropped;
    gtime_t m_lastEpoch{};
};

} // namespace convert
