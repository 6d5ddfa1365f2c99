// RTCM 2 transmission framing: byte stream <-> packed messages (24 data bits per word, back to back).
// Plain C++17, independent of the decoder library.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace rtcm2 {

// Parity bits D25..D30 (D25 most significant) of the 24 data bits `data` (d1 most significant),
// given the last two bits D29*, D30* of the previous word. `data` is the source data, not complemented.
unsigned wordParity(uint32_t data, unsigned d29Star, unsigned d30Star);

// Largest message: two header words plus a 5-bit data word count.
constexpr unsigned kMaxWords = 2 + 31;

} // namespace rtcm2

// Finds messages in a transmission byte stream: bytes carry six data bits each (low six bits, least
// significant first) and "01" in the top two bits; other bytes are ignored and counted. The framer
// hunts bit by bit for a word that passes parity and holds the preamble 0x66, reads the data word
// count from the second header word, and checks the parity of every word. When a word fails, the
// message is dropped and hunting restarts one bit after the start of the dropped message, so a false
// lock on noise never costs a real message that follows it. After a message the framer expects the
// next header right away, in the same parity chain. If it is not there, the message just delivered
// is searched again from the bit after its start: it may have begun on noise (a lone header word)
// whose parity ran on into real messages. Messages found inside it are delivered only if a chain
// of headers carries on from them past its end. What remains undetectable is noise that forms a
// header in step with the real words and whose lengths end exactly where a real message ends.
//
// A complete message is held back until what follows confirms it: in a continuous stream the next
// message follows without a gap, so the word after it must be a header in the same parity chain.
// A damaged last word that happened to pass its own parity (a bit slip, a burst) leaves that word
// out of step, and so does a wrong length field. When the word after it is not such a header:
//  - it passes parity in step (a wrong length), or a header lies one symbol early (a symbol lost
//    in the last word): the message is dropped;
//  - a header lies one symbol late: released if the station fits, unless the last word passes
//    parity with one of its own symbols taken out too (a symbol added in it, not after it);
//  - the word is near a header and the stream carries on in step after it (only the next header
//    was hit), and the station is the last one seen: released;
//  - ignored bytes follow right after it (a stop in the stream, text between recordings), the
//    station being the last one seen: released unconfirmed;
//  - no ignored bytes inside its last word (a burst leaves most of its bytes ignored), the
//    station being the last one seen: released unconfirmed;
//  - otherwise the next message found decides: released if it is from the same station with the
//    next sequence number (damage in a last word almost always reaches into the next header).
// On a live stream this costs one word period of latency (30 bits at the stream's bit rate), two
// when the next header is damaged. When nothing follows, the message waits: flush() at the end of
// the input, or releasePending() once a live source has been quiet for a few word periods,
// releases it unconfirmed, unless it looks like noise: found by hunting, of a station not seen
// before, and without data words.
// Once locked in a clean chain, whole messages are read straight from the input bytes; the
// first that is not whole and in step goes through the symbol buffer, with the same outcome.
// The handler must not feed, flush or reset the framer that calls it.
class Rtcm2Framer
{
public:
    struct Stats
    {
        uint64_t bytes = 0;          // all bytes fed
        uint64_t ignoredBytes = 0;   // bytes without "01" in the top two bits
        uint64_t words = 0;          // words that passed parity inside locked messages
        uint64_t parityFailures = 0; // message words, or the word right after a message, failing parity
        uint64_t messages = 0;       // complete messages handed on
        uint64_t unconfirmed = 0;    // of those, released unconfirmed (end of input, quiet source, see above)
        uint64_t rejected = 0;       // complete messages dropped because what followed did not confirm them
        uint64_t resyncs = 0;        // times the framer lost lock and went back to hunting
    };

    // Called once per message whose words all passed parity: the 24 data bits of each word packed
    // back to back, most significant bit first (3 bytes per word), `words` words in all.
    using MessageHandler = std::function<void(const uint8_t *packed, std::size_t bytes, unsigned words)>;

    explicit Rtcm2Framer(MessageHandler handler);

    using Clock = std::chrono::steady_clock;

