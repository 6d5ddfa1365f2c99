// Out-of-line parts of the message and field descriptor templates: texts of the field-access
// events, the fatal report of a message without record, value and raw-line formatting.
#include "RTCMV_FieldInfoBase.h"
#include "RTCMV_MessageBase.h"
#include "RTCMV_FormatInfo.h"

#include <mesaroframework/FloatRepresentation.h>
#include <mesaroframework/MesaroEvent.h>
#include <nvttrace/dbg.h>

#include <QtCore/QMessageLogger>

namespace RTCMV_detail {

void resolveChannel(TraceChannel &channel)
{
    dbg_ResolveChannel(channel);
}

void failRepresentation(const QString &className)
{
    const QByteArray text = (className
                             + QStringLiteral("::assertRepresentation() failed when trying to access data of an "
                                              "uninitialized message."))
                                .toUtf8();
    QMessageLogger().fatal("%s", text.constData());
    std::abort(); // not reached: the fatal handler ends the process
}

static MesaroEvent fieldAccessError(const QString &text, const FormatInfo *format)
{
    return MesaroEvent(MesaroEvent::FieldAccessError, text, format);
}

void throwIndexError(const MessageInfo *info, const char *member)
{
    throw fieldAccessError(QStringLiteral("Requesting value for an repeated field ") + info->getDisplayName()
                           + QStringLiteral("::") + QLatin1String(member)
                           + QStringLiteral(" with out of range index."),
                           info->getFormatInfo());
}

void throwAbsentField(const MessageInfo *info, const char *field)
{
    throw fieldAccessError(QStringLiteral("Requesting value for a non-present optional field ")
                           + info->getDisplayName() + QStringLiteral("::") + QLatin1String(field)
                           + QLatin1Char('.'),
                           info->getFormatInfo());
}

} // namespace RTCMV_detail

// ---- field descriptors ----

RTCMV_FieldInfoBase::RTCMV_FieldInfoBase(QString displayName, const FieldType &type, QString className,
                                         QString messageDisplayName, QString fieldName, const FormatInfo *format)
    : FieldInfo(std::move(displayName), type),
      m_className(std::move(className)),
      m_messageDisplayName(std::move(messageDisplayName)),
      // the catalogue exists before any descriptor is used
      m_format(format != nullptr ? format : RTCMV_FormatInfo::getInstance())
{
    MemLeakTracer::allocateObject(m_className);
    setName(std::move(fieldName));
}

void RTCMV_FieldInfoBase::throwWrongKind() const
{
    throw RTCMV_detail::fieldAccessError(QStringLiteral("Requesting value for a field ") + m_messageDisplayName
                                         + QStringLiteral("::") + getName()
                                         + QStringLiteral(" that is not present in the given kind of message."),
                                         m_format);
}

void RTCMV_FieldInfoBase::throwAbsent() const
{
    throw RTCMV_detail::fieldAccessError(QStringLiteral("Requesting value for an optional field ")
                                         + m_messageDisplayName + QStringLiteral("::") + getName()
                                         + QStringLiteral(" that is not present."),
                                         m_format);
}

void RTCMV_FieldInfoBase::throwNoValues() const
{
    throw RTCMV_detail::fieldAccessError(QStringLiteral("Requesting value for an repeated field ")
                                         + m_messageDisplayName + QStringLiteral("::") + getName()
                                         + QStringLiteral(" that is repeated 0 times."),
                                         m_format);
}

void RTCMV_FieldInfoBase::throwIndexOutOfRange() const
{
    throw RTCMV_detail::fieldAccessError(QStringLiteral("Requesting value for an repeated field ")
                                         + m_messageDisplayName + QStringLiteral("::") + getName()
                                         + QStringLiteral(" with out of range index."),
                                         m_format);
}

void RTCMV_FieldInfoBase::throwNonZeroIndex() const
{
    throw RTCMV_detail::fieldAccessError(QStringLiteral("Requesting value for a non-repeated field ")
                                         + m_messageDisplayName + QStringLiteral("::") + getName()
                                         + QStringLiteral(" using non-zero index."),
                                         m_format);
}

