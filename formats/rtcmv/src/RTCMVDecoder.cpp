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

constexpr int firstNumber = 1;
constexpr int lastNumber = RTCMV_KIND_Message_Type_56;

bool isRegistered(int e)
{
    return e >= firstNumber && e <= lastNumber;
}

// The enable bit of number e: mask 0x80 >> (e % 8) of byte (e + 1) / 8, as the codec tests it.
unsigned char &enableByte(RTCMV_context_s &context, int e)
{
    return context.enable[(e + 1) / 8];
}
unsigned char enableMask(int e)
{
    return static_cast<unsigned char>(0x80u >> (e % 8));
}

// Releases the sub-record block a refused decode may have left in the local record.
struct LocalRecord
{
    RTCMV_record_u record;
    LocalRecord() { std::memset(&record, 0, sizeof(record)); }
    void release()
    {
        if (record.kind >= firstNumber && record.kind <= unsigned(lastNumber))
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
    setMessageEnum(RTCMV_Type_15_MessageInfo::getInstance(), 1);
    setMessageEnum(RTCMV_DGNSS_MessageInfo::getInstance(), 2);
    setMessageEnum(RTCMV_RTK_18_MessageInfo::getInstance(), 3);
    setMessageEnum(RTCMV_RTK_19_MessageInfo::getInstance(), 4);
    setMessageEnum(RTCMV_RTK_20_MessageInfo::getInstance(), 5);
    setMessageEnum(RTCMV_RTK_21_MessageInfo::getInstance(), 6);
    setMessageEnum(RTCMV_WACorrection_MessageInfo::getInstance(), 7);
    setMessageEnum(RTCMV_JPL_46_MessageInfo::getInstance(), 8);
    setMessageEnum(RTCMV_JPL_48_MessageInfo::getInstance(), 9);
    setMessageEnum(RTCMV_JPL_49_MessageInfo::getInstance(), 10);
    setMessageEnum(RTCMV_OCDS_54_MessageInfo::getInstance(), 11);
    setMessageEnum(RTCMV_OCDS_55_MessageInfo::getInstance(), 12);
    setMessageEnum(RTCMV_OCDS_56_MessageInfo::getInstance(), 13);
    setMessageEnum(RTCMV_Message_Type_3_MessageInfo::getInstance(), 14);
    setMessageEnum(RTCMV_Message_Type_16_MessageInfo::getInstance(), 15);
    setMessageEnum(RTCMV_Message_Type_17_MessageInfo::getInstance(), 16);
    setMessageEnum(RTCMV_Message_Type_22_MessageInfo::getInstance(), 17);
    setMessageEnum(RTCMV_Message_Type_23_MessageInfo::getInstance(), 18);
    setMessageEnum(RTCMV_Message_Type_24_MessageInfo::getInstance(), 19);
    setMessageEnum(RTCMV_Message_Type_32_MessageInfo::getInstance(), 20);
    setMessageEnum(RTCMV_Message_Type_39_MessageInfo::getInstance(), 21);
    setMessageEnum(RTCMV_Message_Type_41_MessageInfo::getInstance(), 22);
    setMessageEnum(RTCMV_Message_Type_51_MessageInfo::getInstance(), 23);
    setMessageEnum(RTCMV_Message_Type_52_MessageInfo::getInstance(), 24);
    setMessageEnum(RTCMV_Message_Type_53_MessageInfo::getInstance(), 25);
    setMessageEnum(RTCMV_Message_Type_57_MessageInfo::getInstance(), 26);
    setMessageEnum(RTCMV_Message_Type_58_MessageInfo::getInstance(), 27);
    setMessageEnum(RTCMV_Message_Type_59_MessageInfo::getInstance(), 28);
    setMessageEnum(RTCMV_Message_Type_1_MessageInfo::getInstance(), 29);
    setMessageEnum(RTCMV_Message_Type_9_MessageInfo::getInstance(), 30);
    setMessageEnum(RTCMV_Message_Type_15_MessageInfo::getInstance(), 31);
    setMessageEnum(RTCMV_Message_Type_18_MessageInfo::getInstance(), 32);
    setMessageEnum(RTCMV_Message_Type_19_MessageInfo::getInstance(), 33);
    setMessageEnum(RTCMV_Message_Type_20_MessageInfo::getInstance(), 34);
    setMessageEnum(RTCMV_Message_Type_21_MessageInfo::getInstance(), 35);
    setMessageEnum(RTCMV_Message_Type_31_MessageInfo::getInstance(), 36);
    setMessageEnum(RTCMV_Message_Type_34_MessageInfo::getInstance(), 37);
    setMessageEnum(RTCMV_Message_Type_38_MessageInfo::getInstance(), 38);
    setMessageEnum(RTCMV_Message_Type_44_MessageInfo::getInstance(), 39);
    setMessageEnum(RTCMV_Message_Type_48_MessageInfo::getInstance(), 40);
    setMessageEnum(RTCMV_Message_Type_49_MessageInfo::getInstance(), 41);
    setMessageEnum(RTCMV_Message_Type_50_MessageInfo::getInstance(), 42);
    setMessageEnum(RTCMV_Message_Type_54_MessageInfo::getInstance(), 43);
    setMessageEnum(RTCMV_Message_Type_55_MessageInfo::getInstance(), 44);
    setMessageEnum(RTCMV_Message_Type_56_MessageInfo::getInstance(), 45);
}

RTCMVDecoder::~RTCMVDecoder()
{
    dbg_ResolveChannel(decoderChannel);
    MemLeakTracer::deallocateObject(QStringLiteral("RTCMVDecoder"));
}

void RTCMVDecoder::enableAllMessages()
{
    dbg_ResolveChannel(decoderChannel);
    context.enable[1] |= 0x02;
    context.enable[2] = 0xFF;
    context.enable[3] = 0xFF;
    context.enable[4] = 0xFF;
    context.enable[5] |= 0xFD;
}

void RTCMVDecoder::disableAllMessages()
{
    dbg_ResolveChannel(decoderChannel);
    context.enable[1] &= 0xFD;
    context.enable[2] = 0x00;
    context.enable[3] = 0x00;
    context.enable[4] = 0x00;
    context.enable[5] &= 0x02;
}

void RTCMVDecoder::enableMessageEnum(int e)
{
    dbg_ResolveChannel(decoderChannel);
    if (isRegistered(e))
        enableByte(context, e) |= enableMask(e);
}

void RTCMVDecoder::disableMessageEnum(int e)
{
    dbg_ResolveChannel(decoderChannel);
    if (isRegistered(e))
        enableByte(context, e) &= static_cast<unsigned char>(~enableMask(e));
}

bool RTCMVDecoder::isEnabledMessageEnum(int e) const
{
    dbg_ResolveChannel(decoderChannel);
    if (!isRegistered(e))
        return false;
    return (context.enable[(e + 1) / 8] & enableMask(e)) != 0;
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
