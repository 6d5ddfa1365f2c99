// MessageSource: the publishing side of a decoder, which hands messages and events to the host.
#pragma once

#include "MesaroEvent.h"
#include "MessageSink.h"
#include "mesaroframework_global.h"

#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QVector>

class FormatInfo;
class Message;

// Each publishing operation calls the attached sinks in the order they were added, then emits the
// matching signal. Sinks may be added or removed (themselves included) during a publication: a
// sink added then is first called for the next publication, a sink removed then is not called any
// more. An exception thrown by a sink propagates out of the publishing call unchanged; the sinks
// after it and the signal are skipped, and the source stays usable.
//
// A message is only guaranteed to be alive while the publishing call runs. Receivers that keep it
// take a reference; for the same reason message signals are meant for direct connections only.
// Events and unknown-message reports may also cross threads through queued connections.
// Operations that a subclass overrides should call the base operation to keep the fan-out.
class MESAROFRAMEWORK_EXPORT MessageSource : public QObject
{
    Q_OBJECT

public:
    explicit MessageSource(QObject *parent = nullptr);
    ~MessageSource() override;

    // A sink is attached at most once; the source does not own it.
    void addSink(MessageSink *sink);
    void removeSink(MessageSink *sink);
    const QVector<MessageSink *> &getSinks() const { return m_sinks; }

    virtual void newMessageEarly(const Message *message);
    virtual void newMessage(const Message *message);
    virtual void newMessageLate(const Message *message);
    virtual void newEvent(MesaroEvent event);
    virtual void newUnknownMessage(const FormatInfo *format, QString text);

signals:
    void messageEarly(const Message *message);
    void messagePublished(const Message *message);
    void messageLate(const Message *message);
    void eventPublished(const MesaroEvent &event);
    void unknownMessagePublished(const FormatInfo *format, const QString &text);

protected:
    // Keep track of whether any receiver listens to the message signals: a message published to
    // nothing but sinks then costs no signal emission.
    void connectNotify(const QMetaMethod &signal) override;
    void disconnectNotify(const QMetaMethod &signal) override;

private:
    template <typename Call>
    void forEachSink(Call call);

    QVector<MessageSink *> m_sinks;
    // True whenever a message signal may have a receiver (it may stay true a little longer).
    bool m_messageSignalsConnected = false;
};
