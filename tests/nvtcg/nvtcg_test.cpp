// The bit-field primitives against a plain bit-by-bit reference in every width class, at every
// position near the start and the end of exactly sized buffers, the unchecked 8-bit lengths and
// the precondition reports. (Bitmap counts: every round trip of the bitmap types, against std::bitset.)
#include "nvtcg.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// ---- Reference: one bit at a time, most significant bit first ----

uint64_t refRead(const Bytes &d, uint32_t pos, unsigned len)
{
    uint64_t r = 0;
    for (uint32_t i = pos; i < pos + len; ++i)
        r = r << 1 | ((d[i / 8] >> (7 - i % 8)) & 1u);
    return r;
}

void refWrite(Bytes &d, uint32_t pos, unsigned len, uint64_t v)
{
    for (unsigned i = 0; i < len; ++i) {
        const unsigned shift = len - 1 - i;
        const unsigned char mask = static_cast<unsigned char>(0x80u >> ((pos + i) % 8));
        d[(pos + i) / 8] = shift < 64 && ((v >> shift) & 1u) ? d[(pos + i) / 8] | mask : d[(pos + i) / 8] & ~mask;
    }
}

int64_t refSigned(uint64_t v, unsigned len)
{
    return len < 64 && ((v >> (len - 1)) & 1u) ? int64_t(v | ~uint64_t(0) << len) : int64_t(v);
}

// Reads and writes the field at pos of buf, whose first `size` bytes are passed, with the readers
// and writers of one width class.
template <typename U, typename S>
void check(void (*getU)(const unsigned char *, uint16_t, uint32_t, uint8_t, U *),
           void (*getS)(const unsigned char *, uint16_t, uint32_t, uint8_t, S *),
           void (*setU)(unsigned char *, uint16_t, uint32_t, uint8_t, U),
           void (*setS)(unsigned char *, uint16_t, uint32_t, uint8_t, S), const Bytes &buf, uint16_t size,
           uint32_t pos, unsigned len, uint64_t value)
{
    SCOPED_TRACE(::testing::Message() << len << " bits at " << pos << " of " << size << " bytes");
    U u;
    S s;
    getU(buf.data(), size, pos, uint8_t(len), &u);
    getS(buf.data(), size, pos, uint8_t(len), &s);
    EXPECT_EQ(uint64_t(u), refRead(buf, pos, len));
    EXPECT_EQ(int64_t(s), refSigned(refRead(buf, pos, len), len));
    Bytes ref = buf, unsignedOut = buf, signedOut = buf;
    refWrite(ref, pos, len, value);
    setU(unsignedOut.data(), size, pos, uint8_t(len), U(value));
    setS(signedOut.data(), size, pos, uint8_t(len), S(value));
    EXPECT_EQ(unsignedOut, ref);
    EXPECT_EQ(signedOut, ref);
}

#define CHECK_CLASS(U, S, BITS)                                                                      \
    check<U, S>(nvtcg_get_uint##BITS, nvtcg_get_int##BITS, nvtcg_set_uint##BITS, nvtcg_set_int##BITS, buf, size, \
                pos, len, value)

void checkField(const Bytes &buf, uint16_t size, uint32_t pos, unsigned len, uint64_t value)
{
    if (len <= 8)
        CHECK_CLASS(unsigned char, signed char, 8);
    else if (len <= 16)
        CHECK_CLASS(unsigned short, short, 16);
    else if (len <= 32)
        CHECK_CLASS(unsigned int, int, 32);
    else
        CHECK_CLASS(uint64_t, int64_t, 64);
}

Bytes randomBytes(size_t n, std::mt19937_64 &rng)
{
    Bytes b(n);
    for (auto &c : b)
        c = uint8_t(rng());
    return b;
}

} // namespace

TEST(Nvtcg, FieldsMatchTheBitByBitReference)
{
    std::mt19937_64 rng(2024);
    // Heap buffers that end exactly at, or a few bits after, the field, with and without guard
    // bytes (the sanitizer build catches any access past an exactly fitting buffer).
    for (unsigned len = 1; len <= 64 && !HasFailure(); ++len)
        for (uint32_t pos = 0; pos < 80; ++pos)
            for (unsigned slack : {0u, 1u, 7u, 8u, 70u})
                for (size_t guard : {0u, 3u}) {
                    const auto size = uint16_t((pos + len + slack + 7) / 8);
                    checkField(randomBytes(size + guard, rng), size, pos, len, rng());
                }
    const Bytes big = randomBytes(4096, rng);
    for (int i = 0; i < 20000; ++i) {
        const unsigned len = 1 + rng() % 64;
        checkField(big, uint16_t(big.size()), uint32_t(rng() % (big.size() * 8 - len + 1)), len, rng());
    }
    // Bit 0 is the most significant bit of the first byte; characters are 8-bit fields.
    const Bytes b1234 = {0x12, 0x34};
    char ch = 0;
    nvtcg_get_char(b1234.data(), 2, 4, 8, &ch);
    EXPECT_EQ(ch, 0x23);
    Bytes w = {0x00, 0x00};
    nvtcg_set_char(w.data(), 2, 4, 8, 'z');
    EXPECT_EQ(w, (Bytes{0x07, 0xA0}));
}

// The report goes to standard output; death tests capture standard error, so the child points
// its standard output there first.
#define EXPECT_REPORT(statement, regex)                                                             \
    EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), statement), ::testing::ExitedWithCode(1), regex)

// A field that does not fit in the buffer is refused before any byte is touched, also where the
// offset would wrap around into the buffer.
TEST(NvtcgDeathTest, PreconditionReports)
{
    const char *room = "^fw/lib/Codecs/Generators/nvtcg/src/nvtcg:[0-9]+: Assertion failed "
                       "'\\(offset \\+ bit_len\\) <= \\(UINT32\\)\\(data_size \\* 8\\)'\n$";
    unsigned char buf[3] = {};
    unsigned short u16 = 0;
    unsigned char u8 = 0;
    EXPECT_REPORT(nvtcg_get_uint16(buf, 3, 15, 10, &u16), room);
    EXPECT_REPORT(nvtcg_get_uint8(buf, 3, 0xFFFFFFFFu, 2, &u8), room);
    EXPECT_REPORT(nvtcg_set_uint8(buf, 3, 24, 1, 1), room);
}