    // Accepts the stream in chunks of any size; state carries over between calls.
    void feed(const uint8_t *data, std::size_t size);
    // The same for a live source, noting when the bytes arrived (for releasePending()).
    void feed(const uint8_t *data, std::size_t size, Clock::time_point arrival);
    // End of input: releases the message still waiting for its confirmation, unconfirmed.
    void flush();
    // For a live source that has gone quiet: releases the waiting message unconfirmed if nothing
    // arrived for `quiet` before `now` (a few word periods, see wordPeriod()). Returns whether it did.
    bool releasePending(Clock::time_point now, Clock::duration quiet);
    // Time of one 30-bit word at `bitsPerSecond` of the RTCM 2 bit stream (six bits per byte).
    static Clock::duration wordPeriod(unsigned bitsPerSecond);
    // Back to the state right after construction: no partial message, hunting, counters zero.
    void reset();
    const Stats &stats() const { return m_stats; }

private:
    enum class After { NeedInput, Locked, Lost };
    After checkAfterMessage();
    bool hunt();
    void lock(std::size_t bitPos, uint32_t raw, uint32_t data);
    bool collect();
    void complete();
    void releaseHeld();
    // A message waits for the word after it (not for the next message found).
    bool nextWordDecides() const { return m_pendingWords > 0 && !m_pendingAwaitsNext; }
    void settlePending(uint32_t raw, bool parityOk);
    bool resumesAfter(std::size_t end, uint32_t raw) const;
    bool endsBeforeGap(std::size_t end) const;
    bool ignoredWithin(std::size_t end) const;
    bool symbolAddedInside(std::size_t end) const;
    bool plausible() const;
    std::size_t convert(const uint8_t *data, std::size_t size);
    std::size_t convertByte(uint8_t byte, std::size_t kept, uint8_t &ignored);
    bool knownStation(unsigned station) const;
    void settleAwaiting();
    void rejectPending();
    void releasePendingMessage();
    void deliver(const uint8_t *packed, unsigned words);
    uint32_t wordAt(std::size_t bitPos) const;
    void process();
    bool inStep() const;
    std::size_t symbolsToMessageEnd() const;
    std::size_t feedInStep(const uint8_t *data, std::size_t size);
    unsigned readMessage(const uint8_t *data, std::size_t size, std::size_t &at, unsigned &ignored, unsigned shift,
                         unsigned &carry, unsigned &prev);

    MessageHandler m_handler;
    Stats m_stats;
    // Six-bit symbols (most significant bit first) not yet consumed; bit positions below index into it.
    std::vector<uint8_t> m_symbols;
    // 1 for a symbol right after an ignored byte (a stop in the stream, or damage).
    std::vector<uint8_t> m_afterIgnored;
    uint8_t m_lastIgnored = 0;
    std::size_t m_symbolCount = 0;
    std::size_t m_huntPos = 0;      // next candidate start while hunting
    std::size_t m_msgStart = 0;     // first bit of the locked message
    bool m_locked = false;
    bool m_lockedInChain = false;   // the locked message's header followed the last one in step
    bool m_afterMessage = false;    // the next candidate is the word right after a message
    unsigned m_wordCount = 0;       // words collected so far
    unsigned m_wordsExpected = 0;   // 2 + data word count, once header word 2 is in
    unsigned m_prevBits = 0;        // D29*, D30* of the last collected word
    std::array<uint8_t, 3 * rtcm2::kMaxWords> m_packed{};
    // Searching a delivered message again (see above): messages found up to its end are held.
    bool m_checking = false;
    std::size_t m_checkEnd = 0;
    std::array<uint8_t, 3 * rtcm2::kMaxWords> m_held{};
    std::array<uint8_t, rtcm2::kMaxWords> m_heldWords{};
    unsigned m_heldCount = 0;
    std::size_t m_heldBytes = 0;
    // The last complete message, waiting for the word after it.
    std::array<uint8_t, 3 * rtcm2::kMaxWords> m_pending{};
    unsigned m_pendingWords = 0;
    unsigned m_pendingLastBits = 0;      // D29*, D30* after its last word
    bool m_pendingAwaitsNext = false;    // its next word failed: the next message found decides
    bool m_pendingInChain = false;
    Clock::time_point m_lastArrival{};
    // The last few stations whose messages were released (a stream may carry more than one).
    std::array<uint16_t, 4> m_stations{};
    unsigned m_stationCount = 0;
};

// Splits already packed input (messages back to back, 3 bytes per word) by the data word count in
// each message's second header word. The content is not checked; that is the decoder's job.
class Rtcm2PackedSplitter
{
public:
    using MessageHandler = Rtcm2Framer::MessageHandler;

    explicit Rtcm2PackedSplitter(MessageHandler handler);
    void feed(const uint8_t *data, std::size_t size);
    // Bytes of a message begun but not yet complete (at the end of input: a truncated message).
    std::size_t incompleteBytes() const { return m_pending.size(); }
    uint64_t messages() const { return m_messages; }

private:
    // Length in bytes of the message whose header starts at `header` (at least 6 bytes).
    static std::size_t messageBytes(const uint8_t *header);

    MessageHandler m_handler;
    std::vector<uint8_t> m_pending;
    uint64_t m_messages = 0;
};

// Frames packed messages into transmission bytes with parity, carrying D29*/D30* from word to word
// and from message to message, complementing the data when D30* is set.
class Rtcm2Writer
{
public:
    // Appends 5 bytes per word to `out`; `packed` holds 3 bytes per word.
    void writeMessage(const uint8_t *packed, unsigned words, std::vector<uint8_t> &out);
    // Starts again from D29* = D30* = 0.
    void reset() { m_prevBits = 0; }

private:
    unsigned m_prevBits = 0;
};
