// AbstractDecoder: the two-way registry of message numbers.
#include "mesaroframework/AbstractDecoder.h"

#include <utility>

AbstractDecoder::AbstractDecoder(QString name, QObject *parent)
    : MessageSource(parent), m_name(std::move(name))
{
    setObjectName(m_name);
}

AbstractDecoder::~AbstractDecoder() = default;

void AbstractDecoder::setMessageEnum(const MessageInfo *messageInfo, int number)
{
    if (!messageInfo)
        return;
    // Drop both old associations first so the two maps stay each other's inverse.
    const auto oldNumber = m_numberByInfo.constFind(messageInfo);
    if (oldNumber != m_numberByInfo.constEnd())
        m_infoByNumber.remove(*oldNumber);
    const auto oldInfo = m_infoByNumber.constFind(number);
    if (oldInfo != m_infoByNumber.constEnd())
        m_numberByInfo.remove(*oldInfo);
    m_infoByNumber.insert(number, messageInfo);
    m_numberByInfo.insert(messageInfo, number);
}

int AbstractDecoder::getMessageEnum(const MessageInfo *messageInfo) const
{
    return m_numberByInfo.value(messageInfo, -1);
}

const MessageInfo *AbstractDecoder::getMessageInfoForEnum(int number) const
{
    return m_infoByNumber.value(number, nullptr);
}

QVector<int> AbstractDecoder::getMessageEnums() const
{
    return m_infoByNumber.keys().toVector();
}
