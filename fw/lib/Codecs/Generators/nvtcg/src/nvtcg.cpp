// nvtcg: the out-of-line parts of the bit-field primitives: the precondition report, the raw
// 8-bit loops used for lengths outside the 8-bit class, and the set-bit table.
#include "nvtcg.h"

#include <cstdio>
#include <cstdlib>

void nvtcg_assert_failed(const char *file, long line, const char *expression)
{
    std::printf("%s:%ld: Assertion failed '%s'\n", file, line, expression);
    std::fflush(stdout);
    std::exit(1);
}

#define NVTCG_BITS2(n) n, n + 1, n + 1, n + 2
#define NVTCG_BITS4(n) NVTCG_BITS2(n), NVTCG_BITS2(n + 1), NVTCG_BITS2(n + 1), NVTCG_BITS2(n + 2)
#define NVTCG_BITS6(n) NVTCG_BITS4(n), NVTCG_BITS4(n + 1), NVTCG_BITS4(n + 1), NVTCG_BITS4(n + 2)
const unsigned char nvtcg_popcount_table[256] = {NVTCG_BITS6(0), NVTCG_BITS6(1), NVTCG_BITS6(1), NVTCG_BITS6(2)};
#undef NVTCG_BITS6
#undef NVTCG_BITS4
#undef NVTCG_BITS2

unsigned char nvtcg_read_bits(const unsigned char *data, uint32_t offset, uint8_t bit_len)
{
    if (bit_len == 0)
        return 0;
    unsigned len = bit_len;
    if (len > 8) { // only the last 8 bits survive the shifting
        offset += len - 8;
        len = 8;
    }
    // The bits lie in one or two bytes; the second is read only when the field reaches into it.
    const unsigned char *p = data + (offset >> 3);
    const unsigned end = (offset & 7u) + len;
    unsigned window = unsigned(p[0]) << 8;
    if (end > 8)
        window |= p[1];
    return static_cast<unsigned char>((window >> (16 - end)) & ((1u << len) - 1));
}

void nvtcg_write_bits(unsigned char *data, uint32_t offset, uint8_t bit_len, unsigned char value)
{
    unsigned len = bit_len;
    // Bits above the 8 of the value are zeros.
    while (len > 8) {
        const unsigned zeros = len - 8 < 64 ? len - 8 : 64;
        nvtcg_detail::store(data, offset, zeros, 0);
        offset += zeros;
        len -= zeros;
    }
    if (len > 0)
        nvtcg_detail::store(data, offset, len, value);
}