QString RTCMV_FieldInfoBase::hexByte(unsigned int value)
{
    return QString::number(value, 16).rightJustified(2, QLatin1Char('0'), false);
}

QString RTCMV_FieldInfoBase::scaled(double value, double scaleFactor)
{
    return FloatRepresentation::getString(value * scaleFactor, 'f', 6, true);
}

QString RTCMV_FieldInfoBase::widenedChar(char value)
{
    // The 8-bit code is taken as signed and widened: 0x80..0xFF become U+FF80..U+FFFF.
    return QString(QChar(static_cast<ushort>(static_cast<short>(static_cast<signed char>(value)))));
}

// ---- raw text line ----

bool RTCMV_RawLine::column()
{
    const int position = m_position++;
    if (position >= m_flags.size() || !m_flags[position])
        return false;
    if (m_separatorPending)
        m_text += Message::fieldSeparator;
    m_separatorPending = true;
    return true;
}

void RTCMV_RawLine::appendNumber(unsigned long long value)
{
    m_text += QString::number(value);
}

void RTCMV_RawLine::appendNumber(long long value)
{
    m_text += QString::number(value);
}

void RTCMV_RawLine::byte(unsigned int value)
{
    if (column())
        m_text += QString::number(value, 16).rightJustified(2, QLatin1Char('0'), false);
}

void RTCMV_RawLine::number(unsigned long long value)
{
    if (column())
        appendNumber(value);
}

void RTCMV_RawLine::number(long long value)
{
    if (column())
        appendNumber(value);
}

void RTCMV_RawLine::f64(double value)
{
    if (column())
        m_text += FloatRepresentation::getString(value, 'f', 6, false);
}

void RTCMV_RawLine::numberOrDoNotUse(long long value, long long doNotUse)
{
    if (!column())
        return;
    if (value == doNotUse && Message::useDoNotUseString)
        m_text += Message::doNotUseString;
    else
        appendNumber(value);
}

void RTCMV_RawLine::text(const char *characters, unsigned int count)
{
    if (!column())
        return;
    // The codec ends every text with a NUL after its last character: at most count + 1 are looked at.
    int length = 0;
    while (unsigned(length) <= count && characters[length] != '\0')
        ++length;
    m_text += QString::fromLatin1(characters, length);
}

void RTCMV_RawLine::subMessages(unsigned int count)
{
    if (!column())
        return;
    for (unsigned int i = 0; i < count; ++i) {
        if (i > 0)
            m_text += QLatin1Char(' ');
        m_text += QStringLiteral("submsg");
    }
}

void RTCMV_RawLine::absent()
{
    column();
}

void RTCMV_RawLine::byteList(const unsigned char *values, unsigned int count)
{
    if (!column())
        return;
    for (unsigned int i = 0; i < count; ++i) {
        if (i > 0)
            m_text += QLatin1Char(' ');
        m_text += QString::number(values[i], 16).rightJustified(2, QLatin1Char('0'), false);
    }
}

// ---- message descriptors ----

RTCMV_MessageInfoBase::RTCMV_MessageInfoBase(QString displayName, QString className, TraceChannel &channel,
                                             bool main, QString shortDescriptiveText, const FormatInfo *format)
    : MessageInfo(std::move(displayName)), m_className(std::move(className)), m_channel(&channel)
{
    enter();
    MemLeakTracer::allocateObject(m_className);
    if (main)
        setShortDescriptiveText(std::move(shortDescriptiveText));
    else
        setIsMain(false);
    setFormatInfo(format != nullptr ? format : RTCMV_FormatInfo::getInstance());
}

RTCMV_MessageInfoBase::~RTCMV_MessageInfoBase()
{
    enter();
    MemLeakTracer::deallocateObject(m_className);
}

void RTCMV_MessageInfoBase::enter() const
{
    dbg_ResolveChannel(*m_channel);
}
