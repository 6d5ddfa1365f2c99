// RTCM2XDecoder: decodes one packed RTCM 2 message of the types outside RTCMV (the RTCM2X
// format) per call and publishes it, or the reason it was refused; lets the host switch message
// kinds on and off. It works as RTCMVDecoder does, on its own codec and catalogue.
#pragma once

#include "CodecDecoder.h"

#include <RTCM2X_codec.h>

// What CodecDecoder needs of the RTCM2X codec and catalogue.
struct RTCM2X_Codec
{
    using Context = Nvt::Mesaro::RTCM2X_context_s;
    using Record = Nvt::Mesaro::RTCM2X_record_u;
    static constexpr uint32_t firstKind = Nvt::Mesaro::RTCM2X_FIRST_KIND;
    static constexpr uint32_t lastKind = Nvt::Mesaro::RTCM2X_LAST_KIND;
    static constexpr const unsigned char *enableMessages = Nvt::Mesaro::RTCM2X_ENABLE_MESSAGES;
    static constexpr int32_t invalidMessage = Nvt::Mesaro::RTCM2X_ERR_INVALID_MESSAGE;

    static QString name() { return QStringLiteral("RTCM2X"); }
    static TraceChannel &channel();
    static const FormatInfo *format();
    static Message *createMessage(void *record);
    static const MessageInfo *messageInfoOfKind(uint32_t kind);
    static void initContext(Context *context) { Nvt::Mesaro::RTCM2X_init_context(context); }
    static int32_t decode(Context *context, const unsigned char *buffer, uint16_t size, void *record)
    {
        return Nvt::Mesaro::RTCM2X_decode(context, buffer, size, record);
    }
    static void freeRecord(void *record) { Nvt::Mesaro::RTCM2X_free_record(record); }
    static const char *errorName(int32_t code) { return Nvt::Mesaro::RTCM2X_error_name(code); }
    static constexpr uint32_t enableByte(uint32_t kind) { return Nvt::Mesaro::RTCM2X_enable_byte(kind); }
    static constexpr unsigned char enableMask(uint32_t kind) { return Nvt::Mesaro::RTCM2X_enable_mask(kind); }
};

class RTCM2XDecoder : public CodecDecoder<RTCM2X_Codec>
{
    Q_OBJECT

public:
    // Message numbers are the RTCM2X record kinds (sub-records first, then the message types).
    explicit RTCM2XDecoder(QObject *parent);
    ~RTCM2XDecoder() override;

public slots:
    int32_t decodeMessage(const uint8_t *buffer, uint maxlength) override;
};
