// The codec's contract beyond single messages: the dispatch and its enable context, init, append
// and free of every record, what an encoder leaves alone, and the error names.
#include "RTCMV_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

// Message type and kind tag of every message, as the format publishes them.
const unsigned TypeAndKind[32][2] = {
    {3, 14},  {16, 15}, {17, 16}, {22, 17}, {23, 18}, {24, 19}, {32, 20}, {39, 21},
    {41, 22}, {51, 23}, {52, 24}, {53, 25}, {57, 26}, {58, 27}, {59, 28}, {1, 29},
    {9, 30},  {15, 31}, {18, 32}, {19, 33}, {20, 34}, {21, 35}, {31, 36}, {34, 37},
    {38, 38}, {44, 39}, {48, 40}, {49, 41}, {50, 42}, {54, 43}, {55, 44}, {56, 45},
};

// A 256-byte buffer holding the two header words of a message and zeros after them.
std::vector<unsigned char> message(unsigned type, unsigned dataWords)
{
    std::vector<unsigned char> m(256, 0);
    m[0] = 0x66;
    m[1] = static_cast<unsigned char>(type << 2);
    m[5] = static_cast<unsigned char>(dataWords << 3);
    return m;
}

template <class T>
T fieldAt(const void *record, const char *name)
{
    const RTCMV_record_info_s *info = RTCMV_record_info(*static_cast<const uint32_t *>(record));
    for (uint32_t i = 0; i < info->fieldCount; ++i) {
        if (std::strcmp(info->fields[i].name, name) == 0) {
            T value;
            std::memcpy(&value, static_cast<const char *>(record) + info->fields[i].offset, sizeof value);
            return value;
        }
    }
    ADD_FAILURE() << info->name << " has no field " << name;
    return T();
}

struct Record
{
    RTCMV_record_u r;
    Record() { std::memset(&r, 0xA5, sizeof r); }
    ~Record() { RTCMV_free_record(&r); }
    int32_t decode(const std::vector<unsigned char> &m, RTCMV_context_s *context)
    {
        RTCMV_free_record(&r);
        std::memset(&r, 0xA5, sizeof r);
        return RTCMV_decode(context, m.data(), uint16_t(m.size()), &r);
    }
};

} // namespace

TEST(CodecContract, DispatchAndEnableContext)
{
    RTCMV_context_s all;
    std::memset(&all, 0xAA, sizeof all);
    RTCMV_init_context(&all);
    const unsigned char initial[7] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFD, 0x00};
    EXPECT_EQ(std::memcmp(&all, initial, sizeof initial), 0);

    // Too short to hold a type: lastType takes the byte the record held before.
    Record d;
    d.r.Message_Type_3.Message_Type = 42;
    const unsigned char oneByte[1] = {0x66};
    EXPECT_EQ(RTCMV_decode(&all, oneByte, 1, &d.r), RTCMV_ERR_INVALID_MESSAGE);
    EXPECT_EQ(all.lastType, 42);
    for (unsigned unknown : {0u, 2u, 60u, 63u}) {
        EXPECT_EQ(d.decode(message(unknown, 1), &all), -587);
        EXPECT_EQ(all.lastType, unknown);
    }

    // Each type answers to exactly its own bit: mask 0x80 >> (kind % 8) of byte (kind + 1) / 8.
    for (const auto &tk : TypeAndKind) {
        SCOPED_TRACE(tk[0]);
        const unsigned byte = (tk[1] + 1) / 8;
        const unsigned char mask = static_cast<unsigned char>(0x80u >> (tk[1] % 8));
        const int32_t bits = d.decode(message(tk[0], 1), &all);
        EXPECT_GT(bits, 0);
        EXPECT_EQ(d.r.kind, tk[1]);
        EXPECT_EQ(d.decode(message(tk[0], 1), nullptr), bits);
        RTCMV_context_s only{};
        only.enable[byte] = mask;
        EXPECT_EQ(d.decode(message(tk[0], 1), &only), bits);
        std::memset(only.enable, 0xFF, sizeof only.enable);
        only.enable[byte] = static_cast<unsigned char>(~mask);
        EXPECT_EQ(d.decode(message(tk[0], 1), &only), -541 - int32_t(tk[1]));
        // A refused message touches nothing but the type byte of the record.
        std::vector<unsigned char> untouched(sizeof d.r, 0xA5);
        untouched[offsetof(RTCMV_Message_Type_1_s, Message_Type)] = static_cast<unsigned char>(tk[0]);
        EXPECT_EQ(std::memcmp(&d.r, untouched.data(), sizeof d.r), 0);
        std::memset(&d.r, 0, sizeof d.r);
    }

    // A record decoder given an expected size rejects a longer record and skips to the end of a shorter one.
    RTCMV_Message_Type_3_s m3;
    uint32_t offset = 0;
    const std::vector<unsigned char> t3 = message(3, 4);
    EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, t3.data(), 28, &offset, nullptr, 100, &m3), -125);
    offset = 0;
    EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, t3.data(), 28, &offset, nullptr, 144, &m3), 144);
    offset = 0;
    EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, t3.data(), 28, &offset, nullptr, 200, &m3), 200);
    EXPECT_EQ(offset, 200u);
}

