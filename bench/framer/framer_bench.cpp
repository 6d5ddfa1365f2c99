// Framer throughput in MB/s of transmission bytes and messages/s, fed in 64 KiB reads.
#include "Rtcm2Framer.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kStreamBytes = 20u << 20;
constexpr std::size_t kRead = 64u << 10;

// A stream of random messages in one parity chain, for when the recordings are absent.
std::vector<uint8_t> writerStream()
{
    std::mt19937 rng(1);
    std::vector<uint8_t> stream;
    Rtcm2Writer writer;
    std::vector<uint8_t> packed;
    while (stream.size() < kStreamBytes) {
        const unsigned dataWords = rng() % 32;
        packed.resize(3 * (2 + dataWords));
        for (uint8_t &byte : packed)
            byte = uint8_t(rng());
        packed[0] = 0x66;
        packed[5] = uint8_t(dataWords << 3);
        writer.writeMessage(packed.data(), 2 + dataWords, stream);
    }
    return stream;
}

// The largest recording (comment lines and all) repeated to at least 20 MB.
std::vector<uint8_t> recordingStream()
{
    std::ifstream in(std::string(MESARO_TESTDATA_DIR) + "/rtcm2.bend.log", std::ios::binary);
    const std::vector<uint8_t> one((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (one.empty())
        return writerStream();
    std::vector<uint8_t> stream;
    while (stream.size() < kStreamBytes)
        stream.insert(stream.end(), one.begin(), one.end());
    return stream;
}

void runFramer(benchmark::State &state, const std::vector<uint8_t> &stream)
{
    uint64_t messages = 0;
    for (auto _ : state) {
        Rtcm2Framer framer([&messages](const uint8_t *packed, std::size_t, unsigned) {
            benchmark::DoNotOptimize(packed);
            ++messages;
        });
        for (std::size_t at = 0; at < stream.size(); at += kRead)
            framer.feed(stream.data() + at, std::min(kRead, stream.size() - at));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.counters["messages/s"] = benchmark::Counter(double(messages), benchmark::Counter::kIsRate);
}

void BM_FramerRecording(benchmark::State &state)
{
    static const std::vector<uint8_t> stream = recordingStream();
    runFramer(state, stream);
}

void BM_FramerWriterStream(benchmark::State &state)
{
    static const std::vector<uint8_t> stream = writerStream();
    runFramer(state, stream);
}

// Nothing but hunting: random bytes in 0x40..0x7F.
void BM_FramerNoise(benchmark::State &state)
{
    static const std::vector<uint8_t> stream = [] {
        std::mt19937 rng(2);
        std::vector<uint8_t> bytes(kStreamBytes);
        for (uint8_t &byte : bytes)
            byte = uint8_t(0x40 | (rng() & 0x3F));
        return bytes;
    }();
    runFramer(state, stream);
}

} // namespace

BENCHMARK(BM_FramerRecording)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramerWriterStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramerNoise)->Unit(benchmark::kMillisecond);
