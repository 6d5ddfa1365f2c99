// Tests of the bit-field primitives: every width class against a plain bit-by-bit reference,
// the documented edge cases, bitmap counting and the precondition reports.
#include "nvtcg.h"

#include <gtest/gtest.h>

#include <random>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// ---- Reference: one bit at a time, fields assembled from 8-bit chunks as the width classes define ----

unsigned bitAt(const Bytes &d, uint32_t pos) { return (d[pos / 8] >> (7 - pos % 8)) & 1u; }

uint8_t refReadBits(const Bytes &d, uint32_t pos, unsigned len)
{
    unsigned r = 0;
    for (unsigned i = 0; i < len; ++i)
        r = (r << 1) | bitAt(d, pos + i);
    return uint8_t(r);
}

void refWriteBits(Bytes &d, uint32_t pos, unsigned len, uint8_t value)
{
    for (unsigned i = 0; i < len; ++i) {
        const unsigned shift = len - 1 - i;
        const uint8_t mask = uint8_t(0x80u >> ((pos + i) % 8));
        if (shift < 8 && ((value >> shift) & 1u))
            d[(pos + i) / 8] |= mask;
        else
            d[(pos + i) / 8] &= uint8_t(~mask);
    }
}

unsigned classWidth(unsigned len) { return len <= 8 ? 8 : len <= 16 ? 16 : len <= 32 ? 32 : 64; }
unsigned firstChunk(unsigned len) { return len <= 8 ? len : len <= 16 ? len - 8 : len <= 24 ? len - 16 : len - 24; }

uint64_t refRead(const Bytes &d, uint32_t pos, unsigned len)
{
    if (len > 32)
        return refRead(d, pos, len - 32) << 32 | refRead(d, pos + len - 32, 32);
    uint64_t r = refReadBits(d, pos, firstChunk(len));
    for (unsigned done = firstChunk(len); done < len; done += 8)
        r = r << 8 | refReadBits(d, pos + done, 8);
    return r;
}

// The sign-extended reference, converted to the reader's type as the codec stores it.
int64_t refReadSigned(const Bytes &d, uint32_t pos, unsigned len)
{
    uint64_t v = refRead(d, pos, len);
    const unsigned width = classWidth(len);
    if (len < width && ((v >> (len - 1)) & 1u))
        v |= ~uint64_t(0) << len;
    switch (width) {
    case 8: return static_cast<signed char>(v);
    case 16: return static_cast<short>(v);
    case 32: return static_cast<int>(v);
    default: return static_cast<int64_t>(v);
    }
}

void refWrite(Bytes &d, uint32_t pos, unsigned len, uint64_t v)
{
    if (len > 32) {
        refWrite(d, pos, len - 32, v >> 32);
        refWrite(d, pos + len - 32, 32, v);
        return;
    }
    refWriteBits(d, pos, firstChunk(len), uint8_t(v >> (len - firstChunk(len))));
    for (unsigned done = firstChunk(len); done < len; done += 8)
        refWriteBits(d, pos + done, 8, uint8_t(v >> (len - done - 8)));
}

// ---- The primitive of the field's width class, widened to 64 bits ----

uint64_t readUnsigned(const Bytes &d, uint16_t size, uint32_t pos, unsigned len)
{
    const uint8_t n = uint8_t(len);
    if (len <= 8) { unsigned char v; nvtcg_get_uint8(d.data(), size, pos, n, &v); return v; }
    if (len <= 16) { unsigned short v; nvtcg_get_uint16(d.data(), size, pos, n, &v); return v; }
    if (len <= 32) { unsigned int v; nvtcg_get_uint32(d.data(), size, pos, n, &v); return v; }
    uint64_t v; nvtcg_get_uint64(d.data(), size, pos, n, &v); return v;
}

int64_t readSigned(const Bytes &d, uint16_t size, uint32_t pos, unsigned len)
{
    const uint8_t n = uint8_t(len);
    if (len <= 8) { signed char v; nvtcg_get_int8(d.data(), size, pos, n, &v); return v; }
    if (len <= 16) { short v; nvtcg_get_int16(d.data(), size, pos, n, &v); return v; }
    if (len <= 32) { int v; nvtcg_get_int32(d.data(), size, pos, n, &v); return v; }
    int64_t v; nvtcg_get_int64(d.data(), size, pos, n, &v); return v;
}

void write(Bytes &d, uint16_t size, uint32_t pos, unsigned len, uint64_t v, bool isSigned)
{
    unsigned char *p = d.data();
    const uint8_t n = uint8_t(len);
    if (len <= 8)
        isSigned ? nvtcg_set_int8(p, size, pos, n, static_cast<signed char>(v)) : nvtcg_set_uint8(p, size, pos, n, uint8_t(v));
    else if (len <= 16)
        isSigned ? nvtcg_set_int16(p, size, pos, n, static_cast<short>(v)) : nvtcg_set_uint16(p, size, pos, n, uint16_t(v));
    else if (len <= 32)
        isSigned ? nvtcg_set_int32(p, size, pos, n, static_cast<int>(v)) : nvtcg_set_uint32(p, size, pos, n, uint32_t(v));
    else
        isSigned ? nvtcg_set_int64(p, size, pos, n, static_cast<int64_t>(v)) : nvtcg_set_uint64(p, size, pos, n, v);
}

