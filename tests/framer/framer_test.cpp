// Framer, packed splitter and writer on generated streams: parity against the GPS equations,
// round trips in any chunking, noise between messages, single bit flips.
#include "Rtcm2Framer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

// A message with the preamble, a random type, random header word 2 and data words; like a real
// stream, one station and sequence numbers counting up.
Message randomMessage(std::mt19937 &rng, unsigned sequence = 0)
{
    const unsigned dataWords = rng() % 32;
    Message m(3 * (2 + dataWords));
    for (uint8_t &byte : m)
        byte = uint8_t(rng());
    m[0] = 0x66;
    m[1] = uint8_t((m[1] & 0xFC) | 0x1);
    m[2] = 0x23;
    m[4] = uint8_t((m[4] & 0xF8) | (sequence & 7));
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
    std::vector<Message> followedByStream; // sent messages with no noise right after them
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
    std::size_t lastEnd = 0;
    for (int i = 0; i < 60; ++i) {
        if (noise && rng() % 2) {
            const std::size_t before = stream.size();
            noise(stream, writer);
            ++run.insertions;
            run.ignored += std::count_if(stream.begin() + before, stream.end(), [](uint8_t b) { return (b & 0xC0) != 0x40; });
        }
        if (i > 0 && stream.size() == lastEnd)
            run.followedByStream.push_back(run.sent.back());
        run.sent.push_back(randomMessage(rng, unsigned(i)));
        run.words += run.sent.back().size() / 3;
        writer.writeMessage(run.sent.back().data(), unsigned(run.sent.back().size() / 3), stream);
        lastEnd = stream.size();
    }
    run.followedByStream.push_back(run.sent.back()); // the end of input
    Collector collector;
    Rtcm2Framer framer(std::ref(collector));
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t chunk = std::min<std::size_t>(1 + rng() % 300, stream.size() - at);
        framer.feed(stream.data() + at, chunk);
        at += chunk;
    }
    framer.flush();
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
        // A message with noise right after it has nothing to confirm it and may be held back;
        // one with the next message right after it must come out. Nothing else comes out.
        EXPECT_TRUE(inOrder(run.followedByStream, run.got)) << "round " << round;
        EXPECT_TRUE(inOrder(run.got, run.sent)) << "round " << round;
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
        sent += run.followedByStream.size();
        for (const Message &m : run.followedByStream)
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
        Message first = randomMessage(rng, 0), second = randomMessage(rng, 1);
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
        framer.flush();
        EXPECT_EQ(got.messages, (std::vector<Message>{first, second})) << "round " << round;
    }
}

// Each single bit flip, in turn, in one message: that message is dropped (a single flip always
// breaks parity, and a flip of bit 6 or 7 turns the byte into ignored noise), the others decode.
// The message before it may go too when the flip hits the first word, which confirms it.
TEST(Rtcm2Framer, DropsOnlyTheMessageWithAFlippedBit)
{
    std::mt19937 rng(5);
    std::vector<Message> sent;
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    std::size_t victimStart = 0, victimEnd = 0;
    for (int i = 0; i < 6; ++i) {
        sent.push_back(randomMessage(rng, unsigned(i)));
        if (i == 3)
            victimStart = stream.size();
        writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        if (i == 3)
            victimEnd = stream.size();
    }
    std::vector<Message> want = sent;
    want.erase(want.begin() + 3);
    int lostBefore = 0;
    for (std::size_t at = victimStart; at < victimEnd; ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> damaged = stream;
            damaged[at] ^= uint8_t(1u << bit);
            Collector got;
            Rtcm2Framer framer(std::ref(got));
            framer.feed(damaged.data(), damaged.size());
            framer.flush();
            // A damaged first word leaves nothing to confirm the message before it either,
            // unless the stream is seen to carry on in step.
            std::vector<Message> must = want;
            if (at < victimStart + 5)
                must.erase(must.begin() + 2);
            ASSERT_TRUE(inOrder(must, got.messages) && inOrder(got.messages, want)) << "byte " << at << " bit " << bit;
            lostBefore += got.messages.size() < want.size();
            EXPECT_GE(framer.stats().resyncs, 1u);
        }
    }
    EXPECT_LE(lostBefore, 8) << "of 40 flips in the first word";
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

