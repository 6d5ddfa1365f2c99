// The host message framework as a host relies on it: publication to sinks and then signals, message
// lifetime through reference counting, and the texts of values.
#include <mesaroframework/mesaroframework.h>

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

// A message that counts its own destruction.
class CountedMessage : public Message
{
public:
    CountedMessage(const MessageInfo *info, int *deathCounter) : Message(info), deaths(deathCounter) {}
    ~CountedMessage() override { ++*deaths; }

private:
    int *deaths;
};

// Logs every hook it is called with, tagged with its name and the message's.
class RecordingSink : public MessageSink
{
public:
    RecordingSink(const char *sinkName, QStringList *sharedLog) : name(QLatin1String(sinkName)), log(sharedLog) {}
    void newMessageEarly(const Message *m) override { note(QStringLiteral("early ") + m->getMessageInfo()->getName()); }
    void newMessage(const Message *m) override
    {
        note(QStringLiteral("message ") + m->getMessageInfo()->getName());
        if (onMessage)
            onMessage();
    }
    void newMessageLate(const Message *m) override { note(QStringLiteral("late ") + m->getMessageInfo()->getName()); }
    void newEvent(const MesaroEvent &event) override { note(QStringLiteral("event ") + event.getText()); }
    void newUnknownMessage(const FormatInfo *format, const QString &text) override { note(format->getName() + QLatin1Char(' ') + text); }

    std::function<void()> onMessage; // runs inside newMessage, after logging

private:
    void note(const QString &what) { log->append(name + QLatin1Char(' ') + what); }
    QString name;
    QStringList *log;
};

} // namespace

TEST(MessageSource, PublishesToSinksInOrderThenSignals)
{
    const FormatInfo format(QStringLiteral("RTCMV"));
    const MessageInfo info(QStringLiteral("M"));
    QStringList log;
    RecordingSink a("A", &log), b("B", &log), c("C", &log);
    MessageSource source;
    for (MessageSink *sink : {&a, &b, &a}) // attached once only
        source.addSink(sink);
    const auto signal = [&log](const QString &what) { log.append(QStringLiteral("signal ") + what); };
    QObject::connect(&source, &MessageSource::messageEarly, [=] { signal(QStringLiteral("early")); });
    QObject::connect(&source, &MessageSource::messagePublished, [=] { signal(QStringLiteral("message")); });
    QObject::connect(&source, &MessageSource::messageLate, [=] { signal(QStringLiteral("late")); });
    QObject::connect(&source, &MessageSource::eventPublished, [=](const MesaroEvent &e) { signal(e.getText()); });
    QObject::connect(&source, &MessageSource::unknownMessagePublished, [=](const FormatInfo *, const QString &t) { signal(t); });

    // The decoder's sequence: one scoped reference around the three stages.
    int deaths = 0;
    {
        ReferencePointer<const Message> held(new CountedMessage(&info, &deaths));
        source.newMessageEarly(held.get());
        source.newMessage(held.get());
        source.newMessageLate(held.get());
    }
    source.newEvent(MesaroEvent(MesaroEvent::UnrecognisedMessageType, QStringLiteral("unknown"), &format));
    source.newUnknownMessage(&format, QStringLiteral("type 7"));
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(log, QStringList({"A early M", "B early M", "signal early", "A message M", "B message M", "signal message",
                                "A late M", "B late M", "signal late", "A event unknown", "B event unknown", "signal unknown",
                                "A RTCMV type 7", "B RTCMV type 7", "signal type 7"}));

    // A sink that throws stops the publication; the message is still released, the source usable.
    log.clear();
    a.onMessage = [&format] { throw MesaroEvent(MesaroEvent::FieldAccessError, QStringLiteral("host failed"), &format); };
    try {
        ReferencePointer<const Message> held(new CountedMessage(&info, &deaths));
        source.newMessage(held.get());
        ADD_FAILURE() << "the sink's exception must reach the caller";
    } catch (const MesaroEvent &event) {
        EXPECT_EQ(event.getText(), QStringLiteral("host failed"));
    }
    EXPECT_EQ(deaths, 2);
    // Sinks may change the list while called: A detaches itself and C; B attaches A again, which
    // only counts from the next publication.
    source.addSink(&c);
    a.onMessage = [&] {
        source.removeSink(&a);
        source.removeSink(&c);
    };
    b.onMessage = [&] { source.addSink(&a); };
    const CountedMessage message(&info, &deaths);
    source.newMessage(&message);
    EXPECT_EQ(log, QStringList({"A message M", "A message M", "B message M", "signal message"}));
    EXPECT_EQ(source.getSinks(), (QVector<MessageSink *>{&b, &a}));
}

