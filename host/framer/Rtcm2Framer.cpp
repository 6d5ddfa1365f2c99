// RTCM 2 framer, packed-input splitter and writer: word sync, parity (IS-GPS-200 equations),
// data-bit complementing and the six-bits-per-byte transmission layout.
#include "Rtcm2Framer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

constexpr uint32_t kDataMask = 0xFFFFFF;
constexpr uint32_t kWordMask = 0x3FFFFFFF;
constexpr unsigned kPreamble = 0x66;
// Parity bits that D29* and D30* enter (D25 is bit 5, D30 bit 0).
constexpr unsigned kD29StarBits = 0x29; // D25, D27, D30
constexpr unsigned kD30StarBits = 0x16; // D26, D28, D29

// Input is converted in blocks so the symbol buffer keeps a fixed size; a message that is still
// being collected (at most 33 words, 165 symbols) stays in front of the next block.
constexpr std::size_t kBlock = 4096;
constexpr std::size_t kCarry = 192;
constexpr uint8_t kInvalid = 0x80;
// While hunting, input is converted in smaller pieces, so that the fast path over the input bytes
// takes over soon after the next message is found (see Rtcm2Framer::feedInStep()).
constexpr std::size_t kHuntChunk = 512;

// Mask over d1..d24 (d1 is bit 23) of the data bits a parity bit covers.
constexpr uint32_t dataMask(std::initializer_list<int> bits)
{
    uint32_t mask = 0;
    for (int bit : bits)
        mask |= 1u << (24 - bit);
    return mask;
}

constexpr uint32_t kParityMasks[6] = {
    dataMask({1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23}),
    dataMask({2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24}),
    dataMask({1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22}),
    dataMask({2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23}),
    dataMask({1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}),
    dataMask({3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24}),
};

// The six parity bits of data bits d1..d24 without the D29*/D30* terms, one parity per mask.
constexpr unsigned maskParity(uint32_t data)
{
    unsigned parity = 0;
    for (uint32_t mask : kParityMasks) {
        uint32_t covered = data & mask;
        unsigned bit = 0;
        for (; covered != 0; covered &= covered - 1)
            bit ^= 1u;
        parity = (parity << 1) | bit;
    }
    return parity;
}

// Parity is linear in the data bits: the parity of a word is the XOR of the parities of its three
// bytes, each looked up in its own table.
struct ParityTable
{
    uint8_t byte[3][256];
    constexpr ParityTable() : byte()
    {
        for (unsigned position = 0; position < 3; ++position)
            for (uint32_t value = 0; value < 256; ++value)
                byte[position][value] = uint8_t(maskParity(value << (8 * position)));
    }
};
constexpr ParityTable kParity;

// Byte -> its six data bits in transmission order (first bit sent = most significant), or
// kInvalid for a byte without "01" in the top two bits. Reversal is its own inverse, so the
// writer uses the same table.
struct SymbolTable
{
    uint8_t value[256];
    constexpr SymbolTable() : value()
    {
        for (unsigned byte = 0; byte < 256; ++byte) {
            if ((byte & 0xC0) != 0x40) {
                value[byte] = kInvalid;
                continue;
            }
            unsigned reversed = 0;
            for (unsigned bit = 0; bit < 6; ++bit)
                reversed |= ((byte >> bit) & 1u) << (5 - bit);
            value[byte] = uint8_t(reversed);
        }
    }
};
constexpr SymbolTable kSymbols;

// The parity of rtcm2::wordParity, inlined where the framer checks every word.
inline unsigned parityOf(uint32_t data, unsigned d29Star, unsigned d30Star)
{
    const unsigned parity = kParity.byte[0][data & 0xFF] ^ kParity.byte[1][(data >> 8) & 0xFF]
                            ^ kParity.byte[2][(data >> 16) & 0xFF];
    return parity ^ (d29Star ? kD29StarBits : 0u) ^ (d30Star ? kD30StarBits : 0u);
}

// Parity is linear, so a word can be checked as sent, before its data bits are complemented:
// what D29*, D30* add to the parity of the sent bits, by the previous word's last two bits.
struct PrevParity
{
    uint8_t bits[4];
    constexpr PrevParity() : bits()
    {
        const unsigned complemented = maskParity(kDataMask);
        for (unsigned prev = 0; prev < 4; ++prev)
            bits[prev] = uint8_t(((prev & 1) ? complemented ^ kD30StarBits : 0u) ^ ((prev >> 1) ? kD29StarBits : 0u));
    }
};
constexpr PrevParity kPrevParity;

