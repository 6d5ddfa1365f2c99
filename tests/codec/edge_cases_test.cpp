// Edge cases of the RTCMV codec, one test per message family: messages are built bit by bit at the
// positions and widths of the message tables, decoded, and checked against the defined values and codes.
#include "RTCMV_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

// Big-endian bit stream writer, deliberately naive so that it shares nothing with the codec's primitives.
class BitWriter
{
public:
    explicit BitWriter(std::size_t bytes = 256, unsigned char fill = 0x00) : m_data(bytes, fill) {}

    // Writes the low `width` bits of value at `pos`, most significant first, and moves the cursor behind them.
    BitWriter &put(uint32_t pos, unsigned width, uint64_t value)
    {
        for (unsigned i = 0; i < width; ++i) {
            const uint32_t bit = pos + i;
            const unsigned char mask = static_cast<unsigned char>(0x80u >> (bit % 8));
            if ((value >> (width - 1 - i)) & 1u)
                m_data.at(bit / 8) |= mask;
            else
                m_data.at(bit / 8) &= static_cast<unsigned char>(~mask);
        }
        m_pos = pos + width;
        return *this;
    }
    BitWriter &add(unsigned width, uint64_t value) { return put(m_pos, width, value); }
    BitWriter &text(const char *chars)
    {
        for (; *chars; ++chars)
            add(8, static_cast<unsigned char>(*chars));
        return *this;
    }
    // Sets every bit from `pos` to the end, for bytes that a decoder must not read.
    BitWriter &garbage(uint32_t pos)
    {
        for (uint32_t bit = pos; bit < m_data.size() * 8; ++bit)
            m_data[bit / 8] |= static_cast<unsigned char>(0x80u >> (bit % 8));
        return *this;
    }

    uint32_t pos() const { return m_pos; }
    const unsigned char *data() const { return m_data.data(); }
    const std::vector<unsigned char> &bytes() const { return m_data; }

private:
    std::vector<unsigned char> m_data;
    uint32_t m_pos = 0;
};

constexpr unsigned StationId = 517;
constexpr unsigned ZCount = 4321;
constexpr unsigned SequenceNo = 5;

// A message that starts with the common 48-bit header; the cursor stands at bit 48.
BitWriter message(unsigned type, unsigned dataWords, unsigned health = 0, std::size_t bytes = 256,
                  unsigned char fill = 0x00)
{
    BitWriter w(bytes, fill);
    w.put(0, 8, 0x66).put(8, 6, type).put(14, 10, StationId).put(24, 13, ZCount);
    w.put(37, 3, SequenceNo).put(40, 5, dataWords).put(45, 3, health);
    return w;
}

template <class R>
void expectHeader(const R &r, unsigned type, unsigned dataWords, unsigned health = 0)
{
    EXPECT_EQ(r.Preamble, 0x66);
    EXPECT_EQ(r.Message_Type, type);
    EXPECT_EQ(r.Reference_Station_Id, StationId);
    EXPECT_EQ(r.Modified_Z_Count, ZCount);
    EXPECT_EQ(r.Sequence_No_, SequenceNo);
    EXPECT_EQ(r.No_Of_Data_Words, dataWords);
    EXPECT_EQ(r.Station_Health, health);
    EXPECT_EQ(r.parent, nullptr);
}

// Record storage for the dispatch, filled with a known byte before every decode and released after it.
class Decoded
{
public:
    explicit Decoded(unsigned char fill = 0x00) : m_fill(fill) { std::memset(&rec, m_fill, sizeof rec); }
    ~Decoded() { RTCMV_free_record(&rec); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;

    int32_t run(const unsigned char *buffer, uint16_t size, RTCMV_context_s *context = nullptr)
    {
        RTCMV_free_record(&rec);
        std::memset(&rec, m_fill, sizeof rec);
        return RTCMV_decode(context, buffer, size, &rec);
    }
    int32_t run(const BitWriter &w, uint16_t size, RTCMV_context_s *context = nullptr)
    {
        return run(w.data(), size, context);
    }

    RTCMV_record_u rec;

private:
    unsigned char m_fill;
};

// Enable flag of every message type: type, kind tag, context byte, mask.
struct Flag
{
    unsigned type;
    uint32_t kind;
    unsigned byte;
    unsigned char mask;
};
const Flag Flags[32] = {
    {3, 14, 1, 0x02},  {16, 15, 2, 0x01}, {17, 16, 2, 0x80}, {22, 17, 2, 0x40}, {23, 18, 2, 0x20},
    {24, 19, 2, 0x10}, {32, 20, 2, 0x08}, {39, 21, 2, 0x04}, {41, 22, 2, 0x02}, {51, 23, 3, 0x01},
    {52, 24, 3, 0x80}, {53, 25, 3, 0x40}, {57, 26, 3, 0x20}, {58, 27, 3, 0x10}, {59, 28, 3, 0x08},
    {1, 29, 3, 0x04},  {9, 30, 3, 0x02},  {15, 31, 4, 0x01}, {18, 32, 4, 0x80}, {19, 33, 4, 0x40},
    {20, 34, 4, 0x20}, {21, 35, 4, 0x10}, {31, 36, 4, 0x08}, {34, 37, 4, 0x04}, {38, 38, 4, 0x02},
    {44, 39, 5, 0x01}, {48, 40, 5, 0x80}, {49, 41, 5, 0x40}, {50, 42, 5, 0x20}, {54, 43, 5, 0x10},
    {55, 44, 5, 0x08}, {56, 45, 5, 0x04},
};

TEST(CodecEdgeCases, DispatchAndContext)
{
    RTCMV_context_s ctx;
    std::memset(&ctx, 0xAA, sizeof ctx);
    RTCMV_init_context(&ctx);
    const unsigned char initial[7] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFD, 0x00};
    EXPECT_EQ(std::memcmp(&ctx, initial, sizeof initial), 0);

    Decoded d;
    // Too short to hold a type: nothing is read, and lastType takes the byte the record held before.
    const unsigned char oneByte[1] = {0x66};
    d.rec.Message_Type_3.Message_Type = 42;
    EXPECT_EQ(RTCMV_decode(&ctx, oneByte, 1, &d.rec), -587);
    EXPECT_EQ(ctx.lastType, 42);
    EXPECT_EQ(d.rec.Message_Type_3.kind, 0u);
    EXPECT_EQ(RTCMV_decode(nullptr, oneByte, 1, &d.rec), -587);

    // Two bytes hold the type but nothing after it: every type 3 field past bit 14 is short, the last names the error.
    EXPECT_EQ(d.run(message(3, 4), 2, &ctx), -124);
    EXPECT_EQ(d.rec.Message_Type_3.kind, 14u);
    EXPECT_EQ(d.rec.Message_Type_3.bitLength, 14u);
    EXPECT_EQ(d.rec.Message_Type_3.Preamble, 0x66);

    for (unsigned unknown : {60u, 2u, 0u, 63u}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(d.run(message(unknown, 1), 256, &ctx), -587);
        EXPECT_EQ(ctx.lastType, unknown);
        EXPECT_EQ(d.run(message(unknown, 1), 256), -587);
    }

    // A disabled type 1 touches nothing but the type byte of the record.
    RTCMV_context_s noType1;
    RTCMV_init_context(&noType1);
    noType1.enable[3] &= static_cast<unsigned char>(~0x04);
    alignas(RTCMV_record_u) unsigned char storage[sizeof(RTCMV_record_u)];
    std::memset(storage, 0xA5, sizeof storage);
    EXPECT_EQ(RTCMV_decode(&noType1, message(1, 5).data(), 21, storage), -570);
    std::vector<unsigned char> untouched(sizeof storage, 0xA5);
    untouched[offsetof(RTCMV_Message_Type_1_s, Message_Type)] = 1;
    EXPECT_EQ(std::vector<unsigned char>(storage, storage + sizeof storage), untouched);

    // Each type answers to exactly its own flag; without a context every type passes.
    for (const Flag &f : Flags) {
        SCOPED_TRACE(f.type);
        const int32_t disabled = -541 - int32_t(f.kind);
        const BitWriter w = message(f.type, 1);
        RTCMV_context_s all;
        RTCMV_init_context(&all);
        const int32_t bits = d.run(w, 256, &all);
        EXPECT_GT(bits, 0);
        EXPECT_EQ(d.rec.Message_Type_3.kind, f.kind);

        RTCMV_context_s off = all;
        off.enable[f.byte] &= static_cast<unsigned char>(~f.mask);
        EXPECT_EQ(d.run(w, 256, &off), disabled);

        RTCMV_context_s only;
        std::memset(&only, 0, sizeof only);
        only.enable[f.byte] = f.mask;
        EXPECT_EQ(d.run(w, 256, &only), bits);
        std::memset(only.enable, 0xFF, sizeof only.enable);
        only.enable[f.byte] = static_cast<unsigned char>(~f.mask);
        EXPECT_EQ(d.run(w, 256, &only), disabled);

        EXPECT_EQ(d.run(w, 256, nullptr), bits);
        EXPECT_EQ(d.rec.Message_Type_3.kind, f.kind);
    }

