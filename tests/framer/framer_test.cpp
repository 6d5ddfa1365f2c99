// Framer, packed splitter and writer on generated streams: parity against the GPS equations,
// round trips in any chunking, noise between messages, single bit flips.
#include "Rtcm2Framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {

using Message = std::vector<uint8_t>;

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

// A message with the preamble, a random type and station, random header word 2 and data words.
Message randomMessage(std::mt19937 &rng)
{
    const unsigned dataWords = rng() % 32;
    Message m(3 * (2 + dataWords));
    for (uint8_t &byte : m)
        byte = uint8_t(rng());
    m[0] = 0x66;
    m[5] = uint8_t(dataWords << 3 | (m[5] & 0x07));
    return m;
}

struct Collector
{
    std::vector<Message> messages;
    void operator()(const uint8_t *packed, std::size_t bytes, unsigned words)
    {
        EXPECT_EQ(bytes, 3u * words);
        messages.emplace_back(packed, packed + bytes);
    }
};

// The bytes of a message's first word, written in a parity chain of its own (any D29*/D30*).
std::vector<uint8_t> headerWordBytes(std::mt19937 &rng)
{
    std::vector<uint8_t> bytes;
    Rtcm2Writer other;
    for (unsigned prior = rng() % 4; prior > 0; --prior)
        other.writeMessage(randomMessage(rng).data(), 1, bytes);
    bytes.clear();
    other.writeMessage(randomMessage(rng).data(), 1, bytes);
    return bytes;
}

struct FramedRun
{
    std::vector<Message> sent, got;
    std::size_t insertions = 0, words = 0, bytes = 0, ignored = 0;
    Rtcm2Framer::Stats stats;
};

// Sixty messages in one parity chain, `noise` before about half of them (when given), framed
// from chunks of random size.
FramedRun frameStream(std::mt19937 &rng, const std::function<void(std::vector<uint8_t> &, Rtcm2Writer &)> &noise)
{
    FramedRun run;
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    for (int i = 0; i < 60; ++i) {
        if (noise && rng() % 2) {
            const std::size_t before = stream.size();
            noise(stream, writer);
            ++run.insertions;
            run.ignored += std::count_if(stream.begin() + before, stream.end(), [](uint8_t b) { return (b & 0xC0) != 0x40; });
        }
        run.sent.push_back(randomMessage(rng));
        run.words += run.sent.back().size() / 3;
        writer.writeMessage(run.sent.back().data(), unsigned(run.sent.back().size() / 3), stream);
    }
    Collector collector;
    Rtcm2Framer framer(std::ref(collector));
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t chunk = std::min<std::size_t>(1 + rng() % 300, stream.size() - at);
        framer.feed(stream.data() + at, chunk);
        at += chunk;
    }
    run.got = std::move(collector.messages);
    run.bytes = stream.size();
    run.stats = framer.stats();
    return run;
}

// Whether `want` appears in `got` in order, other entries allowed in between.
bool inOrder(const std::vector<Message> &want, const std::vector<Message> &got)
{
    auto it = got.begin();
    for (const Message &m : want) {
        it = std::find(it, got.end(), m);
        if (it == got.end())
            return false;
        ++it;
    }
    return true;
}

} // namespace

TEST(Rtcm2Parity, MatchesTheEquationsBitByBit)
{
    std::mt19937 rng(1);
    for (int i = 0; i < 200000; ++i) {
        const uint32_t data = rng() & 0xFFFFFF;
        for (unsigned prior = 0; prior < 4; ++prior)
            ASSERT_EQ(rtcm2::wordParity(data, prior >> 1, prior & 1), referenceParity(data, prior >> 1, prior & 1))
                << std::hex << data << " prior " << prior;
    }
}

