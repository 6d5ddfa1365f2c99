// JSON objects from codec records through the layout tables.
#include "RecordJson.h"

#include "Output.h"

#include <RTCMV_codec.h>

#include <QtCore/QtGlobal>

#include <cstring>
#include <string>
#include <vector>

using namespace Nvt::Mesaro;

namespace {

// The value of a field of type `ctype` at `at`.
void writeValue(Output &out, const char *at, uint8_t ctype)
{
    if (ctype == RTCMV_CTYPE_F64) {
        double value;
        std::memcpy(&value, at, sizeof value);
        out.jsonDouble(value);
    } else if (ctype == RTCMV_CTYPE_U64) {
        out << static_cast<unsigned long long>(loadField(at, ctype));
    } else {
        out << loadField(at, ctype);
    }
}

unsigned long long countOf(const char *base, const RTCMV_record_info_s &info, const RTCMV_field_info_s &f)
{
    if (f.countField < 0)
        return f.fixedCount;
    const RTCMV_field_info_s &count = info.fields[f.countField];
    return static_cast<unsigned long long>(loadField(base + count.offset, count.ctype));
}

// The text `"Name":` of every field of every record kind, made once.
const std::string &keyOf(uint32_t kind, uint32_t index)
{
    static const std::vector<std::vector<std::string>> keys = [] {
        std::vector<std::vector<std::string>> all;
        for (uint32_t k = 1; RTCMV_record_info(k) != nullptr; ++k) {
            const RTCMV_record_info_s *info = RTCMV_record_info(k);
            all.emplace_back();
            for (uint32_t i = 0; i < info->fieldCount; ++i)
                all.back().push_back('"' + std::string(info->fields[i].name) + "\":");
        }
        return all;
    }();
    return keys[kind - 1][index];
}

} // namespace

unsigned int fieldStorageSize(uint8_t ctype)
{
    switch (ctype) {
    case RTCMV_CTYPE_U8: case RTCMV_CTYPE_I8: case RTCMV_CTYPE_CHAR: return 1;
    case RTCMV_CTYPE_U16: case RTCMV_CTYPE_I16: return 2;
    case RTCMV_CTYPE_U32: case RTCMV_CTYPE_I32: return 4;
    default: return 8;
    }
}

bool fieldIsSigned(uint8_t ctype)
{
    return ctype == RTCMV_CTYPE_I8 || ctype == RTCMV_CTYPE_CHAR || ctype == RTCMV_CTYPE_I16 ||
           ctype == RTCMV_CTYPE_I32 || ctype == RTCMV_CTYPE_I64;
}

long long loadField(const void *at, uint8_t ctype)
{
    switch (ctype) {
    case RTCMV_CTYPE_U8: return *static_cast<const unsigned char *>(at);
    case RTCMV_CTYPE_I8: return *static_cast<const signed char *>(at);
    case RTCMV_CTYPE_CHAR: return *static_cast<const char *>(at);
    case RTCMV_CTYPE_U16: return *static_cast<const unsigned short *>(at);
    case RTCMV_CTYPE_I16: return *static_cast<const short *>(at);
    case RTCMV_CTYPE_U32: return *static_cast<const unsigned int *>(at);
    case RTCMV_CTYPE_I32: return *static_cast<const int *>(at);
    case RTCMV_CTYPE_U64: return static_cast<long long>(*static_cast<const uint64_t *>(at));
    case RTCMV_CTYPE_I64: return *static_cast<const int64_t *>(at);
    default: return 0;
    }
}

void storeField(void *at, uint8_t ctype, long long v)
{
    switch (ctype) {
    case RTCMV_CTYPE_U8: *static_cast<unsigned char *>(at) = static_cast<unsigned char>(v); break;
    case RTCMV_CTYPE_I8: *static_cast<signed char *>(at) = static_cast<signed char>(v); break;
    case RTCMV_CTYPE_CHAR: *static_cast<char *>(at) = static_cast<char>(v); break;
    case RTCMV_CTYPE_U16: *static_cast<unsigned short *>(at) = static_cast<unsigned short>(v); break;
    case RTCMV_CTYPE_I16: *static_cast<short *>(at) = static_cast<short>(v); break;
    case RTCMV_CTYPE_U32: *static_cast<unsigned int *>(at) = static_cast<unsigned int>(v); break;
    case RTCMV_CTYPE_I32: *static_cast<int *>(at) = static_cast<int>(v); break;
    case RTCMV_CTYPE_U64: *static_cast<uint64_t *>(at) = static_cast<uint64_t>(v); break;
    case RTCMV_CTYPE_I64: *static_cast<int64_t *>(at) = static_cast<int64_t>(v); break;
    default: break;
    }
}

void writeRecordJson(Output &out, const void *record)
{
    const RTCMV_record_info_s *info = RTCMV_record_info(*static_cast<const uint32_t *>(record));
    if (info == nullptr) {
        out << "{}";
        return;
    }
    const char *base = static_cast<const char *>(record);
    out << '{';
    bool first = true;
    for (uint32_t i = 0; i < info->fieldCount; ++i) {
        const RTCMV_field_info_s &f = info->fields[i];
        if (f.conditional && !RTCMV_field_present(record, i))
            continue; // an optional field the message leaves out
        if (!first)
            out << ',';
        first = false;
        out << keyOf(info->kind, i);
        const char *at = base + f.offset;
        switch (f.what) {
        case RTCMV_FIELD_WIRE:
        case RTCMV_FIELD_DERIVED:
            writeValue(out, at, f.ctype);
            break;
        case RTCMV_FIELD_TEXT:
            out.jsonLatin1(at, unsigned(qMin<unsigned long long>(countOf(base, *info, f), f.capacity)));
            break;
        case RTCMV_FIELD_ARRAY: {
            const unsigned long long n = qMin<unsigned long long>(countOf(base, *info, f), f.capacity);
            const unsigned int size = fieldStorageSize(f.ctype);
            out << '[';
            for (unsigned long long k = 0; k < n; ++k) {
                if (k > 0)
                    out << ',';
                writeValue(out, at + k * size, f.ctype);
            }
            out << ']';
            break;
        }
        case RTCMV_FIELD_RECORDS: {
            const unsigned long long n = countOf(base, *info, f);
            const char *block = *reinterpret_cast<const char *const *>(at);
            const uint32_t elementSize = RTCMV_record_info(f.elementKind)->size;
            out << '[';
            for (unsigned long long k = 0; block != nullptr && k < n; ++k) {
                if (k > 0)
                    out << ',';
                writeRecordJson(out, block + k * elementSize);
            }
            out << ']';
            break;
        }
        default:
            out << "null";
            break;
        }
    }
    out << '}';
}
