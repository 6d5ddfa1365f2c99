// Round trips of random valid records of every message type through the encoder and the decoder,
// with the bit count of each message checked against its length rule.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace Nvt::Mesaro;
using namespace CodecSupport;

namespace {

// MESARO_CODEC_ROUNDTRIPS raises the number of records per message type.
int recordsPerType()
{
    const char *text = std::getenv("MESARO_CODEC_ROUNDTRIPS");
    const int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : 2000;
}

uint32_t setBits(uint64_t bitmap)
{
    return uint32_t(std::bitset<64>(bitmap).count());
}

// Bits of a complete message as its length rule gives them.
uint32_t messageBits(const RTCMV_record_u &r)
{
    switch (kindOf(&r)) {
    case RTCMV_KIND_Message_Type_1: return 48 + 40 * (r.Message_Type_1.No_Of_Data_Words * 3 / 5);
    case RTCMV_KIND_Message_Type_9: return 48 + 40 * (r.Message_Type_9.No_Of_Data_Words * 3 / 5);
    case RTCMV_KIND_Message_Type_31: return 48 + 40 * (r.Message_Type_31.No_Of_Data_Words * 3 / 5);
    case RTCMV_KIND_Message_Type_34: return 48 + 40 * (r.Message_Type_34.No_Of_Data_Words * 3 / 5);
    case RTCMV_KIND_Message_Type_3: return 144;
    case RTCMV_KIND_Message_Type_32: return 144;
    case RTCMV_KIND_Message_Type_15: return 48 + 36 * (r.Message_Type_15.No_Of_Data_Words * 2 / 3);
    // Every character slot of the data words is read.
    case RTCMV_KIND_Message_Type_16: return 48 + 24 * r.Message_Type_16.No_Of_Data_Words;
    case RTCMV_KIND_Message_Type_17: return 528;
    case RTCMV_KIND_Message_Type_18: return 72 + 48 * (r.Message_Type_18.No_Of_Data_Words * 3 / 6);
    case RTCMV_KIND_Message_Type_19: return 72 + 48 * (r.Message_Type_19.No_Of_Data_Words * 3 / 6);
    case RTCMV_KIND_Message_Type_20: return 72 + 48 * (r.Message_Type_20.No_Of_Data_Words * 3 / 6);
    case RTCMV_KIND_Message_Type_21: return 72 + 48 * (r.Message_Type_21.No_Of_Data_Words * 3 / 6);
    case RTCMV_KIND_Message_Type_22: {
        const unsigned words = r.Message_Type_22.No_Of_Data_Words;
        return words == 2 ? 96 : words == 3 ? 120 : 72;
    }
    case RTCMV_KIND_Message_Type_23: {
        const RTCMV_Message_Type_23_s &m = r.Message_Type_23;
        return 72 + 8 * m.NAD + (m.Serial_Flag == 1 ? 8 * m.NAS : 0);
    }
    case RTCMV_KIND_Message_Type_24: return r.Message_Type_24.Height_Indicator == 1 ? 192 : 168;
    case RTCMV_KIND_Message_Type_38: return 600;
    case RTCMV_KIND_Message_Type_39: return 96 + 18 * setBits(r.Message_Type_39.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_41: return 60 + 8 * r.Message_Type_41.Name_Length;
    case RTCMV_KIND_Message_Type_44: return 528;
    case RTCMV_KIND_Message_Type_48: return 80 + 65 * setBits(r.Message_Type_48.Slot_Bitmap);
    case RTCMV_KIND_Message_Type_49: return 80 + 21 * setBits(r.Message_Type_49.Slot_Bitmap);
    case RTCMV_KIND_Message_Type_50: return 576;
    case RTCMV_KIND_Message_Type_51: return 88 + 16 * setBits(r.Message_Type_51.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_52: {
        const unsigned words = r.Message_Type_52.No_Of_Data_Words;
        return 63 + 9 * (((words * 24 - 24) & 0xFFFF) / 9 + 1);
    }
    case RTCMV_KIND_Message_Type_53: return 91 + 12 * setBits(r.Message_Type_53.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_54: return 126 + 15 * setBits(r.Message_Type_54.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_55: return 192;
    case RTCMV_KIND_Message_Type_56: return 86 + 80 * setBits(r.Message_Type_56.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_57: return 86 + 16 * setBits(r.Message_Type_57.Satellite_Bitmap);
    case RTCMV_KIND_Message_Type_58: {
        const RTCMV_Message_Type_58_s &m = r.Message_Type_58;
        return 72 + 8 * (m.Zenit_Step_Size != 0 ? m.End_Zenit_Value / m.Zenit_Step_Size + 1 : 1);
    }
    case RTCMV_KIND_Message_Type_59: return 48 + 24 * r.Message_Type_59.No_Of_Data_Words;
    default: return 0;
    }
}

// Record storage that releases its block however the test leaves.
struct OwnedRecord
{
    OwnedRecord() { std::memset(&record, 0, sizeof record); }
    ~OwnedRecord() { RTCMV_free_record(&record); }
    RTCMV_record_u record;
};

// Each element of a decoded message points back to it and took its block's fixed width.
struct ElementChecker : RTCMV_RecordVisitor
{
    bool enterRecord(const RTCMV_FieldVisit &f, uint32_t j, const void *element)
    {
        EXPECT_EQ(parentOf(element), f.holder) << f.name() << "[" << j << "]";
        EXPECT_EQ(bitLengthOf(element), fixedBits(*RTCMV_record_info(f.field.elementKind))) << f.name() << "[" << j << "]";
        return false;
    }
};

void checkElements(const RTCMV_record_u *decoded)
{
    ElementChecker checker;
    RTCMV_walk_record(static_cast<const void *>(decoded), checker);
}

void checkRoundTrip(RTCMV_record_u *original, RTCMV_context_s *context)
{
    const uint32_t bits = messageBits(*original);
    const uint16_t size = uint16_t((bits + 7) / 8);
    // Exactly sized heap buffers, so that AddressSanitizer sees any access past the message; one
    // starts as zeros, the other as ones, to show which bits the encoder writes.
    std::unique_ptr<unsigned char[]> zeros(new unsigned char[size]);
    std::unique_ptr<unsigned char[]> ones(new unsigned char[size]);
    std::memset(zeros.get(), 0x00, size);
    std::memset(ones.get(), 0xFF, size);

    const int32_t first = RTCMV_encode_record(zeros.get(), size, original);
    ASSERT_EQ(first, int32_t(bits)) << RTCMV_error_name(first);
    EXPECT_EQ(bitLengthOf(original), bits);
    const int32_t second = RTCMV_encode_record(ones.get(), size, original);
    ASSERT_EQ(second, int32_t(bits)) << RTCMV_error_name(second);
    EXPECT_EQ(bitLengthOf(original), 2 * bits) << "each encode adds the message's width";

    // The message's bits are the same in both; the fill after them stays as it was.
    const unsigned fillMask = (1u << (size * 8 - bits)) - 1;
    for (uint16_t i = 0; i + 1 < size; ++i)
        ASSERT_EQ(zeros[i], ones[i]) << "byte " << i;
    ASSERT_EQ(zeros[size - 1] & ~fillMask, ones[size - 1] & ~fillMask);
    ASSERT_EQ(zeros[size - 1] & fillMask, 0u);
    ASSERT_EQ(ones[size - 1] & fillMask, fillMask);

    for (RTCMV_context_s *filter : {context, static_cast<RTCMV_context_s *>(nullptr)}) {
        SCOPED_TRACE(filter != nullptr ? "with a filter context" : "without a filter context");
        OwnedRecord decoded;
        const int32_t result = RTCMV_decode(filter, filter != nullptr ? zeros.get() : ones.get(), size, &decoded.record);
        ASSERT_EQ(result, int32_t(bits)) << RTCMV_error_name(result);
        ASSERT_EQ(firstDifference(original, &decoded.record), "");
        EXPECT_EQ(bitLengthOf(&decoded.record), bits);
        checkElements(&decoded.record);
    }
}

class RoundTrip : public ::testing::TestWithParam<uint32_t>
{
};

TEST_P(RoundTrip, RandomRecordsSurviveEncodeAndDecode)
{
    const uint32_t type = GetParam();
    RecordGenerator generator(0x52544356u * 64 + type);
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    const int count = recordsPerType();
    for (int n = 0; n < count && !HasFailure(); ++n) {
        SCOPED_TRACE(::testing::Message() << "record " << n);
        OwnedRecord original;
        generator.generate(type, &original.record);
        checkRoundTrip(&original.record, &context);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMessageType, RoundTrip, ::testing::ValuesIn(messageTypes()),
                         [](const ::testing::TestParamInfo<uint32_t> &type) {
                             return "Type" + std::to_string(type.param);
                         });

}  // namespace