// The writer's bytes, read back one bit at a time: "01" on top, six bits least significant
// first, each word's parity checked against the equations with the previous word's last bits.
TEST(Rtcm2Writer, ProducesValidTransmissionBytes)
{
    std::mt19937 rng(2);
    Rtcm2Writer writer;
    std::vector<uint8_t> stream;
    std::vector<uint8_t> packed;
    for (int i = 0; i < 200; ++i) {
        const Message m = randomMessage(rng);
        writer.writeMessage(m.data(), unsigned(m.size() / 3), stream);
        packed.insert(packed.end(), m.begin(), m.end());
    }
    ASSERT_EQ(stream.size(), packed.size() / 3 * 5);

    std::vector<unsigned> bits;
    for (uint8_t byte : stream) {
        ASSERT_EQ(byte & 0xC0, 0x40);
        for (int bit = 0; bit < 6; ++bit)
            bits.push_back((byte >> bit) & 1u);
    }
    unsigned s29 = 0, s30 = 0;
    for (std::size_t word = 0; word < packed.size() / 3; ++word) {
        uint32_t raw = 0;
        for (int bit = 0; bit < 30; ++bit)
            raw = raw << 1 | bits[30 * word + bit];
        const uint32_t data = (raw >> 6) ^ (s30 ? 0xFFFFFFu : 0u);
        ASSERT_EQ(raw & 0x3F, referenceParity(data, s29, s30)) << "word " << word;
        const uint32_t want = uint32_t(packed[3 * word]) << 16 | uint32_t(packed[3 * word + 1]) << 8
            | packed[3 * word + 2];
        ASSERT_EQ(data, want) << "word " << word;
        s29 = (raw >> 1) & 1;
        s30 = raw & 1;
    }
}

TEST(Rtcm2Framer, RoundTripsWriterStreamsInAnyChunking)
{
    std::mt19937 rng(3);
    for (int round = 0; round < 40; ++round) {
        const FramedRun run = frameStream(rng, {});
        ASSERT_EQ(run.got, run.sent) << "round " << round;
        EXPECT_EQ(run.stats.bytes, run.bytes);
        EXPECT_EQ(run.stats.ignoredBytes, 0u);
        EXPECT_EQ(run.stats.words, run.words);
        EXPECT_EQ(run.stats.messages, run.sent.size());
        EXPECT_EQ(run.stats.parityFailures, 0u);
        EXPECT_EQ(run.stats.resyncs, 0u);
    }
}

// Noise that holds no complete header word: bytes of any value, bytes that look valid, part of
// a header word, a header word with a parity bit flipped (the preamble pattern).
TEST(Rtcm2Framer, FindsEveryMessageBetweenNoise)
{
    std::mt19937 rng(4);
    for (int round = 0; round < 80; ++round) {
        const FramedRun run = frameStream(rng, [&rng, round](std::vector<uint8_t> &stream, Rtcm2Writer &) {
            std::vector<uint8_t> header = headerWordBytes(rng);
            if (round % 4 < 2) {
                for (unsigned count = 1 + rng() % 40; count > 0; --count)
                    stream.push_back(round % 4 == 0 ? uint8_t(rng()) : uint8_t(0x40 | (rng() & 0x3F)));
            } else if (round % 4 == 2) {
                stream.insert(stream.end(), header.begin(), header.begin() + 1 + rng() % 4);
            } else {
                header[4] ^= uint8_t(1u << (rng() % 6));
                stream.insert(stream.end(), header.begin(), header.end());
            }
        });
        EXPECT_TRUE(inOrder(run.sent, run.got)) << "round " << round;
        // Noise that passes parity may come out as a message of its own, never more than once.
        EXPECT_LE(run.got.size(), run.sent.size() + run.insertions) << "round " << round;
        EXPECT_EQ(run.stats.ignoredBytes, run.ignored);
    }
}

// Noise holding a whole header word, or a cut-off message (its header and a few words), whose
// parity can run on into the real words behind it. The framer searches such a false message
// again when its end does not meet a header; only when the false lengths end exactly where a
// real message ends can a message stay hidden (that is the format: parity cannot tell).
TEST(Rtcm2Framer, RarelyLosesMessagesBehindParityValidNoise)
{
    std::mt19937 rng(7);
    std::size_t sent = 0, lost = 0;
    for (int round = 0; round < 120; ++round) {
        const FramedRun run = frameStream(rng, [&rng, round](std::vector<uint8_t> &stream, Rtcm2Writer &writer) {
            const Message cut = randomMessage(rng);
            const unsigned words = std::min<unsigned>(unsigned(cut.size() / 3), 2 + rng() % 5);
            const std::vector<uint8_t> header = headerWordBytes(rng);
            Rtcm2Writer other;
            if (round % 3 == 0)
                stream.insert(stream.end(), header.begin(), header.end());
            else
                (round % 3 == 1 ? other : writer).writeMessage(cut.data(), words, stream); // writer: same chain
        });
        sent += run.sent.size();
        for (const Message &m : run.sent)
            lost += std::find(run.got.begin(), run.got.end(), m) == run.got.end();
    }
    EXPECT_LT(lost, sent / 20) << lost << " of " << sent;
}

