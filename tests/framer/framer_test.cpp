// Framer, packed splitter and writer: parity against the GPS equations, generated streams in any
// chunking with noise and damage, the release of a message only once what follows confirms it,
// and the real recordings (when ../shared/testdata is there).
#include "Rtcm2Framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>; // a packed message, or transmission bytes

// D25..D30 written out term by term from the GPS navigation message equations.
unsigned referenceParity(uint32_t data, unsigned s29, unsigned s30)
{
    const auto d = [data](int i) { return unsigned(data >> (24 - i)) & 1u; };
    const unsigned p25 = s29 ^ d(1) ^ d(2) ^ d(3) ^ d(5) ^ d(6) ^ d(10) ^ d(11) ^ d(12) ^ d(13) ^ d(14)
        ^ d(17) ^ d(18) ^ d(20) ^ d(23);
    const unsigned p26 = s30 ^ d(2) ^ d(3) ^ d(4) ^ d(6) ^ d(7) ^ d(11) ^ d(12) ^ d(13) ^ d(14) ^ d(15)
        ^ d(18) ^ d(19) ^ d(21) ^ d(24);
    const unsigned p27 = s29 ^ d(1) ^ d(3) ^ d(4) ^ d(5) ^ d(7) ^ d(8) ^ d(12) ^ d(13) ^ d(14) ^ d(15)
        ^ d(16) ^ d(19) ^ d(20) ^ d(22);
    const unsigned p28 = s30 ^ d(2) ^ d(4) ^ d(5) ^ d(6) ^ d(8) ^ d(9) ^ d(13) ^ d(14) ^ d(15) ^ d(16)
        ^ d(17) ^ d(20) ^ d(21) ^ d(23);
    const unsigned p29 = s30 ^ d(1) ^ d(3) ^ d(5) ^ d(6) ^ d(7) ^ d(9) ^ d(10) ^ d(14) ^ d(15) ^ d(16)
        ^ d(17) ^ d(18) ^ d(21) ^ d(22) ^ d(24);
    const unsigned p30 = s29 ^ d(3) ^ d(5) ^ d(6) ^ d(8) ^ d(9) ^ d(10) ^ d(11) ^ d(13) ^ d(15) ^ d(19)
        ^ d(22) ^ d(23) ^ d(24);
    return p25 << 5 | p26 << 4 | p27 << 3 | p28 << 2 | p29 << 1 | p30;
}

// A message with the preamble, a random type, header word 2 and data words; like a real stream,
// one station and sequence numbers counting up.
Bytes randomMessage(std::mt19937 &rng, unsigned sequence = 0)
{
    const unsigned dataWords = rng() % 32;
    Bytes m(3 * (2 + dataWords));
    for (uint8_t &byte : m)
        byte = uint8_t(rng());
    m[0] = 0x66;
    m[1] = uint8_t((m[1] & 0xFC) | 0x1);
    m[2] = 0x23;
    m[4] = uint8_t((m[4] & 0xF8) | (sequence & 7));
    m[5] = uint8_t(dataWords << 3 | (m[5] & 0x07));
    return m;
}

// Messages written in one parity chain, with noise between them when added.
struct Chain
{
    std::vector<Bytes> sent;
    Bytes bytes;
    std::vector<std::size_t> ends; // of each message in `bytes`
    Rtcm2Writer writer;

    Chain() = default;
    Chain(std::mt19937 &rng, unsigned count) // `count` random messages
    {
        for (unsigned i = 0; i < count; ++i)
            add(randomMessage(rng, i));
    }
    void add(const Bytes &m)
    {
        sent.push_back(m);
        writer.writeMessage(m.data(), unsigned(m.size() / 3), bytes);
        ends.push_back(bytes.size());
    }
    // The messages with no noise right after them (the last one: the end of input).
    std::vector<Bytes> followedByStream() const
    {
        std::vector<Bytes> followed;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (i + 1 == sent.size() || ends[i] + sent[i + 1].size() / 3 * 5 == ends[i + 1])
                followed.push_back(sent[i]);
        }
        return followed;
    }
};

