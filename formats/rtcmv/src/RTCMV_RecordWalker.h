// Generic access to codec records through the codec's layout tables (RTCMV_record_info, or any
// format's through CodecTables): the values of every storage type, and one walk over a record's
// fields, its inline arrays and its sub-record blocks. Code that handles every record alike (JSON
// writers and readers, test models) is written once against these instead of once per record.
#pragma once

#include "CodecTables.h"
#include "RTCMV_codec.h"

#include <cstdint>
#include <cstring>

namespace Nvt {
namespace Mesaro {

// ---- Values by storage type (RTCMV_ctype_e) ----

// Bytes one value (one element of an array) takes in a record.
inline unsigned int RTCMV_storage_size(uint8_t ctype)
{
    switch (ctype) {
    case RTCMV_CTYPE_U8: case RTCMV_CTYPE_I8: case RTCMV_CTYPE_CHAR: return 1;
    case RTCMV_CTYPE_U16: case RTCMV_CTYPE_I16: return 2;
    case RTCMV_CTYPE_U32: case RTCMV_CTYPE_I32: return 4;
    case RTCMV_CTYPE_POINTER: return sizeof(void *);
    default: return 8;
    }
}

inline bool RTCMV_storage_signed(uint8_t ctype)
{
    return ctype == RTCMV_CTYPE_I8 || ctype == RTCMV_CTYPE_CHAR || ctype == RTCMV_CTYPE_I16 ||
           ctype == RTCMV_CTYPE_I32 || ctype == RTCMV_CTYPE_I64;
}

namespace RTCMV_storage_detail {
template <typename T>
inline int64_t load(const void *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<int64_t>(value);
}
template <typename T>
inline void store(void *at, int64_t value)
{
    const T narrowed = static_cast<T>(value);
    std::memcpy(at, &narrowed, sizeof narrowed);
}
} // namespace RTCMV_storage_detail

// The integer at `at` widened to 64 bits (a U64 keeps its bits); 0 for F64 and pointers.
inline int64_t RTCMV_load(const void *at, uint8_t ctype)
{
    using namespace RTCMV_storage_detail;
    switch (ctype) {
    case RTCMV_CTYPE_U8: return load<uint8_t>(at);
    case RTCMV_CTYPE_I8: return load<int8_t>(at);
    case RTCMV_CTYPE_CHAR: return load<char>(at);
    case RTCMV_CTYPE_U16: return load<uint16_t>(at);
    case RTCMV_CTYPE_I16: return load<int16_t>(at);
    case RTCMV_CTYPE_U32: return load<uint32_t>(at);
    case RTCMV_CTYPE_I32: return load<int32_t>(at);
    case RTCMV_CTYPE_U64: return load<uint64_t>(at);
    case RTCMV_CTYPE_I64: return load<int64_t>(at);
    default: return 0;
    }
}

// Stores `value` narrowed to the storage type; F64 and pointers are left alone.
inline void RTCMV_store(void *at, uint8_t ctype, int64_t value)
{
    using namespace RTCMV_storage_detail;
    switch (ctype) {
    case RTCMV_CTYPE_U8: store<uint8_t>(at, value); break;
    case RTCMV_CTYPE_I8: store<int8_t>(at, value); break;
    case RTCMV_CTYPE_CHAR: store<char>(at, value); break;
    case RTCMV_CTYPE_U16: store<uint16_t>(at, value); break;
    case RTCMV_CTYPE_I16: store<int16_t>(at, value); break;
    case RTCMV_CTYPE_U32: store<uint32_t>(at, value); break;
    case RTCMV_CTYPE_I32: store<int32_t>(at, value); break;
    case RTCMV_CTYPE_U64: store<uint64_t>(at, value); break;
    case RTCMV_CTYPE_I64: store<int64_t>(at, value); break;
    default: break;
    }
}

inline double RTCMV_load_f64(const void *at)
{
    double value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// ---- Fields of a record ----

// The layout of a record of the format, by the kind every record starts with.
inline const RTCMV_record_info_s *RTCMV_layout_of(const void *record, const CodecTables &tables = RTCMV_TABLES)
{
    uint32_t kind;
    std::memcpy(&kind, record, sizeof kind);
    return tables.recordInfo(kind);
}

// How many elements an array, text or sub-record field holds as the record's count field says
// (the fixed size for fixed blocks), before any capacity limit; 1 for a single value.
inline uint32_t RTCMV_declared_count(const void *record, const RTCMV_record_info_s &info,
                                     const RTCMV_field_info_s &field)
{
    if (field.what == RTCMV_FIELD_WIRE || field.what == RTCMV_FIELD_DERIVED)
        return 1;
    if (field.countField < 0)
        return field.fixedCount;
    const RTCMV_field_info_s &count = info.fields[field.countField];
    return static_cast<uint32_t>(RTCMV_load(static_cast<const char *>(record) + count.offset, count.ctype));
}

// The block of a sub-record field; null while the record has none.
inline void *RTCMV_block_of(const void *record, const RTCMV_field_info_s &field)
{
    void *block;
    std::memcpy(&block, static_cast<const char *>(record) + field.offset, sizeof block);
    return block;
}

// One field as the walker hands it on.
struct RTCMV_FieldVisit
{
    const RTCMV_record_info_s &record; // layout of the record that holds the field
    const RTCMV_field_info_s &field;
    void *holder;    // the record that holds the field
    uint32_t index;  // of the field in record.fields
    uint32_t depth;  // 0 for the walked record, 1 in its sub-records, ...
    char *at;        // the field's storage (of its first element; of the block pointer for blocks)
    // Values the walk visits: 1 for a single value; for arrays and texts the declared count up to
    // the capacity; for sub-record blocks the declared count, or 0 while the record has no block.
    uint32_t count;
    uint32_t declared; // the count as the record states it (see RTCMV_declared_count)
    const CodecTables &tables; // the record's format

    const char *name() const { return field.name; }
    char *element(uint32_t i) const { return at + std::size_t(i) * RTCMV_storage_size(field.ctype); }
};

// What a visitor may override (by hiding the member of the same name; the walk is resolved at
// compile time, so a visitor costs no indirect call). Each defaults to doing nothing.
struct RTCMV_RecordVisitor
{
    // A field present in the record (under its condition). False skips its values, elements and
    // leaveField: the visitor took care of the field itself.
    bool enterField(const RTCMV_FieldVisit &) { return true; }
    // A conditional field that the record does not hold.
    void absentField(const RTCMV_FieldVisit &) {}
    // Value `element` (0 for a single value) of a wire, derived, array or text field.
    void value(const RTCMV_FieldVisit &, uint32_t /*element*/, char * /*at*/) {}
    // Element `element` of a sub-record block, before and after its own fields; false from
    // enterRecord skips its fields and leaveRecord.
    bool enterRecord(const RTCMV_FieldVisit &, uint32_t /*element*/, void * /*subRecord*/) { return true; }
    void leaveRecord(const RTCMV_FieldVisit &, uint32_t /*element*/, void * /*subRecord*/) {}
    void leaveField(const RTCMV_FieldVisit &) {}
};

// Walks the fields of `record` in layout order, and the fields of its sub-records in place.
// Conditions and counts are read when the walk reaches the field, so a visitor that writes
// values (a reader, a model of the decoder) steers the rest of its own walk.
template <class Visitor>
void RTCMV_walk_record(void *record, Visitor &visitor, uint32_t depth = 0, const CodecTables &tables = RTCMV_TABLES)
{
    const RTCMV_record_info_s *info = RTCMV_layout_of(record, tables);
    if (info == nullptr)
        return;
    char *base = static_cast<char *>(record);
    // Copies the visitor's writes cannot alias, so that they stay in registers.
    const RTCMV_field_info_s *const fields = info->fields;
    const uint32_t fieldCount = info->fieldCount;
    for (uint32_t i = 0; i < fieldCount; ++i) {
        const RTCMV_field_info_s &field = fields[i];
        RTCMV_FieldVisit visit{*info, field, record, i, depth, base + field.offset, 1, 1, tables};
        if (field.what != RTCMV_FIELD_WIRE && field.what != RTCMV_FIELD_DERIVED) {
            visit.declared = visit.count = RTCMV_declared_count(record, *info, field);
            if (field.what != RTCMV_FIELD_RECORDS)
                visit.count = visit.declared < field.capacity ? visit.declared : field.capacity;
            else if (RTCMV_block_of(record, field) == nullptr)
                visit.count = 0;
        }
        if (field.conditional && !tables.fieldPresent(record, i)) {
            visitor.absentField(visit);
            continue;
        }
        if (!visitor.enterField(visit))
            continue;
        if (field.what == RTCMV_FIELD_RECORDS) {
            char *block = static_cast<char *>(RTCMV_block_of(record, field));
            const uint32_t size = tables.recordInfo(field.elementKind)->size;
            for (uint32_t k = 0; k < visit.count; ++k) {
                void *element = block + std::size_t(k) * size;
                if (visitor.enterRecord(visit, k, element)) {
                    RTCMV_walk_record(element, visitor, depth + 1, tables);
                    visitor.leaveRecord(visit, k, element);
                }
            }
        } else if (field.what == RTCMV_FIELD_WIRE || field.what == RTCMV_FIELD_DERIVED) {
            visitor.value(visit, 0, visit.at);
        } else {
            const unsigned int size = RTCMV_storage_size(field.ctype);
            for (uint32_t k = 0; k < visit.count; ++k)
                visitor.value(visit, k, visit.at + std::size_t(k) * size);
        }
        visitor.leaveField(visit);
    }
}

// The same walk over a record the visitor only reads.
template <class Visitor>
void RTCMV_walk_record(const void *record, Visitor &visitor, const CodecTables &tables = RTCMV_TABLES)
{
    RTCMV_walk_record(const_cast<void *>(record), visitor, 0, tables);
}

} // namespace Mesaro
} // namespace Nvt
