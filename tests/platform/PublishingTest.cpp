// Publishing through MessageSource to sinks and signals, and the decoder's message numbers.
#include "FrameworkTestTypes.h"

#include <gtest/gtest.h>

#include <QtCore/QSet>
#include <QtCore/QStringList>

namespace {

// Writes one log line per hook call, tagged with its name.
class RecordingSink : public MessageSink
{
public:
    RecordingSink(QString sinkName, QStringList *sharedLog) : name(std::move(sinkName)), log(sharedLog) {}

    void newMessageEarly(const Message *message) override { record(QStringLiteral("early"), message); }
    void newMessage(const Message *message) override { record(QStringLiteral("message"), message); }
    void newMessageLate(const Message *message) override { record(QStringLiteral("late"), message); }
    void newEvent(const MesaroEvent &event) override
    {
        log->append(name + QStringLiteral(" event %1 ").arg(int(event.getType())) + event.getText());
    }
    void newUnknownMessage(const FormatInfo *format, const QString &text) override
    {
        log->append(name + QStringLiteral(" unknown ") + format->getName() + QLatin1Char(' ') + text);
    }

    std::function<void()> onMessage; // runs inside newMessage, after logging

private:
    void record(const QString &stage, const Message *message)
    {
        log->append(name + QLatin1Char(' ') + stage + QLatin1Char(' ') +
                    QString::number(static_cast<const ListMessage *>(message)->values.value(0)));
        if (stage == QLatin1String("message") && onMessage)
            onMessage();
    }

    QString name;
    QStringList *log;
};

void connectRecorder(MessageSource &source, QStringList *log)
{
    auto stage = [log](const char *what) {
        return [log, what](const Message *m) {
            log->append(QStringLiteral("signal %1 %2")
                            .arg(QLatin1String(what))
                            .arg(static_cast<const ListMessage *>(m)->values.value(0)));
        };
    };
    QObject::connect(&source, &MessageSource::messageEarly, stage("early"));
    QObject::connect(&source, &MessageSource::messagePublished, stage("message"));
    QObject::connect(&source, &MessageSource::messageLate, stage("late"));
    QObject::connect(&source, &MessageSource::eventPublished,
                     [log](const MesaroEvent &e) { log->append(QStringLiteral("signal event ") + e.getText()); });
    QObject::connect(&source, &MessageSource::unknownMessagePublished,
                     [log](const FormatInfo *, const QString &t) { log->append(QStringLiteral("signal unknown ") + t); });
}

// Decodes a one-byte "message" whose value is its registered number.
class TinyDecoder : public AbstractDecoder
{
public:
    TinyDecoder(const FormatInfo *formatInfo, QObject *parent = nullptr)
        : AbstractDecoder(QStringLiteral("Tiny"), parent), format(formatInfo)
    {
    }

    int32_t decodeMessage(const uint8_t *buffer, uint maxlength) override
    {
        if (maxlength < 1)
            return -1;
        const MessageInfo *info = getMessageInfoForEnum(buffer[0]);
        if (!info || !isEnabledMessageEnum(buffer[0])) {
            newEvent(MesaroEvent(MesaroEvent::CodecError, QStringLiteral("refused %1").arg(buffer[0]), format));
            return -2;
        }
        ReferencePointer<const Message> message(new ListMessage(info, {buffer[0]}, deaths));
        newMessageEarly(message.get());
        newMessage(message.get());
        newMessageLate(message.get());
        return 8;
    }
    void enableAllMessages() override { disabled.clear(); }
    void disableAllMessages() override
    {
        const QVector<int> all = getMessageEnums();
        disabled = QSet<int>(all.cbegin(), all.cend());
    }
    void enableMessageEnum(int number) override { disabled.remove(number); }
    void disableMessageEnum(int number) override { disabled.insert(number); }
    bool isEnabledMessageEnum(int number) const override { return !disabled.contains(number); }

    int *deaths = nullptr;

private:
    const FormatInfo *format;
    QSet<int> disabled;
};

} // namespace

TEST(MessageSourceTest, PublishesToSinksInOrderThenSignals)
{
    const FormatInfo format(QStringLiteral("RTCMV"));
    const MessageInfo info(QStringLiteral("Message Type 1"));
    QStringList log;
    RecordingSink first(QStringLiteral("A"), &log), second(QStringLiteral("B"), &log);
    MessageSource source;
    source.addSink(&first);
    source.addSink(&second);
    source.addSink(&first); // attached once only
    connectRecorder(source, &log);

    ListMessage message(&info, {7});
    source.newMessageEarly(&message);
    source.newMessage(&message);
    source.newMessageLate(&message);
    source.newEvent(MesaroEvent(MesaroEvent::UnrecognisedMessageType, QStringLiteral("RTCMV: unknown"), &format));
    source.newUnknownMessage(&format, QStringLiteral("Message type 7"));
    EXPECT_EQ(log, QStringList({"A early 7", "B early 7", "signal early 7", "A message 7", "B message 7",
                                "signal message 7", "A late 7", "B late 7", "signal late 7",
                                "A event 3 RTCMV: unknown", "B event 3 RTCMV: unknown", "signal event RTCMV: unknown",
                                "A unknown RTCMV Message type 7", "B unknown RTCMV Message type 7",
                                "signal unknown Message type 7"}));

    log.clear();
    source.removeSink(&first);
    source.removeSink(&first);
    source.newMessage(&message);
    EXPECT_EQ(log, QStringList({"B message 7", "signal message 7"}));
}

