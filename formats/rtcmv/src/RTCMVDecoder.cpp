// The decode cycle and the message enabling of RTCMVDecoder.
#include "RTCMVDecoder.h"

#include "RTCMV_messages.h"

#include <mesaroframework/MesaroEvent.h>
#include <nvtguibase/MemLeakTracer.h>
#include <nvttrace/dbg.h>

#include <cstring>

using namespace Nvt::Mesaro;

namespace {

TraceChannel decoderChannel{"Mesaro_RTCMV", "RTCMVDecoder"};

// The enable operations take the kind tags as message enum numbers.
bool isRegistered(int e)
{
    return e >= int(RTCMV_FIRST_KIND) && e <= int(RTCMV_LAST_KIND);
}

unsigned char &enableByte(RTCMV_context_s &context, int e)
{
    return context.enable[RTCMV_enable_byte(uint32_t(e))];
}

// Releases the sub-record block a refused decode may have left in the local record.
struct LocalRecord
{
    RTCMV_record_u record;
    LocalRecord() { std::memset(&record, 0, sizeof(record)); }
    void release()
    {
        if (record.kind >= RTCMV_FIRST_KIND && record.kind <= RTCMV_LAST_KIND)
            RTCMV_free_record(&record);
    }
};

} // namespace

RTCMVDecoder::RTCMVDecoder(QObject *parent) : AbstractDecoder(QStringLiteral("RTCMV"), parent)
{
    dbg_ResolveChannel(decoderChannel);
    MemLeakTracer::allocateObject(QStringLiteral("RTCMVDecoder"));
    RTCMV_init_context(&context);
    // Asking the format first builds the whole catalogue before any single descriptor is requested.
    RTCMV_FormatInfo::getInstance();
    for (uint32_t kind = RTCMV_FIRST_KIND; kind <= RTCMV_LAST_KIND; ++kind)
        setMessageEnum(RTCMV_messageInfoOfKind(kind), int(kind));
}

RTCMVDecoder::~RTCMVDecoder()
{
    dbg_ResolveChannel(decoderChannel);
    MemLeakTracer::deallocateObject(QStringLiteral("RTCMVDecoder"));
}

void RTCMVDecoder::enableAllMessages()
{
    dbg_ResolveChannel(decoderChannel);
    for (std::size_t i = 0; i < sizeof(context.enable); ++i)
        context.enable[i] |= RTCMV_ENABLE_MESSAGES[i];
}

// Sub-record bits stay as they are: only message kinds are switched off.
void RTCMVDecoder::disableAllMessages()
{
    dbg_ResolveChannel(decoderChannel);
    for (std::size_t i = 0; i < sizeof(context.enable); ++i)
        context.enable[i] &= static_cast<unsigned char>(~RTCMV_ENABLE_MESSAGES[i]);
}

void RTCMVDecoder::enableMessageEnum(int e)
{
    dbg_ResolveChannel(decoderChannel);
    if (isRegistered(e))
        enableByte(context, e) |= RTCMV_enable_mask(uint32_t(e));
}

void RTCMVDecoder::disableMessageEnum(int e)
{
    dbg_ResolveChannel(decoderChannel);
    if (isRegistered(e))
        enableByte(context, e) &= static_cast<unsigned char>(~RTCMV_enable_mask(uint32_t(e)));
}

bool RTCMVDecoder::isEnabledMessageEnum(int e) const
{
    dbg_ResolveChannel(decoderChannel);
    if (!isRegistered(e))
        return false;
    return (context.enable[RTCMV_enable_byte(uint32_t(e))] & RTCMV_enable_mask(uint32_t(e))) != 0;
}

int32_t RTCMVDecoder::decodeMessage(const uint8_t *buffer, uint maxlength)
{
    dbg_ResolveChannel(decoderChannel);
    // The codec counts bytes in 16 bits: more bytes than it can count must not wrap into fewer.
    const uint16_t size = buffer == nullptr ? 0 : static_cast<uint16_t>(qMin<uint>(maxlength, 0xFFFFu));
    static const unsigned char empty = 0;
    LocalRecord local; // cleared: a buffer too short for a type reports type 0
    const int32_t result = RTCMV_decode(&context, buffer != nullptr ? buffer : &empty, size, &local.record);
    if (result <= 0) {
        local.release();
        if (result == RTCMV_ERR_INVALID_MESSAGE) {
            const QString type = QString::number(context.lastType);
            newEvent(MesaroEvent(MesaroEvent::UnrecognisedMessageType,
                                 QStringLiteral("RTCMV: Message type %1 unknown to PC software").arg(type),
                                 RTCMV_FormatInfo::getInstance()));
            newUnknownMessage(RTCMV_FormatInfo::getInstance(), QStringLiteral("Message type %1").arg(type));
        } else {
            newEvent(MesaroEvent(MesaroEvent::CodecError,
                                 QStringLiteral("RTCMV: %1").arg(QLatin1String(RTCMV_error_name(result))),
                                 RTCMV_FormatInfo::getInstance()));
        }
        return result;
    }
    Message *message = RTCMV_createMessage(&local.record);
    if (message == nullptr) {
        local.release();
        newEvent(MesaroEvent(MesaroEvent::InconsistentDecoderState, QStringLiteral("RTCMV: Inconsistent decoder state"),
                             RTCMV_FormatInfo::getInstance()));
        return result;
    }
    // The scoped reference keeps the message alive through the three stages and releases it even
    // when a sink throws.
    const ReferencePointer<Message> hold(message);
    newMessageEarly(message);
    newMessage(message);
    newMessageLate(message);
    return result;
}
