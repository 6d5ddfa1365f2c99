// Generic generator and comparison of RTCMV codec records, driven by the codec's layout tables.
#include "codec_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace Nvt::Mesaro;

namespace CodecSupport {

namespace {

// Every record starts with these members.
struct RecordHeader
{
    uint32_t kind;
    uint32_t bitLength;
    void *parent;
};
static_assert(offsetof(RTCMV_DGNSS_s, parent) == offsetof(RecordHeader, parent), "record header");
static_assert(offsetof(RTCMV_Message_Type_56_s, parent) == offsetof(RecordHeader, parent), "record header");

// How long the generator insists on the requested count range before it takes any valid count
// (some messages cannot reach every range).
constexpr int RangeAttempts = 500;

size_t ctypeSize(uint8_t ctype)
{
    switch (ctype) {
    case RTCMV_CTYPE_U8: case RTCMV_CTYPE_I8: case RTCMV_CTYPE_CHAR: return 1;
    case RTCMV_CTYPE_U16: case RTCMV_CTYPE_I16: return 2;
    case RTCMV_CTYPE_U32: case RTCMV_CTYPE_I32: return 4;
    case RTCMV_CTYPE_POINTER: return sizeof(void *);
    default: return 8;
    }
}

bool isSigned(uint8_t ctype)
{
    return ctype == RTCMV_CTYPE_I8 || ctype == RTCMV_CTYPE_CHAR || ctype == RTCMV_CTYPE_I16
        || ctype == RTCMV_CTYPE_I32 || ctype == RTCMV_CTYPE_I64;
}

template<typename T>
int64_t load(const unsigned char *p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return int64_t(value);
}

template<typename T>
void store(unsigned char *p, int64_t value)
{
    const T narrowed = T(value);
    std::memcpy(p, &narrowed, sizeof narrowed);
}

const unsigned char *fieldAddress(const void *record, const RTCMV_field_info_s &field, uint32_t index)
{
    return static_cast<const unsigned char *>(record) + field.offset + index * ctypeSize(field.ctype);
}

void *blockOf(const void *record, const RTCMV_field_info_s &field)
{
    void *block;
    std::memcpy(&block, static_cast<const unsigned char *>(record) + field.offset, sizeof block);
    return block;
}

double doubleValue(const void *record, const RTCMV_field_info_s &field)
{
    double value;
    std::memcpy(&value, fieldAddress(record, field, 0), sizeof value);
    return value;
}

// The first difference as a path below the records, e.g. ".Corrections[2].PRC: 5 != -3".
std::string differenceIn(const void *expected, const void *actual)
{
    if (kindOf(expected) != kindOf(actual))
        return ".kind: " + std::to_string(kindOf(expected)) + " != " + std::to_string(kindOf(actual));
    const RTCMV_record_info_s *info = RTCMV_record_info(kindOf(expected));
    if (info == nullptr)
        return ": unknown kind " + std::to_string(kindOf(expected));
    const auto name = [](const RTCMV_field_info_s &field) { return std::string(".") + field.name; };
    const auto element = [&](const RTCMV_field_info_s &field, uint32_t index) {
        return name(field) + "[" + std::to_string(index) + "]";
    };
    for (uint32_t i = 0; i < info->fieldCount; ++i) {
        const RTCMV_field_info_s &field = info->fields[i];
        const bool present = RTCMV_field_present(expected, i);
        if (present != RTCMV_field_present(actual, i))
            return name(field) + ": present in one record only";
        if (!present)
            continue;
        switch (field.what) {
        case RTCMV_FIELD_WIRE:
        case RTCMV_FIELD_DERIVED:
            if (field.ctype == RTCMV_CTYPE_F64) {
                const double a = doubleValue(expected, field), b = doubleValue(actual, field);
                if (!(a == b))
                    return name(field) + ": " + std::to_string(a) + " != " + std::to_string(b);
            } else {
                const int64_t a = fieldValue(expected, field), b = fieldValue(actual, field);
                if (a != b)
                    return name(field) + ": " + std::to_string(a) + " != " + std::to_string(b);
            }
            break;
        case RTCMV_FIELD_ARRAY:
        case RTCMV_FIELD_TEXT: {
            // Texts are compared with their terminating zero.
            const uint32_t count = std::min<uint32_t>(elementCount(expected, field), field.capacity);
            const uint32_t compared = field.what == RTCMV_FIELD_TEXT ? count + 1 : count;
            for (uint32_t j = 0; j < compared; ++j) {
                const int64_t a = fieldValue(expected, field, j), b = fieldValue(actual, field, j);
                if (a != b)
                    return element(field, j) + ": " + std::to_string(a) + " != " + std::to_string(b);
            }
            break;
        }
        case RTCMV_FIELD_RECORDS: {
            const uint32_t count = elementCount(expected, field);
            if (count == 0)
                break;
            if (blockOf(expected, field) == nullptr || blockOf(actual, field) == nullptr)
                return name(field) + ": no block for " + std::to_string(count) + " elements";
            for (uint32_t j = 0; j < count; ++j) {
                const std::string difference = differenceIn(elementAt(expected, field, j), elementAt(actual, field, j));
                if (!difference.empty())
                    return element(field, j) + difference;
            }
            break;
        }
        default:
            break;
        }
    }
    return std::string();
}

}  // namespace

const std::vector<uint32_t> &messageTypes()
{
    static const std::vector<uint32_t> types = [] {
        std::vector<uint32_t> result;
        for (uint32_t kind = 1; RTCMV_record_info(kind) != nullptr; ++kind) {
            if (RTCMV_record_info(kind)->messageType != 0)
                result.push_back(RTCMV_record_info(kind)->messageType);
        }
        return result;
    }();
    return types;
}

int64_t fieldValue(const void *record, const RTCMV_field_info_s &field, uint32_t index)
{
    const unsigned char *p = fieldAddress(record, field, index);
    switch (field.ctype) {
    case RTCMV_CTYPE_U8: return load<uint8_t>(p);
    case RTCMV_CTYPE_I8: return load<int8_t>(p);
    case RTCMV_CTYPE_CHAR: return load<char>(p);
    case RTCMV_CTYPE_U16: return load<uint16_t>(p);
    case RTCMV_CTYPE_I16: return load<int16_t>(p);
    case RTCMV_CTYPE_U32: return load<uint32_t>(p);
    case RTCMV_CTYPE_I32: return load<int32_t>(p);
    case RTCMV_CTYPE_U64: return load<uint64_t>(p);
    case RTCMV_CTYPE_I64: return load<int64_t>(p);
    default: return 0;
    }
}

void setFieldValue(void *record, const RTCMV_field_info_s &field, int64_t value, uint32_t index)
{
    unsigned char *p = const_cast<unsigned char *>(fieldAddress(record, field, index));
    switch (field.ctype) {
    case RTCMV_CTYPE_U8: store<uint8_t>(p, value); break;
    case RTCMV_CTYPE_I8: store<int8_t>(p, value); break;
    case RTCMV_CTYPE_CHAR: store<char>(p, value); break;
    case RTCMV_CTYPE_U16: store<uint16_t>(p, value); break;
    case RTCMV_CTYPE_I16: store<int16_t>(p, value); break;
    case RTCMV_CTYPE_U32: store<uint32_t>(p, value); break;
    case RTCMV_CTYPE_I32: store<int32_t>(p, value); break;
    case RTCMV_CTYPE_U64: store<uint64_t>(p, value); break;
    case RTCMV_CTYPE_I64: store<int64_t>(p, value); break;
    default: break;
    }
}

int64_t wireValue(const RTCMV_field_info_s &field, uint64_t raw)
{
    const unsigned bits = field.bits;
    if (bits < 64)
        raw &= (uint64_t(1) << bits) - 1;
    if (isSigned(field.ctype) && bits < 64 && (raw >> (bits - 1)) != 0)
        return int64_t(raw) - int64_t(uint64_t(1) << bits);
    return int64_t(raw);
}

uint32_t kindOf(const void *record)
{
    RecordHeader header;
    std::memcpy(&header, record, sizeof header);
    return header.kind;
}

uint32_t bitLengthOf(const void *record)
{
    RecordHeader header;
    std::memcpy(&header, record, sizeof header);
    return header.bitLength;
}

const void *parentOf(const void *record)
{
    RecordHeader header;
    std::memcpy(&header, record, sizeof header);
    return header.parent;
}

uint32_t elementCount(const void *record, const RTCMV_field_info_s &field)
{
    if (field.countField < 0)
        return field.fixedCount;
    const RTCMV_record_info_s *info = RTCMV_record_info(kindOf(record));
    return uint32_t(fieldValue(record, info->fields[field.countField]));
}

const void *elementAt(const void *record, const RTCMV_field_info_s &field, uint32_t index)
{
    const unsigned char *block = static_cast<const unsigned char *>(blockOf(record, field));
    if (block == nullptr)
        return nullptr;
    return block + size_t(index) * RTCMV_record_info(field.elementKind)->size;
}

uint32_t fixedBits(const RTCMV_record_info_s &info)
{
    uint32_t bits = 0;
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        if (info.fields[i].what == RTCMV_FIELD_WIRE)
            bits += info.fields[i].bits;
    }
    return bits;
}