TEST(MessageSourceTest, ThrowingSinkStopsPublicationAndSourceStaysUsable)
{
    const FormatInfo format(QStringLiteral("RTCMV"));
    const MessageInfo info(QStringLiteral("Message Type 1"));
    QStringList log;
    RecordingSink thrower(QStringLiteral("A"), &log), later(QStringLiteral("B"), &log);
    thrower.onMessage = [&format] {
        throw MesaroEvent(MesaroEvent::FieldAccessError, QStringLiteral("host failed"), &format);
    };
    MessageSource source;
    source.addSink(&thrower);
    source.addSink(&later);
    connectRecorder(source, &log);

    // The decoder's sequence: one scoped reference around the three stages.
    int deaths = 0;
    try {
        ReferencePointer<const Message> held(new ListMessage(&info, {1}, &deaths));
        source.newMessageEarly(held.get());
        source.newMessage(held.get());
        source.newMessageLate(held.get());
        FAIL() << "the sink's exception must reach the caller";
    } catch (const MesaroEvent &event) {
        EXPECT_EQ(event.getText(), QStringLiteral("host failed"));
        EXPECT_EQ(event.getFormatInfo(), &format);
    }
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(log, QStringList({"A early 1", "B early 1", "signal early 1", "A message 1"}));

    log.clear();
    thrower.onMessage = nullptr;
    ListMessage next(&info, {2});
    source.newMessage(&next);
    EXPECT_EQ(log, QStringList({"A message 2", "B message 2", "signal message 2"}));
}

TEST(MessageSourceTest, SinksMayDetachDuringPublication)
{
    const MessageInfo info(QStringLiteral("Message Type 1"));
    QStringList log;
    RecordingSink a(QStringLiteral("A"), &log), b(QStringLiteral("B"), &log), c(QStringLiteral("C"), &log);
    MessageSource source;
    for (MessageSink *sink : {&a, &b, &c})
        source.addSink(sink);
    // A detaches itself and C; B attaches A again, which only counts from the next publication.
    a.onMessage = [&] {
        source.removeSink(&a);
        source.removeSink(&c);
    };
    b.onMessage = [&] { source.addSink(&a); };

    ListMessage message(&info, {4});
    source.newMessage(&message);
    EXPECT_EQ(log, QStringList({"A message 4", "B message 4"}));
    EXPECT_EQ(source.getSinks(), (QVector<MessageSink *>{&b, &a}));
}

TEST(AbstractDecoderTest, MessageNumbersAndDecoding)
{
    const FormatInfo format(QStringLiteral("RTCMV"));
    const MessageInfo one(QStringLiteral("Message Type 1")), three(QStringLiteral("Message Type 3")),
        dgnss(QStringLiteral("DGNSS"));
    QObject owner;
    auto *decoder = new TinyDecoder(&format, &owner);
    EXPECT_EQ(decoder->getName(), QStringLiteral("Tiny"));
    EXPECT_EQ(decoder->objectName(), QStringLiteral("Tiny"));
    EXPECT_TRUE(decoder->inherits("MessageSource"));
    EXPECT_NE(qobject_cast<AbstractDecoder *>(decoder), nullptr);

    decoder->setMessageEnum(&three, 3);
    decoder->setMessageEnum(&one, 1);
    decoder->setMessageEnum(&dgnss, 9);
    EXPECT_EQ(decoder->getMessageEnums(), (QVector<int>{1, 3, 9}));
    EXPECT_EQ(decoder->getMessageEnum(&three), 3);
    EXPECT_EQ(decoder->getMessageInfoForEnum(1), &one);
    EXPECT_EQ(decoder->getMessageInfoForEnum(2), nullptr);

    // Re-registering moves a descriptor, or takes a number over; both directions stay in step.
    decoder->setMessageEnum(&dgnss, 2);
    decoder->setMessageEnum(&one, 3);
    EXPECT_EQ(decoder->getMessageEnums(), (QVector<int>{2, 3}));
    EXPECT_EQ(decoder->getMessageEnum(&three), -1);
    EXPECT_EQ(decoder->getMessageEnum(&one), 3);
    EXPECT_EQ(decoder->getMessageInfoForEnum(9), nullptr);
    EXPECT_EQ(decoder->getMessageInfoForEnum(3), &one);

    QStringList log;
    RecordingSink sink(QStringLiteral("S"), &log);
    decoder->addSink(&sink);
    int deaths = 0;
    decoder->deaths = &deaths;
    const uint8_t three8[] = {3};
    EXPECT_EQ(decoder->decodeMessage(three8, 1), 8);
    EXPECT_EQ(deaths, 1); // nobody kept a reference
    decoder->disableMessageEnum(3);
    EXPECT_EQ(decoder->decodeMessage(three8, 1), -2);
    EXPECT_EQ(log, QStringList({"S early 3", "S message 3", "S late 3", "S event 4 refused 3"}));
    decoder->removeSink(&sink);
    // The decoder dies with its parent; ASan reports it otherwise.
}