struct Framed
{
    std::vector<Bytes> got;
    Rtcm2Framer::Stats stats;
};

// A handler that keeps each message it is given.
Rtcm2Framer::MessageHandler collectInto(std::vector<Bytes> &got)
{
    return [&got](const uint8_t *packed, std::size_t size, unsigned words) {
        EXPECT_EQ(size, 3u * words);
        got.emplace_back(packed, packed + size);
    };
}

// Feeds `bytes` to `target` in chunks of 1 to `maxChunk` bytes (random when `rng` is given).
template <typename Target>
void feed(Target &target, const Bytes &bytes, std::mt19937 *rng, unsigned maxChunk)
{
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t chunk = std::min<std::size_t>(rng ? 1 + (*rng)() % maxChunk : maxChunk, bytes.size() - at);
        target.feed(bytes.data() + at, chunk);
        at += chunk;
    }
}

// Frames `bytes` to the end of input, in chunks of random size (when `rng` is given) and one byte
// at a time: the result must not depend on where the input was cut.
Framed frame(const Bytes &bytes, std::mt19937 *rng = nullptr)
{
    Framed f[2];
    const unsigned maxChunk[2] = {rng ? 300u : unsigned(bytes.size()), 1u};
    for (int i = 0; i < 2; ++i) {
        Rtcm2Framer framer(collectInto(f[i].got));
        feed(framer, bytes, i == 0 ? rng : nullptr, maxChunk[i]);
        framer.flush();
        f[i].stats = framer.stats();
    }
    EXPECT_EQ(f[0].got, f[1].got);
    EXPECT_EQ(std::memcmp(&f[0].stats, &f[1].stats, sizeof f[0].stats), 0);
    return f[0];
}

// `bytes` with one change at `at`: bit `change` flipped (0..7), the byte dropped (8), or the
// symbol `change - 9` added before it (9..72).
Bytes damaged(Bytes bytes, std::size_t at, unsigned change)
{
    if (change < 8)
        bytes[at] ^= uint8_t(1u << change);
    else if (change == 8)
        bytes.erase(bytes.begin() + long(at));
    else
        bytes.insert(bytes.begin() + long(at), uint8_t(0x40 | (change - 9)));
    return bytes;
}

// Whether `want` appears in `got` in order, other entries allowed in between.
bool inOrder(const std::vector<Bytes> &want, const std::vector<Bytes> &got)
{
    auto it = got.begin();
    for (const Bytes &m : want) {
        it = std::find(it, got.end(), m);
        if (it == got.end())
            return false;
        ++it;
    }
    return true;
}

// Noise of one kind: 1 bytes of any value, 2 bytes that all look valid, 3 part of a header word,
// 4 a header word with a parity bit flipped; parity-valid noise: 5 a whole header word, 6 a
// cut-off message (its header and a few words), 7 the same in the stream's own parity chain;
// 8 a phantom: another station's header of two words that pass parity, no data words, out of
// step with the stream (in step it would be a message), bytes that look valid after it.
Bytes noise(std::mt19937 &rng, unsigned kind, Rtcm2Writer &chainWriter)
{
    Bytes out, header, inStep, m = randomMessage(rng);
    m.resize(6);
    m[2] = uint8_t(kind == 8 ? 0x24 : 0x23);
    m[5] = uint8_t(m[5] & 7); // no data words
    Rtcm2Writer other = rng() % 2 ? chainWriter : Rtcm2Writer(), inChain = chainWriter;
    inChain.writeMessage(m.data(), 2, inStep);
    do { // the first word in a chain of its own (any D29*/D30*); the phantom's words out of step
        header.clear();
        other.writeMessage(randomMessage(rng).data(), 1, header);
        header.clear();
        other.writeMessage(m.data(), kind == 8 ? 2 : 1, header);
    } while (kind == 8 && header == inStep);
    if (kind == 1 || kind == 2 || kind == 8) {
        out = kind == 8 ? header : Bytes();
        for (unsigned count = 1 + rng() % (kind == 8 ? 12 : 40); count > 0; --count)
            out.push_back(kind == 1 ? uint8_t(rng()) : uint8_t(0x40 | (rng() & 0x3F)));
    } else if (kind == 3) {
        out.assign(header.begin(), header.begin() + 1 + rng() % 4);
    } else if (kind <= 5) {
        header[4] ^= uint8_t(kind == 4 ? 1u << (rng() % 6) : 0u);
        out = header;
    } else {
        const Bytes cut = randomMessage(rng);
        (kind == 6 ? other : chainWriter).writeMessage(cut.data(), std::min<unsigned>(unsigned(cut.size() / 3), 2 + rng() % 5), out);
    }
    return out;
}

} // namespace

