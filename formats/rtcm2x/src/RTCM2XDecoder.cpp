// The RTCM2X codec and catalogue as RTCM2XDecoder's CodecDecoder sees them, and the RTCM2X
// message descriptors' own format.
#include "RTCM2XDecoder.h"

#include "RTCM2X_messages.h"

#include <nvttrace/dbg.h>

namespace {

TraceChannel decoderChannel{"Mesaro_RTCM2X", "RTCM2XDecoder"};

} // namespace

TraceChannel &RTCM2X_Codec::channel()
{
    return decoderChannel;
}

const FormatInfo *RTCM2X_Codec::format()
{
    return RTCM2X_FormatInfo::getInstance();
}

Message *RTCM2X_Codec::createMessage(void *record)
{
    return RTCM2X_createMessage(record);
}

const MessageInfo *RTCM2X_Codec::messageInfoOfKind(uint32_t kind)
{
    return RTCM2X_messageInfoOfKind(kind);
}

RTCM2XDecoder::RTCM2XDecoder(QObject *parent) : CodecDecoder(parent) {}

RTCM2XDecoder::~RTCM2XDecoder() = default;

int32_t RTCM2XDecoder::decodeMessage(const uint8_t *buffer, uint maxlength)
{
    return CodecDecoder::decodeMessage(buffer, maxlength);
}

RTCM2X_MessageInfoBase::RTCM2X_MessageInfoBase(QString displayName, QString className, TraceChannel &channel,
                                               bool main, QString shortDescriptiveText)
    : RTCMV_MessageInfoBase(std::move(displayName), std::move(className), channel, main,
                            std::move(shortDescriptiveText), RTCM2X_FormatInfo::getInstance())
{
}
