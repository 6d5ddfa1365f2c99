// nvtcg: bit-field primitives of the generated codecs. Integer fields of 1 to 64 bits at any bit
// position of a big-endian bit stream, bitmap counting and the fatal precondition report.
#pragma once

#include <cstdint>
#include <cstring>

// Conventions shared by every reader and writer:
// - bit position 0 is the most significant bit of byte 0; a field is stored most significant bit first;
// - arguments are (buffer, size in bytes, bit position, bit length, out pointer or value);
// - a reader yields the plain big-endian value of the field; signed readers sign-extend fields
//   narrower than their type; writers store the low bit_len bits of the value and leave every
//   other bit of the buffer as it was;
// - a field ending past the buffer, or a length outside the function's width class, is a codec
//   defect: the process reports it through nvtcg_assert_failed and exits with status 1.
// The functions keep no state. Readers only read inside the buffer; writers rewrite only the bytes
// that hold bits of the field, so two threads may write the same buffer as long as their fields
// share no byte.

#if defined(__GNUC__) || defined(__clang__)
#define NVTCG_LIKELY(x) __builtin_expect(!!(x), 1)
#define NVTCG_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define NVTCG_INLINE inline __attribute__((always_inline))
#define NVTCG_COLD __attribute__((cold))
#else
#define NVTCG_LIKELY(x) (x)
#define NVTCG_UNLIKELY(x) (x)
#define NVTCG_INLINE inline
#define NVTCG_COLD
#endif

// Prints "<file>:<line>: Assertion failed '<expression>'" to standard output and exits with status 1.
[[noreturn]] NVTCG_COLD void nvtcg_assert_failed(const char *file, long line, const char *expression);

// Set-bit count of every byte value; the popcount functions give the same result as summing it byte by byte.
extern const unsigned char nvtcg_popcount_table[256];

// Raw bit loops without checks, touching only the bytes of the field. A length of 0 reads 0 and
// writes nothing; a read longer than 8 bits keeps its last 8 bits; a write longer than 8 bits
// stores zeros ahead of the 8 bits of the value.
unsigned char nvtcg_read_bits(const unsigned char *data, uint32_t offset, uint8_t bit_len);
void nvtcg_write_bits(unsigned char *data, uint32_t offset, uint8_t bit_len, unsigned char value);

namespace nvtcg_detail {

NVTCG_INLINE uint64_t loadBigEndian64(const unsigned char *p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return word;
#elif defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(word);
#else
    word = ((word & 0x00FF00FF00FF00FFull) << 8) | ((word >> 8) & 0x00FF00FF00FF00FFull);
    word = ((word & 0x0000FFFF0000FFFFull) << 16) | ((word >> 16) & 0x0000FFFF0000FFFFull);
    return (word << 32) | (word >> 32);
#endif
}

// The value of the len-bit field (1 to 64 bits) at offset; the caller has checked that it lies in the buffer.
NVTCG_INLINE uint64_t load(const unsigned char *data, uint16_t size, uint32_t offset, unsigned len)
{
    const uint32_t byte = offset >> 3;
    uint32_t start = offset & 7u; // first field bit within the window
    uint64_t window;
    if (NVTCG_LIKELY(byte + 8u <= size)) {
        window = loadBigEndian64(data + byte);
        if (NVTCG_UNLIKELY(start + len > 64)) {
            // The field spans nine bytes: its last start + len - 64 bits are in the ninth one.
            return ((window << start) >> (64 - len)) | (data[byte + 8] >> (72 - start - len));
        }
    } else if (size >= 8) {
        // Near the end of the buffer its last eight bytes hold the whole field.
        window = loadBigEndian64(data + size - 8);
        start = offset - (uint32_t(size) - 8u) * 8u;
    } else {
        window = 0;
        for (unsigned i = 0; i < size; ++i)
            window |= uint64_t(data[i]) << (56 - 8 * i);
        start = offset;
    }
    return (window << start) >> (64 - len);
}

// Stores the low len bits (1 to 64) of value at offset, rewriting only the bytes the field touches.
NVTCG_INLINE void store(unsigned char *data, uint32_t offset, unsigned len, uint64_t value)
{
    unsigned char *p = data + (offset >> 3);
    unsigned end = (offset & 7u) + len; // end of the field, in bits from the start of p[0]
    if (NVTCG_UNLIKELY(end > 64)) {
        const unsigned tail = end - 64; // bits in the ninth byte, 1 to 7
        p[8] = uint8_t((p[8] & (0xFFu >> tail)) | uint8_t(value << (8 - tail)));
        value >>= tail;
        len -= tail;
        end = 64;
    }
    const uint64_t mask = (~uint64_t(0) >> (64 - len)) << (64 - end);
    const uint64_t bits = (value << (64 - end)) & mask;
    const unsigned bytes = (end + 7) >> 3;
    for (unsigned i = 0; i < bytes; ++i) {
        const unsigned shift = 56 - 8 * i;
        const unsigned byteMask = unsigned(mask >> shift) & 0xFFu;
        p[i] = uint8_t((p[i] & ~byteMask) | (unsigned(bits >> shift) & 0xFFu));
    }
}

// Two's complement value of a len-bit field (1 to 64 bits); a full-width field is unchanged.
NVTCG_INLINE int64_t signExtend(uint64_t raw, unsigned len)
{
    const uint64_t sign = uint64_t(1) << (len - 1);
    return int64_t((raw ^ sign) - sign);
}

} // namespace nvtcg_detail

