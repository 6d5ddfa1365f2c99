// RTCMVDecoder: decodes one packed RTCM version 2 message per call and publishes it, or the
// reason it was refused, to the host; lets the host switch message kinds on and off.
#pragma once

#include "CodecDecoder.h"

#include <RTCMV_codec.h>

class RTCMV_FormatInfo;

// What CodecDecoder needs of the RTCMV codec and catalogue.
struct RTCMV_Codec
{
    using Context = Nvt::Mesaro::RTCMV_context_s;
    using Record = Nvt::Mesaro::RTCMV_record_u;
    static constexpr uint32_t firstKind = Nvt::Mesaro::RTCMV_FIRST_KIND;
    static constexpr uint32_t lastKind = Nvt::Mesaro::RTCMV_LAST_KIND;
    static constexpr const unsigned char *enableMessages = Nvt::Mesaro::RTCMV_ENABLE_MESSAGES;
    static constexpr int32_t invalidMessage = Nvt::Mesaro::RTCMV_ERR_INVALID_MESSAGE;

    static QString name() { return QStringLiteral("RTCMV"); }
    static TraceChannel &channel();
    static const FormatInfo *format();
    static Message *createMessage(void *record);
    static const MessageInfo *messageInfoOfKind(uint32_t kind);
    static void initContext(Context *context) { Nvt::Mesaro::RTCMV_init_context(context); }
    static int32_t decode(Context *context, const unsigned char *buffer, uint16_t size, void *record)
    {
        return Nvt::Mesaro::RTCMV_decode(context, buffer, size, record);
    }
    static void freeRecord(void *record) { Nvt::Mesaro::RTCMV_free_record(record); }
    static const char *errorName(int32_t code) { return Nvt::Mesaro::RTCMV_error_name(code); }
    static constexpr uint32_t enableByte(uint32_t kind) { return Nvt::Mesaro::RTCMV_enable_byte(kind); }
    static constexpr unsigned char enableMask(uint32_t kind) { return Nvt::Mesaro::RTCMV_enable_mask(kind); }
};

class RTCMVDecoder : public CodecDecoder<RTCMV_Codec>
{
    Q_OBJECT

public:
    // Message numbers are the record kinds 1 to 45 (1 to 13 sub-records, 14 to 45 message types).
    explicit RTCMVDecoder(QObject *parent);
    ~RTCMVDecoder() override;

public slots:
    // Decodes the message at the start of buffer (maxlength bytes available) and returns the bits
    // it took, or the codec's negative error code after publishing an event.
    int32_t decodeMessage(const uint8_t *buffer, uint maxlength) override;
};
