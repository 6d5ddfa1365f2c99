// Turns filled RTCM 2 records into transmission bytes: the header every message shares (station
// id, Modified Z-count, sequence number, health), the data word count, parity, and the count of
// messages sent per type.
#pragma once

#include "Rtklib.h"

#include <RTCMV_codec.h>
#include <Rtcm2Framer.h>

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace convert {

// A time as RTCM 2 carries it: the Modified Z-count (0.6 s steps within the hour) and what is left
// of the 0.6 s, in microseconds (the time of measurement of types 18 to 21).
struct ZTime
{
    unsigned zCount = 0;
    unsigned microseconds = 0;
};

// `time` on the GPS time scale; GLONASS messages count the hour in UTC (GLONASS time is UTC + 3 h,
// so its minutes and seconds are UTC's), GPS messages in GPS time.
ZTime zTimeOf(gtime_t time, bool glonass);

class Rtcm2Sender
{
public:
    using Sink = std::function<void(const uint8_t *bytes, std::size_t size)>;

    explicit Rtcm2Sender(Sink sink) : m_sink(std::move(sink)) {}

    void setStationId(unsigned id) { m_stationId = id % 1024; }
    unsigned stationId() const { return m_stationId; }

    // Sets the header of `record` (its Message_Type already set), encodes it with `encode` in as
    // few data words as hold it, or in `words` for a message whose length says which fields it
    // holds, and sends it. False when the codec refuses it (counted).
    template <typename Record>
    bool send(Record &record, int32_t (*encode)(unsigned char *, uint16_t, Record *), unsigned zCount,
              unsigned words = 0)
    {
        record.Preamble = 0x66;
        record.Reference_Station_Id = static_cast<unsigned short>(m_stationId);
        record.Modified_Z_Count = static_cast<unsigned short>(zCount % 6000);
        record.Sequence_No_ = static_cast<unsigned char>(m_sequence);
        record.Station_Health = 0; // healthy, UDRE scale 1
        // First with room for the longest message, to learn the length; then with its exact length,
        // which the header carries.
        if (words == 0) {
            record.No_Of_Data_Words = 31;
            record.bitLength = 0;
            const int32_t bits = encode(m_packed.data(), uint16_t(m_packed.size()), &record);
            if (bits < 48 || bits > 33 * 24)
                return refused();
            words = (unsigned(bits) - 48 + 23) / 24;
        }
        record.No_Of_Data_Words = static_cast<unsigned char>(words);
        record.bitLength = 0;
        std::vector<uint8_t> message((words + 2) * 3, 0);
        if (encode(message.data(), uint16_t(message.size()), &record) < 0)
            return refused();
        write(record.Message_Type, message, words);
        return true;
    }

    const std::map<int, uint64_t> &sent() const { return m_sent; }
    uint64_t refusals() const { return m_refused; }

private:
    bool refused()
    {
        ++m_refused;
        return false;
    }
    void write(int type, const std::vector<uint8_t> &packed, unsigned words);

    Sink m_sink;
    unsigned m_stationId = 0;
    unsigned m_sequence = 0;
    std::vector<uint8_t> m_packed = std::vector<uint8_t>(33 * 3);
    Rtcm2Writer m_writer;
    std::vector<uint8_t> m_bytes;
    std::map<int, uint64_t> m_sent;
    uint64_t m_refused = 0;
};

} // namespace convert
