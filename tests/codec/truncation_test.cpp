// Decoding of every prefix of valid messages of every type, each in a buffer of exactly its length,
// against an independent model of the decoder's walk over the wire fields.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

using namespace Nvt::Mesaro;
using namespace CodecSupport;

namespace {

constexpr int MessagesPerType = 64;

int32_t codeNamed(const std::string &name)
{
    static const std::map<std::string, int32_t> codes = [] {
        std::map<std::string, int32_t> result;
        for (int32_t code = -1; code >= -RTCMV_ERROR_COUNT; --code)
            result[RTCMV_error_name(code)] = code;
        return result;
    }();
    const auto it = codes.find(name);
    return it != codes.end() ? it->second : 0;
}

// A record or field name as it appears in error names: upper case, without a trailing underscore.
std::string namePart(const char *name)
{
    std::string part(name);
    while (!part.empty() && part.back() == '_')
        part.pop_back();
    std::transform(part.begin(), part.end(), part.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return part;
}

int32_t fieldCode(const RTCMV_record_info_s &record, const RTCMV_field_info_s &field, const char *suffix)
{
    const std::string name = "RTCMV_ERR_" + namePart(record.name) + "_" + namePart(field.name) + suffix;
    const int32_t code = codeNamed(name);
    if (code == 0)
        ADD_FAILURE() << "no error code named " << name;
    return code;
}

uint64_t readBits(const unsigned char *data, uint32_t position, unsigned bits)
{
    uint64_t value = 0;
    for (unsigned i = 0; i < bits; ++i, ++position)
        value = (value << 1) | ((data[position / 8] >> (7 - position % 8)) & 1u);
    return value;
}

// The decoder's progress through a buffer of `limit` bits.
struct Walk
{
    const unsigned char *data;
    uint32_t limit;
    uint32_t position;
    int32_t error;
};

// Walks the wire elements of a record in order. A field without room names the pending error and
// leaves the position where it was, so a later, narrower field may still be read; arrays and
// blocks are read only while nothing is pending, and the first failing element ends its block.
// The values read go into the record, whose conditions and counts steer the rest of the walk.
struct DecoderModel : RTCMV_RecordVisitor
{
    Walk &walk;

    bool enterField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_WIRE)
            readWire(f);
        else if (f.field.what == RTCMV_FIELD_RECORDS && walk.error == 0)
            readBlock(f);
        else if (f.field.what != RTCMV_FIELD_DERIVED && walk.error == 0)
            readArray(f);
        return false;
    }

    void readWire(const RTCMV_FieldVisit &f)
    {
        if (walk.position + f.field.bits <= walk.limit) {
            RTCMV_store(f.at, f.field.ctype, wireValue(f.field, readBits(walk.data, walk.position, f.field.bits)));
            walk.position += f.field.bits;
            RTCMV_update_derived(f.holder);
        } else {
            walk.error = fieldCode(f.record, f.field, "_EXT_BUFFER_OVERFLOW");
        }
    }

    void readBlock(const RTCMV_FieldVisit &f)
    {
        for (uint32_t j = 0; j < f.declared && walk.error == 0; ++j) {
            RTCMV_record_u element;
            RTCMV_init_record(&element, f.field.elementKind);
            DecoderModel model{{}, walk};
            RTCMV_walk_record(static_cast<void *>(&element), model);
        }
    }

    void readArray(const RTCMV_FieldVisit &f)
    {
        for (uint32_t j = 0; j < f.declared; ++j) {
            if (j >= f.field.capacity) {
                walk.error = fieldCode(f.record, f.field, "_INT_BUFFER_OVERFLOW");
                break;
            }
            if (walk.position + f.field.bits > walk.limit) {
                walk.error = fieldCode(f.record, f.field, "_EXT_BUFFER_OVERFLOW");
                break;
            }
            walk.position += f.field.bits;
        }
    }
};

// What decoding the first `bytes` bytes of `message` gives, into storage initialised for its kind.
int32_t expectedResult(uint32_t kind, const unsigned char *message, uint16_t bytes)
{
    if (bytes * 8 <= 14)
        return RTCMV_ERR_INVALID_MESSAGE;
    RTCMV_record_u model;
    RTCMV_init_record(&model, kind);
    Walk walk{message, uint32_t(bytes) * 8, 0, 0};
    DecoderModel decoder{{}, walk};
    RTCMV_walk_record(static_cast<void *>(&model), decoder);
    return walk.error != 0 ? walk.error : int32_t(walk.position);
}

class Truncation : public ::testing::TestWithParam<uint32_t>
{
};

TEST_P(Truncation, EveryPrefixNamesTheLastFieldThatDoesNotFit)
{
    const uint32_t type = GetParam();
    const uint32_t kind = RTCMV_message_info(type)->kind;
    RecordGenerator generator(0x7472756Eu * 64 + type);
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    for (int n = 0; n < MessagesPerType && !HasFailure(); ++n) {
        RTCMV_record_u record;
        generator.generate(type, &record);
        const std::vector<unsigned char> message = encodeMessage(&record);
        const uint32_t bits = bitLengthOf(&record);
        RTCMV_free_record(&record);
        ASSERT_FALSE(message.empty());
        ASSERT_EQ(expectedResult(kind, message.data(), uint16_t(message.size())), int32_t(bits))
            << "the model disagrees with the encoder on message " << n;

        for (uint16_t length = 0; length <= message.size(); ++length) {
            // Exactly `length` bytes, so that AddressSanitizer reports any read past them.
            std::unique_ptr<unsigned char[]> buffer(new unsigned char[length]);
            std::copy_n(message.begin(), length, buffer.get());
            const int32_t expected = expectedResult(kind, message.data(), length);
            RTCMV_record_u decoded;
            RTCMV_init_record(&decoded, kind);
            const int32_t result = RTCMV_decode(length % 2 != 0 ? &context : nullptr, buffer.get(), length, &decoded);
            // Failed decodes can hold a block too.
            RTCMV_free_record(&decoded);
            EXPECT_EQ(result, expected) << "message " << n << " cut to " << length << " of " << message.size()
                                        << " bytes: " << RTCMV_error_name(result) << ", expected "
                                        << RTCMV_error_name(expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMessageType, Truncation, ::testing::ValuesIn(messageTypes()),
                         [](const ::testing::TestParamInfo<uint32_t> &type) {
                             return "Type" + std::to_string(type.param);
                         });

}  // namespace