// The routine against the equations for every prior D29*/D30*, and the writer's bytes read back
// one bit at a time: "01" on top, six bits least significant first, data complemented after D30*.
TEST(Rtcm2Parity, ParityAndWriterFollowTheEquations)
{
    std::mt19937 rng(1);
    for (int i = 0; i < 1000000; ++i) {
        const uint32_t data = rng() & 0xFFFFFF;
        const unsigned prior = i & 3;
        ASSERT_EQ(rtcm2::wordParity(data, prior >> 1, prior & 1), referenceParity(data, prior >> 1, prior & 1))
            << std::hex << data << " prior " << prior;
    }
    const Chain c(rng, 300);
    std::size_t at = 0; // bit position in the bytes
    unsigned s29 = 0, s30 = 0;
    for (const Bytes &m : c.sent) {
        for (std::size_t k = 0; k < m.size(); k += 3) {
            uint32_t raw = 0;
            for (int bit = 0; bit < 30; ++bit, ++at) {
                ASSERT_EQ(c.bytes[at / 6] & 0xC0, 0x40);
                raw = raw << 1 | ((c.bytes[at / 6] >> (at % 6)) & 1u);
            }
            const uint32_t data = (raw >> 6) ^ (s30 ? 0xFFFFFFu : 0u);
            ASSERT_EQ(raw & 0x3F, referenceParity(data, s29, s30)) << "word ending at bit " << at;
            ASSERT_EQ(data, uint32_t(m[k]) << 16 | uint32_t(m[k + 1]) << 8 | m[k + 2]);
            s29 = (raw >> 1) & 1;
            s30 = raw & 1;
        }
    }
    EXPECT_EQ(at, 6 * c.bytes.size());
}

// Sixty messages in one chain, noise of one kind before about half of them, in any chunking.
// After noise the framer searches the message before it again: data in it that reads as a
// complete message must not come out as one.
// Without noise every message and count is exact. A message with noise right after it has nothing
// to confirm it and may be held back; one with the next message right after it must come out.
// Nothing else comes out, but for noise that happens to complete a false message with good parity
// (about one stream in 2000). Parity-valid noise can run on into real words: the framer searches
// such a false message again when its end meets no header, so a message stays hidden only when
// the false lengths end exactly where a real one ends (the format cannot tell), which is rare.
TEST(Rtcm2Framer, FindsEveryMessageInAnyChunkingBetweenNoise)
{
    std::mt19937 rng(4);
    std::size_t followed = 0, lost = 0, wrong = 0;
    for (unsigned round = 0; round < 400; ++round) {
        const unsigned kind = round % 8;
        Chain c;
        std::size_t ignored = 0;
        for (unsigned i = 0; i < 60; ++i) {
            if (kind > 0 && rng() % 2) {
                const Bytes n = noise(rng, kind, c.writer);
                ignored += std::size_t(std::count_if(n.begin(), n.end(), [](uint8_t b) { return (b & 0xC0) != 0x40; }));
                c.bytes.insert(c.bytes.end(), n.begin(), n.end());
            }
            Bytes m = randomMessage(rng, i);
            if (m.size() >= 30) { // data that reads as a message of its own: a preamble in word 3,
                m[9] = 0x66;      // a header giving three words in word 4, no header in word 6
                m[14] = uint8_t(1 << 3);
                m[18] = 0x00;
            }
            c.add(m);
        }
        const Framed f = frame(c.bytes, &rng);
        if (kind == 0) {
            ASSERT_EQ(f.got, c.sent) << "round " << round;
            std::size_t words = 0;
            for (const Bytes &m : c.sent)
                words += m.size() / 3;
            EXPECT_EQ(f.stats.bytes, c.bytes.size());
            EXPECT_EQ(f.stats.words, words);
            EXPECT_EQ(f.stats.messages, c.sent.size());
            EXPECT_EQ(f.stats.ignoredBytes + f.stats.parityFailures + f.stats.resyncs + f.stats.rejected, 0u);
            EXPECT_EQ(f.stats.unconfirmed, 1u);
        } else if (kind < 5) {
            EXPECT_TRUE(inOrder(c.followedByStream(), f.got)) << "round " << round;
            wrong += !inOrder(f.got, c.sent);
            EXPECT_EQ(f.stats.ignoredBytes, ignored) << "round " << round;
            EXPECT_EQ(f.stats.messages, f.got.size());
        } else {
            for (const Bytes &m : c.followedByStream()) {
                ++followed;
                lost += std::find(f.got.begin(), f.got.end(), m) == f.got.end();
            }
        }
    }
    EXPECT_LT(lost, followed / 20) << lost << " of " << followed;
    EXPECT_LE(wrong, 1u) << "of 200 streams with noise that fails parity";
}