RecordGenerator::RecordGenerator(uint64_t seed)
    : m_engine(seed)
{
}

void RecordGenerator::setCountRange(uint32_t minCount, uint32_t maxCount)
{
    m_minCount = minCount;
    m_maxCount = maxCount;
}

uint64_t RecordGenerator::edgeBiasedBits(unsigned bits)
{
    const uint64_t ones = bits >= 64 ? ~uint64_t(0) : (uint64_t(1) << bits) - 1;
    switch (m_engine() % 8) {
    case 0: return 0;
    case 1: return ones;
    case 2: return uint64_t(1) << (bits - 1);  // the minimum signed value
    case 3: return ones >> 1;                  // the maximum signed value
    default: return m_engine() & ones;
    }
}

void RecordGenerator::generate(uint32_t messageType, RTCMV_record_u *record)
{
    const RTCMV_record_info_s *info = RTCMV_message_info(messageType);
    // The counts follow from wire fields (data-word counts, bitmaps, lengths, zenith steps), so
    // those are drawn again until every count fits its array.
    for (int attempt = 0;; ++attempt) {
        RTCMV_init_record(record, info->kind);
        fillWireFields(record, *info);
        RTCMV_update_derived(record);
        if (countsAcceptable(record, *info, attempt < RangeAttempts))
            break;
    }
    fillArrays(record, *info);
    RTCMV_update_derived(record);
}

