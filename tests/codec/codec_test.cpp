// Both codecs (RTCMV, RTCM2X) over every message type: random records survive encode and decode with
// the bit count of their length rule; every prefix decodes and encodes, in exactly sized buffers, to
// what a model of the codec's walk gives; and the RTCMV contract beyond single messages (dispatch,
// enable context, init, append, free, error names).
#include "codec_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <climits>
#include <cstring>
#include <map>
#include <memory>

using namespace Nvt::Mesaro;
using namespace CodecSupport;

namespace {

// Bits of a complete message as its length rule gives them, from the words, bitmaps and flags of
// its header alone.
uint32_t messageBits(const AnyRecord &any)
{
    const RTCMV_record_u &r = any.rtcmv; // the types other than RTCMV's read only the header
    const unsigned words = r.Message_Type_1.No_Of_Data_Words; // every message starts with the same header
    const auto sats = [](uint64_t bitmap) { return uint32_t(std::bitset<64>(bitmap).count()); };
    switch (r.Message_Type_1.Message_Type) {
    case 2: return 48 + 40 * (words * 3 / 5);
    case 4: return words >= 4 ? 144 : 96;
    case 5: return 48 + 24 * words;
    case 6: return 48;
    case 7: case 35: return 48 + 72 * (words / 3);
    case 13: return 96;
    case 14: return 72;
    case 1: case 9: case 31: case 34: return 48 + 40 * (words * 3 / 5);
    case 3: case 32: return 144;
    case 15: return 48 + 36 * (words * 2 / 3);
    case 16: case 59: return 48 + 24 * words; // every character slot of the data words is read
    case 17: case 44: return 528;
    case 18: case 19: case 20: case 21: return 72 + 48 * (words * 3 / 6);
    case 22: return words == 2 ? 96 : words == 3 ? 120 : 72;
    case 23: return 72 + 8 * r.Message_Type_23.NAD + (r.Message_Type_23.Serial_Flag == 1 ? 8 * r.Message_Type_23.NAS : 0);
    case 24: return r.Message_Type_24.Height_Indicator == 1 ? 192 : 168;
    case 38: return 600;
    case 39: return 96 + 18 * sats(r.Message_Type_39.Satellite_Bitmap);
    case 41: return 60 + 8 * r.Message_Type_41.Name_Length;
    case 48: return 80 + 65 * sats(r.Message_Type_48.Slot_Bitmap);
    case 49: return 80 + 21 * sats(r.Message_Type_49.Slot_Bitmap);
    case 50: return 576;
    case 51: return 88 + 16 * sats(r.Message_Type_51.Satellite_Bitmap);
    case 52: return 63 + 9 * (((words * 24 - 24) & 0xFFFF) / 9 + 1);
    case 53: return 91 + 12 * sats(r.Message_Type_53.Satellite_Bitmap);
    case 54: return 126 + 15 * sats(r.Message_Type_54.Satellite_Bitmap);
    case 55: return 192;
    case 56: return 86 + 80 * sats(r.Message_Type_56.Satellite_Bitmap);
    case 57: return 86 + 16 * sats(r.Message_Type_57.Satellite_Bitmap);
    case 58: {
        const RTCMV_Message_Type_58_s &m = r.Message_Type_58;
        return 72 + 8 * (m.Zenit_Step_Size != 0 ? m.End_Zenit_Value / m.Zenit_Step_Size + 1 : 1);
    }
    default: return 0;
    }
}

// A codec result as text: the bits of a message, or the name of its error.
std::string resultText(int32_t result, const CodecTables &format = RTCMV_TABLES)
{
    return result >= 0 ? std::to_string(result) + " bits" : format.errorName(result);
}

// The codec's walk through a buffer of `limit` bits: a wire field without room names the pending
// error and leaves the position where it was, so that a later, narrower field may still fit;
// arrays and blocks go on only while nothing is pending, and the first failing element ends its
// block. Decoding stores the values read, whose conditions and counts steer the rest of the walk;
// encoding walks the record as it is.
struct CodecModel : RTCMV_RecordVisitor
{
    const unsigned char *decoding; // the message, or null when encoding
    uint32_t limit;
    uint32_t position = 0;
    std::string error;