TEST(CodecContract, InitAppendAndFreeOfEveryRecord)
{
    for (uint32_t kind = 1; RTCMV_record_info(kind) != nullptr; ++kind) {
        const RTCMV_record_info_s &info = *RTCMV_record_info(kind);
        SCOPED_TRACE(info.name);
        Record rec;
        ASSERT_EQ(RTCMV_init_record(&rec.r, kind), 0);
        EXPECT_EQ(rec.r.kind, kind);
        EXPECT_EQ(rec.r.Message_Type_1.bitLength, 0u);
        EXPECT_EQ(rec.r.Message_Type_1.parent, nullptr);
        if (info.messageType != 0) {
            EXPECT_EQ(fieldAt<unsigned char>(&rec.r, "Preamble"), 0x66);
            EXPECT_EQ(fieldAt<unsigned char>(&rec.r, "Message_Type"), info.messageType);
        }
        // A variable block grows one element at a time, keeps what it held and stops where its count does.
        // Every record starts with kind, bitLength and parent, so any element reads as a DGNSS block here.
        uint32_t appended = 0;
        for (RTCMV_DGNSS_s *e; appended < 300 && (e = static_cast<RTCMV_DGNSS_s *>(RTCMV_append_record(&rec.r)));) {
            EXPECT_EQ(e->parent, &rec.r);
            EXPECT_EQ(e->bitLength, 0u);
            e->bitLength = ++appended;
        }
        if (appended == 0)
            continue;
        EXPECT_EQ(appended, 255u);
        const RTCMV_DGNSS_s *block = fieldAt<RTCMV_DGNSS_s *>(&rec.r, info.fields[info.fieldCount - 1].name);
        const size_t elementSize = RTCMV_record_info(block->kind)->size;
        for (uint32_t i = 0; i < appended; ++i) {
            const auto *e = reinterpret_cast<const RTCMV_DGNSS_s *>(reinterpret_cast<const char *>(block) + i * elementSize);
            EXPECT_EQ(e->bitLength, i + 1);
        }
        RTCMV_free_record(&rec.r);
        EXPECT_EQ(fieldAt<void *>(&rec.r, info.fields[info.fieldCount - 1].name), nullptr);
    }
    // The fill fields of a fresh ephemeris start as binary 101.
    RTCMV_Message_Type_17_s m17;
    RTCMV_init_Message_Type_17(&m17);
    EXPECT_EQ(m17.FILL1, 5);
    EXPECT_EQ(m17.FILL2, 5);
}

TEST(CodecContract, EncodersWriteOnlyTheirBits)
{
    RTCMV_Message_Type_3_s m3;
    RTCMV_init_Message_Type_3(&m3);
    m3.No_Of_Data_Words = 4;
    m3.ECEF_Z = INT_MIN;
    std::vector<unsigned char> out(20, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 20, &m3), 144);
    EXPECT_EQ(out[17], 0x00);
    EXPECT_EQ(out[18], 0xFF);
    EXPECT_EQ(out[14], 0x80);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 20, &m3), 144);
    EXPECT_EQ(m3.bitLength, 288u);
    EXPECT_EQ(RTCMV_encode_Message_Type_3(out.data(), 17, &m3), RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_EXT_BUFFER_OVERFLOW);

    // An absent conditional group is not written.
    RTCMV_Message_Type_22_s m22;
    RTCMV_init_Message_Type_22(&m22);
    m22.No_Of_Data_Words = 1;
    m22.Height_Indicator = 1;
    out.assign(15, 0xFF);
    EXPECT_EQ(RTCMV_encode_Message_Type_22(out.data(), 15, &m22), 72);
    EXPECT_EQ(out[9], 0xFF);

    // A count over an inline array's capacity is refused.
    RTCMV_Message_Type_16_s m16;
    RTCMV_init_Message_Type_16(&m16);
    m16.Message_Length = 93;
    out.assign(99, 0);
    EXPECT_EQ(RTCMV_encode_Message_Type_16(out.data(), 99, &m16), RTCMV_ERR_MESSAGE_TYPE_16_MESSAGE_INT_BUFFER_OVERFLOW);
}

TEST(CodecContract, EveryErrorCodeHasItsOwnName)
{
    std::set<std::string> names;
    for (int32_t code = -1; code >= -RTCMV_ERROR_COUNT; --code) {
        const std::string name = RTCMV_error_name(code);
        EXPECT_EQ(name.rfind("RTCMV_ERR_", 0), 0u) << code;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 588u);
    EXPECT_STREQ(RTCMV_error_name(0), "RTCMV_ERR_NONE");
    EXPECT_STREQ(RTCMV_error_name(INT_MAX), "RTCMV_ERR_NONE");
    EXPECT_STREQ(RTCMV_error_name(-555), "RTCMV_ERR_MESSAGE_TYPE_3_DISABLED");
    EXPECT_STREQ(RTCMV_error_name(-587), "RTCMV_ERR_INVALID_MESSAGE");
    EXPECT_STREQ(RTCMV_error_name(-588), "RTCMV_ERR_EOF");
    EXPECT_STREQ(RTCMV_error_name(-589), "???");
    EXPECT_STREQ(RTCMV_error_name(INT_MIN), "???");
}
