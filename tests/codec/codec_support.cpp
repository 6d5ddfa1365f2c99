// Generic generator and comparison of RTCMV codec records, driven by the codec's layout tables.
#include "codec_support.h"

#include "RTCMV_RecordWalker.h"

#include <algorithm>
#include <cstdio>
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

std::string exactText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The message as a list of (path, value) lines, e.g. (".Corrections[2].PRC", "5"): wire fields
// present under their condition, derived fields, arrays and texts up to their count (texts with
// their terminating zero), sub-records recursively.
class Flattener : public RTCMV_RecordVisitor
{
public:
    std::vector<std::pair<std::string, std::string>> lines;

    bool enterField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_TEXT) // compared with the zero after the last character
            add(f, f.count, std::to_string(RTCMV_load(f.element(f.count), f.field.ctype)));
        if (f.field.what == RTCMV_FIELD_RECORDS && f.declared != 0 && f.count == 0)
            lines.emplace_back(path(f), "no block for " + std::to_string(f.declared) + " elements");
        return true;
    }
    void absentField(const RTCMV_FieldVisit &f) { lines.emplace_back(path(f), "absent"); }
    void value(const RTCMV_FieldVisit &f, uint32_t element, const char *at)
    {
        const bool single = f.field.what == RTCMV_FIELD_WIRE || f.field.what == RTCMV_FIELD_DERIVED;
        const std::string text = f.field.ctype == RTCMV_CTYPE_F64 ? exactText(RTCMV_load_f64(at))
                                                                  : std::to_string(RTCMV_load(at, f.field.ctype));
        if (single)
            lines.emplace_back(path(f), text);
        else
            add(f, element, text);
    }
    bool enterRecord(const RTCMV_FieldVisit &f, uint32_t element, const void *)
    {
        m_prefix.push_back(path(f) + "[" + std::to_string(element) + "]");
        return true;
    }
    void leaveRecord(const RTCMV_FieldVisit &, uint32_t, const void *) { m_prefix.pop_back(); }

private:
    std::string path(const RTCMV_FieldVisit &f) const
    {
        return (m_prefix.empty() ? std::string() : m_prefix.back()) + "." + f.name();
    }
    void add(const RTCMV_FieldVisit &f, uint32_t element, const std::string &text)
    {
        lines.emplace_back(path(f) + "[" + std::to_string(element) + "]", text);
    }
    std::vector<std::string> m_prefix;
};

std::vector<std::pair<std::string, std::string>> flatten(const void *record)
{
    Flattener flattener;
    RTCMV_walk_record(record, flattener);
    return flattener.lines;
}

// The first difference as a path below the records, e.g. ".Corrections[2].PRC: 5 != -3".
std::string differenceIn(const void *expected, const void *actual)
{
    if (kindOf(expected) != kindOf(actual))
        return ".kind: " + std::to_string(kindOf(expected)) + " != " + std::to_string(kindOf(actual));
    if (RTCMV_record_info(kindOf(expected)) == nullptr)
        return ": unknown kind " + std::to_string(kindOf(expected));
    const auto a = flatten(expected), b = flatten(actual);
    for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
        if (i >= a.size() || i >= b.size() || a[i].first != b[i].first)
            return (i < a.size() ? a[i] : b[i]).first + ": present in one record only";
        if (a[i].second != b[i].second)
            return a[i].first + ": " + a[i].second + " != " + b[i].second;
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
    return RTCMV_load(static_cast<const char *>(record) + field.offset + index * RTCMV_storage_size(field.ctype),
                      field.ctype);
}

void setFieldValue(void *record, const RTCMV_field_info_s &field, int64_t value, uint32_t index)
{
    RTCMV_store(static_cast<char *>(record) + field.offset + index * RTCMV_storage_size(field.ctype), field.ctype,
                value);
}

int64_t wireValue(const RTCMV_field_info_s &field, uint64_t raw)
{
    const unsigned bits = field.bits;
    if (bits < 64)
        raw &= (uint64_t(1) << bits) - 1;
    if (RTCMV_storage_signed(field.ctype) && bits < 64 && (raw >> (bits - 1)) != 0)
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
    return RTCMV_declared_count(record, *RTCMV_layout_of(record), field);
}