    // Error names spell record and field names in upper case, without a trailing underscore.
    static std::string errorName(const RTCMV_FieldVisit &f, const char *what)
    {
        std::string name = std::string(f.tables.format) + "_ERR_" + f.record.name + "_" + f.name();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return name.substr(0, name.find_last_not_of('_') + 1) + what;
    }
    bool fits(const RTCMV_FieldVisit &f, uint32_t element = 0)
    {
        if (element >= f.field.capacity && f.field.what != RTCMV_FIELD_WIRE)
            error = errorName(f, "_INT_BUFFER_OVERFLOW");
        else if (position + f.field.bits > limit)
            error = errorName(f, "_EXT_BUFFER_OVERFLOW");
        else
            return true;
        return false;
    }
    bool enterField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_WIRE && fits(f)) {
            uint64_t raw = 0;
            for (uint32_t i = position; decoding != nullptr && i < position + f.field.bits; ++i)
                raw = raw << 1 | ((decoding[i / 8] >> (7 - i % 8)) & 1u);
            if (decoding != nullptr) {
                RTCMV_store(f.at, f.field.ctype, wireValue(f.field, raw));
                f.tables.updateDerived(f.holder);
            }
            position += f.field.bits;
        }
        for (uint32_t j = 0; f.field.what == RTCMV_FIELD_RECORDS && j < f.declared && error.empty(); ++j) {
            AnyRecord element;
            f.tables.initRecord(&element, f.field.elementKind);
            RTCMV_walk_record(decoding != nullptr ? &element : const_cast<void *>(elementAt(f.holder, f.field, j, f.tables)),
                              *this, f.depth + 1, f.tables);
        }
        const bool array = f.field.what == RTCMV_FIELD_ARRAY || f.field.what == RTCMV_FIELD_TEXT;
        for (uint32_t j = 0; array && j < f.declared && error.empty() && fits(f, j); ++j)
            position += f.field.bits;
        return false;
    }
};

// What decoding the first `bytes` bytes of `message` gives, or encoding `record` into `bytes` bytes.
std::string modelResult(const CodecTables &format, const void *record, const unsigned char *message, uint16_t bytes)
{
    if (message != nullptr && bytes * 8 <= 14)
        return std::string(format.format) + "_ERR_INVALID_MESSAGE";
    AnyRecord decoded;
    format.initRecord(&decoded, kindOf(record));
    CodecModel model{{}, message, uint32_t(bytes) * 8, 0, {}};
    RTCMV_walk_record(message != nullptr ? static_cast<void *>(&decoded) : const_cast<void *>(record), model, 0, format);
    return model.error.empty() ? resultText(int32_t(model.position)) : model.error;
}

// Record storage of the format that starts as garbage and releases its block however the test leaves.
struct OwnedRecord
{
    explicit OwnedRecord(const CodecTables &of = RTCMV_TABLES) : format(of) { std::memset(&any, 0xA5, sizeof any); }
    ~OwnedRecord() { format.freeRecord(&any); }
    const CodecTables &format;
    AnyRecord any;
    RTCMV_record_u &record = any.rtcmv; // RTCMV's view, for the tests of its contract
};

// Each element of a decoded message points back to the record that holds it.
struct ParentCheck : RTCMV_RecordVisitor
{
    bool enterRecord(const RTCMV_FieldVisit &f, uint32_t j, const void *element)
    {
        EXPECT_EQ(parentOf(element), f.holder) << f.name() << "[" << j << "]";
        return true;
    }
};

// Message type and kind tag of every message of a format (the decoder's tests hold the published
// numbering).
struct TypeAndKind
{
    unsigned type, kind;
    const CodecTables *format = &RTCMV_TABLES;
};
std::vector<TypeAndKind> messages(const CodecTables &format)
{
    std::vector<TypeAndKind> all;
    for (uint32_t type : messageTypes(format))
        all.push_back({type, format.messageInfo(type)->kind, &format});
    return all;
}

