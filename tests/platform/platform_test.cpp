// The host message framework as a host relies on it: publication to sinks and then signals, message
// lifetime through reference counting, and float texts. (A sink that throws: the decoder's tests;
// field values and their texts: through the RTCMV descriptors in the message tests.)
#include <mesaroframework/mesaroframework.h>

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

// A message that counts its own destruction.
struct CountedMessage : Message
{
    CountedMessage(const MessageInfo *info, int *deathCounter) : Message(info), deaths(deathCounter) {}
    ~CountedMessage() override { ++*deaths; }
    int *deaths;
};

// Logs every hook it is called with, tagged with its name; `onMessage` runs inside newMessage.
struct RecordingSink : MessageSink
{
    RecordingSink(const char *sinkName, QStringList *sharedLog) : name(QLatin1String(sinkName)), log(sharedLog) {}
    void newMessageEarly(const Message *m) override { note("early", m->getMessageInfo()->getName()); }
    void newMessage(const Message *m) override
    {
        note("message", m->getMessageInfo()->getName());
        if (onMessage)
            onMessage();
    }
    void newMessageLate(const Message *m) override { note("late", m->getMessageInfo()->getName()); }
    void newEvent(const MesaroEvent &event) override { note("event", event.getText()); }
    void newUnknownMessage(const FormatInfo *format, const QString &text) override { note("unknown", format->getName() + text); }
    void note(const char *what, const QString &about) { log->append(QStringLiteral("%1 %2 %3").arg(name, QLatin1String(what), about)); }

    QString name;
    QStringList *log;
    std::function<void()> onMessage;
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
    RecordingSink signal("signal", &log);
    QObject::connect(&source, &MessageSource::messageEarly, [&](const Message *m) { signal.newMessageEarly(m); });
    QObject::connect(&source, &MessageSource::messagePublished, [&](const Message *m) { signal.newMessage(m); });
    QObject::connect(&source, &MessageSource::messageLate, [&](const Message *m) { signal.newMessageLate(m); });
    QObject::connect(&source, &MessageSource::eventPublished, [&](const MesaroEvent &e) { signal.newEvent(e); });
    QObject::connect(&source, &MessageSource::unknownMessagePublished, [&](const FormatInfo *f, const QString &t) { signal.newUnknownMessage(f, t); });

    // The decoder's sequence: one scoped reference around the three stages.
    int deaths = 0;
    {
        ReferencePointer<const Message> held(new CountedMessage(&info, &deaths));
        source.newMessageEarly(held.get());
        source.newMessage(held.get());
        source.newMessageLate(held.get());
    }
    source.newEvent(MesaroEvent(MesaroEvent::UnrecognisedMessageType, QStringLiteral("unknown"), &format));
    source.newUnknownMessage(&format, QStringLiteral(": type 7"));
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(log, QStringList({"A early M", "B early M", "signal early M", "A message M", "B message M", "signal message M",
                                "A late M", "B late M", "signal late M", "A event unknown", "B event unknown", "signal event unknown",
                                "A unknown RTCMV: type 7", "B unknown RTCMV: type 7", "signal unknown RTCMV: type 7"}));

    log.clear();
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
    EXPECT_EQ(log, QStringList({"A message M", "B message M", "signal message M"}));
    EXPECT_EQ(source.getSinks(), (QVector<MessageSink *>{&b, &a}));
}

TEST(MessageLifetime, DiesExactlyWhenTheLastReferenceGoes)
{
    const MessageInfo info(QStringLiteral("M"));
    int deaths = 0;
    ReferencePointer<const Message> first(new CountedMessage(&info, &deaths));
    ReferencePointer<const Message> copy = first, moved = std::move(first);
    EXPECT_TRUE(!first && moved->getReferenceCount() == 2);
    copy.reset();
    EXPECT_TRUE(deaths == 0 && moved->getReferenceCount() == 1);
    moved.reset(new CountedMessage(&info, &deaths));
    EXPECT_EQ(deaths, 1);
    // Releasing an unreferenced object must not delete what its creator still owns.
    CountedMessage onStack(&info, &deaths);
    onStack.removeReference();
    EXPECT_EQ(deaths, 1);
}

// Float texts as the scaled values and raw lines use them: fixed notation wherever it keeps six
// significant digits (the smallest scaled value too).
TEST(FloatRepresentation, TrimmingSpecialValuesAndNoLocale)
{
    // Trimmed or not, negative zero without its sign, six significant digits for a small value
    // rather than a "0" that is not, the special values.
    const struct { double value; char format; int precision; bool trim; const char *text; } cases[] = {
        {0.09375, 'f', 6, true, "0.09375"}, {1200.0, 'f', 2, true, "1200"}, {2.0, 'f', 6, false, "2.000000"},
        {150.0, 'e', 6, true, "1.5e+02"},   {-1e-9, 'f', 6, true, "-1e-09"}, {-1.5e-3, 'f', 9, true, "-0.0015"},
        {-1e-12, 'f', 6, false, "-1e-12"},  {0.00123456789, 'f', 6, true, "0.00123457"}, {-0.0, 'f', 6, true, "0"},
        {std::nan(""), 'f', 6, true, "nan"}, {-std::numeric_limits<double>::infinity(), 'e', 6, false, "-inf"},
        {31.90625, 'f', 6, true, "31.90625"}, {-1234 * std::ldexp(1, -43), 'f', 6, true, "-1.4029e-10"},
    };
    // The default locale's decimal comma and grouping never reach the text.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto &c : cases)
        EXPECT_EQ(FloatRepresentation::getString(c.value, c.format, c.precision, c.trim), QLatin1String(c.text)) << c.value;
    EXPECT_EQ(FloatRepresentation::getString(12345.25, 'f', 6, true), QStringLiteral("12345.25"));
    QLocale::setDefault(QLocale::c());
}
