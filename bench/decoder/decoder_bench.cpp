// Messages per second through RTCMVDecoder::decodeMessage with a sink that keeps nothing, so each
// message is released as soon as it has been published; the codec alone alongside for comparison.
#include "codec_support.h"

#include <RTCMVDecoder.h>
#include <mesaroframework/MessageSink.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

using Bytes = std::vector<unsigned char>;

// Station-sized messages: a handful to a dozen satellites, words or characters per block.
Bytes encodedSample(CodecSupport::RecordGenerator &generator, uint32_t type)
{
    RTCMV_record_u record;
    generator.generate(type, &record);
    Bytes bytes = CodecSupport::encodeMessage(&record);
    RTCMV_free_record(&record);
    if (bytes.empty())
        throw std::logic_error("encoder refused a generated message");
    return bytes;
}

// Eight messages of every type in a fixed shuffled order, or 64 of one type.
const std::vector<Bytes> &corpus(uint32_t type = 0)
{
    static std::vector<std::vector<Bytes>> cache(64);
    std::vector<Bytes> &messages = cache[type];
    if (messages.empty()) {
        CodecSupport::RecordGenerator generator(2024 + type);
        generator.setCountRange(4, 12);
        if (type == 0) {
            for (uint32_t t : CodecSupport::messageTypes()) {
                for (int i = 0; i < 8; ++i)
                    messages.push_back(encodedSample(generator, t));
            }
            std::shuffle(messages.begin(), messages.end(), std::mt19937(7));
        } else {
            for (int i = 0; i < 64; ++i)
                messages.push_back(encodedSample(generator, type));
        }
    }
    return messages;
}

void runDecoder(benchmark::State &state, const std::vector<Bytes> &messages)
{
    RTCMVDecoder decoder(nullptr);
    MessageSink idle; // every hook does nothing, so no reference outlives the call
    decoder.addSink(&idle);
    int64_t bytes = 0;
    for (auto _ : state) {
        for (const Bytes &message : messages) {
            const int32_t bits = decoder.decodeMessage(message.data(), uint(message.size()));
            if (bits <= 0)
                state.SkipWithError("a corpus message was refused");
            benchmark::DoNotOptimize(bits);
            bytes += int64_t(message.size());
        }
    }
    decoder.removeSink(&idle);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(messages.size()));
    state.SetBytesProcessed(bytes);
}

void BM_DecoderMixed(benchmark::State &state)
{
    runDecoder(state, corpus());
}
BENCHMARK(BM_DecoderMixed);

void BM_DecoderType(benchmark::State &state)
{
    runDecoder(state, corpus(uint32_t(state.range(0))));
}
// Corrections (1), station position (3), text (16), RTK observations (18), ephemeris (17), clocks (56).
BENCHMARK(BM_DecoderType)->Arg(1)->Arg(3)->Arg(16)->Arg(17)->Arg(18)->Arg(56);

// The codec's dispatch alone on the same corpus: the share of the decode itself in the figures above.
void BM_CodecMixed(benchmark::State &state)
{
    const std::vector<Bytes> &messages = corpus();
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record;
    std::memset(&record, 0, sizeof record);
    for (auto _ : state) {
        for (const Bytes &message : messages) {
            benchmark::DoNotOptimize(RTCMV_decode(&context, message.data(), uint16_t(message.size()), &record));
            RTCMV_free_record(&record);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(messages.size()));
}
BENCHMARK(BM_CodecMixed);

} // namespace