    // A message may be shorter than its buffer: trailing bytes are not read.
    BitWriter t3 = message(3, 4, 0, 28);
    t3.add(32, uint32_t(-123456789)).add(32, 987654321).add(32, 0xFFFFFFFFu);
    ASSERT_EQ(t3.pos(), 144u);
    t3.garbage(144);
    EXPECT_EQ(d.run(t3, 28, &ctx), 144);
    expectHeader(d.rec.Message_Type_3, 3, 4);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_X, -123456789);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_Y, 987654321);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_Z, -1);
    EXPECT_EQ(d.rec.Message_Type_3.bitLength, 144u);

    // A per-record decoder given an expected size rejects a longer record and skips to the end of a shorter one.
    RTCMV_Message_Type_3_s m3;
    uint32_t offset = 0;
    EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, t3.data(), 28, &offset, nullptr, 100, &m3), -125);
    offset = 0;
    EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, t3.data(), 28, &offset, nullptr, 200, &m3), 200);
    EXPECT_EQ(offset, 200u);
    EXPECT_EQ(m3.ECEF_Z, -1);
}

// One 40-bit correction block.
struct Correction
{
    unsigned scale, udre, satellite;
    uint16_t prc;
    uint8_t rrc, issue;
    short prcValue;
    signed char rrcValue;
};
const Correction Corrections[3] = {
    {0, 1, 5, 0x8000, 0xFF, 17, -32768, -1},
    {1, 3, 31, 0x7FFF, 0x80, 255, 32767, -128},
    {0, 2, 12, 0x0123, 0x05, 0xAA, 291, 5},
};

void addCorrection(BitWriter &w, const Correction &c)
{
    w.add(1, c.scale).add(2, c.udre).add(5, c.satellite).add(16, c.prc).add(8, c.rrc).add(8, c.issue);
}

void expectCorrection(const RTCMV_DGNSS_s &block, const Correction &c, const void *parent)
{
    EXPECT_EQ(block.kind, 2u);
    EXPECT_EQ(block.bitLength, 40u);
    EXPECT_EQ(block.parent, parent);
    EXPECT_EQ(block.Scale_Factor, c.scale);
    EXPECT_EQ(block.UDRE, c.udre);
    EXPECT_EQ(block.Satellite_Id, c.satellite);
    EXPECT_EQ(block.PRC, c.prcValue);
    EXPECT_EQ(block.RRC, c.rrcValue);
    EXPECT_EQ(block.Issue_Of_Data, c.issue);
}

template <class R>
void expectThreeCorrections(const R &r, unsigned type, uint32_t kind)
{
    EXPECT_EQ(r.kind, kind);
    expectHeader(r, type, 5);
    EXPECT_EQ(r.bitLength, 168u);
    ASSERT_EQ(r.Ns, 3);
    for (int i = 0; i < 3; ++i)
        expectCorrection(r.Corrections[i], Corrections[i], &r);
}

TEST(CodecEdgeCases, HeaderAndCorrections)
{
    Decoded d;
    const RTCMV_Message_Type_1_s &m1 = d.rec.Message_Type_1;

    // Four bytes: the Z-count is short, so the sequence number and data-word count are read from
    // where it would have stood (its top 3 and next 5 bits); station health is short and names the error.
    EXPECT_EQ(d.run(message(1, 5), 4), -371);
    EXPECT_EQ(m1.kind, 29u);
    EXPECT_EQ(m1.Reference_Station_Id, StationId);
    EXPECT_EQ(m1.Modified_Z_Count, 0);
    EXPECT_EQ(m1.Sequence_No_, ZCount >> 10);
    EXPECT_EQ(m1.No_Of_Data_Words, (ZCount >> 5) & 31);
    EXPECT_EQ(m1.Ns, ((ZCount >> 5) & 31) * 3 / 5);
    EXPECT_EQ(m1.bitLength, 32u);

    BitWriter w = message(1, 5);
    for (const Correction &c : Corrections)
        addCorrection(w, c);
    ASSERT_EQ(w.pos(), 168u);
    EXPECT_EQ(d.run(w, 21), 168);
    expectThreeCorrections(m1, 1, 29);

    // The same bits under the other correction types.
    w.put(8, 6, 9);
    EXPECT_EQ(d.run(w, 21), 168);
    expectThreeCorrections(d.rec.Message_Type_9, 9, 30);
    w.put(8, 6, 31);
    EXPECT_EQ(d.run(w, 21), 168);
    expectThreeCorrections(d.rec.Message_Type_31, 31, 36);
    w.put(8, 6, 34);
    EXPECT_EQ(d.run(w, 21), 168);
    expectThreeCorrections(d.rec.Message_Type_34, 34, 37);

    // The buffer ends where the third block's Issue_Of_Data begins (bit 160).
    w.put(8, 6, 1);
    EXPECT_EQ(d.run(w, 20), -14);
    ASSERT_NE(m1.Corrections, nullptr);
    expectCorrection(m1.Corrections[0], Corrections[0], &m1);
    expectCorrection(m1.Corrections[1], Corrections[1], &m1);
    EXPECT_EQ(m1.Corrections[2].PRC, Corrections[2].prcValue);
    EXPECT_EQ(m1.Corrections[2].RRC, Corrections[2].rrcValue);
    EXPECT_EQ(m1.bitLength, 128u);

    // No whole block: 48 bits and an empty (but allocated) array; the fill word is not read.
    for (unsigned words : {0u, 1u}) {
        SCOPED_TRACE(words);
        EXPECT_EQ(d.run(message(1, words).garbage(48), 9), 48);
        EXPECT_EQ(m1.Ns, 0);
        EXPECT_NE(m1.Corrections, nullptr);
        EXPECT_EQ(m1.bitLength, 48u);
    }

    // Two words hold one block; the last 8 bits are fill.
    BitWriter two = message(1, 2, 0, 12);
    addCorrection(two, Corrections[1]);
    two.garbage(88);
    EXPECT_EQ(d.run(two, 12), 88);
    ASSERT_EQ(m1.Ns, 1);
    expectCorrection(m1.Corrections[0], Corrections[1], &m1);

    // 31 words hold 18 blocks (720 of 744 bits).
    BitWriter full = message(1, 31, 7, 99);
    for (unsigned i = 0; i < 18; ++i)
        addCorrection(full, Correction{i & 1, i % 4, i + 1, uint16_t(i * 1000), uint8_t(i), uint8_t(200 + i), 0, 0});
    full.garbage(768);
    EXPECT_EQ(d.run(full, 99), 768);
    expectHeader(m1, 1, 31, 7);
    ASSERT_EQ(m1.Ns, 18);
    EXPECT_EQ(m1.bitLength, 768u);
    for (unsigned i = 0; i < 18; ++i) {
        EXPECT_EQ(m1.Corrections[i].Satellite_Id, i + 1);
        EXPECT_EQ(m1.Corrections[i].PRC, short(i * 1000));
        EXPECT_EQ(m1.Corrections[i].Issue_Of_Data, 200 + i);
    }
}

// Writes the three measurement-time fields of the RTK messages.
BitWriter rtkMessage(unsigned type, unsigned dataWords, std::size_t bytes = 256)
{
    BitWriter w = message(type, dataWords, 0, bytes);
    w.add(2, 2).add(2, 1).add(20, 0xABCDE);
    return w;
}

