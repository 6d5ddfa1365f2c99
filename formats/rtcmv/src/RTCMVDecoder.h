// RTCMVDecoder: decodes one packed RTCM version 2 message per call and publishes it, or the
// reason it was refused, to the host; lets the host switch message kinds on and off.
#pragma once

#include <RTCMV_codec.h>

#include <mesaroframework/AbstractDecoder.h>

#include <cstdint>

class RTCMVDecoder : public AbstractDecoder
{
    Q_OBJECT

public:
    explicit RTCMVDecoder(QObject *parent);
    ~RTCMVDecoder() override;

    // Message numbers are the record kinds 1 to 45 (1 to 13 sub-records, 14 to 45 message types).
    // Numbers outside that range are ignored, and reported as not enabled.
    void enableAllMessages() override;
    void disableAllMessages() override;
    void enableMessageEnum(int e) override;
    void disableMessageEnum(int e) override;
    bool isEnabledMessageEnum(int e) const override;

public slots:
    // Decodes the message at the start of buffer (maxlength bytes available) and returns the bits
    // it took, or the codec's negative error code after publishing an event.
    int32_t decodeMessage(const uint8_t *buffer, uint maxlength) override;

private:
    Nvt::Mesaro::RTCMV_context_s context;
};