// When the header after a message is damaged and the message after that is lost too, the message
// still comes out. A symbol added right after a message confirms it nearly always; one added inside
// its last word never lets a changed message out.
TEST(Rtcm2Framer, ReleasesBeforeADamagedHeaderOrAnAddedSymbol)
{
    std::mt19937 rng(11);
    {
        Chain c(rng, 6);
        c.bytes[c.ends[2]] ^= 0x03; // two preamble bits: the header fails parity, not near the preamble
        std::vector<Bytes> want = c.sent;
        want.erase(want.begin() + 3);
        EXPECT_EQ(frame(c.bytes).got, want);
    }
    const Chain c(rng, 4);
    int afterKept = 0;
    for (unsigned change = 9; change < 73; ++change) {
        for (std::size_t at = c.ends[1] - 4; at <= c.ends[1]; ++at) {
            const Framed f = frame(damaged(c.bytes, at, change));
            ASSERT_TRUE(inOrder(f.got, c.sent)) << "symbol " << change - 9 << " at " << at;
            afterKept += at == c.ends[1] && inOrder({c.sent[1]}, f.got);
        }
    }
    EXPECT_GE(afterKept, 56) << "of 64 symbols added right after a message";
}

// A message is released once the word after it is complete, not before; the last one waits for
// the end of input or a quiet spell, and input after that carries on in the same chain.
TEST(Rtcm2Framer, ReleasesWhenTheNextWordIsInOrAtTheEndOrWhenQuiet)
{
    std::mt19937 rng(9);
    Chain c(rng, 5);
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
        std::size_t got = 0;
        Rtcm2Framer framer([&got](const uint8_t *, std::size_t, unsigned) { ++got; });
        framer.feed(c.bytes.data(), cut);
        const auto confirmed = std::size_t(std::count_if(c.ends.begin(), c.ends.end() - 1, [cut](std::size_t end) { return end + 5 <= cut; }));
        ASSERT_EQ(got, confirmed) << "cut " << cut;
        framer.flush();
        const bool waiting = cut >= c.ends[confirmed];
        ASSERT_EQ(got, confirmed + waiting) << "cut " << cut;
        EXPECT_EQ(framer.stats().unconfirmed, unsigned(waiting));
    }

    using namespace std::chrono_literals;
    EXPECT_EQ(Rtcm2Framer::wordPeriod(9600), 3125us);
    const auto quiet = 3 * Rtcm2Framer::wordPeriod(4800);
    const auto arrival = Rtcm2Framer::Clock::time_point() + 1h;
    std::vector<Bytes> got;
    Rtcm2Framer framer(collectInto(got));
    framer.feed(c.bytes.data(), c.bytes.size(), arrival);
    EXPECT_FALSE(framer.releasePending(arrival + quiet / 2, quiet));
    EXPECT_EQ(got.size(), 4u);
    EXPECT_TRUE(framer.releasePending(arrival + quiet, quiet));
    EXPECT_FALSE(framer.releasePending(arrival + 2 * quiet, quiet));
    const std::size_t before = c.bytes.size();
    c.add(randomMessage(rng, 5));
    framer.feed(c.bytes.data() + before, c.bytes.size() - before, arrival + 1s);
    framer.flush();
    EXPECT_EQ(got, c.sent);
    EXPECT_EQ(framer.stats().unconfirmed, 2u);
    EXPECT_EQ(framer.stats().rejected, 0u);
    framer.reset();
    EXPECT_EQ(framer.stats().messages, 0u);
}