TEST(CodecEdgeCases, RtkMessages)
{
    Decoded d(0xA5);  // prefilled, so that a PRN of 0 comes from the decoder
    const RTCMV_Message_Type_18_s &m18 = d.rec.Message_Type_18;

    EXPECT_EQ(d.run(rtkMessage(18, 1).garbage(72), 9), 72);
    expectHeader(m18, 18, 1);
    EXPECT_EQ(m18.Frequency, 2);
    EXPECT_EQ(m18.Smoothing_Interval, 1);
    EXPECT_EQ(m18.GNSS_Time_Of_Measurement, 0xABCDEu);
    EXPECT_EQ(m18.Ns, 0);
    EXPECT_EQ(m18.bitLength, 72u);

    // Type 18 block: phase bits all ones are -1; the same bits as a type 19 pseudorange are unsigned.
    BitWriter w = rtkMessage(18, 3, 15);
    w.add(1, 1).add(1, 0).add(1, 1).add(5, 17).add(3, 5).add(5, 19).add(32, 0xFFFFFFFFu);
    ASSERT_EQ(w.pos(), 120u);
    EXPECT_EQ(d.run(w, 15), 120);
    ASSERT_EQ(m18.Ns, 1);
    const RTCMV_RTK_18_s &b18 = m18.Data[0];
    EXPECT_EQ(b18.kind, 3u);
    EXPECT_EQ(b18.parent, &m18);
    EXPECT_EQ(b18.bitLength, 48u);
    EXPECT_EQ(b18.Multiple_Message, 1);
    EXPECT_EQ(b18.Code, 0);
    EXPECT_EQ(b18.Constellation, 1);
    EXPECT_EQ(b18.Satellite_Id, 17);
    EXPECT_EQ(b18.PRN, 0);
    EXPECT_EQ(b18.Data_Quality, 5);
    EXPECT_EQ(b18.Cumulative_Loss_Of_Continuity, 19);
    EXPECT_EQ(b18.Carrier_Phase, -1);

    w.put(8, 6, 19);
    EXPECT_EQ(d.run(w, 15), 120);
    const RTCMV_RTK_19_s &b19 = d.rec.Message_Type_19.Data[0];
    EXPECT_EQ(b19.kind, 4u);
    EXPECT_EQ(b19.Satellite_Id, 17);
    EXPECT_EQ(b19.PRN, 0);
    EXPECT_EQ(b19.Data_Quality, (5u << 1) | (19u >> 4));
    EXPECT_EQ(b19.Multipath_Error, 19u & 15);
    EXPECT_EQ(b19.Pseudorange, 4294967295u);

    // Four words: the second block runs 24 bits past the data words.
    BitWriter four = rtkMessage(18, 4, 21);
    for (int i = 0; i < 2; ++i)
        four.add(1, 0).add(1, 1).add(1, 0).add(5, 3 + i).add(3, 1).add(5, 2).add(32, 1000 + i);
    EXPECT_EQ(d.run(four, 18), -23);
    EXPECT_EQ(m18.Ns, 2);
    EXPECT_EQ(m18.Data[0].Carrier_Phase, 1000);
    EXPECT_EQ(d.run(four, 21), 168);
    EXPECT_EQ(m18.Data[1].Satellite_Id, 4);
    EXPECT_EQ(m18.Data[1].Carrier_Phase, 1001);
    EXPECT_EQ(m18.bitLength, 168u);
    four.put(40, 5, 5);  // the same bits are a complete five-word message
    EXPECT_EQ(d.run(four, 21), 168);
    EXPECT_EQ(m18.Ns, 2);

    // Type 20 block: the 24-bit correction 0x800000 is the most negative value.
    BitWriter t20 = rtkMessage(20, 3, 15);
    t20.add(1, 0).add(1, 0).add(1, 0).add(5, 9).add(3, 7).add(5, 31).add(8, 200).add(24, 0x800000);
    EXPECT_EQ(d.run(t20, 15), 120);
    const RTCMV_RTK_20_s &b20 = d.rec.Message_Type_20.Data[0];
    EXPECT_EQ(b20.kind, 5u);
    EXPECT_EQ(b20.PRN, 0);
    EXPECT_EQ(b20.Data_Quality, 7);
    EXPECT_EQ(b20.Cumulative_Loss_Of_Continuity, 31);
    EXPECT_EQ(b20.Issue_Of_Data_Time_Of_Day, 200);
    EXPECT_EQ(b20.Carrier_Phase_Correction, -8388608);

    // Type 21 blocks: the pseudorange factor bit (block bit 12) selects the scale.
    BitWriter t21 = rtkMessage(21, 5, 21);
    t21.add(1, 1).add(1, 1).add(1, 0).add(5, 30).add(1, 1).add(3, 6).add(1, 1).add(3, 5);
    t21.add(8, 99).add(16, 0x8000).add(8, 0x7F);
    t21.add(1, 0).add(1, 0).add(1, 1).add(5, 2).add(1, 0).add(3, 1).add(1, 0).add(3, 2);
    t21.add(8, 1).add(16, 0x7FFF).add(8, 0x80);
    ASSERT_EQ(t21.pos(), 168u);
    EXPECT_EQ(d.run(t21, 21), 168);
    const RTCMV_Message_Type_21_s &m21 = d.rec.Message_Type_21;
    ASSERT_EQ(m21.Ns, 2);
    EXPECT_EQ(m21.Data[0].kind, 6u);
    EXPECT_EQ(m21.Data[0].Satellite_Id, 30);
    EXPECT_EQ(m21.Data[0].PRN, 0);
    EXPECT_EQ(m21.Data[0].Range_Rate_Correction_Factor, 1);
    EXPECT_EQ(m21.Data[0].Data_Quality, 6);
    EXPECT_EQ(m21.Data[0].Pseudorange_Correction_Factor, 1);
    EXPECT_EQ(m21.Data[0].Multipath_Error, 5);
    EXPECT_EQ(m21.Data[0].Issue_Of_Data_Time_Of_Day, 99);
    EXPECT_EQ(m21.Data[0].Pseudorange_Correction, -32768);
    EXPECT_EQ(m21.Data[0].Range_Rate_Correction, 127);
    EXPECT_DOUBLE_EQ(m21.Data[0].PSF, 0.32);
    EXPECT_EQ(m21.Data[1].Pseudorange_Correction_Factor, 0);
    EXPECT_EQ(m21.Data[1].Pseudorange_Correction, 32767);
    EXPECT_EQ(m21.Data[1].Range_Rate_Correction, -128);
    EXPECT_DOUBLE_EQ(m21.Data[1].PSF, 0.02);
    EXPECT_EQ(m21.Data[1].PRN, 0);

    // A block cut after its satellite id: everything after is short, the last field names the error,
    // and PSF stays 0.0 since the factor bit was never read.
    t21.put(40, 5, 3);
    EXPECT_EQ(d.run(t21, 10), -55);
    ASSERT_EQ(m21.Ns, 1);
    EXPECT_EQ(m21.Data[0].Satellite_Id, 30);
    EXPECT_EQ(m21.Data[0].PRN, 0);
    EXPECT_EQ(m21.Data[0].PSF, 0.0);
}