// Reads and writes one field of buf (whose first `size` bytes are passed; the rest are guard bytes).
void checkField(const Bytes &buf, uint16_t size, uint32_t pos, unsigned len, std::mt19937_64 &rng)
{
    EXPECT_EQ(readUnsigned(buf, size, pos, len), refRead(buf, pos, len)) << "len " << len << " pos " << pos;
    EXPECT_EQ(readSigned(buf, size, pos, len), refReadSigned(buf, pos, len)) << "len " << len << " pos " << pos;
    for (bool isSigned : {false, true}) {
        const uint64_t value = rng();
        Bytes fast = buf, ref = buf;
        write(fast, size, pos, len, value, isSigned);
        refWrite(ref, pos, len, value);
        EXPECT_EQ(fast, ref) << "write len " << len << " pos " << pos << " signed " << isSigned;
    }
}

Bytes randomBytes(size_t n, std::mt19937_64 &rng)
{
    Bytes b(n);
    for (auto &c : b)
        c = uint8_t(rng());
    return b;
}

} // namespace

TEST(Nvtcg, FieldsMatchBitByBitReference)
{
    std::mt19937_64 rng(2024);
    // Heap buffers that end exactly at, or a few bits after, the field, with and without guard bytes
    // (the sanitizer build catches any access past an exactly fitting buffer).
    for (unsigned len = 1; len <= 64; ++len) {
        for (uint32_t pos = 0; pos < 80; ++pos)
            for (unsigned slack : {0u, 1u, 7u, 8u, 70u})
                for (size_t guard : {0u, 3u}) {
                    const uint16_t size = uint16_t((pos + len + slack + 7) / 8);
                    checkField(randomBytes(size + guard, rng), size, pos, len, rng);
                }
        ASSERT_FALSE(HasFailure());
    }
    const Bytes big = randomBytes(4096, rng);
    for (int i = 0; i < 20000; ++i) {
        const unsigned len = 1 + rng() % 64;
        checkField(big, uint16_t(big.size()), uint32_t(rng() % (big.size() * 8 - len + 1)), len, rng);
    }
}

TEST(Nvtcg, RawLoopsAndUncheckedEightBitLengths)
{
    // Lengths 0 and above 8 reach the raw loops through the unchecked 8-bit reader and writers.
    std::mt19937_64 rng(7);
    for (unsigned len = 0; len <= 200; ++len)
        for (uint32_t pos = 0; pos < 16; ++pos) {
            const uint16_t size = uint16_t((pos + len + 7) / 8);
            const Bytes buf = randomBytes(size + 2u, rng);
            const uint8_t value = uint8_t(rng());
            unsigned char read = 0xAA;
            nvtcg_get_uint8(buf.data(), size, pos, uint8_t(len), &read);
            EXPECT_EQ(read, refReadBits(buf, pos, len)) << len << " " << pos;
            EXPECT_EQ(nvtcg_read_bits(buf.data(), pos, uint8_t(len)), refReadBits(buf, pos, len));
            Bytes fast = buf, raw = buf, ref = buf;
            nvtcg_set_int8(fast.data(), size, pos, uint8_t(len), static_cast<signed char>(value));
            nvtcg_write_bits(raw.data(), pos, uint8_t(len), value);
            refWriteBits(ref, pos, len, value);
            EXPECT_EQ(fast, ref) << len << " " << pos;
            EXPECT_EQ(raw, ref) << len << " " << pos;
        }
}

