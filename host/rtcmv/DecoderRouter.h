// Routes each framed message by its type to the decoder of the format that knows the type
// (RTCMV, else RTCM2X); both publish to the same sinks.
#pragma once

#include <CodecTables.h>
#include <RTCM2XDecoder.h>
#include <RTCMVDecoder.h>

#include <QtCore/QVector>

#include <cstddef>
#include <cstdint>

class FormatInfo;

class DecoderRouter
{
public:
    DecoderRouter() : m_rtcmv(nullptr), m_rtcm2x(nullptr) {}

    void addSink(MessageSink *sink);

    // The message type of a packed message (bits 8 to 13 of its first word); 0 when too short.
    static unsigned typeOf(const uint8_t *message, std::size_t bytes) { return bytes >= 2 ? message[1] >> 2 : 0u; }

    // Decodes the message with the decoder of its type and returns what that decoder returns; 0,
    // with nothing published, for a type no decoder knows.
    int32_t decode(const uint8_t *message, std::size_t bytes);

    // --types and --exclude (any type 0-63): each type switched on or off in the decoder that knows it.
    void applyTypeFilter(const QVector<int> &only, const QVector<int> &excluded);

    // The format a published message belongs to.
    static const Nvt::Mesaro::CodecTables &tablesOf(const Message *message);
    // Every format's catalogue, in catalogue order (RTCMV first).
    static QVector<const FormatInfo *> catalogues();

private:
    AbstractDecoder *decoderOf(const Nvt::Mesaro::CodecTables *format);

    RTCMVDecoder m_rtcmv;
    RTCM2XDecoder m_rtcm2x;
};