TEST(CodecEdgeCases, ReferenceStationMessages)
{
    // Type 22: the word count alone decides how many words are read; absent fields stay untouched.
    Decoded d;
    const RTCMV_Message_Type_22_s &m22 = d.rec.Message_Type_22;
    BitWriter w = message(22, 1, 0, 15);
    w.put(48, 8, 0xFD).put(56, 8, 127).put(64, 8, 0x80).garbage(72);
    EXPECT_EQ(d.run(w, 15), 72);
    EXPECT_EQ(m22.L1_ECEF_Delta_X, -3);
    EXPECT_EQ(m22.L1_ECEF_Delta_Y, 127);
    EXPECT_EQ(m22.L1_ECEF_Delta_Z, -128);
    EXPECT_EQ(m22.Reserved + m22.Constellation + m22.AT_Indicator + m22.ARP_Indicator + m22.Height_Indicator, 0);
    EXPECT_EQ(m22.Phase_Center_Height, 0u);
    EXPECT_EQ(m22.L2_ECEF_Delta_X | m22.L2_ECEF_Delta_Y | m22.L2_ECEF_Delta_Z, 0);

    w.put(40, 5, 2).put(72, 2, 2).put(74, 1, 1).put(75, 1, 0).put(76, 1, 1).put(77, 1, 0).put(78, 18, 0x3FFFF);
    EXPECT_EQ(d.run(w, 15), 96);
    EXPECT_EQ(m22.Reserved, 2);
    EXPECT_EQ(m22.Constellation, 1);
    EXPECT_EQ(m22.AT_Indicator, 0);
    EXPECT_EQ(m22.ARP_Indicator, 1);
    EXPECT_EQ(m22.Height_Indicator, 0);
    EXPECT_EQ(m22.Phase_Center_Height, 262143u);
    EXPECT_EQ(m22.L2_ECEF_Delta_X | m22.L2_ECEF_Delta_Y | m22.L2_ECEF_Delta_Z, 0);
    EXPECT_EQ(m22.bitLength, 96u);

    w.put(40, 5, 3).put(96, 8, 1).put(104, 8, 0xFF).put(112, 8, 0x9C);
    EXPECT_EQ(d.run(w, 15), 120);
    EXPECT_EQ(m22.Phase_Center_Height, 262143u);
    EXPECT_EQ(m22.L2_ECEF_Delta_X, 1);
    EXPECT_EQ(m22.L2_ECEF_Delta_Y, -1);
    EXPECT_EQ(m22.L2_ECEF_Delta_Z, -100);

    // Type 23: prefilled storage shows that the skipped serial number is cleared to an empty string.
    Decoded p(0xA5);
    const RTCMV_Message_Type_23_s &m23 = p.rec.Message_Type_23;
    BitWriter t23 = message(23, 3, 0, 20);
    t23.put(48, 1, 1).put(49, 1, 1).put(50, 1, 0).put(51, 5, 4).text("ABCD");
    ASSERT_EQ(t23.pos(), 88u);
    t23.put(88, 8, 200).put(96, 3, 5).put(99, 5, 7).text("SN12345");
    EXPECT_EQ(p.run(t23, 20), 104);
    EXPECT_EQ(m23.kind, 18u);
    EXPECT_EQ(m23.Reserved, 1);
    EXPECT_EQ(m23.ARP_Indicator, 1);
    EXPECT_EQ(m23.Serial_Flag, 0);
    EXPECT_EQ(m23.NAD, 4);
    EXPECT_STREQ(m23.Antenna_Descriptor, "ABCD");
    EXPECT_EQ(m23.Setup_Id, 200);
    EXPECT_EQ(m23.Reserved2, 5);
    EXPECT_EQ(m23.NAS, 7);
    EXPECT_STREQ(m23.Antenna_Serial_Number, "");
    EXPECT_EQ(m23.bitLength, 104u);

    t23.put(50, 1, 1);
    EXPECT_EQ(p.run(t23, 20), 160);
    EXPECT_STREQ(m23.Antenna_Serial_Number, "SN12345");

    // No descriptor: Setup_Id follows NAD directly.
    BitWriter empty = message(23, 1, 0, 9);
    empty.put(48, 3, 0).put(51, 5, 0).put(56, 8, 77).put(64, 3, 0).put(67, 5, 0);
    EXPECT_EQ(p.run(empty, 9), 72);
    EXPECT_STREQ(m23.Antenna_Descriptor, "");
    EXPECT_EQ(m23.Setup_Id, 77);
    EXPECT_STREQ(m23.Antenna_Serial_Number, "");

    // Type 24: 38-bit coordinates and the optional antenna height.
    const RTCMV_Message_Type_24_s &m24 = p.rec.Message_Type_24;
    BitWriter t24 = message(24, 7, 0, 24);
    t24.put(48, 38, 0x3FFFFFFFFFull).put(86, 2, 2).put(88, 38, 1ull << 37).put(126, 2, 1);
    t24.put(128, 38, 123456789012ull).put(166, 1, 1).put(167, 1, 0).garbage(168);
    EXPECT_EQ(p.run(t24, 24), 168);
    EXPECT_EQ(m24.kind, 19u);
    EXPECT_EQ(m24.ECEF_X, -1);
    EXPECT_EQ(m24.Reserved, 2);
    EXPECT_EQ(m24.ECEF_Y, -137438953472LL);
    EXPECT_EQ(m24.Reserved2, 1);
    EXPECT_EQ(m24.ECEF_Z, 123456789012LL);
    EXPECT_EQ(m24.Constellation, 1);
    EXPECT_EQ(m24.Height_Indicator, 0);
    EXPECT_EQ(m24.Reserved3, 0);
    EXPECT_EQ(m24.bitLength, 168u);

    t24.put(167, 1, 1).put(168, 18, 200000).put(186, 6, 0x2A);
    EXPECT_EQ(p.run(t24, 24), 192);
    EXPECT_EQ(m24.Antenna_Height, 200000u);
    EXPECT_EQ(m24.Reserved3, 0x2A);

    // Types 3 and 32: a buffer ending inside ECEF_Z keeps the two coordinates before it.
    BitWriter t3 = message(3, 4, 0, 18);
    t3.put(48, 32, 0x80000000u).put(80, 32, 0x7FFFFFFFu).put(112, 32, 42);
    EXPECT_EQ(d.run(t3, 17), -124);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_X, INT_MIN);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_Y, INT_MAX);
    EXPECT_EQ(d.rec.Message_Type_3.ECEF_Z, 0);
    t3.put(8, 6, 32);
    EXPECT_EQ(d.run(t3, 18), 144);
    EXPECT_EQ(d.rec.Message_Type_32.kind, 20u);
    EXPECT_EQ(d.rec.Message_Type_32.ECEF_Z, 42);
    EXPECT_EQ(d.run(t3, 17), -246);
}

TEST(CodecEdgeCases, IonosphereTextAndEphemeris)
{
    // Type 15: 36-bit blocks, two per three words.
    Decoded d(0xA5);
    const RTCMV_Message_Type_15_s &m15 = d.rec.Message_Type_15;
    BitWriter w = message(15, 3, 0, 18);
    w.add(2, 3).add(1, 1).add(5, 9).add(14, 0x3FFF).add(14, 0x2000);
    w.add(2, 0).add(1, 0).add(5, 31).add(14, 1).add(14, 0x1FFF);
    ASSERT_EQ(w.pos(), 120u);
    EXPECT_EQ(d.run(w, 15), 120);
    ASSERT_EQ(m15.Ns, 2);
    EXPECT_EQ(m15.Corrections[0].kind, 1u);
    EXPECT_EQ(m15.Corrections[0].parent, &m15);
    EXPECT_EQ(m15.Corrections[0].bitLength, 36u);
    EXPECT_EQ(m15.Corrections[0].R, 3);
    EXPECT_EQ(m15.Corrections[0].G, 1);
    EXPECT_EQ(m15.Corrections[0].Satellite_Id, 9);
    EXPECT_EQ(m15.Corrections[0].Delay, 16383);
    EXPECT_EQ(m15.Corrections[0].Rate_Of_Change, -8192);
    EXPECT_EQ(m15.Corrections[1].Satellite_Id, 31);
    EXPECT_EQ(m15.Corrections[1].Delay, 1);
    EXPECT_EQ(m15.Corrections[1].Rate_Of_Change, 8191);
    w.put(40, 5, 4).garbage(120);  // four words still hold two whole blocks
    EXPECT_EQ(d.run(w, 18), 120);
    EXPECT_EQ(m15.Ns, 2);
    EXPECT_EQ(m15.bitLength, 120u);

    // Type 16: every character slot is read, up to the capacity of 90.
    const RTCMV_Message_Type_16_s &m16 = d.rec.Message_Type_16;
    EXPECT_EQ(d.run(message(16, 0).garbage(48), 20), 48);
    EXPECT_EQ(m16.Message_Length, 0);
    EXPECT_STREQ(m16.Message, "");

    std::string text;
    for (int i = 0; i < 93; ++i)
        text += char('a' + i % 26);
    text[5] = char(0xE9);
    BitWriter t16 = message(16, 30, 0, 99);
    t16.text(text.c_str());
    EXPECT_EQ(d.run(t16, 99), 768);
    EXPECT_EQ(m16.Message_Length, 90);
    EXPECT_EQ(std::string(m16.Message), text.substr(0, 90));
    EXPECT_EQ(m16.Message[5], -23);
    EXPECT_EQ(d.run(t16, 95), -134);  // the last character is short

    t16.put(40, 5, 31);
    EXPECT_EQ(d.run(t16, 99), -135);
    EXPECT_EQ(m16.Message_Length, 93);
    EXPECT_EQ(std::string(m16.Message), text.substr(0, 90));

    // Type 17: all 38 fields in wire order.
    BitWriter t17 = message(17, 20, 0, 66);
    t17.add(10, 1000).add(14, 0x2000).add(8, 77).add(16, 65535).add(16, 0x8000).add(8, 0x80);
    t17.add(16, 0x7FFF).add(16, 0xFFFF).add(16, 1234);
    ASSERT_EQ(t17.pos(), 168u);
    t17.add(32, 0xFFFFFFFFu).add(16, 0xFFFE).add(32, 0xA10D4B2Cu).add(16, 40000).add(32, 0x80000000u);
    t17.add(16, 5).add(32, 0x7FFFFFFFu).add(16, 0x8001).add(32, 0xFFFFFFFFu).add(16, 300);
    t17.add(24, 0x800000).add(32, 123456789).add(10, 1023);
    ASSERT_EQ(t17.pos(), 474u);
    t17.add(22, 0x200000).add(5, 31).add(3, 2).add(8, 0xFF).add(2, 3).add(4, 9).add(6, 0x25).add(1, 1).add(3, 6);
    ASSERT_EQ(t17.pos(), 528u);
    const RTCMV_Message_Type_17_s &m17 = d.rec.Message_Type_17;
    EXPECT_EQ(d.run(t17, 66), 528);
    expectHeader(m17, 17, 20);
    EXPECT_EQ(m17.Week_Number, 1000);
    EXPECT_EQ(m17.IDOT, -8192);
    EXPECT_EQ(m17.IODE, 77);
    EXPECT_EQ(m17.t_oc, 65535);
    EXPECT_EQ(m17.a_f1, -32768);
    EXPECT_EQ(m17.a_f2, -128);
    EXPECT_EQ(m17.C_rs, 32767);
    EXPECT_EQ(m17.DEL_N, -1);
    EXPECT_EQ(m17.C_uc, 1234);
    EXPECT_EQ(m17.e, 4294967295u);
    EXPECT_EQ(m17.C_us, -2);
    EXPECT_EQ(m17.SQRT_A, 0xA10D4B2Cu);
    EXPECT_EQ(m17.t_oe, 40000);
    EXPECT_EQ(m17.OMEGA_0, INT_MIN);
    EXPECT_EQ(m17.C_ic, 5);
    EXPECT_EQ(m17.i_0, INT_MAX);
    EXPECT_EQ(m17.C_is, -32767);
    EXPECT_EQ(m17.omega, -1);
    EXPECT_EQ(m17.C_rc, 300);
    EXPECT_EQ(m17.OMEGADOT, -8388608);
    EXPECT_EQ(m17.M_0, 123456789);
    EXPECT_EQ(m17.IODC, 1023);
    EXPECT_EQ(m17.a_f0, -2097152);
    EXPECT_EQ(m17.PRN_ID, 31);
    EXPECT_EQ(m17.FILL1, 2);
    EXPECT_EQ(m17.T_gd, -1);
    EXPECT_EQ(m17.Code_On_L2, 3);
    EXPECT_EQ(m17.SV_Accuracy, 9);
    EXPECT_EQ(m17.SV_Health, 0x25);
    EXPECT_EQ(m17.L2P_Data_Flag, 1);
    EXPECT_EQ(m17.FILL2, 6);
    EXPECT_EQ(m17.bitLength, 528u);
    t17.put(40, 5, 0);  // the field list is fixed whatever the word count says
    EXPECT_EQ(d.run(t17, 66), 528);

    // 520 bits: SV_Health is short, L2P_Data_Flag is read at its place (its top bit), FILL2 is short
    // and keeps the decoder's initial 5.
    t17.put(518, 6, 0x1A);
    EXPECT_EQ(d.run(t17, 65), -175);
    EXPECT_EQ(m17.SV_Accuracy, 9);
    EXPECT_EQ(m17.L2P_Data_Flag, 0);
    EXPECT_EQ(m17.FILL2, 5);
    t17.put(518, 6, 0x25);
    EXPECT_EQ(d.run(t17, 65), -175);
    EXPECT_EQ(m17.L2P_Data_Flag, 1);
}

