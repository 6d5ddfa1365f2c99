// Message: defaults of the virtual operations and the raw-text settings.
#include "mesaroframework/Message.h"

QString Message::fieldSeparator = QStringLiteral(";");
QString Message::doNotUseString = QStringLiteral("DNU");
bool Message::useDoNotUseString = true;

Message::Message(const MessageInfo *messageInfo) : m_messageInfo(messageInfo) {}

Message::~Message() = default;

QVector<Message *> Message::getSubMessages()
{
    return {};
}

QVector<const Message *> Message::getSubMessages() const
{
    return {};
}

QString Message::getRawStringFor(const QVector<bool> &flags) const
{
    Q_UNUSED(flags)
    return QString();
}

const void *Message::getRawRepresentationOf(const Message *message) const
{
    return message ? message->getRawRepresentation() : nullptr;
}

const void *Message::getRawRepresentation() const
{
    return nullptr;
}