// A message is released once the word after it is complete, not before; the last one waits for
// the end of input or a quiet spell, and input after that carries on in the same chain.
TEST(Rtcm2Framer, ReleasesWhenTheNextWordIsInOrAtTheEndOrWhenQuiet)
{
    std::mt19937 rng(9);
    std::vector<Message> sent;
    std::vector<uint8_t> stream;
    std::vector<std::size_t> ends;
    Rtcm2Writer writer;
    for (unsigned i = 0; i < 5; ++i) {
        sent.push_back(randomMessage(rng, i));
        writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        ends.push_back(stream.size());
    }
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        Collector got;
        Rtcm2Framer framer(std::ref(got));
        framer.feed(stream.data(), cut);
        const auto confirmed = std::count_if(ends.begin(), ends.end() - 1, [cut](std::size_t end) { return end + 5 <= cut; });
        ASSERT_EQ(got.messages.size(), std::size_t(confirmed)) << "cut " << cut;
        framer.flush();
        const bool waiting = cut >= ends[std::size_t(confirmed)];
        ASSERT_EQ(got.messages.size(), std::size_t(confirmed) + waiting) << "cut " << cut;
        EXPECT_EQ(framer.stats().unconfirmed, unsigned(waiting));
    }

    using namespace std::chrono_literals;
    EXPECT_EQ(Rtcm2Framer::wordPeriod(9600), 3125us);
    const auto quiet = 3 * Rtcm2Framer::wordPeriod(4800);
    const auto arrival = Rtcm2Framer::Clock::time_point() + 1h;
    Collector got;
    Rtcm2Framer framer(std::ref(got));
    framer.feed(stream.data(), stream.size(), arrival);
    EXPECT_FALSE(framer.releasePending(arrival + quiet / 2, quiet));
    EXPECT_EQ(got.messages.size(), 4u);
    EXPECT_TRUE(framer.releasePending(arrival + quiet, quiet));
    EXPECT_FALSE(framer.releasePending(arrival + 2 * quiet, quiet));
    const Message more = randomMessage(rng, 5);
    std::vector<uint8_t> rest;
    writer.writeMessage(more.data(), unsigned(more.size() / 3), rest);
    framer.feed(rest.data(), rest.size(), arrival + 1s);
    framer.flush();
    sent.push_back(more);
    EXPECT_EQ(got.messages, sent);
    EXPECT_EQ(framer.stats().unconfirmed, 2u);
    EXPECT_EQ(framer.stats().rejected, 0u);
}

// A phantom: a header of noise whose second word passes parity, noise after it, between real
// messages. It never comes out; the real messages around it all do.
TEST(Rtcm2Framer, DropsPhantomMessagesBetweenRealOnes)
{
    std::mt19937 rng(10);
    for (int round = 0; round < 300; ++round) {
        std::vector<Message> sent;
        std::vector<uint8_t> stream;
        Rtcm2Writer writer, noise;
        for (unsigned i = 0; i < 6; ++i) {
            if (i == 3) {
                Message phantom = randomMessage(rng);
                phantom.resize(6);
                phantom[2] = 0x24;                     // another station
                phantom[5] = uint8_t(phantom[5] & 7); // no data words
                // Out of step with the message before it (in step it would be a message).
                std::vector<uint8_t> inStep, bytes;
                Rtcm2Writer(writer).writeMessage(phantom.data(), 2, inStep);
                do {
                    bytes.clear();
                    noise.writeMessage(randomMessage(rng).data(), 1, bytes);
                    bytes.clear();
                    noise.writeMessage(phantom.data(), 2, bytes);
                } while (bytes == inStep);
                stream.insert(stream.end(), bytes.begin(), bytes.end());
                for (unsigned count = 1 + rng() % 12; count > 0; --count)
                    stream.push_back(uint8_t(0x40 | (rng() & 0x3F)));
            }
            sent.push_back(randomMessage(rng, i));
            writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        }
        Collector got;
        Rtcm2Framer framer(std::ref(got));
        framer.feed(stream.data(), stream.size());
        framer.flush();
        ASSERT_EQ(got.messages, sent) << "round " << round;
    }
}

// When the header after a message is damaged and the message after that is lost too, the message
// still comes out, unless ignored bytes lie inside its last word (a burst, whose damage may have
// passed parity). A byte added right after a message confirms it; one added inside its last word
// never lets a changed message out.
TEST(Rtcm2Framer, ReleasesBeforeADamagedHeaderOrAnAddedByte)
{
    std::mt19937 rng(11);
    for (const bool ignoredInLastWord : {false, true}) {
        std::vector<Message> sent;
        std::vector<uint8_t> stream;
        Rtcm2Writer writer;
        std::size_t header3 = 0;
        for (unsigned i = 0; i < 6; ++i) {
            header3 = i == 3 ? stream.size() : header3;
            sent.push_back(randomMessage(rng, i));
            writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        }
        stream[header3] ^= 0x03; // two preamble bits: the header fails parity, not near the preamble
        if (ignoredInLastWord)
            stream.insert(stream.begin() + long(header3 - 2), uint8_t(0x00));
        Collector got;
        Rtcm2Framer framer(std::ref(got));
        framer.feed(stream.data(), stream.size());
        framer.flush();
        std::vector<Message> want = sent;
        want.erase(want.begin() + 3);
        if (ignoredInLastWord)
            want.erase(want.begin() + 2);
        EXPECT_EQ(got.messages, want) << "ignored byte in the last word: " << ignoredInLastWord;
    }

    std::vector<Message> sent;
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    std::vector<std::size_t> ends;
    for (unsigned i = 0; i < 4; ++i) {
        sent.push_back(randomMessage(rng, i));
        writer.writeMessage(sent.back().data(), unsigned(sent.back().size() / 3), stream);
        ends.push_back(stream.size());
    }
    int afterKept = 0;
    for (unsigned symbol = 0; symbol < 64; ++symbol) {
        for (std::size_t at = ends[1] - 4; at <= ends[1]; ++at) {
            std::vector<uint8_t> damaged = stream;
            damaged.insert(damaged.begin() + long(at), uint8_t(0x40 | symbol));
            Collector got;
            Rtcm2Framer framer(std::ref(got));
            framer.feed(damaged.data(), damaged.size());
            framer.flush();
            ASSERT_TRUE(inOrder(got.messages, sent)) << "symbol " << symbol << " at " << at;
            afterKept += at == ends[1] && inOrder({sent[1]}, got.messages);
        }
    }
    EXPECT_GE(afterKept, 56) << "of 64 bytes added right after a message";
}
