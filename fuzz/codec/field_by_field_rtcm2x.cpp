// The RTCM2X codec with only its field-by-field reads, in a namespace of its own.
#define RTCM2X_CODEC_FIELD_BY_FIELD
#define Mesaro MesaroFieldByField
#include "RTCM2X_codec.cpp"
#undef Mesaro

#include "field_by_field.h"

int32_t FieldByField::decodeRTCM2X(const unsigned char *buffer, uint16_t size, void *record)
{
    return Nvt::MesaroFieldByField::RTCM2X_decode(nullptr, buffer, size, record);
}