// The failure path stays out of line; the message carries the line of the failed check.
#define NVTCG_CHECK_TEXT(cond, text)                                                                \
    do {                                                                                            \
        if (NVTCG_UNLIKELY(!(cond)))                                                                \
            nvtcg_assert_failed("fw/lib/Codecs/Generators/nvtcg/src/nvtcg", __LINE__, text);      \
    } while (0)
#define NVTCG_CHECK(cond) NVTCG_CHECK_TEXT(cond, #cond)
// Computed in 64 bits so that a position near 2^32 cannot wrap around into the buffer.
#define NVTCG_CHECK_ROOM()                                                                          \
    NVTCG_CHECK_TEXT(uint64_t(offset) + bit_len <= uint32_t(data_size) * 8u,                        \
                     "(offset + bit_len) <= (UINT32)(data_size * 8)")

// ---- 8-bit class: 1 to 8 bits ----

// Plain codes and counts. Like the 8-bit writers it does not check the length: 0 reads 0, longer
// fields keep their last 8 bits.
NVTCG_INLINE void nvtcg_get_uint8(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                  uint8_t bit_len, unsigned char *value)
{
    NVTCG_CHECK_ROOM();
    if (NVTCG_LIKELY(bit_len >= 1 && bit_len <= 8))
        *value = uint8_t(nvtcg_detail::load(data, data_size, offset, bit_len));
    else
        *value = nvtcg_read_bits(data, offset, bit_len);
}

NVTCG_INLINE void nvtcg_get_int8(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                 uint8_t bit_len, signed char *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 0);
    NVTCG_CHECK(bit_len <= 8);
    *value = static_cast<signed char>(
        nvtcg_detail::signExtend(nvtcg_detail::load(data, data_size, offset, bit_len), bit_len));
}

// Character fields go through the signed 8-bit reader.
NVTCG_INLINE void nvtcg_get_int8(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                 uint8_t bit_len, char *value)
{
    signed char ch;
    nvtcg_get_int8(data, data_size, offset, bit_len, &ch);
    *value = static_cast<char>(ch);
}

NVTCG_INLINE void nvtcg_get_char(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                 uint8_t bit_len, char *value)
{
    nvtcg_get_int8(data, data_size, offset, bit_len, value);
}

NVTCG_INLINE void nvtcg_set_uint8(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                  unsigned char value)
{
    NVTCG_CHECK_ROOM();
    if (NVTCG_LIKELY(bit_len >= 1 && bit_len <= 8))
        nvtcg_detail::store(data, offset, bit_len, value);
    else
        nvtcg_write_bits(data, offset, bit_len, value);
}

NVTCG_INLINE void nvtcg_set_int8(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                 signed char value)
{
    NVTCG_CHECK_ROOM();
    if (NVTCG_LIKELY(bit_len >= 1 && bit_len <= 8))
        nvtcg_detail::store(data, offset, bit_len, uint8_t(value));
    else
        nvtcg_write_bits(data, offset, bit_len, uint8_t(value));
}

NVTCG_INLINE void nvtcg_set_char(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                 char value)
{
    nvtcg_set_int8(data, data_size, offset, bit_len, static_cast<signed char>(value));
}

// ---- 16-bit class: 9 to 16 bits ----

