// The routing of messages to the decoder of their format.
#include "DecoderRouter.h"

#include <RTCM2X_FormatInfo.h>
#include <RTCMV_FormatInfo.h>

#include <mesaroframework/MessageInfo.h>

using namespace Nvt::Mesaro;

void DecoderRouter::addSink(MessageSink *sink)
{
    m_rtcmv.addSink(sink);
    m_rtcm2x.addSink(sink);
}

AbstractDecoder *DecoderRouter::decoderOf(const CodecTables *format)
{
    if (format == &RTCMV_TABLES)
        return &m_rtcmv;
    return format == &RTCM2X_TABLES ? &m_rtcm2x : nullptr;
}

int32_t DecoderRouter::decode(const uint8_t *message, std::size_t bytes)
{
    AbstractDecoder *decoder = decoderOf(codecTablesOfType(typeOf(message, bytes)));
    return decoder != nullptr ? decoder->decodeMessage(message, uint(bytes)) : 0;
}

void DecoderRouter::applyTypeFilter(const QVector<int> &only, const QVector<int> &excluded)
{
    // The decoders number their kinds as their records do: the kind of a type's record.
    const auto kindAndDecoder = [this](int type) {
        const CodecTables *format = codecTablesOfType(uint32_t(type));
        return std::make_pair(format != nullptr ? int(format->messageInfo(uint32_t(type))->kind) : -1, decoderOf(format));
    };
    if (!only.isEmpty()) {
        m_rtcmv.disableAllMessages();
        m_rtcm2x.disableAllMessages();
        for (int type : only) {
            const auto kd = kindAndDecoder(type);
            if (kd.second != nullptr)
                kd.second->enableMessageEnum(kd.first);
        }
    }
    for (int type : excluded) {
        const auto kd = kindAndDecoder(type);
        if (kd.second != nullptr)
            kd.second->disableMessageEnum(kd.first);
    }
}

const CodecTables &DecoderRouter::tablesOf(const Message *message)
{
    return message->getMessageInfo()->getFormatInfo() == RTCM2X_FormatInfo::getInstance() ? RTCM2X_TABLES
                                                                                           : RTCMV_TABLES;
}

QVector<const FormatInfo *> DecoderRouter::catalogues()
{
    return {RTCMV_FormatInfo::getInstance(), RTCM2X_FormatInfo::getInstance()};
}