void checkRoundTrip(AnyRecord *original, TypeAndKind message)
{
    const CodecTables &format = *message.format;
    const uint32_t bits = messageBits(*original);
    const uint16_t size = uint16_t((bits + 7) / 8);
    // Exactly sized heap buffers, so that AddressSanitizer sees any access past the message; one
    // starts as zeros, the other as ones, to show which bits the encoder writes.
    std::unique_ptr<unsigned char[]> zeros(new unsigned char[size]), ones(new unsigned char[size]);
    std::memset(zeros.get(), 0x00, size);
    std::memset(ones.get(), 0xFF, size);
    ASSERT_EQ(resultText(format.encodeRecord(zeros.get(), size, original), format), resultText(int32_t(bits)));
    EXPECT_EQ(bitLengthOf(original), bits);
    ASSERT_EQ(format.encodeRecord(ones.get(), size, original), int32_t(bits));
    EXPECT_EQ(bitLengthOf(original), 2 * bits) << "each encode adds the message's width";
    // The message's bits are the same in both; the fill after them stays as it was.
    const unsigned fill = (1u << (size * 8 - bits)) - 1;
    ASSERT_TRUE(std::equal(zeros.get(), zeros.get() + size - 1, ones.get()));
    ASSERT_EQ(zeros[size - 1] | fill, ones[size - 1]);
    ASSERT_EQ(zeros[size - 1] & fill, 0u);

    // The message answers to its own enable bit alone: mask 0x80 >> (kind % 8) of byte (kind + 1) / 8.
    unsigned char only[CODEC_ENABLE_BYTES] = {}, allBut[CODEC_ENABLE_BYTES];
    const auto mask = static_cast<unsigned char>(0x80u >> (message.kind % 8));
    only[(message.kind + 1) / 8] = mask;
    std::memset(allBut, 0xFF, sizeof allBut);
    allBut[(message.kind + 1) / 8] = static_cast<unsigned char>(~mask);
    for (const unsigned char *filter : {static_cast<const unsigned char *>(only), static_cast<const unsigned char *>(nullptr)}) {
        OwnedRecord decoded(format);
        const int32_t result = format.decode(filter, filter != nullptr ? zeros.get() : ones.get(), size, &decoded.any);
        ASSERT_EQ(resultText(result, format), resultText(int32_t(bits)));
        ASSERT_EQ(firstDifference(original, &decoded.any, format), "");
        EXPECT_EQ(bitLengthOf(&decoded.any), bits);
        ParentCheck parents;
        RTCMV_walk_record(static_cast<const void *>(&decoded.any), parents, format);
    }
    // A refused message touches nothing but the type byte of the record.
    OwnedRecord refused(format), untouched(format);
    ASSERT_EQ(resultText(format.decode(allBut, zeros.get(), size, &refused.any), format),
              std::string(format.format) + "_ERR_MESSAGE_TYPE_" + std::to_string(message.type) + "_DISABLED");
    untouched.record.Message_Type_1.Message_Type = static_cast<unsigned char>(message.type); // where every record has it
    EXPECT_EQ(std::memcmp(&refused.any, &untouched.any, sizeof refused.any), 0);
}

// Every prefix of the message, in a buffer of exactly its length so that AddressSanitizer reports
// any access past it, decodes to the model's result; encoding into each length likewise.
void checkTruncations(AnyRecord *record, const CodecTables &format)
{
    static const std::vector<unsigned char> everyKind(CODEC_ENABLE_BYTES, 0xFF);
    const std::vector<unsigned char> message = encodeMessage(record, format);
    ASSERT_EQ(modelResult(format, record, message.data(), uint16_t(message.size())),
              resultText(int32_t(messageBits(*record))));
    for (uint16_t length = 0; length <= message.size(); ++length) {
        SCOPED_TRACE(::testing::Message() << length << " of " << message.size() << " bytes");
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[length]);
        std::copy_n(message.begin(), length, buffer.get());
        AnyRecord decoded;
        format.initRecord(&decoded, kindOf(record));
        const int32_t result = format.decode(length % 2 != 0 ? everyKind.data() : nullptr, buffer.get(), length, &decoded);
        format.freeRecord(&decoded); // failed decodes can hold a block too
        EXPECT_EQ(resultText(result, format), modelResult(format, record, message.data(), length)) << "decoding";
        EXPECT_EQ(resultText(format.encodeRecord(buffer.get(), length, record), format),
                  modelResult(format, record, nullptr, length))
            << "encoding";
    }
}

class EveryType : public ::testing::TestWithParam<TypeAndKind>
{
};

TEST_P(EveryType, RoundTripsAndTruncations)
{
    const CodecTables &format = *GetParam().format;
    RecordGenerator generator(0x52544356u * 64 + GetParam().type);
    for (int n = 0; n < 2000 && !HasFailure(); ++n) {
        SCOPED_TRACE(::testing::Message() << "record " << n);
        OwnedRecord original(format);
        generator.generate(format, GetParam().type, &original.any);
        checkRoundTrip(&original.any, GetParam());
        if (n < 64 && !HasFailure())
            checkTruncations(&original.any, format);
    }
}

const auto typeName = [](const ::testing::TestParamInfo<TypeAndKind> &message) {
    return "Type" + std::to_string(message.param.type);
};
INSTANTIATE_TEST_SUITE_P(Codec, EveryType, ::testing::ValuesIn(messages(RTCMV_TABLES)), typeName);
INSTANTIATE_TEST_SUITE_P(Rtcm2x, EveryType, ::testing::ValuesIn(messages(RTCM2X_TABLES)), typeName);

} // namespace