inline uint32_t complementFor(unsigned prevBits)
{
    return (prevBits & 1u) ? kDataMask : 0u;
}

// The symbols of eight bytes at once, each byte's six data bits in reverse order (what kSymbols
// gives a byte that carries data): every byte is reversed in place, then shifted down by two.
inline uint64_t reverseSymbols(uint64_t eight)
{
    uint64_t v = eight & 0x3F3F3F3F3F3F3F3Fu;
    v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((v & 0x0F0F0F0F0F0F0F0Fu) << 4);
    v = ((v >> 2) & 0x3333333333333333u) | ((v & 0x3333333333333333u) << 2);
    v = ((v >> 1) & 0x5555555555555555u) | ((v & 0x5555555555555555u) << 1);
    return v >> 2 & 0x3F3F3F3F3F3F3F3Fu;
}

// The 30 bits of five six-bit symbols.
inline uint32_t fiveSymbols(const uint8_t *s)
{
    return uint32_t(s[0]) << 24 | uint32_t(s[1]) << 18 | uint32_t(s[2]) << 12 | uint32_t(s[3]) << 6 | s[4];
}

inline void storeWord(uint8_t *out, uint32_t data)
{
    out[0] = uint8_t(data >> 16);
    out[1] = uint8_t(data >> 8);
    out[2] = uint8_t(data);
}

// Whether `raw` can be a message's first word: the preamble and good parity for some D29*/D30*.
// The previous two bits are not trusted here: before a lock they may be noise, or a message may
// follow inserted bytes. Only one of the four choices can pass with the preamble (D30* picks 0x66
// or its complement, D29* flips three parity bits).
bool isHeaderWord(uint32_t raw, uint32_t &data)
{
    const unsigned top = raw >> 22;
    if (top != kPreamble && top != (~kPreamble & 0xFF))
        return false;
    const unsigned d30Star = top != kPreamble;
    data = (raw >> 6) ^ (d30Star ? kDataMask : 0u);
    const unsigned syndrome = parityOf(data, 0, d30Star) ^ (raw & 0x3F);
    return syndrome == 0 || syndrome == kD29StarBits;
}

// Whether `raw` passes parity after a word that was sent as `before`.
bool passesAfter(uint32_t before, uint32_t raw)
{
    const unsigned prev = before & 3;
    return parityOf((raw >> 6) ^ complementFor(prev), prev >> 1, prev & 1) == (raw & 0x3F);
}

unsigned stationOf(const uint8_t *packed)
{
    return (unsigned(packed[1]) << 8 | packed[2]) & 0x3FF;
}

unsigned sequenceOf(const uint8_t *packed)
{
    return packed[4] & 7u;
}

// Whether the first eight bits of `raw` are within one bit of the preamble as sent after a word
// ending in `prevBits`.
bool nearPreamble(uint32_t raw, unsigned prevBits)
{
    const unsigned sent = kPreamble ^ ((prevBits & 1u) ? 0xFFu : 0u);
    return __builtin_popcount((raw >> 22) ^ sent) <= 1;
}

} // namespace

unsigned rtcm2::wordParity(uint32_t data, unsigned d29Star, unsigned d30Star)
{
    return parityOf(data, d29Star, d30Star);
}

// ---------------------------------------------------------------------------------------------

Rtcm2Framer::Rtcm2Framer(MessageHandler handler)
    : m_handler(std::move(handler)), m_symbols(kBlock + kCarry), m_afterIgnored(kBlock + kCarry)
{
}

void Rtcm2Framer::reset()
{
    m_stats = Stats();
    m_symbolCount = 0;
    m_huntPos = 0;
    m_msgStart = 0;
    m_locked = false;
    m_afterMessage = false;
    m_checking = false;
    m_checkEnd = 0;
    m_heldCount = 0;
    m_heldBytes = 0;
    m_lastIgnored = 0;
    m_pendingWords = 0;
    m_pendingAwaitsNext = false;
    m_stationCount = 0;
    m_wordCount = 0;
    m_wordsExpected = 0;
    m_prevBits = 0;
}

void Rtcm2Framer::feed(const uint8_t *data, std::size_t size, Clock::time_point arrival)
{
    m_lastArrival = arrival;
    feed(data, size);
}

