// The RTCMV codec and catalogue as RTCMVDecoder's CodecDecoder sees them.
#include "RTCMVDecoder.h"

#include "RTCMV_messages.h"

#include <nvttrace/dbg.h>

namespace {

TraceChannel decoderChannel{"Mesaro_RTCMV", "RTCMVDecoder"};

} // namespace

TraceChannel &RTCMV_Codec::channel()
{
    return decoderChannel;
}

const FormatInfo *RTCMV_Codec::format()
{
    return RTCMV_FormatInfo::getInstance();
}

Message *RTCMV_Codec::createMessage(void *record)
{
    return RTCMV_createMessage(record);
}

const MessageInfo *RTCMV_Codec::messageInfoOfKind(uint32_t kind)
{
    return RTCMV_messageInfoOfKind(kind);
}

RTCMVDecoder::RTCMVDecoder(QObject *parent) : CodecDecoder(parent) {}

RTCMVDecoder::~RTCMVDecoder() = default;

int32_t RTCMVDecoder::decodeMessage(const uint8_t *buffer, uint maxlength)
{
    return CodecDecoder::decodeMessage(buffer, maxlength);
}