// Packed input cut off inside a message: the tool's table, which reports the bytes left over.
TEST(Rtcm2PackedSplitter, SplitsByDataWordCountInAnyChunking)
{
    std::mt19937 rng(6);
    const Chain c(rng, 300);
    Bytes packed;
    for (const Bytes &m : c.sent)
        packed.insert(packed.end(), m.begin(), m.end());
    for (int round = 0; round < 20; ++round) {
        std::vector<Bytes> got;
        Rtcm2PackedSplitter splitter(collectInto(got));
        feed(splitter, packed, &rng, round < 10 ? 8 : 400);
        ASSERT_EQ(got, c.sent);
        EXPECT_EQ(splitter.messages(), c.sent.size());
        EXPECT_EQ(splitter.incompleteBytes(), 0u);
    }
}

namespace {

// The reference station of a packed message.
unsigned stationOf(const Bytes &m)
{
    return (m[1] & 3u) << 8 | m[2];
}

// The messages of a recording written again as one continuous stream, five at a time; the end of
// the middle one and the header after it damaged in turn by every single bit flip, a dropped byte
// and an added symbol. Nothing released may differ from the messages written, and the two before
// the damage come out, and the last one too when its station was seen before. Before this check,
// a symbol lost or added in a last word passed as good about once in 64.
void expectDamageAtMessageEndsCaught(const std::vector<Bytes> &messages, const char *name)
{
    Chain c;
    for (const Bytes &m : messages)
        c.add(m);
    const auto start = [&c](std::size_t i) { return c.ends[i] - c.sent[i].size() / 3 * 5; };
    int released = 0;
    for (std::size_t k = 2; k + 3 < messages.size(); ++k) {
        const std::vector<Bytes> want(messages.begin() + long(k) - 2, messages.begin() + long(k) + 3);
        const Bytes five(c.bytes.begin() + long(start(k - 2)), c.bytes.begin() + long(c.ends[k + 2]));
        const std::size_t boundary = c.ends[k] - start(k - 2);
        for (std::size_t at = boundary - 5; at < boundary + 5; ++at) {
            for (unsigned change = 0; change < 10; ++change) {
                const std::vector<Bytes> got = frame(damaged(five, at, change < 9 ? change : 9 + (at & 0x3F))).got;
                const bool knownStation = std::any_of(got.begin(), got.end(), [&](const Bytes &m) {
                    return m != want[4] && stationOf(m) == stationOf(want[4]);
                });
                ASSERT_TRUE(inOrder(got, want) && got.size() >= 2 && got[0] == want[0] && got[1] == want[1]
                            && (got.back() == want[4] || !knownStation))
                    << name << " message " << k << " byte " << at << " change " << change;
                released += int(got.size());
            }
        }
    }
    // Most damage hits one message only: its neighbours still come out.
    EXPECT_GT(released, int(messages.size() - 5) * 100 * 7 / 2) << name;
}

} // namespace

// Every message of the recordings: the golden tests compare what each decodes to; here, damage.
TEST(Rtcm2Recordings, DamageAtMessageEndsIsCaught)
{
    for (const char *name : {"sample.rtcm2", "naujoks-rtcm2.log", "rtcm2.bend.log"}) {
        std::ifstream in(std::string(MESARO_TESTDATA_DIR) + "/" + name, std::ios::binary);
        if (!in)
            GTEST_SKIP() << "recordings not found in " << MESARO_TESTDATA_DIR;
        const Framed f = frame(Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
        ASSERT_GT(f.got.size(), 90u) << name;
        expectDamageAtMessageEndsCaught(f.got, name);
    }
}