void Rtcm2Framer::flush()
{
    if (m_pendingWords == 0)
        return;
    // A header and a second word of noise pass parity once in 2^18 bit positions; with a data
    // word after them, 64 times less often. Found by hunting, of a station not seen before and
    // without data words, the message at the end is more likely noise than not.
    if (!plausible() && m_pendingWords == 2) {
        rejectPending();
        return;
    }
    ++m_stats.unconfirmed;
    releasePendingMessage();
}

bool Rtcm2Framer::releasePending(Clock::time_point now, Clock::duration quiet)
{
    if (m_pendingWords == 0 || now - m_lastArrival < quiet)
        return false;
    flush();
    return true;
}

Rtcm2Framer::Clock::duration Rtcm2Framer::wordPeriod(unsigned bitsPerSecond)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(30.0 / bitsPerSecond));
}

void Rtcm2Framer::releasePendingMessage()
{
    const unsigned words = m_pendingWords;
    m_pendingWords = 0;
    m_pendingAwaitsNext = false;
    deliver(m_pending.data(), words);
}

void Rtcm2Framer::deliver(const uint8_t *packed, unsigned words)
{
    const unsigned station = stationOf(packed);
    if (!knownStation(station))
        m_stations[m_stationCount++ % m_stations.size()] = uint16_t(station);
    ++m_stats.messages;
    m_handler(packed, 3 * std::size_t(words), words);
}

void Rtcm2Framer::feed(const uint8_t *data, std::size_t size)
{
    m_stats.bytes += size;
    while (size > 0) {
        if (inStep()) {
            const std::size_t used = feedInStep(data, size);
            data += used;
            size -= used;
            if (size == 0)
                break;
        }
        // Up to the end of the message being collected, so that the next one may start in step.
        const std::size_t chunk = std::min({size, kBlock, symbolsToMessageEnd()});
        const std::size_t kept = convert(data, chunk);
        m_stats.ignoredBytes += chunk - kept;
        m_symbolCount += kept;
        data += chunk;
        size -= chunk;

        process();

        // Drop the symbols nobody can need again; bit positions move with them. The last message
        // stays until the word after it is known, in case it has to be searched again.
        const std::size_t keepBit = m_locked || m_afterMessage ? m_msgStart : m_huntPos;
        const std::size_t keepFrom = std::min(keepBit / 6, m_symbolCount);
        if (keepFrom > 0) {
            std::memmove(m_symbols.data(), m_symbols.data() + keepFrom, m_symbolCount - keepFrom);
            std::memmove(m_afterIgnored.data(), m_afterIgnored.data() + keepFrom, m_symbolCount - keepFrom);
            m_symbolCount -= keepFrom;
            m_huntPos -= std::min(m_huntPos, 6 * keepFrom);
            m_msgStart -= std::min(m_msgStart, 6 * keepFrom);
            m_checkEnd -= std::min(m_checkEnd, 6 * keepFrom);
        }
    }
}

// Appends the symbols of the bytes that carry data and marks each that came right after an
// ignored byte (a stop in the stream, or damage). Returns how many it appended. Eight bytes that
// all carry data, the usual case, are taken in one step.
std::size_t Rtcm2Framer::convert(const uint8_t *data, std::size_t size)
{
    uint8_t *symbols = m_symbols.data() + m_symbolCount;
    uint8_t *afterIgnored = m_afterIgnored.data() + m_symbolCount;
    uint8_t ignored = m_lastIgnored;
    std::size_t kept = 0, i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, data + i, sizeof eight);
        if ((eight & 0xC0C0C0C0C0C0C0C0u) == 0x4040404040404040u) {
            const uint64_t reversed = reverseSymbols(eight);
            const uint64_t none = 0;
            std::memcpy(symbols + kept, &reversed, sizeof reversed);
            std::memcpy(afterIgnored + kept, &none, sizeof none);
            afterIgnored[kept] = ignored;
            ignored = 0;
            kept += 8;
            continue;
        }
        for (std::size_t k = i; k < i + 8; ++k)
            kept = convertByte(data[k], kept, ignored);
    }
    for (; i < size; ++i)
        kept = convertByte(data[i], kept, ignored);
    m_lastIgnored = ignored;
    return kept;
}

// One byte: its symbol goes to `kept` (and stays there unless the byte is ignored); the mark of
// that place tells whether the byte before was ignored.
inline std::size_t Rtcm2Framer::convertByte(uint8_t byte, std::size_t kept, uint8_t &ignored)
{
    const uint8_t symbol = kSymbols.value[byte];
    m_symbols[m_symbolCount + kept] = symbol;
    m_afterIgnored[m_symbolCount + kept] = ignored;
    ignored = symbol >> 7;
    return kept + 1u - ignored;
}