TEST(MessageLifetime, DiesExactlyWhenTheLastReferenceGoes)
{
    const MessageInfo info(QStringLiteral("M"));
    int deaths = 0;
    {
        ReferencePointer<const Message> outer;
        {
            ReferencePointer<const Message> first(new CountedMessage(&info, &deaths));
            ReferencePointer<const Message> copy = first;
            EXPECT_EQ(first->getReferenceCount(), 2);
            outer = std::move(copy);
        }
        EXPECT_TRUE(deaths == 0 && outer->getReferenceCount() == 1);
        outer.reset(new CountedMessage(&info, &deaths));
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
    // Releasing an unreferenced object must not delete what its creator still owns.
    CountedMessage onStack(&info, &deaths);
    onStack.removeReference();
    EXPECT_EQ(deaths, 2);
}

TEST(FieldValueText, KindsEqualityAndFloatTexts)
{
    EXPECT_EQ(QStringList({FieldValue::i(-5, 14).toString(), FieldValue::u(~0ull, 64).toString(), FieldValue::byte(10).toString(),
                           FieldValue::ch('A').toString(), FieldValue::f64(0.1).toString(), FieldValue::subMessage(nullptr).toString(),
                           FieldValue().toString()}),
              QStringList({"-5", "18446744073709551615", "0a", "A", "0.1", "submsg", ""}));
    EXPECT_EQ(FieldValue::i(-5, 14).toUInt64(), 0xFFFFFFFFFFFFFFFBull);
    EXPECT_EQ(FieldValue::f64(-1e30).toInt64(), std::numeric_limits<std::int64_t>::min()); // clamped
    // Equal only in kind, width and value together.
    EXPECT_TRUE(FieldValue::u(3, 6) == FieldValue::u(3, 6) && FieldValue::u(3, 6) != FieldValue::u(3, 7));
    EXPECT_TRUE(FieldValue::u(3, 6) != FieldValue::u(4, 6) && FieldValue::u(10, 8) != FieldValue::byte(10));

    const double inf = std::numeric_limits<double>::infinity();
    const struct { double value; char format; int precision; bool trim; const char *text; } cases[] = {
        {0.09375, 'f', 6, true, "0.09375"}, {2.0, 'f', 6, true, "2"},         {2.0, 'f', 6, false, "2.000000"},
        {1200.0, 'f', 2, true, "1200"},     {150.0, 'e', 6, true, "1.5e+02"}, {-0.0, 'f', 6, true, "0"},
        {-1e-9, 'f', 6, true, "0"},         {-1e-9, 'f', 9, true, "-0.000000001"}, {std::nan(""), 'f', 6, true, "nan"},
        {-inf, 'e', 6, false, "-inf"},
    };
    // The default locale's decimal comma and grouping never reach the text.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto &c : cases)
        EXPECT_EQ(FloatRepresentation::getString(c.value, c.format, c.precision, c.trim), QLatin1String(c.text)) << c.value;
    EXPECT_EQ(FloatRepresentation::getString(12345.25, 'f', 6, true), QStringLiteral("12345.25"));
    QLocale::setDefault(QLocale::c());
}
