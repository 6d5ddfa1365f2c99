// MessageSource: fan-out of published messages and events to sinks and signals.
#include "mesaroframework/MessageSource.h"

#include "mesaroframework/FormatInfo.h"

#include <QtCore/QMetaMethod>

MessageSink::~MessageSink() = default;
void MessageSink::newMessageEarly(const Message *) {}
void MessageSink::newMessage(const Message *) {}
void MessageSink::newMessageLate(const Message *) {}
void MessageSink::newEvent(const MesaroEvent &) {}
void MessageSink::newUnknownMessage(const FormatInfo *, const QString &) {}

MessageSource::MessageSource(QObject *parent) : QObject(parent)
{
    // Registered here so that hosts can queue event signals without doing it themselves.
    static const bool registered = [] {
        qRegisterMetaType<MesaroEvent>("MesaroEvent");
        qRegisterMetaType<const FormatInfo *>("const FormatInfo*");
        return true;
    }();
    Q_UNUSED(registered)
}

MessageSource::~MessageSource() = default;

void MessageSource::addSink(MessageSink *sink)
{
    if (sink && !m_sinks.contains(sink))
        m_sinks.append(sink);
}

void MessageSource::removeSink(MessageSink *sink)
{
    m_sinks.removeAll(sink);
}

template <typename Call>
void MessageSource::forEachSink(Call call)
{
    // A single sink, the usual case, is called as the snapshot below would call it.
    if (m_sinks.size() == 1) {
        call(m_sinks.first());
        return;
    }
    // Iterate over a snapshot so that sinks may change the list while being called; the local copy
    // also means an exception leaves nothing behind to repair.
    const QVector<MessageSink *> snapshot = m_sinks;
    for (MessageSink *sink : snapshot) {
        // A sink removed by an earlier one during this publication may already be gone.
        if (m_sinks.contains(sink))
            call(sink);
    }
}

void MessageSource::newMessageEarly(const Message *message)
{
    forEachSink([message](MessageSink *sink) { sink->newMessageEarly(message); });
    if (m_messageSignalsConnected)
        emit messageEarly(message);
}

void MessageSource::newMessage(const Message *message)
{
    forEachSink([message](MessageSink *sink) { sink->newMessage(message); });
    if (m_messageSignalsConnected)
        emit messagePublished(message);
}

void MessageSource::newMessageLate(const Message *message)
{
    forEachSink([message](MessageSink *sink) { sink->newMessageLate(message); });
    if (m_messageSignalsConnected)
        emit messageLate(message);
}

void MessageSource::newEvent(MesaroEvent event)
{
    forEachSink([&event](MessageSink *sink) { sink->newEvent(event); });
    emit eventPublished(event);
}

void MessageSource::newUnknownMessage(const FormatInfo *format, QString text)
{
    forEachSink([format, &text](MessageSink *sink) { sink->newUnknownMessage(format, text); });
    emit unknownMessagePublished(format, text);
}

void MessageSource::connectNotify(const QMetaMethod &)
{
    m_messageSignalsConnected = true;
}

// Asked again after every disconnection; while the connection being removed still counts, the
// flag stays set, which costs no more than an emission to nobody.
void MessageSource::disconnectNotify(const QMetaMethod &)
{
    m_messageSignalsConnected = isSignalConnected(QMetaMethod::fromSignal(&MessageSource::messageEarly))
                                || isSignalConnected(QMetaMethod::fromSignal(&MessageSource::messagePublished))
                                || isSignalConnected(QMetaMethod::fromSignal(&MessageSource::messageLate));
}
