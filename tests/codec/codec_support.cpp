// Generic generator and comparison of codec records, driven by each codec's layout tables.
#include "codec_support.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

using namespace Nvt::Mesaro;

namespace CodecSupport {

namespace {

// A member of the header every record starts with (kind, bitLength, parent), read from its place
// in any of them.
template <typename T>
T header(const void *record, std::size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const char *>(record) + offset, sizeof value);
    return value;
}

// How long the generator insists on the requested count range before it takes any valid count
// (some messages cannot reach every range).
constexpr int RangeAttempts = 500;

// The message as lines "name=value" in walk order: wire fields present under their condition,
// derived fields, arrays and texts up to their count (texts with their terminating zero),
// sub-records recursively.
struct Flattener : RTCMV_RecordVisitor
{
    std::vector<std::string> lines;

    bool enterField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_TEXT)
            value(f, f.count, f.element(f.count));
        if (f.field.what == RTCMV_FIELD_RECORDS && f.declared != 0 && f.count == 0)
            lines.push_back(std::string(f.name()) + ": no block for " + std::to_string(f.declared) + " elements");
        return true;
    }
    void absentField(const RTCMV_FieldVisit &f) { lines.push_back(std::string(f.name()) + " absent"); }
    void value(const RTCMV_FieldVisit &f, uint32_t element, const char *at)
    {
        char text[80];
        if (f.field.ctype == RTCMV_CTYPE_F64)
            std::snprintf(text, sizeof text, "%s[%u]=%.17g", f.name(), element, RTCMV_load_f64(at));
        else
            std::snprintf(text, sizeof text, "%s[%u]=%lld", f.name(), element, (long long)RTCMV_load(at, f.field.ctype));
        lines.push_back(text);
    }
};

}  // namespace

// Fills a record in layout order, so that each condition and count sees the fields it depends on;
// `valid` turns false when a count exceeds its capacity (or, while `inRange`, the count range).
struct Filler : RTCMV_RecordVisitor
{
    RecordGenerator &generator;
    bool inRange;
    bool valid = true;

    bool enterField(const RTCMV_FieldVisit &f)
    {
        const bool messageType = f.depth == 0 && std::strcmp(f.name(), "Message_Type") == 0;
        if (f.field.what == RTCMV_FIELD_WIRE) // the dispatch recognises a message by its type
            RTCMV_store(f.at, f.field.ctype, messageType ? f.record.messageType : random(f));
        if (f.field.what == RTCMV_FIELD_WIRE || f.field.what == RTCMV_FIELD_DERIVED || !valid)
            return false;
        f.tables.updateDerived(f.holder);
        const uint32_t count = RTCMV_declared_count(f.holder, f.record, f.field);
        const bool variable = f.field.what != RTCMV_FIELD_RECORDS || f.field.countField >= 0;
        const uint32_t capacity = f.field.what == RTCMV_FIELD_RECORDS ? UINT8_MAX : f.field.capacity;
        valid = !variable || (count <= capacity && (!inRange || (count >= std::min(generator.m_minCount, capacity)
                                                                 && count <= generator.m_maxCount)));
        if (valid && f.field.what == RTCMV_FIELD_RECORDS)
            fillBlock(f, count);
        else if (valid) {
            for (uint32_t j = 0; j < count; ++j)
                RTCMV_store(f.element(j), f.field.ctype, random(f));
            if (f.field.what == RTCMV_FIELD_TEXT)
                RTCMV_store(f.element(count), f.field.ctype, 0);
        }
        return false;
    }
    int64_t random(const RTCMV_FieldVisit &f) { return wireValue(f.field, generator.edgeBiasedBits(f.field.bits)); }

