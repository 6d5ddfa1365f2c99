// CodecDecoder: the decode cycle and the message enabling that every generated format's decoder
// object shares. A format's decoder derives from CodecDecoder<Codec>, where Codec names what
// differs: its codec's functions and tables, its catalogue and its names.
#pragma once

#include <mesaroframework/AbstractDecoder.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/Message.h>
#include <nvtguibase/MemLeakTracer.h>

#include <cstdint>
#include <cstring>

struct TraceChannel;

namespace RTCMV_detail {
void resolveChannel(TraceChannel &channel); // the trace library stays private to the library
} // namespace RTCMV_detail

// Codec provides: Context and Record (the codec's filter context and record storage), firstKind
// and lastKind, enableMessages (the enable bits of its message kinds), invalidMessage (the code of
// a type the codec does not know), name() (the format's name), channel() (the decoder's trace
// channel), format(), createMessage(), messageInfoOfKind(), initContext(), decode(), freeRecord(),
// errorName(), enableByte() and enableMask().
template <class Codec>
class CodecDecoder : public AbstractDecoder
{
public:
    // Message numbers are the codec's record kinds; numbers outside its range are ignored, and
    // reported as not enabled.
    void enableAllMessages() override
    {
        enter();
        for (std::size_t i = 0; i < sizeof(m_context.enable); ++i)
            m_context.enable[i] |= Codec::enableMessages[i];
    }

    // Sub-record bits stay as they are: only message kinds are switched off.
    void disableAllMessages() override
    {
        enter();
        for (std::size_t i = 0; i < sizeof(m_context.enable); ++i)
            m_context.enable[i] &= static_cast<unsigned char>(~Codec::enableMessages[i]);
    }

    void enableMessageEnum(int e) override
    {
        enter();
        if (isRegistered(e))
            enableByte(e) |= Codec::enableMask(uint32_t(e));
    }

    void disableMessageEnum(int e) override
    {
        enter();
        if (isRegistered(e))
            enableByte(e) &= static_cast<unsigned char>(~Codec::enableMask(uint32_t(e)));
    }

    bool isEnabledMessageEnum(int e) const override
    {
        enter();
        if (!isRegistered(e))
            return false;
        return (m_context.enable[Codec::enableByte(uint32_t(e))] & Codec::enableMask(uint32_t(e))) != 0;
    }

    // Decodes the message at the start of buffer (maxlength bytes available) and returns the bits
    // it took, or the codec's negative error code after publishing an event.
    int32_t decodeMessage(const uint8_t *buffer, uint maxlength) override
    {
        enter();
        // The codec counts bytes in 16 bits: more bytes than it can count must not wrap into fewer.
        const uint16_t size = buffer == nullptr ? 0 : static_cast<uint16_t>(qMin<uint>(maxlength, 0xFFFFu));
        static const unsigned char empty = 0;
        LocalRecord local; // cleared: a buffer too short for a type reports type 0
        const int32_t result = Codec::decode(&m_context, buffer != nullptr ? buffer : &empty, size, &local.record);
        if (result <= 0) {
            local.release();
            refused(result);
            return result;
        }
        Message *message = Codec::createMessage(&local.record);
        if (message == nullptr) {
            local.release();
            newEvent(MesaroEvent(MesaroEvent::InconsistentDecoderState,
                                 Codec::name() + QStringLiteral(": Inconsistent decoder state"), Codec::format()));
            return result;
        }
        // The scoped reference keeps the message alive through the three stages and releases it
        // even when a sink throws.
        const ReferencePointer<Message> hold(message);
        newMessageEarly(message);
        newMessage(message);
        newMessageLate(message);
        return result;
    }

protected:
    explicit CodecDecoder(QObject *parent) : AbstractDecoder(Codec::name(), parent)
    {
        enter();
        MemLeakTracer::allocateObject(Codec::name() + QStringLiteral("Decoder"));
        Codec::initContext(&m_context);
        // Asking the format first builds the whole catalogue before any single descriptor is requested.
        Codec::format();
        for (uint32_t kind = Codec::firstKind; kind <= Codec::lastKind; ++kind)
            setMessageEnum(Codec::messageInfoOfKind(kind), int(kind));
    }

    ~CodecDecoder() override
    {
        enter();
        MemLeakTracer::deallocateObject(Codec::name() + QStringLiteral("Decoder"));
    }

private:
    static void enter() { RTCMV_detail::resolveChannel(Codec::channel()); }

    // Releases the sub-record block a refused decode may have left in the local record.
    struct LocalRecord
    {
        typename Codec::Record record;
        LocalRecord() { std::memset(&record, 0, sizeof(record)); }
        void release()
        {
            if (record.kind >= Codec::firstKind && record.kind <= Codec::lastKind)
                Codec::freeRecord(&record);
        }
    };

    static bool isRegistered(int e) { return e >= int(Codec::firstKind) && e <= int(Codec::lastKind); }

    unsigned char &enableByte(int e) { return m_context.enable[Codec::enableByte(uint32_t(e))]; }

    void refused(int32_t result)
    {
        if (result == Codec::invalidMessage) {
            const QString type = QString::number(m_context.lastType);
            newEvent(MesaroEvent(MesaroEvent::UnrecognisedMessageType,
                                 Codec::name() + QStringLiteral(": Message type %1 unknown to PC software").arg(type),
                                 Codec::format()));
            newUnknownMessage(Codec::format(), QStringLiteral("Message type %1").arg(type));
        } else {
            newEvent(MesaroEvent(MesaroEvent::CodecError,
                                 Codec::name() + QStringLiteral(": ") + QLatin1String(Codec::errorName(result)),
                                 Codec::format()));
        }
    }

    typename Codec::Context m_context;
};
