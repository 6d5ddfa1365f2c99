// The host message framework as a host relies on it: publication to sinks and then signals, and
// float texts. (A sink that throws: the decoder's tests;
// field values and their texts: through the RTCMV descriptors in the message tests.)
#include <mesaroframework/mesaroframework.h>

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cmath>
#include <functional>
#include <limits>

namespace {

// Logs every message hook it is called with, tagged with its name; `onMessage` runs inside newMessage.
struct RecordingSink : MessageSink
{
    RecordingSink(const char *sinkName, QStringList *sharedLog) : name(QLatin1String(sinkName)), log(sharedLog) {}
    void newMessage(const Message *) override
    {
        log->append(name);
        if (onMessage)
            onMessage();
    }
    QString name;
    QStringList *log;
    std::function<void()> onMessage;
};

} // namespace

// Sinks hear a message in the order they were attached (once each), then the signal; a sink may
// change the list while it is called: A detaches itself and C, B attaches A again, which only
// counts from the next publication.
TEST(MessageSource, PublishesInOrderWhileSinksChangeTheList)
{
    const MessageInfo info(QStringLiteral("M"));
    const Message message(&info);
    QStringList log;
    RecordingSink a("A", &log), b("B", &log), c("C", &log);
    MessageSource source;
    for (MessageSink *sink : {&a, &b, &a, &c})
        source.addSink(sink);
    QObject::connect(&source, &MessageSource::messagePublished, [&](const Message *) { log.append(QStringLiteral("signal")); });
    source.newMessage(&message);
    a.onMessage = [&] {
        source.removeSink(&a);
        source.removeSink(&c);
    };
    b.onMessage = [&] { source.addSink(&a); };
    source.newMessage(&message);
    EXPECT_EQ(log, QStringList({"A", "B", "C", "signal", "A", "B", "signal"}));
    EXPECT_EQ(source.getSinks(), (QVector<MessageSink *>{&b, &a}));
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