const void *elementAt(const void *record, const RTCMV_field_info_s &field, uint32_t index)
{
    const unsigned char *block = static_cast<const unsigned char *>(RTCMV_block_of(record, field));
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
        if (countsAcceptable(record, attempt < RangeAttempts))
            break;
    }
    fillArrays(record);
    RTCMV_update_derived(record);
}

// Walks a record for the generator, in layout order, so that each condition and count sees the
// fields it depends on.
template <typename OnField>
struct FieldsVisitor : RTCMV_RecordVisitor
{
    OnField onField;
    bool enterField(const RTCMV_FieldVisit &f)
    {
        onField(f);
        return false;
    }
};

template <typename OnField>
void forEachPresentField(void *record, OnField onField)
{
    FieldsVisitor<OnField> visitor{{}, onField};
    RTCMV_walk_record(record, visitor);
}

void RecordGenerator::fillWireFields(void *record, const RTCMV_record_info_s &info)
{
    forEachPresentField(record, [&](const RTCMV_FieldVisit &f) {
        if (f.field.what != RTCMV_FIELD_WIRE)
            return;
        // The dispatch recognises a message by its type field.
        if (info.messageType != 0 && std::strcmp(f.name(), "Message_Type") == 0)
            RTCMV_store(f.at, f.field.ctype, info.messageType);
        else
            RTCMV_store(f.at, f.field.ctype, wireValue(f.field, edgeBiasedBits(f.field.bits)));
    });
}

bool RecordGenerator::countsAcceptable(void *record, bool inRange) const
{
    bool acceptable = true;
    forEachPresentField(record, [&](const RTCMV_FieldVisit &f) {
        const bool variable = f.field.what == RTCMV_FIELD_ARRAY || f.field.what == RTCMV_FIELD_TEXT
            || (f.field.what == RTCMV_FIELD_RECORDS && f.field.countField >= 0);
        if (!variable)
            return;
        const uint32_t capacity = f.field.what == RTCMV_FIELD_RECORDS ? UINT8_MAX : f.field.capacity;
        if (f.declared > capacity)
            acceptable = false;
        else if (inRange && (f.declared < std::min(m_minCount, capacity) || f.declared > m_maxCount))
            acceptable = false;
    });
    return acceptable;
}

void RecordGenerator::fillBlock(void *record, const RTCMV_FieldVisit &f)
{
    const RTCMV_record_info_s *elementInfo = RTCMV_record_info(f.field.elementKind);
    const uint32_t count = f.declared;
    if (f.field.countField >= 0) {
        // Appending counts the elements again from zero.
        setFieldValue(record, f.record.fields[f.field.countField], 0);
        for (uint32_t j = 0; j < count; ++j) {
            if (RTCMV_append_record(record) == nullptr)
                throw std::bad_alloc();
        }
    } else {
        // A fixed block belongs to the record like a decoded one: malloc, released with free().
        unsigned char *block = static_cast<unsigned char *>(std::malloc(size_t(count) * elementInfo->size));
        if (block == nullptr)
            throw std::bad_alloc();
        for (uint32_t j = 0; j < count; ++j) {
            unsigned char *element = block + size_t(j) * elementInfo->size;
            RTCMV_init_record(element, f.field.elementKind);
            void *parent = record;
            std::memcpy(element + offsetof(RecordHeader, parent), &parent, sizeof parent);
        }
        std::memcpy(f.at, &block, sizeof block);
    }
    // Filled once the block has stopped moving.
    for (uint32_t j = 0; j < count; ++j) {
        void *element = const_cast<void *>(elementAt(record, f.field, j));
        fillWireFields(element, *elementInfo);
        RTCMV_update_derived(element);
    }
}

void RecordGenerator::fillArrays(void *record)
{
    forEachPresentField(record, [&](const RTCMV_FieldVisit &f) {
        if (f.field.what == RTCMV_FIELD_ARRAY || f.field.what == RTCMV_FIELD_TEXT) {
            for (uint32_t j = 0; j < f.declared; ++j)
                RTCMV_store(f.element(j), f.field.ctype, wireValue(f.field, edgeBiasedBits(f.field.bits)));
            if (f.field.what == RTCMV_FIELD_TEXT)
                RTCMV_store(f.element(f.declared), f.field.ctype, 0);
        } else if (f.field.what == RTCMV_FIELD_RECORDS) {
            fillBlock(record, f);
        }
    });
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