namespace {

// The 30 bits of the symbols of five bytes, when all of them carry data.
inline bool fiveSent(const uint8_t *bytes, uint32_t &five)
{
    uint32_t bits = 0, any = 0;
    for (unsigned i = 0; i < 5; ++i) {
        const uint32_t symbol = kSymbols.value[bytes[i]];
        any |= symbol;
        bits = bits << 6 | symbol;
    }
    five = bits;
    return (any & kInvalid) == 0;
}

// The next five bytes that carry data from `at` on, ignored ones skipped and counted; `at` ends
// right after the fifth.
inline bool nextFive(const uint8_t *data, std::size_t size, std::size_t &at, uint32_t &five, unsigned &ignored)
{
    if (at + 5 <= size && fiveSent(data + at, five)) {
        at += 5;
        return true;
    }
    uint32_t bits = 0;
    unsigned got = 0;
    for (; got < 5 && at < size; ++at) {
        const uint8_t symbol = kSymbols.value[data[at]];
        if (symbol == kInvalid) {
            ++ignored;
            continue;
        }
        bits = bits << 6 | symbol;
        ++got;
    }
    five = bits;
    return got == 5;
}

} // namespace

// Right after a message, in a clean chain, with the symbols ending where the next word begins (or
// in the symbol it begins in): the messages that follow can be read from the input bytes
// themselves (see feedInStep()).
bool Rtcm2Framer::inStep() const
{
    return m_afterMessage && !m_locked && (m_huntPos + 5) / 6 == m_symbolCount && !m_checking && m_heldCount == 0
           && !m_pendingAwaitsNext;
}

// Symbols still missing from the message being collected (its first two words while its length
// is not known); while hunting, a piece of kHuntChunk bytes.
std::size_t Rtcm2Framer::symbolsToMessageEnd() const
{
    if (!m_locked)
        return kHuntChunk;
    const std::size_t words = m_wordsExpected >= 2 ? m_wordsExpected : 2;
    return std::max<std::size_t>((m_msgStart + 30 * words + 5) / 6, m_symbolCount + 1) - m_symbolCount;
}

// Whole messages straight from the input, each a header in step with the message before it and
// words that all pass parity: the symbol buffer is left out. Five bytes that carry data make a
// word, with the symbol before them when the words lie across symbols. A header in step confirms
// the waiting message, as in checkAfterMessage(); the new message is read into the place where it
// waits. At the first message that is not whole and clean, the bytes of the last one read go
// through the symbol buffer after all and the general path takes over from there, so the outcome
// is that of converting every byte. Returns the bytes used.
std::size_t Rtcm2Framer::feedInStep(const uint8_t *data, std::size_t size)
{
    const unsigned offset = unsigned(m_huntPos % 6);
    const uint8_t firstSymbol = offset ? m_symbols[m_symbolCount - 1] : 0u;
    const uint8_t firstMark = offset ? m_afterIgnored[m_symbolCount - 1] : 0u;
    unsigned carry = firstSymbol, prev = m_prevBits, lastWords = 0;
    std::size_t at = 0, last = 0;
    for (;;) {
        std::size_t end = at;
        unsigned ignored = 0;
        const unsigned words = readMessage(data, size, end, ignored, (6 - offset) % 6, carry, prev);
        if (words == 0)
            break;
        m_stats.words += words;
        m_stats.ignoredBytes += ignored;
        m_pendingWords = words;
        m_pendingLastBits = prev;
        m_pendingInChain = true;
        last = at;
        lastWords = words;
        at = end;
    }
    if (lastWords == 0)
        return 0;
    // The bytes of the last message read, from the symbol it begins in.
    m_symbolCount = 0;
    if (offset) {
        m_symbols[0] = last > 0 ? kSymbols.value[data[last - 1]] : firstSymbol;
        m_afterIgnored[0] = last > 0 ? uint8_t(kSymbols.value[data[last - 2]] >> 7) : firstMark;
        m_symbolCount = 1;
    }
    if (last > 0)
        m_lastIgnored = 0;
    m_symbolCount += convert(data + last, at - last);
    m_msgStart = offset;
    m_huntPos = offset + 30 * std::size_t(lastWords);
    m_wordCount = m_wordsExpected = lastWords;
    m_prevBits = prev;
    return at;
}