NVTCG_INLINE void nvtcg_get_uint16(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                   uint8_t bit_len, unsigned short *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 8);
    NVTCG_CHECK(bit_len <= 16);
    *value = static_cast<unsigned short>(nvtcg_detail::load(data, data_size, offset, bit_len));
}

NVTCG_INLINE void nvtcg_get_int16(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                  uint8_t bit_len, short *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 8);
    NVTCG_CHECK(bit_len <= 16);
    *value = static_cast<short>(
        nvtcg_detail::signExtend(nvtcg_detail::load(data, data_size, offset, bit_len), bit_len));
}

NVTCG_INLINE void nvtcg_set_uint16(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                   unsigned short value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 8);
    NVTCG_CHECK(bit_len <= 16);
    nvtcg_detail::store(data, offset, bit_len, value);
}

NVTCG_INLINE void nvtcg_set_int16(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                  short value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 8);
    NVTCG_CHECK(bit_len <= 16);
    nvtcg_detail::store(data, offset, bit_len, uint16_t(value));
}

// ---- 32-bit class: 17 to 32 bits ----

NVTCG_INLINE void nvtcg_get_uint32(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                   uint8_t bit_len, unsigned int *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 16);
    NVTCG_CHECK(bit_len <= 32);
    *value = static_cast<unsigned int>(nvtcg_detail::load(data, data_size, offset, bit_len));
}

NVTCG_INLINE void nvtcg_get_int32(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                  uint8_t bit_len, int *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 16);
    NVTCG_CHECK(bit_len <= 32);
    *value = static_cast<int>(
        nvtcg_detail::signExtend(nvtcg_detail::load(data, data_size, offset, bit_len), bit_len));
}

NVTCG_INLINE void nvtcg_set_uint32(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                   unsigned int value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 16);
    NVTCG_CHECK(bit_len <= 32);
    nvtcg_detail::store(data, offset, bit_len, value);
}

NVTCG_INLINE void nvtcg_set_int32(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                  int value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 16);
    NVTCG_CHECK(bit_len <= 32);
    nvtcg_detail::store(data, offset, bit_len, uint32_t(value));
}

// ---- 64-bit class: 33 to 64 bits ----

NVTCG_INLINE void nvtcg_get_uint64(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                   uint8_t bit_len, uint64_t *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 32);
    NVTCG_CHECK(bit_len <= 64);
    *value = nvtcg_detail::load(data, data_size, offset, bit_len);
}

NVTCG_INLINE void nvtcg_get_int64(const unsigned char *data, uint16_t data_size, uint32_t offset,
                                  uint8_t bit_len, int64_t *value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 32);
    NVTCG_CHECK(bit_len <= 64);
    *value = nvtcg_detail::signExtend(nvtcg_detail::load(data, data_size, offset, bit_len), bit_len);
}

NVTCG_INLINE void nvtcg_set_uint64(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                   uint64_t value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 32);
    NVTCG_CHECK(bit_len <= 64);
    nvtcg_detail::store(data, offset, bit_len, value);
}

NVTCG_INLINE void nvtcg_set_int64(unsigned char *data, uint16_t data_size, uint32_t offset, uint8_t bit_len,
                                  int64_t value)
{
    NVTCG_CHECK_ROOM();
    NVTCG_CHECK(bit_len > 32);
    NVTCG_CHECK(bit_len <= 64);
    nvtcg_detail::store(data, offset, bit_len, uint64_t(value));
}

#undef NVTCG_CHECK_ROOM
#undef NVTCG_CHECK
#undef NVTCG_CHECK_TEXT

// ---- Bitmap counting ----
// Counted in parallel within the word (the hardware instruction when the target has one); the
// result equals the byte-by-byte sum over nvtcg_popcount_table.

NVTCG_INLINE unsigned char nvtcg_popcount64(uint64_t value)
{
#if defined(__POPCNT__)
    return static_cast<unsigned char>(__builtin_popcountll(value));
#else
    value -= (value >> 1) & 0x5555555555555555ull;                                // 2-bit sums
    value = (value & 0x3333333333333333ull) + ((value >> 2) & 0x3333333333333333ull); // 4-bit sums
    value = (value + (value >> 4)) & 0x0F0F0F0F0F0F0F0Full;                        // byte sums
    return static_cast<unsigned char>((value * 0x0101010101010101ull) >> 56);      // total in the top byte
#endif
}

NVTCG_INLINE unsigned char nvtcg_popcount32(uint32_t value) { return nvtcg_popcount64(value); }