    // A block belongs to the record like a decoded one: malloc, released with free().
    void fillBlock(const RTCMV_FieldVisit &f, uint32_t count)
    {
        const uint32_t size = f.tables.recordInfo(f.field.elementKind)->size;
        char *block = count == 0 ? nullptr : static_cast<char *>(std::malloc(size_t(count) * size));
        if (count != 0 && block == nullptr)
            throw std::bad_alloc();
        std::memcpy(f.at, &block, sizeof block);
        for (char *element = block; element != block + size_t(count) * size; element += size) {
            f.tables.initRecord(element, f.field.elementKind);
            std::memcpy(element + offsetof(RTCMV_DGNSS_s, parent), &f.holder, sizeof f.holder);
            RTCMV_walk_record(element, *this, f.depth + 1, f.tables);
            f.tables.updateDerived(element);
        }
    }
};

const std::vector<uint32_t> &messageTypes(const CodecTables &format)
{
    static const std::vector<uint32_t> rtcmv(RTCMV_TABLES.messageTypes, RTCMV_TABLES.messageTypes + RTCMV_TABLES.messageTypeCount),
        rtcm2x(RTCM2X_TABLES.messageTypes, RTCM2X_TABLES.messageTypes + RTCM2X_TABLES.messageTypeCount);
    return &format == &RTCM2X_TABLES ? rtcm2x : rtcmv;
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

uint32_t kindOf(const void *record) { return header<uint32_t>(record, offsetof(RTCMV_DGNSS_s, kind)); }
uint32_t bitLengthOf(const void *record) { return header<uint32_t>(record, offsetof(RTCMV_DGNSS_s, bitLength)); }
const void *parentOf(const void *record) { return header<void *>(record, offsetof(RTCMV_DGNSS_s, parent)); }

const void *elementAt(const void *record, const RTCMV_field_info_s &field, uint32_t index, const CodecTables &format)
{
    const char *block = static_cast<const char *>(RTCMV_block_of(record, field));
    return block == nullptr ? nullptr : block + size_t(index) * format.recordInfo(field.elementKind)->size;
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

void RecordGenerator::generate(const CodecTables &format, uint32_t messageType, AnyRecord *record)
{
    // The counts follow from wire fields (data-word counts, bitmaps, lengths, zenith steps), so
    // those are drawn again until every count fits its array.
    for (int attempt = 0;; ++attempt) {
        format.initRecord(record, format.messageInfo(messageType)->kind);
        Filler filler{{}, *this, attempt < RangeAttempts};
        RTCMV_walk_record(static_cast<void *>(record), filler, 0, format);
        format.updateDerived(record);
        if (filler.valid)
            return;
        format.freeRecord(record);
    }
}

void RecordGenerator::generate(uint32_t messageType, RTCMV_record_u *record)
{
    generate(RTCMV_TABLES, messageType, reinterpret_cast<AnyRecord *>(record));
}

std::vector<unsigned char> encodeMessage(void *record, const CodecTables &format)
{
    // Larger than any message: the longest, type 56 with 32 blocks, takes 2646 bits.
    unsigned char buffer[1024] = {};
    const int32_t bits = format.encodeRecord(buffer, sizeof buffer, record);
    return std::vector<unsigned char>(buffer, buffer + (bits < 0 ? 0 : (bits + 7) / 8));
}

std::string firstDifference(const void *expected, const void *actual, const CodecTables &format)
{
    if (RTCMV_layout_of(expected, format) == nullptr || kindOf(expected) != kindOf(actual))
        return "kinds " + std::to_string(kindOf(expected)) + " and " + std::to_string(kindOf(actual));
    Flattener a, b;
    RTCMV_walk_record(expected, a, format);
    RTCMV_walk_record(actual, b, format);
    a.lines.push_back("end");
    b.lines.push_back("end");
    const auto difference = std::mismatch(a.lines.begin(), a.lines.end(), b.lines.begin(), b.lines.end());
    if (difference.first == a.lines.end())
        return std::string();
    return std::string(RTCMV_layout_of(expected, format)->name) + ": " + *difference.first + " != " + *difference.second;
}

}  // namespace CodecSupport
