// Decoding speed of the RTCMV codec: each message type alone and a mixed corpus of all 32 types,
// with realistic counts of satellites and characters, each decoded record released again.
#include "codec_support.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;
using namespace CodecSupport;

namespace {

struct Corpus
{
    std::vector<std::vector<unsigned char>> messages;
    int64_t bytes = 0;
};

// About 10 to 18 satellites per message; texts and data of 30 to 90 characters.
void useRealisticCounts(RecordGenerator &generator, uint32_t type)
{
    switch (type) {
    case 16:
    case 59:
        generator.setCountRange(30, 90);
        break;
    case 23:
    case 41:
        generator.setCountRange(10, 31);
        break;
    default:
        generator.setCountRange(10, 18);
        break;
    }
}

void addMessages(Corpus &corpus, RecordGenerator &generator, uint32_t type, int count)
{
    useRealisticCounts(generator, type);
    for (int n = 0; n < count; ++n) {
        RTCMV_record_u record;
        generator.generate(type, &record);
        corpus.messages.push_back(encodeMessage(&record));
        RTCMV_free_record(&record);
        corpus.bytes += int64_t(corpus.messages.back().size());
    }
}

void decodeCorpus(benchmark::State &state, const Corpus &corpus)
{
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    RTCMV_record_u record;
    for (auto _ : state) {
        for (const std::vector<unsigned char> &message : corpus.messages) {
            const int32_t bits = RTCMV_decode(&context, message.data(), uint16_t(message.size()), &record);
            benchmark::DoNotOptimize(bits);
            RTCMV_free_record(&record);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * corpus.bytes);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(corpus.messages.size()));
}

[[maybe_unused]] const bool registered = [] {
    for (uint32_t type : messageTypes()) {
        Corpus corpus;
        RecordGenerator generator(type);
        addMessages(corpus, generator, type, 64);
        benchmark::RegisterBenchmark(("Decode/type:" + std::to_string(type)).c_str(),
                                     [corpus](benchmark::State &state) { decodeCorpus(state, corpus); });
    }
    // Shuffled, so that the order of the types teaches the branch predictor nothing.
    Corpus mixed;
    RecordGenerator generator(0);
    for (uint32_t type : messageTypes())
        addMessages(mixed, generator, type, 32);
    std::shuffle(mixed.messages.begin(), mixed.messages.end(), std::mt19937(1));
    benchmark::RegisterBenchmark("Decode/mixed", [mixed](benchmark::State &state) { decodeCorpus(state, mixed); });
    return true;
}();

}  // namespace
