// MesaroEvent: a report from a decoder or a descriptor to the host, also thrown as an exception.
#pragma once

#include "mesaroframework_global.h"

#include <QtCore/QByteArray>
#include <QtCore/QMetaType>
#include <QtCore/QString>

#include <exception>

class FormatInfo;

// Decoders publish events through MessageSource::newEvent; field accessors throw them by value
// (type FieldAccessError) and hosts catch them by reference, as MesaroEvent or std::exception.
class MESAROFRAMEWORK_EXPORT MesaroEvent : public std::exception
{
public:
    // The numbers are part of the plug-in interface: decoders pass them as plain values.
    enum Type {
        NoEvent = 0,                  // a default-constructed event
        Information = 1,              // a note of the host's own, nothing went wrong
        Warning = 2,                  // input the host skipped or repaired
        UnrecognisedMessageType = 3,  // the format does not know the message type
        CodecError = 4,               // the codec refused the buffer
        InconsistentDecoderState = 5, // the decoder met a state it cannot be in
        FieldAccessError = 6          // a field was read that is absent, or with a bad index
    };

    MesaroEvent() = default;
    MesaroEvent(Type type, QString text, const FormatInfo *formatInfo);
    ~MesaroEvent() override;

    MesaroEvent(const MesaroEvent &) = default;
    MesaroEvent &operator=(const MesaroEvent &) = default;

    Type getType() const { return m_type; }
    const QString &getText() const { return m_text; }
    // The format whose decoder or descriptor raised the event; null when there is none.
    const FormatInfo *getFormatInfo() const { return m_formatInfo; }

    // The text in UTF-8, valid as long as the event is.
    const char *what() const noexcept override;

    // A short English name of the type for log lines, such as "codec error".
    static QString typeName(Type type);

private:
    Type m_type = NoEvent;
    QString m_text;
    QByteArray m_utf8Text;
    const FormatInfo *m_formatInfo = nullptr;
};

Q_DECLARE_METATYPE(MesaroEvent)
