// The RTCMV codec behind the CodecTables interface, and the list of every format.
#include "CodecTables.h"

namespace Nvt {
namespace Mesaro {

const CodecTables RTCMV_TABLES = {
    "RTCMV", RTCMV_MESSAGE_TYPES, RTCMV_MESSAGE_TYPE_COUNT, uint32_t(RTCMV_RECORD_STORAGE_SIZE),
    RTCMV_record_info, RTCMV_message_info, RTCMV_field_present, RTCMV_update_derived, RTCMV_init_record,
    RTCMV_append_record, RTCMV_free_record, RTCMV_encode_record,
    decodeEnabled<RTCMV_context_s, RTCMV_init_context, RTCMV_decode>, RTCMV_error_name,
};

const CodecTables *const CODEC_FORMATS[2] = {&RTCMV_TABLES, &RTCM2X_TABLES};

const CodecTables *codecTablesOfType(uint32_t messageType)
{
    for (const CodecTables *tables : CODEC_FORMATS) {
        if (tables->messageInfo(messageType) != nullptr)
            return tables;
    }
    return nullptr;
}

} // namespace Mesaro
} // namespace Nvt