TEST(CodecEdgeCases, OrbitCorrectionMessages)
{
    Decoded d;

    // Type 48: one JPL_48 block per slot bit.
    const RTCMV_Message_Type_48_s &m48 = d.rec.Message_Type_48;
    BitWriter t48 = message(48, 2, 0, 19);
    t48.put(48, 2, 1).put(50, 2, 3).put(52, 4, 0xA).put(56, 24, 0);
    EXPECT_EQ(d.run(BitWriter(t48).garbage(80), 19), 80);
    EXPECT_EQ(m48.Version, 1);
    EXPECT_EQ(m48.Source, 3);
    EXPECT_EQ(m48.Spare, 0xA);
    EXPECT_EQ(m48.Ns, 0);
    EXPECT_EQ(m48.bitLength, 80u);

    t48.put(56, 24, 0x400000).add(7, 100).add(13, 0x1000).add(13, 0x0FFF).add(13, 1);
    t48.add(6, 0x20).add(6, 0x1F).add(6, 0x3F).add(1, 1);
    ASSERT_EQ(t48.pos(), 145u);
    EXPECT_EQ(d.run(t48, 19), 145);
    ASSERT_EQ(m48.Ns, 1);
    const RTCMV_JPL_48_s &j = m48.Corrections[0];
    EXPECT_EQ(j.kind, 9u);
    EXPECT_EQ(j.parent, &m48);
    EXPECT_EQ(j.bitLength, 65u);
    EXPECT_EQ(j.Tb, 100);
    EXPECT_EQ(j.Delta_X, -4096);
    EXPECT_EQ(j.Delta_Y, 4095);
    EXPECT_EQ(j.Delta_Z, 1);
    EXPECT_EQ(j.Rate_of_Change_X, -32);
    EXPECT_EQ(j.Rate_of_Change_Y, 31);
    EXPECT_EQ(j.Rate_of_Change_Z, -1);
    EXPECT_EQ(j.Scale_Factor, 1);

    // Type 49: 21-bit blocks.
    BitWriter t49 = message(49, 2, 0, 16);
    t49.put(48, 8, 0).put(56, 24, 0x000005).add(7, 127).add(13, 0x1000).add(1, 1).add(7, 1).add(13, 0xFFF).add(1, 0);
    EXPECT_EQ(d.run(t49, 16), 122);
    const RTCMV_Message_Type_49_s &m49 = d.rec.Message_Type_49;
    ASSERT_EQ(m49.Ns, 2);
    EXPECT_EQ(m49.Corrections[0].kind, 10u);
    EXPECT_EQ(m49.Corrections[0].Tb, 127);
    EXPECT_EQ(m49.Corrections[0].Delta_T, -4096);
    EXPECT_EQ(m49.Corrections[0].SF, 1);
    EXPECT_EQ(m49.Corrections[1].Delta_T, 4095);
    EXPECT_EQ(m49.Corrections[1].bitLength, 21u);

    // Type 38: the bitmap counts three satellites, but the message always holds 8 blocks.
    const RTCMV_Message_Type_38_s &m38 = d.rec.Message_Type_38;
    BitWriter t38 = message(38, 25, 0, 75);
    t38.put(48, 2, 2).put(50, 2, 1).put(52, 4, 0).put(56, 24, 0x800101);
    for (unsigned i = 0; i < 8; ++i)
        t38.add(7, i).add(13, i).add(13, 0).add(13, 0).add(6, 0).add(6, 0).add(6, 0).add(1, i & 1);
    ASSERT_EQ(t38.pos(), 600u);
    EXPECT_EQ(d.run(t38, 75), 600);
    EXPECT_EQ(m38.Ns, 3);
    EXPECT_EQ(m38.Corrections[7].Tb, 7);
    EXPECT_EQ(m38.Corrections[7].Delta_X, 7);
    EXPECT_EQ(m38.Corrections[7].Scale_Factor, 1);
    EXPECT_EQ(m38.bitLength, 600u);
    // Three satellites' blocks end at bit 275, which no whole-byte buffer can end on. With 280 bits the
    // fourth block has room for its 1-bit Scale_Factor only, so its Rate_of_Change_Z names the error;
    // with 272 bits the same happens inside the third block. The Scale_Factor itself is short only
    // where a block's first 64 bits end a byte, as the first block's do with 144 bits.
    EXPECT_EQ(d.run(t38, 35), -84);
    EXPECT_EQ(m38.Ns, 3);
    EXPECT_EQ(m38.Corrections[2].Tb, 2);
    EXPECT_EQ(m38.Corrections[2].Scale_Factor, 0);
    EXPECT_EQ(m38.Corrections[2].bitLength, 65u);
    EXPECT_EQ(m38.bitLength, 80u + 3 * 65);
    EXPECT_EQ(d.run(t38, 34), -84);
    EXPECT_EQ(d.run(t38, 18), -85);
    EXPECT_EQ(m38.Corrections[0].Rate_of_Change_Z, 0);
    EXPECT_EQ(m38.bitLength, 80u);

    // Type 44: Source is bit 2 of Station_Health; 8 WACorrection blocks.
    const RTCMV_Message_Type_44_s &m44 = d.rec.Message_Type_44;
    BitWriter t44 = message(44, 20, 4, 66);
    for (unsigned i = 0; i < 8; ++i)
        t44.add(8, 10 + i).add(11, 0x400).add(5, 17).add(1, 1).add(11, 0x3FF).add(1, 0).add(11, 3).add(12, 0x800);
    ASSERT_EQ(t44.pos(), 528u);
    EXPECT_EQ(d.run(t44, 66), 528);
    EXPECT_EQ(m44.Source, 1);
    const RTCMV_WACorrection_s &wa = m44.Corrections[7];
    EXPECT_EQ(wa.kind, 7u);
    EXPECT_EQ(wa.IODE, 17);
    EXPECT_EQ(wa.Delta_X, -1024);
    EXPECT_EQ(wa.PRN, 17);
    EXPECT_EQ(wa.SFO, 1);
    EXPECT_EQ(wa.Delta_Y, 1023);
    EXPECT_EQ(wa.SFC, 0);
    EXPECT_EQ(wa.Delta_Z, 3);
    EXPECT_EQ(wa.Delta_T, -2048);
    t44.put(45, 3, 3);
    EXPECT_EQ(d.run(t44, 66), 528);
    EXPECT_EQ(m44.Source, 0);

    // Type 50: 8 JPL_46 blocks whatever the bitmap says.
    BitWriter t50 = message(50, 24, 0, 72);
    t50.put(48, 2, 3).put(50, 2, 0).put(52, 12, 0xFFF).put(64, 32, 0xFFFFFFFFu);
    for (unsigned i = 0; i < 8; ++i)
        t50.add(8, i).add(1, 1).add(11, 0x400).add(11, 0x3FF).add(11, 0).add(6, 0x20).add(6, 0x1F).add(6, 0x3F);
    ASSERT_EQ(t50.pos(), 576u);
    EXPECT_EQ(d.run(t50, 72), 576);
    const RTCMV_Message_Type_50_s &m50 = d.rec.Message_Type_50;
    EXPECT_EQ(m50.Reserved, 0xFFF);
    EXPECT_EQ(m50.Ns, 32);
    EXPECT_EQ(m50.Corrections[7].kind, 8u);
    EXPECT_EQ(m50.Corrections[7].IODE, 7);
    EXPECT_EQ(m50.Corrections[7].Delta_X, -1024);
    EXPECT_EQ(m50.Corrections[7].Delta_Y, 1023);
    EXPECT_EQ(m50.Corrections[7].Rate_of_Change_X, -32);
    EXPECT_EQ(m50.Corrections[7].Rate_of_Change_Z, -1);

    // Type 55: 3-bit signed refinements.
    BitWriter t55 = message(55, 6, 0, 24);
    for (unsigned i = 0; i < 8; ++i)
        t55.add(3, 4).add(3, 3).add(3, 7).add(3, 0).add(3, 5).add(3, 2);
    ASSERT_EQ(t55.pos(), 192u);
    EXPECT_EQ(d.run(t55, 24), 192);
    const RTCMV_OCDS_55_s &r = d.rec.Message_Type_55.Refinements[7];
    EXPECT_EQ(r.kind, 12u);
    EXPECT_EQ(r.Delta_X, -4);
    EXPECT_EQ(r.Delta_Y, 3);
    EXPECT_EQ(r.Delta_Z, -1);
    EXPECT_EQ(r.Rate_of_Change_X, 0);
    EXPECT_EQ(r.Rate_of_Change_Y, -3);
    EXPECT_EQ(r.Rate_of_Change_Z, 2);

    // Type 54: both 35-bit bitmaps precede the 35 bias blocks.
    BitWriter t54 = message(54, 28, 0, 84);
    t54.put(48, 2, 1).put(50, 3, 5).put(53, 3, 6).put(56, 35, 0x7FFFFFFFFull).put(91, 35, 0x555555555ull);
    for (unsigned i = 0; i < 35; ++i)
        t54.add(11, uint32_t(int(i) - 17) & 0x7FF).add(4, i % 16);
    ASSERT_EQ(t54.pos(), 651u);
    EXPECT_EQ(d.run(t54, 84), 651);
    const RTCMV_Message_Type_54_s &m54 = d.rec.Message_Type_54;
    EXPECT_EQ(m54.Source, 1);
    EXPECT_EQ(m54.Constellation_ID, 5);
    EXPECT_EQ(m54.Signal_ID, 6);
    EXPECT_EQ(m54.Satellite_Bitmap, 0x7FFFFFFFFull);
    EXPECT_EQ(m54.Integer_Bitmap, 0x555555555ull);
    ASSERT_EQ(m54.Ns, 35);
    for (unsigned i = 0; i < 35; ++i) {
        EXPECT_EQ(m54.Bias[i].kind, 11u);
        EXPECT_EQ(m54.Bias[i].Phase_Bias, int(i) - 17);
        EXPECT_EQ(m54.Bias[i].Discontinuity_Counter, i % 16);
    }

    // Type 56: 80-bit blocks.
    BitWriter t56 = message(56, 11, 0, 31);
    t56.put(48, 2, 2).put(50, 3, 1).put(53, 1, 1).put(54, 32, 0x3);
    for (unsigned i = 0; i < 2; ++i) {
        t56.add(1, i).add(10, 1000 + i).add(14, 0x2000).add(14, 0x1FFF).add(14, 0);
        t56.add(9, 0x100).add(9, 0xFF).add(9, 0x1FF);
    }
    ASSERT_EQ(t56.pos(), 246u);
    EXPECT_EQ(d.run(t56, 31), 246);
    const RTCMV_Message_Type_56_s &m56 = d.rec.Message_Type_56;
    EXPECT_EQ(m56.Length, 1);
    ASSERT_EQ(m56.Ns, 2);
    EXPECT_EQ(m56.Corrections[1].kind, 13u);
    EXPECT_EQ(m56.Corrections[1].Scale_Factor, 1);
    EXPECT_EQ(m56.Corrections[1].Ephemeris_Reference, 1001);
    EXPECT_EQ(m56.Corrections[1].Delta_X, -8192);
    EXPECT_EQ(m56.Corrections[1].Delta_Y, 8191);
    EXPECT_EQ(m56.Corrections[1].Rate_of_Change_X, -256);
    EXPECT_EQ(m56.Corrections[1].Rate_of_Change_Y, 255);
    EXPECT_EQ(m56.Corrections[1].Rate_of_Change_Z, -1);
}

