// The RTCM2X codec behind the CodecTables interface: its layouts restated once, when first asked
// for, in RTCMV's layout types (the same members and enumerations, checked below).
#include "CodecTables.h"


#include <RTCM2X_codec.h>

#include <vector>

namespace Nvt {
namespace Mesaro {

namespace {

static_assert(int(RTCM2X_FIELD_WIRE) == int(RTCMV_FIELD_WIRE) && int(RTCM2X_FIELD_DERIVED) == int(RTCMV_FIELD_DERIVED)
                  && int(RTCM2X_FIELD_ARRAY) == int(RTCMV_FIELD_ARRAY) && int(RTCM2X_FIELD_TEXT) == int(RTCMV_FIELD_TEXT)
                  && int(RTCM2X_FIELD_RECORDS) == int(RTCMV_FIELD_RECORDS),
              "both codecs name the kinds of fields alike");
static_assert(int(RTCM2X_CTYPE_U8) == int(RTCMV_CTYPE_U8) && int(RTCM2X_CTYPE_CHAR) == int(RTCMV_CTYPE_CHAR)
                  && int(RTCM2X_CTYPE_I32) == int(RTCMV_CTYPE_I32) && int(RTCM2X_CTYPE_F64) == int(RTCMV_CTYPE_F64)
                  && int(RTCM2X_CTYPE_POINTER) == int(RTCMV_CTYPE_POINTER),
              "both codecs name the storage types alike");

struct Layouts
{
    std::vector<std::vector<RTCMV_field_info_s>> fields; // by kind - 1
    std::vector<RTCMV_record_info_s> records;            // by kind - 1

    Layouts()
    {
        for (uint32_t kind = RTCM2X_FIRST_KIND; kind <= RTCM2X_LAST_KIND; ++kind) {
            const RTCM2X_record_info_s &r = *RTCM2X_record_info(kind);
            fields.emplace_back();
            for (uint32_t i = 0; i < r.fieldCount; ++i) {
                const RTCM2X_field_info_s &f = r.fields[i];
                fields.back().push_back({f.name, f.what, f.ctype, f.bits, f.conditional, f.offset, f.capacity,
                                         f.countField, f.fixedCount, f.elementKind, f.metres});
            }
        }
        for (uint32_t kind = RTCM2X_FIRST_KIND; kind <= RTCM2X_LAST_KIND; ++kind) {
            const RTCM2X_record_info_s &r = *RTCM2X_record_info(kind);
            records.push_back({r.name, r.kind, r.messageType, r.size, r.fieldCount, fields[kind - 1].data()});
        }
    }
};

const RTCMV_record_info_s *recordInfo(uint32_t kind)
{
    static const Layouts layouts;
    if (kind < RTCM2X_FIRST_KIND || kind > RTCM2X_LAST_KIND)
        return nullptr;
    return &layouts.records[kind - 1];
}

const RTCMV_record_info_s *messageInfo(uint32_t messageType)
{
    const RTCM2X_record_info_s *info = RTCM2X_message_info(messageType);
    return info != nullptr ? recordInfo(info->kind) : nullptr;
}

} // namespace

const CodecTables RTCM2X_TABLES = {
    "RTCM2X", RTCM2X_MESSAGE_TYPES, RTCM2X_MESSAGE_TYPE_COUNT, uint32_t(RTCM2X_RECORD_STORAGE_SIZE),
    recordInfo, messageInfo, RTCM2X_field_present, RTCM2X_update_derived, RTCM2X_init_record,
    RTCM2X_append_record, RTCM2X_free_record, RTCM2X_encode_record,
    decodeEnabled<RTCM2X_context_s, RTCM2X_init_context, RTCM2X_decode>, RTCM2X_error_name,
};

} // namespace Mesaro
} // namespace Nvt
