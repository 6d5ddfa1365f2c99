// The RTCMV codec with only its field-by-field reads, in a namespace of its own.
#define RTCMV_CODEC_FIELD_BY_FIELD
#define Mesaro MesaroFieldByField
#include "RTCMV_codec.cpp"
#undef Mesaro

#include "field_by_field.h"

int32_t FieldByField::decodeRTCMV(const unsigned char *buffer, uint16_t size, void *record)
{
    return Nvt::MesaroFieldByField::RTCMV_decode(nullptr, buffer, size, record);
}