// A type 52 message whose clock values are 9-bit two's complement patterns of i * 37 - 256.
BitWriter partialClocks(unsigned dataWords, std::size_t bytes)
{
    BitWriter w = message(52, dataWords, 0, bytes);
    w.put(48, 3, 5).put(51, 6, 18).put(57, 6, 33);
    for (uint32_t pos = 63, i = 0; pos + 9 <= bytes * 8; pos += 9, ++i)
        w.put(pos, 9, uint32_t(int(i * 37 % 512) - 256) & 0x1FF);
    return w;
}

TEST(CodecEdgeCases, ClockBiasAndDatumMessages)
{
    Decoded d;
    const RTCMV_Message_Type_52_s &m52 = d.rec.Message_Type_52;
    auto expectClocks = [&m52](unsigned count) {
        for (unsigned i = 0; i < count; ++i)
            EXPECT_EQ(m52.Clock_Partial[i], short(int(i * 37 % 512) - 256)) << i;
    };

    // Type 52: ((words * 24 - 24) mod 65536) / 9 + 1 values, capacity 35.
    EXPECT_EQ(d.run(partialClocks(1, 9), 9), 72);
    EXPECT_EQ(m52.Ns, 1);
    EXPECT_EQ(m52.Constellation_ID, 5);
    EXPECT_EQ(m52.Base_Message_Type, 18);
    EXPECT_EQ(m52.Time_Since_Base_Message, 33);
    EXPECT_EQ(m52.Clock_Partial[0], -256);
    EXPECT_EQ(d.run(partialClocks(2, 12), 12), 90);
    EXPECT_EQ(m52.Ns, 3);
    expectClocks(3);
    EXPECT_EQ(d.run(partialClocks(14, 48), 48), 378);
    EXPECT_EQ(m52.Ns, 35);
    expectClocks(35);
    EXPECT_EQ(d.run(partialClocks(15, 51), 51), -305);
    EXPECT_EQ(m52.Ns, 38);
    expectClocks(35);
    // Zero words wrap the count around to 7280.
    EXPECT_EQ(d.run(partialClocks(0, 48), 48), -305);
    EXPECT_EQ(m52.Ns, 7280);
    expectClocks(35);
    EXPECT_EQ(d.run(partialClocks(0, 48), 47), -304);

    // Type 58: End_Zenit_Value / Zenit_Step_Size + 1 values, capacity 18.
    const RTCMV_Message_Type_58_s &m58 = d.rec.Message_Type_58;
    auto pcv = [](unsigned end, unsigned step) {
        BitWriter w = message(58, 9, 0, 40);
        w.put(48, 3, 1).put(51, 3, 2).put(54, 7, 99).put(61, 7, end).put(68, 4, step);
        for (unsigned i = 0; i < 20; ++i)
            w.add(8, uint8_t(i * 13 - 100));
        return w;
    };
    EXPECT_EQ(d.run(pcv(90, 5), 40), -351);
    EXPECT_EQ(m58.N, 19);
    EXPECT_EQ(m58.PCV[17], static_cast<signed char>(uint8_t(17 * 13 - 100)));
    EXPECT_EQ(d.run(pcv(90, 10), 40), 152);
    EXPECT_EQ(m58.N, 10);
    EXPECT_EQ(m58.Constellation_ID, 1);
    EXPECT_EQ(m58.Frequency_ID, 2);
    EXPECT_EQ(m58.SVID, 99);
    EXPECT_EQ(m58.End_Zenit_Value, 90);
    EXPECT_EQ(m58.Zenit_Step_Size, 10);
    EXPECT_EQ(m58.PCV[0], -100);
    EXPECT_EQ(m58.PCV[9], 17);
    EXPECT_EQ(d.run(pcv(90, 0), 40), 80);
    EXPECT_EQ(m58.N, 1);

    // Type 53: a full 35-bit bitmap, 12-bit signed biases.
    BitWriter t53 = message(53, 20, 0, 64);
    t53.put(48, 2, 3).put(50, 3, 2).put(53, 3, 1).put(56, 35, 0x7FFFFFFFFull);
    for (unsigned i = 0; i < 35; ++i)
        t53.add(12, i == 0 ? 0x800 : i == 34 ? 0x7FF : i);
    ASSERT_EQ(t53.pos(), 511u);
    EXPECT_EQ(d.run(t53, 64), 511);
    const RTCMV_Message_Type_53_s &m53 = d.rec.Message_Type_53;
    EXPECT_EQ(m53.Ns, 35);
    EXPECT_EQ(m53.Bias[0], -2048);
    EXPECT_EQ(m53.Bias[17], 17);
    EXPECT_EQ(m53.Bias[34], 2047);

    // Type 39: an empty bitmap reads no clock; three bits read three 18-bit values.
    BitWriter t39 = message(39, 3, 0, 19);
    t39.put(48, 2, 1).put(50, 2, 2).put(52, 20, 0xFFFFF).put(72, 24, 0).garbage(96);
    EXPECT_EQ(d.run(t39, 19), 96);
    EXPECT_EQ(d.rec.Message_Type_39.Ns, 0);
    EXPECT_EQ(d.rec.Message_Type_39.Reserved, 0xFFFFFu);
    t39.put(72, 24, 0x800003);
    EXPECT_EQ(d.run(t39, 19), 150);
    EXPECT_EQ(d.rec.Message_Type_39.Ns, 3);
    EXPECT_EQ(d.rec.Message_Type_39.Clock[2], 0x3FFFFu);

    // Type 41: the name is as long as Name_Length says.
    BitWriter t41 = message(41, 1, 0, 16);
    t41.put(48, 2, 1).put(50, 2, 3).put(52, 3, 0).put(55, 5, 0).text("WGS84");
    EXPECT_EQ(d.run(t41, 16), 60);
    EXPECT_STREQ(d.rec.Message_Type_41.Datum_Name, "");
    EXPECT_EQ(d.rec.Message_Type_41.EPSG_Code, 3);
    t41.put(55, 5, 5);
    EXPECT_EQ(d.run(t41, 16), 100);
    EXPECT_STREQ(d.rec.Message_Type_41.Datum_Name, "WGS84");
    // Name_Length short: the name is not read but still terminated.
    Decoded p(0xA5);
    EXPECT_EQ(p.run(t41, 7), -274);
    EXPECT_EQ(p.rec.Message_Type_41.EPSG_Code, 3);
    EXPECT_STREQ(p.rec.Message_Type_41.Datum_Name, "");

    // Types 51 and 57: 16-bit unsigned clocks whatever Length says.
    BitWriter t51 = message(51, 3, 0, 15);
    t51.put(48, 8, 0).put(56, 32, 0x80000001u).add(16, 0xFFFF).add(16, 1);
    EXPECT_EQ(d.run(t51, 15), 120);
    EXPECT_EQ(d.rec.Message_Type_51.Ns, 2);
    EXPECT_EQ(d.rec.Message_Type_51.Clock[0], 65535);
    EXPECT_EQ(d.rec.Message_Type_51.Clock[1], 1);
    BitWriter t57 = message(57, 3, 0, 15);
    t57.put(48, 2, 0).put(50, 3, 0).put(53, 1, 1).put(54, 32, 1).add(16, 0xBEEF);
    EXPECT_EQ(d.run(t57, 15), 102);
    EXPECT_EQ(d.rec.Message_Type_57.Length, 1);
    EXPECT_EQ(d.rec.Message_Type_57.Clock[0], 0xBEEF);

    // Type 59: three unsigned bytes per word.
    BitWriter t59 = message(59, 2, 0, 12);
    t59.add(8, 0xFF).add(8, 0).add(8, 0x80).add(8, 1).add(8, 2).add(8, 0xFE);
    EXPECT_EQ(d.run(t59, 12), 96);
    const RTCMV_Message_Type_59_s &m59 = d.rec.Message_Type_59;
    EXPECT_EQ(m59.Data_Length, 6);
    const unsigned char bytes[6] = {0xFF, 0, 0x80, 1, 2, 0xFE};
    EXPECT_EQ(std::memcmp(m59.Data, bytes, 6), 0);
}