TEST(CodecContract, DispatchAndContext)
{
    RTCMV_context_s all;
    std::memset(&all, 0xAA, sizeof all);
    RTCMV_init_context(&all);
    const unsigned char initial[7] = {0x00, 0x02, 0xFF, 0xFF, 0xFF, 0xFD, 0x00};
    EXPECT_EQ(std::memcmp(&all, initial, sizeof initial), 0);
    // Too short to hold a type: lastType takes the byte the record held before.
    OwnedRecord d;
    d.record.Message_Type_1.Message_Type = 42;
    EXPECT_EQ(RTCMV_decode(&all, initial + 1, 1, &d.record), RTCMV_ERR_INVALID_MESSAGE);
    EXPECT_EQ(all.lastType, 42);

    // (Types no decoder knows: the decoder's tests.) A count beyond an inline array's capacity is
    // refused both ways; 256 bytes hold any message.
    std::vector<unsigned char> header(256, 0);
    header[0] = 0x66;
    header[1] = 16 << 2;
    header[5] = 31 << 3;
    EXPECT_EQ(RTCMV_decode(nullptr, header.data(), 256, &d.record), RTCMV_ERR_MESSAGE_TYPE_16_MESSAGE_INT_BUFFER_OVERFLOW);
    unsigned char out[256];
    EXPECT_EQ(RTCMV_encode_record(out, sizeof out, &d.record), RTCMV_ERR_MESSAGE_TYPE_16_MESSAGE_INT_BUFFER_OVERFLOW);

    // A record decoder given an expected size rejects a longer record and skips to the end of a shorter one.
    RTCMV_Message_Type_3_s m3;
    for (uint32_t expected : {100u, 144u, 200u}) {
        uint32_t offset = 0;
        EXPECT_EQ(RTCMV_decode_Message_Type_3(nullptr, header.data(), 28, &offset, nullptr, expected, &m3),
                  expected < 144 ? RTCMV_ERR_MESSAGE_TYPE_3_ECEF_Z_SIZE_UNDERFLOW : int32_t(expected));
        EXPECT_EQ(offset, expected < 144 ? 144 : expected);
    }
}

TEST(CodecContract, InitAppendAndFreeOfEveryRecord)
{
    for (uint32_t kind = 1; RTCMV_record_info(kind) != nullptr; ++kind) {
        const RTCMV_record_info_s &info = *RTCMV_record_info(kind);
        SCOPED_TRACE(info.name);
        OwnedRecord rec;
        ASSERT_EQ(RTCMV_init_record(&rec.record, kind), 0);
        EXPECT_EQ(kindOf(&rec.record), kind);
        if (info.messageType != 0) {
            EXPECT_EQ(rec.record.Message_Type_1.Preamble, 0x66);
            EXPECT_EQ(rec.record.Message_Type_1.Message_Type, info.messageType);
        }
        if (info.messageType == 17) { // the fill fields of a fresh ephemeris start as binary 101
            EXPECT_EQ(rec.record.Message_Type_17.FILL1, 5);
            EXPECT_EQ(rec.record.Message_Type_17.FILL2, 5);
        }
        // A variable block grows one element at a time, keeps what it held and stops where its
        // count does; freeing it leaves no block behind.
        const RTCMV_field_info_s &last = info.fields[info.fieldCount - 1];
        uint32_t appended = 0;
        for (void *e; appended < 300 && (e = RTCMV_append_record(&rec.record)) != nullptr; ++appended) {
            EXPECT_EQ(parentOf(e), &rec.record);
            std::memcpy(e, &appended, sizeof appended); // the kind field, as a mark
        }
        EXPECT_EQ(appended, last.what == RTCMV_FIELD_RECORDS && last.countField >= 0 ? 255u : 0u);
        for (uint32_t i = 0; i < appended; ++i)
            EXPECT_EQ(kindOf(elementAt(&rec.record, last, i)), i);
        RTCMV_free_record(&rec.record);
        EXPECT_EQ(appended != 0 ? RTCMV_block_of(&rec.record, last) : nullptr, nullptr);
    }
}

// Error names at the ends of the table and beyond it (each name is an enumerator: no two are alike).
TEST(CodecContract, ErrorNamesAtTheEndsOfTheTable)
{
    const std::map<int32_t, std::string> named = {
        {0, "RTCMV_ERR_NONE"}, {INT_MAX, "RTCMV_ERR_NONE"}, {-555, "RTCMV_ERR_MESSAGE_TYPE_3_DISABLED"},
        {-587, "RTCMV_ERR_INVALID_MESSAGE"}, {-588, "RTCMV_ERR_EOF"}, {-589, "???"}, {INT_MIN, "???"}};
    for (const auto &codeAndName : named)
        EXPECT_EQ(RTCMV_error_name(codeAndName.first), codeAndName.second);
}
