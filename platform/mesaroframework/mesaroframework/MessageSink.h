// MessageSink: the interface through which a host receives what a MessageSource publishes.
#pragma once

#include "mesaroframework_global.h"

#include <QtCore/QString>

class FormatInfo;
class MesaroEvent;
class Message;

// A host implements the hooks it needs; the others do nothing. A message passed to a hook is only
// guaranteed to be alive during the call: to keep it, take a reference (addReference, or a
// ReferencePointer<const Message>). An exception thrown by a hook leaves the publishing call
// unchanged and stops the publication there. Remove a sink from its sources before destroying it.
class MESAROFRAMEWORK_EXPORT MessageSink
{
public:
    virtual ~MessageSink();

    // The three stages of one message, always in this order.
    virtual void newMessageEarly(const Message *message);
    virtual void newMessage(const Message *message);
    virtual void newMessageLate(const Message *message);
    virtual void newEvent(const MesaroEvent &event);
    // Data the decoder could not decode as any message of format, with a short description.
    virtual void newUnknownMessage(const FormatInfo *format, const QString &text);
};