// Appends three elements and checks the block grows, keeps the elements before, and links each one.
template <class M, class E>
void checkAppend(int (*init)(M *), E *(*append)(M *), void (*release)(M *), E *M::*block, uint32_t elementKind)
{
    M m;
    std::memset(&m, 0xA5, sizeof m);
    init(&m);
    for (uint32_t i = 0; i < 3; ++i) {
        E *e = append(&m);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e, &(m.*block)[i]);
        EXPECT_EQ(e->kind, elementKind);
        EXPECT_EQ(e->bitLength, 0u);
        EXPECT_EQ(e->parent, &m);
        EXPECT_EQ(m.Ns, i + 1);
        e->bitLength = 100 + i;  // marks the element, to see it survive the next growth
    }
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ((m.*block)[i].bitLength, 100 + i);
    release(&m);
}

template <class R>
void expectInitialHeader(const R &r, uint32_t kind, unsigned type)
{
    EXPECT_EQ(r.kind, kind);
    EXPECT_EQ(r.bitLength, 0u);
    EXPECT_EQ(r.parent, nullptr);
    EXPECT_EQ(r.Preamble, 0x66);
    EXPECT_EQ(r.Message_Type, type);
}

TEST(CodecEdgeCases, AppendInitAndFree)
{
    {
        SCOPED_TRACE("append");
        checkAppend(RTCMV_init_Message_Type_1, RTCMV_append_Message_Type_1_Corrections, RTCMV_free_Message_Type_1,
                    &RTCMV_Message_Type_1_s::Corrections, 2);
        checkAppend(RTCMV_init_Message_Type_15, RTCMV_append_Message_Type_15_Corrections,
                    RTCMV_free_Message_Type_15, &RTCMV_Message_Type_15_s::Corrections, 1);
        checkAppend(RTCMV_init_Message_Type_18, RTCMV_append_Message_Type_18_Data, RTCMV_free_Message_Type_18,
                    &RTCMV_Message_Type_18_s::Data, 3);
        checkAppend(RTCMV_init_Message_Type_19, RTCMV_append_Message_Type_19_Data, RTCMV_free_Message_Type_19,
                    &RTCMV_Message_Type_19_s::Data, 4);
        checkAppend(RTCMV_init_Message_Type_20, RTCMV_append_Message_Type_20_Data, RTCMV_free_Message_Type_20,
                    &RTCMV_Message_Type_20_s::Data, 5);
        checkAppend(RTCMV_init_Message_Type_21, RTCMV_append_Message_Type_21_Data, RTCMV_free_Message_Type_21,
                    &RTCMV_Message_Type_21_s::Data, 6);
        checkAppend(RTCMV_init_Message_Type_48, RTCMV_append_Message_Type_48_Corrections,
                    RTCMV_free_Message_Type_48, &RTCMV_Message_Type_48_s::Corrections, 9);
        checkAppend(RTCMV_init_Message_Type_49, RTCMV_append_Message_Type_49_Corrections,
                    RTCMV_free_Message_Type_49, &RTCMV_Message_Type_49_s::Corrections, 10);
        checkAppend(RTCMV_init_Message_Type_54, RTCMV_append_Message_Type_54_Bias, RTCMV_free_Message_Type_54,
                    &RTCMV_Message_Type_54_s::Bias, 11);
        checkAppend(RTCMV_init_Message_Type_56, RTCMV_append_Message_Type_56_Corrections,
                    RTCMV_free_Message_Type_56, &RTCMV_Message_Type_56_s::Corrections, 13);
    }

    // Appended RTK blocks start with PRN 0 (and PSF 0.0 for type 21) even over recycled memory.
    RTCMV_Message_Type_21_s m21;
    RTCMV_init_Message_Type_21(&m21);
    for (int i = 0; i < 4; ++i) {
        RTCMV_RTK_21_s *e = RTCMV_append_Message_Type_21_Data(&m21);
        EXPECT_EQ(e->PRN, 0);
        EXPECT_EQ(e->PSF, 0.0);
        e->PRN = 0xEE;
        e->PSF = 1.5;
    }
    RTCMV_free_Message_Type_21(&m21);
    RTCMV_Message_Type_18_s m18;
    RTCMV_init_Message_Type_18(&m18);
    EXPECT_EQ(RTCMV_append_Message_Type_18_Data(&m18)->PRN, 0);
    RTCMV_free_Message_Type_18(&m18);

    // Init over garbage.
    RTCMV_Message_Type_1_s m1;
    std::memset(&m1, 0xA5, sizeof m1);
    EXPECT_EQ(RTCMV_init_Message_Type_1(&m1), 0);
    expectInitialHeader(m1, 29, 1);
    EXPECT_EQ(m1.Ns, 0);
    EXPECT_EQ(m1.Corrections, nullptr);
    RTCMV_free_Message_Type_1(&m1);  // releasing an empty record is harmless

    RTCMV_Message_Type_17_s m17;
    std::memset(&m17, 0xA5, sizeof m17);
    EXPECT_EQ(RTCMV_init_Message_Type_17(&m17), 0);
    expectInitialHeader(m17, 16, 17);
    EXPECT_EQ(m17.FILL1, 5);
    EXPECT_EQ(m17.FILL2, 5);

    RTCMV_Message_Type_24_s m24;
    std::memset(&m24, 0xA5, sizeof m24);
    RTCMV_init_Message_Type_24(&m24);
    expectInitialHeader(m24, 19, 24);
    EXPECT_EQ(m24.Reserved | m24.Reserved2 | m24.Reserved3, 0);

    RTCMV_Message_Type_16_s m16;
    std::memset(&m16, 0xA5, sizeof m16);
    RTCMV_init_Message_Type_16(&m16);
    expectInitialHeader(m16, 15, 16);
    EXPECT_EQ(m16.Message_Length, 0);
    EXPECT_EQ(m16.Message[90], 0);

    RTCMV_Message_Type_23_s m23;
    std::memset(&m23, 0xA5, sizeof m23);
    RTCMV_init_Message_Type_23(&m23);
    expectInitialHeader(m23, 18, 23);
    EXPECT_EQ(m23.Antenna_Descriptor[31], 0);
    EXPECT_EQ(m23.Antenna_Serial_Number[31], 0);

    RTCMV_Message_Type_52_s m52;
    std::memset(&m52, 0xA5, sizeof m52);
    RTCMV_init_Message_Type_52(&m52);
    expectInitialHeader(m52, 24, 52);
    EXPECT_EQ(m52.Ns, 0);

    RTCMV_Message_Type_58_s m58;
    std::memset(&m58, 0xA5, sizeof m58);
    RTCMV_init_Message_Type_58(&m58);
    expectInitialHeader(m58, 27, 58);
    EXPECT_EQ(m58.N, 0);

    RTCMV_Message_Type_44_s m44;
    std::memset(&m44, 0xA5, sizeof m44);
    RTCMV_init_Message_Type_44(&m44);
    expectInitialHeader(m44, 39, 44);
    EXPECT_EQ(m44.Corrections, nullptr);
    RTCMV_free_Message_Type_44(&m44);

    RTCMV_RTK_21_s rtk;
    std::memset(&rtk, 0xA5, sizeof rtk);
    EXPECT_EQ(RTCMV_init_RTK_21(&rtk), 0);
    EXPECT_EQ(rtk.kind, 6u);
    EXPECT_EQ(rtk.bitLength, 0u);
    EXPECT_EQ(rtk.parent, nullptr);
    EXPECT_EQ(rtk.PRN, 0);
    EXPECT_EQ(rtk.PSF, 0.0);

    RTCMV_DGNSS_s block;
    std::memset(&block, 0xA5, sizeof block);
    RTCMV_init_DGNSS(&block);
    EXPECT_EQ(block.kind, 2u);
    EXPECT_EQ(block.parent, nullptr);
}