// One message from `data + at` into the place where the waiting message is held, releasing that
// one first once its header is in step. Each word is the symbol `carry` and the next five, shifted
// down by `shift`. Returns its words, or 0 (nothing kept) when it is not whole within `size`
// bytes or a word fails parity; `at` ends after its last byte.
unsigned Rtcm2Framer::readMessage(const uint8_t *data, std::size_t size, std::size_t &at, unsigned &ignored,
                                  unsigned shift, unsigned &carry, unsigned &prev)
{
    // Locals throughout: the stores of the message's bytes could otherwise alias them.
    std::size_t pos = at;
    unsigned skipped = 0;
    uint32_t five = 0;
    if (!nextFive(data, size, pos, five, skipped))
        return 0;
    uint32_t raw = uint32_t((uint64_t(carry) << 30 | five) >> shift) & kWordMask;
    uint32_t word = (raw >> 6) ^ complementFor(prev);
    if ((parityOf(raw >> 6, 0, 0) ^ kPrevParity.bits[prev]) != (raw & 0x3F) || (word >> 16) != kPreamble)
        return 0;
    if (nextWordDecides())
        releasePendingMessage();
    uint8_t *const packed = m_pending.data();
    storeWord(packed, word);
    unsigned bits = raw & 3, expected = 2, last = five & 0x3F;
    for (unsigned words = 1; words < expected; ++words) {
        if (!nextFive(data, size, pos, five, skipped))
            return 0;
        raw = uint32_t((uint64_t(last) << 30 | five) >> shift) & kWordMask;
        if ((parityOf(raw >> 6, 0, 0) ^ kPrevParity.bits[bits]) != (raw & 0x3F))
            return 0;
        word = (raw >> 6) ^ complementFor(bits);
        storeWord(packed + 3 * words, word);
        bits = raw & 3;
        last = five & 0x3F;
        if (words == 1)
            expected = 2 + ((word >> 3) & 0x1F);
    }
    at = pos;
    ignored = skipped;
    prev = bits;
    carry = last;
    return expected;
}

void Rtcm2Framer::process()
{
    for (;;) {
        if (!(m_locked ? collect() : hunt()))
            return;
    }
}

// The 30 transmitted bits starting at bit `bitPos` of the symbol buffer (the caller checked they
// are all there). Words after a clean lock start on a symbol boundary: five symbols, no shift.
uint32_t Rtcm2Framer::wordAt(std::size_t bitPos) const
{
    const uint8_t *s = m_symbols.data() + bitPos / 6;
    const unsigned offset = unsigned(bitPos % 6);
    const uint32_t five = fiveSymbols(s);
    if (offset == 0)
        return five;
    return uint32_t(((uint64_t(five) << 6 | s[5]) >> (6 - offset)) & kWordMask);
}

void Rtcm2Framer::lock(std::size_t bitPos, uint32_t raw, uint32_t data)
{
    m_locked = true;
    m_lockedInChain = false;
    m_msgStart = bitPos;
    storeWord(m_packed.data(), data);
    m_wordCount = 1;
    m_wordsExpected = 0;
    m_prevBits = raw & 3;
    ++m_stats.words;
}

// In a clean stream the word right after a message is the next header, in the same parity
// chain: it must pass with the real D29*/D30*. That word also decides the waiting message.
Rtcm2Framer::After Rtcm2Framer::checkAfterMessage()
{
    const std::size_t bits = 6 * m_symbolCount;
    if (m_huntPos + 30 > bits)
        return After::NeedInput;
    const uint32_t raw = wordAt(m_huntPos);
    const uint32_t data = (raw >> 6) ^ complementFor(m_prevBits);
    const bool parityOk = parityOf(data, m_prevBits >> 1, m_prevBits & 1) == (raw & 0x3F);
    if (parityOk && (data >> 16) == kPreamble) {
        m_afterMessage = false;
        if (nextWordDecides())
            releasePendingMessage();
        lock(m_huntPos, raw, data);
        m_lockedInChain = true;
        return After::Locked;
    }
    if (nextWordDecides() && !parityOk && m_huntPos + 66 > bits)
        return After::NeedInput; // the words after it decide
    m_afterMessage = false;
    settlePending(raw, parityOk);
    ++m_stats.resyncs;
    if (!parityOk)
        ++m_stats.parityFailures;
    // Lock lost right after a message. That message may have begun on noise (a header word,
    // say) whose parity ran on into the real stream, swallowing the start of real messages:
    // search it again, from the bit after its start. A held message not followed by a header
    // breaks the chain, so whatever is held goes.
    if (!m_checking) {
        m_checking = true;
        m_checkEnd = m_huntPos;
    }
    m_heldCount = 0;
    m_heldBytes = 0;
    m_huntPos = m_msgStart + 1;
    return After::Lost;
}