// After noise the message before it is searched again; data in it that reads as a complete
// message (a header-looking word, a length that fits) must not come out as one.
TEST(Rtcm2Framer, IgnoresHeaderLookingDataWhenSearchingAgain)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 20; ++round) {
        Message first = randomMessage(rng), second = randomMessage(rng);
        first.resize(3 * 10);
        first[5] = uint8_t(8 << 3);
        first[9] = 0x66;                // word 3 reads as a preamble,
        first[14] = uint8_t(1 << 3);    // word 4 as a header giving three words,
        first[18] = 0x00;               // and word 6 after it is no header
        std::vector<uint8_t> stream;
        Rtcm2Writer writer;
        writer.writeMessage(first.data(), 10, stream);
        for (int i = 0; i < 20; ++i)
            stream.push_back(uint8_t(0x40 | (rng() & 0x3F)));
        writer.writeMessage(second.data(), unsigned(second.size() / 3), stream);
        Collector got;
        Rtcm2Framer framer(std::ref(got));
        framer.feed(stream.data(), stream.size());
        EXPECT_EQ(got.messages, (std::vector<Message>{first, second})) << "round " << round;
    }
}

// Each single bit flip, in turn, in one message: that message is dropped (a single flip always
// breaks parity, and a flip of bit 6 or 7 turns the byte into ignored noise), the others decode.
TEST(Rtcm2Framer, DropsOnlyTheMessageWithAFlippedBit)
{
    std::mt19937 rng(5);
    std::vector<Message> sent;
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    std::size_t victimStart = 0, victimEnd = 0;
    for (int i = 0; i < 6; ++i) {
        sent.push_back(randomMessage(rng));
        if (i == 3)
            victimStart = stream.size();
        writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        if (i == 3)
            victimEnd = stream.size();
    }
    std::vector<Message> want = sent;
    want.erase(want.begin() + 3);
    for (std::size_t at = victimStart; at < victimEnd; ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> damaged = stream;
            damaged[at] ^= uint8_t(1u << bit);
            Collector got;
            Rtcm2Framer framer(std::ref(got));
            framer.feed(damaged.data(), damaged.size());
            ASSERT_EQ(got.messages, want) << "byte " << at << " bit " << bit;
            EXPECT_GE(framer.stats().resyncs, 1u);
        }
    }
}

TEST(Rtcm2PackedSplitter, SplitsByDataWordCountInAnyChunking)
{
    std::mt19937 rng(6);
    std::vector<Message> sent;
    std::vector<uint8_t> packed;
    for (int i = 0; i < 300; ++i) {
        sent.push_back(randomMessage(rng));
        packed.insert(packed.end(), sent.back().begin(), sent.back().end());
    }
    for (int round = 0; round < 20; ++round) {
        Collector collector;
        Rtcm2PackedSplitter splitter(std::ref(collector));
        const std::vector<Message> &got = collector.messages;
        for (std::size_t at = 0; at < packed.size();) {
            const std::size_t chunk = std::min<std::size_t>(1 + rng() % (round < 10 ? 8 : 400), packed.size() - at);
            splitter.feed(packed.data() + at, chunk);
            at += chunk;
        }
        ASSERT_EQ(got, sent);
        EXPECT_EQ(splitter.messages(), sent.size());
        EXPECT_EQ(splitter.incompleteBytes(), 0u);

        // A cut-off message at the end stays pending.
        const Message extra = randomMessage(rng);
        const std::size_t cut = rng() % extra.size();
        splitter.feed(extra.data(), cut);
        EXPECT_EQ(splitter.incompleteBytes(), cut);
        EXPECT_EQ(splitter.messages(), sent.size());
        splitter.feed(extra.data() + cut, extra.size() - cut);
        EXPECT_EQ(splitter.incompleteBytes(), 0u);
        EXPECT_EQ(got.back(), extra);
    }
}