void RecordGenerator::fillWireFields(void *record, const RTCMV_record_info_s &info)
{
    // In layout order, so that each condition sees the fields it depends on.
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        const RTCMV_field_info_s &field = info.fields[i];
        if (field.what != RTCMV_FIELD_WIRE || !RTCMV_field_present(record, i))
            continue;
        // The dispatch recognises a message by its type field.
        if (info.messageType != 0 && std::strcmp(field.name, "Message_Type") == 0)
            setFieldValue(record, field, info.messageType);
        else
            setFieldValue(record, field, wireValue(field, edgeBiasedBits(field.bits)));
    }
}

bool RecordGenerator::countsAcceptable(const void *record, const RTCMV_record_info_s &info, bool inRange) const
{
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        const RTCMV_field_info_s &field = info.fields[i];
        const bool variable = field.what == RTCMV_FIELD_ARRAY || field.what == RTCMV_FIELD_TEXT
            || (field.what == RTCMV_FIELD_RECORDS && field.countField >= 0);
        if (!variable || !RTCMV_field_present(record, i))
            continue;
        const uint32_t count = elementCount(record, field);
        const uint32_t capacity = field.what == RTCMV_FIELD_RECORDS ? UINT8_MAX : field.capacity;
        if (count > capacity)
            return false;
        if (inRange && (count < std::min(m_minCount, capacity) || count > m_maxCount))
            return false;
    }
    return true;
}

void RecordGenerator::fillArrays(void *record, const RTCMV_record_info_s &info)
{
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        const RTCMV_field_info_s &field = info.fields[i];
        if (!RTCMV_field_present(record, i))
            continue;
        if (field.what == RTCMV_FIELD_ARRAY || field.what == RTCMV_FIELD_TEXT) {
            const uint32_t count = elementCount(record, field);
            for (uint32_t j = 0; j < count; ++j)
                setFieldValue(record, field, wireValue(field, edgeBiasedBits(field.bits)), j);
            if (field.what == RTCMV_FIELD_TEXT)
                setFieldValue(record, field, 0, count);
        } else if (field.what == RTCMV_FIELD_RECORDS) {
            const RTCMV_record_info_s *elementInfo = RTCMV_record_info(field.elementKind);
            const uint32_t count = elementCount(record, field);
            if (field.countField >= 0) {
                // Appending counts the elements again from zero.
                setFieldValue(record, info.fields[field.countField], 0);
                for (uint32_t j = 0; j < count; ++j) {
                    void *element = RTCMV_append_record(record);
                    if (element == nullptr)
                        throw std::bad_alloc();
                }
            } else {
                // A fixed block belongs to the record like a decoded one: malloc, released with free().
                unsigned char *block = static_cast<unsigned char *>(std::malloc(size_t(count) * elementInfo->size));
                if (block == nullptr)
                    throw std::bad_alloc();
                for (uint32_t j = 0; j < count; ++j) {
                    unsigned char *element = block + size_t(j) * elementInfo->size;
                    RTCMV_init_record(element, field.elementKind);
                    void *parent = record;
                    std::memcpy(element + offsetof(RecordHeader, parent), &parent, sizeof parent);
                }
                std::memcpy(static_cast<unsigned char *>(record) + field.offset, &block, sizeof block);
            }
            // Filled once the block has stopped moving.
            for (uint32_t j = 0; j < count; ++j) {
                void *element = const_cast<void *>(elementAt(record, field, j));
                fillWireFields(element, *elementInfo);
                RTCMV_update_derived(element);
            }
        }
    }
}

std::vector<unsigned char> encodeMessage(void *record)
{
    // Larger than any message: the longest, type 56 with 32 blocks, takes 2646 bits.
    unsigned char buffer[1024] = {};
    const int32_t bits = RTCMV_encode_record(buffer, sizeof buffer, record);
    if (bits < 0)
        return {};
    return std::vector<unsigned char>(buffer, buffer + (bits + 7) / 8);
}

std::string firstDifference(const void *expected, const void *actual)
{
    const std::string difference = differenceIn(expected, actual);
    if (difference.empty())
        return difference;
    const RTCMV_record_info_s *info = RTCMV_record_info(kindOf(expected));
    return (info != nullptr ? info->name : "record") + difference;
}

}  // namespace CodecSupport
