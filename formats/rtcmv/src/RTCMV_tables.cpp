// The RTCMV codec behind the CodecTables interface, and the list of every format.
#include "CodecTables.h"

#include <cstring>

namespace Nvt {
namespace Mesaro {

namespace {

int32_t decodeEnabled(const unsigned char *enable, const unsigned char *buffer, uint16_t size, void *record)
{
    if (enable == nullptr)
        return RTCMV_decode(nullptr, buffer, size, record);
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    static_assert(sizeof context.enable == CODEC_ENABLE_BYTES, "every codec has the same enable bytes");
    std::memcpy(context.enable, enable, sizeof context.enable);
    return RTCMV_decode(&context, buffer, size, record);
}

} // namespace

const CodecTables RTCMV_TABLES = {
    "RTCMV", RTCMV_MESSAGE_TYPES, RTCMV_MESSAGE_TYPE_COUNT, uint32_t(RTCMV_RECORD_STORAGE_SIZE),
    RTCMV_record_info, RTCMV_message_info, RTCMV_field_present, RTCMV_update_derived, RTCMV_init_record,
    RTCMV_append_record, RTCMV_free_record, RTCMV_encode_record, decodeEnabled, RTCMV_error_name,
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