// Slides one bit at a time, testing six candidate starts per symbol. Returns true on a lock,
// false when it needs more input.
bool Rtcm2Framer::hunt()
{
    const std::size_t count = m_symbolCount;
    uint32_t data = 0;
    if (m_afterMessage) {
        switch (checkAfterMessage()) {
        case After::NeedInput: return false;
        case After::Locked: return true;
        case After::Lost: break;
        }
    }

    const uint8_t *s = m_symbols.data();
    std::size_t k = m_huntPos / 6;
    unsigned offset = unsigned(m_huntPos % 6);
    for (; k + 6 <= count; ++k, offset = 0) {
        const uint64_t window = uint64_t(s[k]) << 30 | uint64_t(s[k + 1]) << 24 | uint64_t(s[k + 2]) << 18
            | uint64_t(s[k + 3]) << 12 | uint64_t(s[k + 4]) << 6 | s[k + 5];
        for (; offset < 6; ++offset) {
            const uint32_t raw = uint32_t(window >> (6 - offset)) & kWordMask;
            if (isHeaderWord(raw, data)) {
                lock(6 * k + offset, raw, data);
                return true;
            }
        }
    }
    // Five symbols left: only the candidate on the symbol boundary is complete.
    if (k + 5 == count && offset == 0) {
        const uint32_t raw = wordAt(6 * k);
        if (isHeaderWord(raw, data)) {
            lock(6 * k, raw, data);
            return true;
        }
        offset = 1;
    }
    m_huntPos = 6 * k + offset;
    return false;
}

// Collects the words of the locked message. Returns true when the message is complete or
// dropped (back to hunting), false when it needs more input.
bool Rtcm2Framer::collect()
{
    // Once locked, whole words are read; after a clean lock they start on a symbol. The word
    // loop keeps its state in locals and stores it where it stops.
    const std::size_t end = 6 * m_symbolCount;
    const bool aligned = m_msgStart % 6 == 0;
    const uint8_t *const symbols = m_symbols.data();
    uint8_t *const packed = m_packed.data();
    unsigned words = m_wordCount, prev = m_prevBits, expected = m_wordsExpected;
    std::size_t pos = m_msgStart + 30 * std::size_t(words);
    bool failed = false;
    for (; pos + 30 <= end; pos += 30) {
        const uint32_t raw = aligned ? fiveSymbols(symbols + pos / 6) : wordAt(pos);
        if ((parityOf(raw >> 6, 0, 0) ^ kPrevParity.bits[prev]) != (raw & 0x3F)) {
            failed = true;
            break;
        }
        const uint32_t data = (raw >> 6) ^ complementFor(prev);
        storeWord(packed + 3 * words, data);
        prev = raw & 3;
        if (++words == 2)
            expected = 2 + ((data >> 3) & 0x1F);
        if (words == expected)
            break;
    }
    m_stats.words += words - m_wordCount;
    m_wordCount = words;
    m_prevBits = prev;
    m_wordsExpected = expected;
    if (failed) {
        // Drop the message; the preamble itself may have been noise, so look again from the
        // next bit after it.
        ++m_stats.parityFailures;
        ++m_stats.resyncs;
        m_locked = false;
        m_huntPos = m_msgStart + 1;
        m_heldCount = 0;
        m_heldBytes = 0;
        return true;
    }
    if (words != expected)
        return false;
    m_locked = false;
    m_afterMessage = true;
    m_huntPos = pos + 30;
    complete();
    return true;
}

// While searching a delivered message again, messages that end inside it are held: they count
// only if a chain of headers carries on from them past its end, as real messages swallowed by
// a false lock do. Data inside a genuine message that merely looks like a header is dropped.
void Rtcm2Framer::complete()
{
    const std::size_t bytes = 3 * std::size_t(m_wordCount);
    if (m_checking && m_huntPos <= m_checkEnd) {
        if (m_heldBytes + bytes > m_held.size()) { // held messages lie inside one message: no overflow
            m_heldCount = 0;
            m_heldBytes = 0;
        }
        std::memcpy(m_held.data() + m_heldBytes, m_packed.data(), bytes);
        m_heldBytes += bytes;
        m_heldWords[m_heldCount++] = uint8_t(m_wordCount);
        return;
    }
    m_checking = false;
    settleAwaiting();
    releaseHeld();
    std::memcpy(m_pending.data(), m_packed.data(), bytes);
    m_pendingWords = m_wordCount;
    m_pendingLastBits = m_prevBits;
    m_pendingInChain = m_lockedInChain;
}

