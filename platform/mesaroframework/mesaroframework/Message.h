// Message: the base of every decoded message object a decoder hands to the host.
#pragma once

#include "ReferenceCountedObject.h"
#include "mesaroframework_global.h"

#include <QtCore/QString>
#include <QtCore/QVector>

class MessageInfo;

// A decoded message, described by its MessageInfo. Main messages are reference counted and die
// with their last reference; sub-messages belong to their parent message, which deletes them.
class MESAROFRAMEWORK_EXPORT Message : public ReferenceCountedObject
{
public:
    explicit Message(const MessageInfo *messageInfo);
    ~Message() override;

    const MessageInfo *getMessageInfo() const { return m_messageInfo; }

    // The message this one is a part of; null for a main message.
    void setParentMessage(Message *parent) { m_parentMessage = parent; }
    Message *getParentMessage() { return m_parentMessage; }
    const Message *getParentMessage() const { return m_parentMessage; }

    // The sub-message objects that exist at this moment, in order; none by default.
    virtual QVector<Message *> getSubMessages();
    virtual QVector<const Message *> getSubMessages() const;

    // One line of raw text holding the fields whose entry in flags is true (entry k for the field
    // at position k), joined by fieldSeparator; the empty text by default.
    virtual QString getRawStringFor(const QVector<bool> &flags) const;

    // The format's decoded record behind this message, for hosts that read a format's records
    // directly (with that format's own layout description); null when there is none.
    const void *getCodecRecord() const { return getRawRepresentation(); }

    // Separator between the columns of a raw text line.
    static QString fieldSeparator;
    // Shown instead of a field's do-not-use value when useDoNotUseString is true.
    static QString doNotUseString;
    static bool useDoNotUseString;

protected:
    // The decoded record behind another message (of the same format), as that message's
    // getRawRepresentation() gives it; null for a null message.
    const void *getRawRepresentationOf(const Message *message) const;

private:
    // A format's message classes return their decoded record here; none in the base.
    virtual const void *getRawRepresentation() const;

    const MessageInfo *m_messageInfo;
    Message *m_parentMessage = nullptr;
};