TEST(Nvtcg, DocumentedExamples)
{
    const Bytes b1234 = {0x12, 0x34};
    unsigned char u8 = 0;
    nvtcg_get_uint8(b1234.data(), 2, 4, 8, &u8);
    EXPECT_EQ(u8, 0x23);
    nvtcg_get_uint8(b1234.data(), 2, 0, 4, &u8);
    EXPECT_EQ(u8, 0x1);

    const Bytes three = {0xFF, 0xFE, 0x01};
    unsigned short u16 = 0;
    nvtcg_get_uint16(three.data(), 3, 14, 10, &u16); // ends exactly at bit 24
    EXPECT_EQ(u16, 0x201);

    short s16 = 0;
    nvtcg_get_int16(three.data(), 3, 0, 16, &s16);
    EXPECT_EQ(s16, -2);
    const Bytes b1000 = {0x80, 0x00};
    nvtcg_get_int16(b1000.data(), 2, 0, 13, &s16);
    EXPECT_EQ(s16, -4096);
    signed char s8 = 0;
    nvtcg_get_int8(b1000.data(), 2, 0, 8, &s8);
    EXPECT_EQ(s8, -128);

    const Bytes wide = {0xAB, 0x01, 0x02, 0x03, 0x04, 0xDE, 0xF0, 0x12, 0x34};
    uint64_t u64 = 0;
    nvtcg_get_uint64(wide.data(), 9, 0, 40, &u64);
    EXPECT_EQ(u64, 0xAB01020304ull);
    nvtcg_get_uint64(wide.data(), 9, 0, 49, &u64);
    EXPECT_EQ(u64, 0xAB01020304DEF0ull >> 7);

    Bytes w = {0x00, 0x00};
    nvtcg_set_uint8(w.data(), 2, 6, 3, 5);
    EXPECT_EQ(w, (Bytes{0x02, 0x80}));
    w = {0xFF, 0xFF};
    nvtcg_set_uint8(w.data(), 2, 6, 3, 5);
    EXPECT_EQ(w, (Bytes{0xFE, 0xFF}));
    w = {0x00};
    nvtcg_set_int8(w.data(), 1, 0, 5, -1);
    EXPECT_EQ(w, (Bytes{0xF8}));

    // Character fields.
    const Bytes text = {'A', 0xC4};
    char ch = 0;
    nvtcg_get_int8(text.data(), 2, 0, 8, &ch);
    EXPECT_EQ(ch, 'A');
    nvtcg_get_char(text.data(), 2, 8, 8, &ch);
    EXPECT_EQ(ch, static_cast<char>(0xC4));
    w = {0x00, 0x00};
    nvtcg_set_char(w.data(), 2, 4, 8, 'z');
    EXPECT_EQ(w, (Bytes{0x07, 0xA0}));
}

TEST(Nvtcg, Popcount)
{
    EXPECT_EQ(nvtcg_popcount32(0x80000001u), 2);
    EXPECT_EQ(nvtcg_popcount64(~uint64_t(0)), 64);
    EXPECT_EQ(nvtcg_popcount64(0), 0);
    for (unsigned i = 0; i < 256; ++i) {
        unsigned bits = 0;
        for (unsigned b = i; b; b >>= 1)
            bits += b & 1u;
        ASSERT_EQ(nvtcg_popcount_table[i], bits) << i;
    }
    std::mt19937_64 rng(3);
    for (int i = 0; i < 10000; ++i) {
        const uint64_t v = rng() & rng(); // vary the density a little
        unsigned sum = 0;
        for (unsigned byte = 0; byte < 8; ++byte)
            sum += nvtcg_popcount_table[(v >> (8 * byte)) & 0xFF];
        ASSERT_EQ(nvtcg_popcount64(v), sum);
        ASSERT_EQ(nvtcg_popcount32(uint32_t(v)), sum - nvtcg_popcount64(v >> 32));
    }
}

// The report goes to standard output; death tests capture standard error, so the child points
// its standard output there first.
#define EXPECT_REPORT(statement, regex)                                                             \
    EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), statement), ::testing::ExitedWithCode(1), regex)

TEST(NvtcgDeathTest, PreconditionReports)
{
    const char *room = "^fw/lib/Codecs/Generators/nvtcg/src/nvtcg:[0-9]+: Assertion failed "
                       "'\\(offset \\+ bit_len\\) <= \\(UINT32\\)\\(data_size \\* 8\\)'\n$";
    unsigned char buf[3] = {};
    unsigned short u16 = 0;
    int i32 = 0;
    signed char s8 = 0;
    unsigned char u8 = 0;
    EXPECT_REPORT(nvtcg_get_uint16(buf, 3, 15, 10, &u16), room);
    EXPECT_REPORT(nvtcg_get_uint16(buf, 3, 20, 8, &u16), room); // room is checked before the length
    EXPECT_REPORT(nvtcg_get_uint8(buf, 3, 0xFFFFFFFFu, 2, &u8), room); // no wrap-around into the buffer
    EXPECT_REPORT(nvtcg_set_uint8(buf, 3, 24, 1, 1), room);
    EXPECT_REPORT(nvtcg_get_uint16(buf, 3, 0, 8, &u16),
                  "^fw/lib/Codecs/Generators/nvtcg/src/nvtcg:[0-9]+: Assertion failed 'bit_len > 8'\n$");
    EXPECT_REPORT(nvtcg_get_int8(buf, 3, 0, 0, &s8), "Assertion failed 'bit_len > 0'\n$");
    EXPECT_REPORT(nvtcg_set_int32(buf, 3, 0, 16, 1), "Assertion failed 'bit_len > 16'\n$");
    EXPECT_REPORT(nvtcg_get_int32(nullptr, 8, 0, 33, &i32), "Assertion failed 'bit_len <= 32'\n$");
    EXPECT_REPORT(nvtcg_assert_failed("formats/rtcmv/src/generated/RTCMV_codec", 1234, "(*offset) >= loffset"),
                  "^formats/rtcmv/src/generated/RTCMV_codec:1234: Assertion failed '\\(\\*offset\\) >= loffset'\n$");
}