// The word after the waiting message is no header in its parity chain.
void Rtcm2Framer::settlePending(uint32_t raw, bool parityOk)
{
    if (!nextWordDecides())
        return;
    const std::size_t end = m_huntPos;
    uint32_t header = 0;
    // Words in step without a header: the length field was wrong. A header one symbol early: a
    // symbol was lost in the last word, whose parity passed by chance.
    if (parityOk || isHeaderWord(wordAt(end - 6), header)) {
        rejectPending();
        return;
    }
    // A header one symbol late: a symbol was added right after the message (it goes), or inside
    // its last word (it is dropped).
    if (isHeaderWord(wordAt(end + 6), header)) {
        if (!symbolAddedInside(end) && plausible()) {
            releasePendingMessage();
        } else {
            rejectPending();
        }
        return;
    }
    // A header in a parity chain of its own right after it, its second word in step: the stream
    // was cut there and another begins (recordings put together, a sender starting again).
    if (isHeaderWord(raw, header) && passesAfter(raw, wordAt(end + 30))) {
        releasePendingMessage();
        return;
    }
    // Only the next header was hit (by a flip, or a symbol lost or added): the stream resumes in
    // step right after it. Noise may do the same by chance, so the message must fit the stream.
    if (resumesAfter(end, raw) && plausible()) {
        releasePendingMessage();
        return;
    }
    // Bytes of another kind right after it, none inside its last word: the stream stopped there
    // (a recording spliced to another, text between messages).
    if (endsBeforeGap(end) && plausible()) {
        ++m_stats.unconfirmed;
        releasePendingMessage();
        return;
    }
    // No ignored bytes inside its last word, and the message fits the stream: only four flipped
    // bits or more, or a burst of valid bytes, could have changed that word and kept its parity (a
    // symbol lost or added there moves the header after it, see above).
    if (!ignoredWithin(end) && plausible()) {
        ++m_stats.unconfirmed;
        releasePendingMessage();
        return;
    }
    // Anything else (damage reaching into the next message): the next message found decides.
    m_pendingAwaitsNext = true;
}

bool Rtcm2Framer::knownStation(unsigned station) const
{
    const std::size_t known = std::min<std::size_t>(m_stationCount, m_stations.size());
    return std::find(m_stations.begin(), m_stations.begin() + long(known), station) != m_stations.begin() + long(known);
}

// A waiting message released without confirmation must at least fit the stream: its header came
// in step after the message before it, or it names a station of the messages before it.
bool Rtcm2Framer::plausible() const
{
    return m_pendingInChain || m_stationCount == 0 || knownStation(stationOf(m_pending.data()));
}

bool Rtcm2Framer::endsBeforeGap(std::size_t end) const
{
    return m_afterIgnored[(end + 5) / 6] && !ignoredWithin(end);
}

// Whether ignored bytes lie inside the word that ends at bit `end`.
bool Rtcm2Framer::ignoredWithin(std::size_t end) const
{
    for (std::size_t symbol = (end - 30) / 6 + 1; symbol < (end + 5) / 6; ++symbol) {
        if (m_afterIgnored[symbol])
            return true;
    }
    return false;
}

// Whether the last word of the message ending at bit `end`, which passed parity, also passes with
// one of its own five symbols taken out and the symbol after it taken in: then a symbol added
// there is as likely as one added after the message. When only the word as it stands passes, the
// added symbol is the one after the message.
bool Rtcm2Framer::symbolAddedInside(std::size_t end) const
{
    const uint32_t before = wordAt(end - 60);
    const uint64_t bits = uint64_t(wordAt(end - 30)) << 6 | (wordAt(end - 24) & 0x3F);
    for (unsigned k = 0; k < 5; ++k) {
        const unsigned after = 30 - 6 * k; // bits after symbol k
        const uint64_t lowMask = (uint64_t(1) << after) - 1;
        const uint32_t word = uint32_t((bits >> (after + 6) << after) | (bits & lowMask));
        if (word != uint32_t(bits >> 6) && passesAfter(before, word))
            return true;
    }
    return false;
}