TEST(CodecEdgeCases, EncodeBoundaries)
{
    // Bits beyond the last field stay as they were, also inside the last byte.
    RTCMV_Message_Type_3_s m3;
    RTCMV_init_Message_Type_3(&m3);
    m3.Reference_Station_Id = StationId;
    m3.Modified_Z_Count = ZCount;
    m3.Sequence_No_ = SequenceNo;
    m3.No_Of_Data_Words = 4;
    m3.Station_Health = 6;
    m3.ECEF_X = -2;
    m3.ECEF_Y = 0x12345678;
    m3.ECEF_Z = INT_MIN;
    std::vector<unsigned char> out(20, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 20, &m3), 144);
    BitWriter expected = message(3, 4, 6, 20, 0xFF);
    expected.add(32, uint32_t(-2)).add(32, 0x12345678).add(32, 0x80000000u);
    EXPECT_EQ(out, expected.bytes());
    EXPECT_EQ(m3.bitLength, 144u);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 20, &m3), 144);
    EXPECT_EQ(m3.bitLength, 288u);

    RTCMV_Message_Type_41_s m41;
    RTCMV_init_Message_Type_41(&m41);
    m41.Reference_Station_Id = StationId;
    m41.Modified_Z_Count = ZCount;
    m41.Sequence_No_ = SequenceNo;
    m41.No_Of_Data_Words = 2;
    m41.Source = 2;
    m41.EPSG_Code = 1;
    m41.Reserved = 0;
    m41.Name_Length = 2;
    std::strcpy(m41.Datum_Name, "AB");
    out.assign(12, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_41(out.data(), 12, &m41), 76);
    BitWriter expected41 = message(41, 2, 0, 12, 0xFF);
    expected41.add(2, 2).add(2, 1).add(3, 0).add(5, 2).text("AB");
    EXPECT_EQ(out, expected41.bytes());

    // A conditional group that is absent is not written.
    RTCMV_Message_Type_22_s m22;
    std::memset(&m22, 0, sizeof m22);
    RTCMV_init_Message_Type_22(&m22);
    m22.Reference_Station_Id = StationId;
    m22.Modified_Z_Count = ZCount;
    m22.Sequence_No_ = SequenceNo;
    m22.No_Of_Data_Words = 1;
    m22.L1_ECEF_Delta_X = -1;
    m22.Height_Indicator = 1;
    m22.L2_ECEF_Delta_X = 0;
    out.assign(15, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_22(out.data(), 15, &m22), 72);
    BitWriter expected22 = message(22, 1, 0, 15, 0xFF);
    expected22.add(8, 0xFF).add(8, 0).add(8, 0);
    EXPECT_EQ(out, expected22.bytes());

    // A short buffer gives the encoder the same code as the decoder.
    out.assign(17, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 17, &m3), -124);
    Decoded d;
    EXPECT_EQ(d.run(expected, 17), -124);

    BitWriter t1 = message(1, 5, 0, 21);
    for (const Correction &c : Corrections)
        addCorrection(t1, c);
    EXPECT_EQ(d.run(t1, 20), -14);
    ASSERT_EQ(d.run(t1, 21), 168);
    out.assign(20, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_1(out.data(), 20, &d.rec.Message_Type_1), -14);

    // The fill fields of a fresh ephemeris record go out as 101.
    RTCMV_Message_Type_17_s m17;
    std::memset(&m17, 0, sizeof m17);
    RTCMV_init_Message_Type_17(&m17);
    out.assign(66, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_17(out.data(), 66, &m17), 528);
    BitWriter fills = message(17, 0, 0, 66);
    fills.put(14, 10, 0).put(24, 13, 0).put(37, 3, 0).put(501, 3, 5).put(525, 3, 5);
    EXPECT_EQ(out, fills.bytes());
    EXPECT_EQ(d.run(out.data(), 65), -175);
    EXPECT_EQ(RTCMV_encode_Message_Type_17(out.data(), 65, &m17), -175);

    // Inline arrays: a short buffer and a count over the capacity give the decoder's codes.
    RTCMV_Message_Type_16_s m16;
    std::memset(&m16, 0, sizeof m16);
    RTCMV_init_Message_Type_16(&m16);
    m16.No_Of_Data_Words = 30;
    m16.Message_Length = 90;
    std::memset(m16.Message, 'x', 90);
    out.assign(99, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_16(out.data(), 99, &m16), 768);
    EXPECT_EQ(RTCMV_encode_Message_Type_16(out.data(), 95, &m16), -134);
    m16.Message_Length = 93;
    EXPECT_EQ(RTCMV_encode_Message_Type_16(out.data(), 99, &m16), -135);

    RTCMV_Message_Type_52_s m52;
    std::memset(&m52, 0, sizeof m52);
    RTCMV_init_Message_Type_52(&m52);
    m52.Ns = 35;
    EXPECT_EQ(RTCMV_encode_Message_Type_52(out.data(), 99, &m52), 63 + 35 * 9);
    m52.Ns = 36;
    EXPECT_EQ(RTCMV_encode_Message_Type_52(out.data(), 99, &m52), -305);

    // Derived fields are neither written nor recomputed: Ns blocks go out whatever the word count says,
    // and the type 44 Source is not written over the station health.
    RTCMV_Message_Type_1_s m1;
    std::memset(&m1, 0, sizeof m1);
    RTCMV_init_Message_Type_1(&m1);
    m1.No_Of_Data_Words = 5;
    RTCMV_append_Message_Type_1_Corrections(&m1)->Satellite_Id = 7;
    out.assign(21, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_1(out.data(), 21, &m1), 88);
    EXPECT_EQ(out[20], 0xFF);
    RTCMV_free_Message_Type_1(&m1);

    Decoded w44;
    ASSERT_EQ(w44.run(message(44, 20, 0, 66), 66), 528);
    w44.rec.Message_Type_44.Source = 1;
    out.assign(66, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_44(out.data(), 66, &w44.rec.Message_Type_44), 528);
    EXPECT_EQ(out, message(44, 20, 0, 66).bytes());
}

} // namespace
