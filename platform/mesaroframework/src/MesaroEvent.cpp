// MesaroEvent: construction, the exception text and type names.
#include "mesaroframework/MesaroEvent.h"

#include <utility>

MesaroEvent::MesaroEvent(Type type, QString text, const FormatInfo *formatInfo)
    : m_type(type), m_text(std::move(text)), m_utf8Text(m_text.toUtf8()), m_formatInfo(formatInfo)
{
}

MesaroEvent::~MesaroEvent() = default;

const char *MesaroEvent::what() const noexcept
{
    return m_utf8Text.constData();
}

QString MesaroEvent::typeName(Type type)
{
    switch (type) {
    case NoEvent:
        return QStringLiteral("no event");
    case Information:
        return QStringLiteral("information");
    case Warning:
        return QStringLiteral("warning");
    case UnrecognisedMessageType:
        return QStringLiteral("unrecognised message type");
    case CodecError:
        return QStringLiteral("codec error");
    case InconsistentDecoderState:
        return QStringLiteral("inconsistent decoder state");
    case FieldAccessError:
        return QStringLiteral("field access error");
    }
    return QStringLiteral("event type %1").arg(static_cast<int>(type));
}
