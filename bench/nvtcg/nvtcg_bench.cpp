// Field reads and writes per second by width class over a 4 KB buffer at varying offsets and
// lengths, compared with reading the same fields one bit at a time.
#include "nvtcg.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr size_t BufferSize = 4096;
constexpr size_t FieldCount = 4096;

struct Field {
    uint32_t offset;
    uint8_t length;
};

// Random fields of the width class [minLen, maxLen], all inside the buffer.
std::vector<Field> makeFields(unsigned minLen, unsigned maxLen)
{
    std::mt19937 rng(minLen * 131 + maxLen);
    std::vector<Field> fields(FieldCount);
    for (auto &f : fields) {
        f.length = uint8_t(minLen + rng() % (maxLen - minLen + 1));
        f.offset = uint32_t(rng() % (BufferSize * 8 - f.length + 1));
    }
    return fields;
}

std::vector<unsigned char> makeBuffer()
{
    std::mt19937 rng(1);
    std::vector<unsigned char> buf(BufferSize);
    for (auto &c : buf)
        c = uint8_t(rng());
    return buf;
}

template <typename T, void (*Get)(const unsigned char *, uint16_t, uint32_t, uint8_t, T *), unsigned MinLen,
          unsigned MaxLen>
void BM_Read(benchmark::State &state)
{
    const auto buf = makeBuffer();
    const auto fields = makeFields(MinLen, MaxLen);
    for (auto _ : state) {
        for (const Field &f : fields) {
            T value;
            Get(buf.data(), uint16_t(BufferSize), f.offset, f.length, &value);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(FieldCount));
}

template <typename T, void (*Set)(unsigned char *, uint16_t, uint32_t, uint8_t, T), unsigned MinLen, unsigned MaxLen>
void BM_Write(benchmark::State &state)
{
    auto buf = makeBuffer();
    const auto fields = makeFields(MinLen, MaxLen);
    T value = T(0x5A5A5A5A5A5A5A5Aull);
    for (auto _ : state) {
        for (const Field &f : fields) {
            Set(buf.data(), uint16_t(BufferSize), f.offset, f.length, value);
            value = T(value + 1);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(FieldCount));
}

// The straightforward way: one bit at a time.
void BM_ReadBitLoop(benchmark::State &state, unsigned minLen, unsigned maxLen)
{
    const auto buf = makeBuffer();
    const auto fields = makeFields(minLen, maxLen);
    for (auto _ : state) {
        for (const Field &f : fields) {
            uint64_t value = 0;
            for (uint32_t p = f.offset; p < f.offset + f.length; ++p)
                value = (value << 1) | ((buf[p / 8] >> (7 - p % 8)) & 1u);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(FieldCount));
}

void BM_Popcount64(benchmark::State &state)
{
    std::mt19937_64 rng(5);
    std::vector<uint64_t> values(FieldCount);
    for (auto &v : values)
        v = rng();
    for (auto _ : state) {
        for (uint64_t v : values) {
            unsigned char n = nvtcg_popcount64(v);
            benchmark::DoNotOptimize(n);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(FieldCount));
}

} // namespace

BENCHMARK_TEMPLATE(BM_Read, unsigned char, nvtcg_get_uint8, 1, 8);
BENCHMARK_TEMPLATE(BM_Read, signed char, nvtcg_get_int8, 1, 8);
BENCHMARK_TEMPLATE(BM_Read, unsigned short, nvtcg_get_uint16, 9, 16);
BENCHMARK_TEMPLATE(BM_Read, short, nvtcg_get_int16, 9, 16);
BENCHMARK_TEMPLATE(BM_Read, unsigned int, nvtcg_get_uint32, 17, 32);
BENCHMARK_TEMPLATE(BM_Read, int, nvtcg_get_int32, 17, 32);
BENCHMARK_TEMPLATE(BM_Read, uint64_t, nvtcg_get_uint64, 33, 64);
BENCHMARK_TEMPLATE(BM_Read, int64_t, nvtcg_get_int64, 33, 64);
BENCHMARK_CAPTURE(BM_ReadBitLoop, 1_8, 1, 8);
BENCHMARK_CAPTURE(BM_ReadBitLoop, 9_16, 9, 16);
BENCHMARK_CAPTURE(BM_ReadBitLoop, 17_32, 17, 32);
BENCHMARK_CAPTURE(BM_ReadBitLoop, 33_64, 33, 64);
BENCHMARK_TEMPLATE(BM_Write, unsigned char, nvtcg_set_uint8, 1, 8);
BENCHMARK_TEMPLATE(BM_Write, short, nvtcg_set_int16, 9, 16);
BENCHMARK_TEMPLATE(BM_Write, unsigned int, nvtcg_set_uint32, 17, 32);
BENCHMARK_TEMPLATE(BM_Write, int64_t, nvtcg_set_int64, 33, 64);
BENCHMARK(BM_Popcount64);