// Whether a word after the damaged header at `end` passes parity where the stream carries on:
// right after it, or one symbol earlier or later (a symbol lost or added in the header).
bool Rtcm2Framer::resumesAfter(std::size_t end, uint32_t raw) const
{
    if (!nearPreamble(raw, m_pendingLastBits))
        return false;
    // The damaged word's own D29, D30 may be what was hit: any of the four will do.
    for (const std::size_t at : {end + 30, end + 24, end + 36}) {
        const uint32_t word = wordAt(at);
        for (unsigned prior = 0; prior < 4; ++prior) {
            if (passesAfter(prior, word))
                return true;
        }
    }
    return false;
}

// A message whose next word failed is released when the next message found continues it: the
// same station and the next sequence number. Damage that passed parity in its last word almost
// always reaches into the header after it, so the next message found is a later one.
// Messages held from searching it again come first, unless they were header-looking data in it.
void Rtcm2Framer::settleAwaiting()
{
    if (!m_pendingAwaitsNext)
        return;
    m_pendingAwaitsNext = false;
    const auto continues = [this](const uint8_t *next) {
        return stationOf(next) == stationOf(m_pending.data())
            && sequenceOf(next) == (sequenceOf(m_pending.data()) + 1) % 8;
    };
    if (continues(m_packed.data()) || (m_heldCount > 0 && continues(m_held.data()))) {
        releasePendingMessage();
    } else {
        rejectPending();
    }
}

void Rtcm2Framer::rejectPending()
{
    m_pendingWords = 0;
    m_pendingAwaitsNext = false;
    ++m_stats.rejected;
}

void Rtcm2Framer::releaseHeld()
{
    const uint8_t *held = m_held.data();
    for (unsigned i = 0; i < m_heldCount; ++i) {
        deliver(held, m_heldWords[i]);
        held += 3 * std::size_t(m_heldWords[i]);
    }
    m_heldCount = 0;
    m_heldBytes = 0;
}

// ---------------------------------------------------------------------------------------------

Rtcm2PackedSplitter::Rtcm2PackedSplitter(MessageHandler handler) : m_handler(std::move(handler))
{
}

std::size_t Rtcm2PackedSplitter::messageBytes(const uint8_t *header)
{
    // Data word count: bits 40..44, the top five bits of the sixth byte.
    return 3 * (2 + std::size_t(header[5] >> 3));
}

void Rtcm2PackedSplitter::feed(const uint8_t *data, std::size_t size)
{
    // Finish a message begun by an earlier call.
    while (!m_pending.empty() && size > 0) {
        const std::size_t have = m_pending.size();
        const std::size_t want = have < 6 ? 6 : messageBytes(m_pending.data());
        const std::size_t take = std::min(want - have, size);
        m_pending.insert(m_pending.end(), data, data + take);
        data += take;
        size -= take;
        const std::size_t length = m_pending.size() >= 6 ? messageBytes(m_pending.data()) : 0;
        if (m_pending.size() == length) {
            ++m_messages;
            m_handler(m_pending.data(), length, unsigned(length / 3));
            m_pending.clear();
        }
    }
    if (!m_pending.empty())
        return;
    // Whole messages straight from the caller's buffer.
    while (size >= 6) {
        const std::size_t length = messageBytes(data);
        if (size < length)
            break;
        ++m_messages;
        m_handler(data, length, unsigned(length / 3));
        data += length;
        size -= length;
    }
    m_pending.assign(data, data + size);
}

// ---------------------------------------------------------------------------------------------

void Rtcm2Writer::writeMessage(const uint8_t *packed, unsigned words, std::vector<uint8_t> &out)
{
    const std::size_t base = out.size();
    out.resize(base + 5 * std::size_t(words));
    uint8_t *dst = out.data() + base;
    for (unsigned w = 0; w < words; ++w, packed += 3) {
        const uint32_t data = uint32_t(packed[0]) << 16 | uint32_t(packed[1]) << 8 | packed[2];
        const unsigned parity = parityOf(data, m_prevBits >> 1, m_prevBits & 1);
        const uint32_t raw = (data ^ complementFor(m_prevBits)) << 6 | parity;
        for (unsigned i = 0; i < 5; ++i)
            *dst++ = uint8_t(0x40 | kSymbols.value[0x40 | ((raw >> (24 - 6 * i)) & 0x3F)]);
        m_prevBits = raw & 3;
    }
}
