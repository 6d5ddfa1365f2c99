// rtcmv monitor: the health of a correction stream. Reads any source decode reads through the same
// read loop and decoders, keeps the figures in a StreamMonitor and shows them as a full-screen
// view on a terminal, else as JSON summary lines; runs a command when an outage starts or ends.
#include "Commands.h"
#include "DecoderRouter.h"
#include "JsonWriter.h"
#include "MonitorView.h"
#include "SourceOptions.h"
#include "StreamReader.h"
#include "ValuesWriter.h"

#include <MessageTime.h>
#include <RecordFields.h>
#include <StreamMonitor.h>

#include <mesaroframework/MessageSink.h>

#include <QtCore/QProcess>
#include <QtCore/QProcessEnvironment>

#include <cmath>
#include <string>
#include <unistd.h>

namespace {

const char monitorHelp[] =
    "usage: rtcmv monitor [options] [FILE|-|SOURCE]\n"
    "\n"
    "Watches an RTCM 2 stream (any input decode takes): for each reference station its health and\n"
    "last known position; for each message type the count, rate, time since the last one, mean and\n"
    "largest interval, sequence-number gaps and, for live sources, the latency; for the stream the\n"
    "bytes, ignored bytes, parity failures, resyncs, reconnects, data rate and outages. On a\n"
    "terminal a full-screen view, redrawn once a second (q or SIGINT ends it); otherwise one JSON\n"
    "summary line per interval and one at the end. A file is read at full speed, timed by its\n"
    "messages' Z-counts; a live source by the host clock.\n"
    "\n"
    "options (as --opt value or --opt=value; -- ends them):\n"
    "  --outage SECONDS        no complete message for this long is an outage (default 10)\n"
    "  --json-every SECONDS    JSON summary lines instead of the view, one per interval (0: only\n"
    "                          the summary at the end; default 10 when the output is no terminal)\n"
    "  --alert-cmd COMMAND     run COMMAND with /bin/sh when an outage starts or ends, with\n"
    "                          RTCMV_EVENT (outage-start or outage-end), RTCMV_SOURCE,\n"
    "                          RTCMV_OUTAGE_START (UTC) and RTCMV_OUTAGE_LENGTH (seconds) set\n"
    "  --packed                the input holds packed messages (24-bit data words, no parity)\n"
    "%SOURCES%"
    "  (--once also prints a single summary at the end, with no lines in between)\n"
    "\n"
    "exit status: 0 ok, 2 on a usage or I/O error\n";

const char *helpText()
{
    static const std::string text = withSourceOptionsHelp(monitorHelp);
    return text.c_str();
}

struct MonitorOptions
{
    QString path = QStringLiteral("-");
    double outageS = 10;
    double jsonEveryS = -1; // below 0: the view on a terminal, else every 10 s
    QString alertCommand;
    bool packed = false;
    SourceOptions source;
};

bool readSeconds(const QCommandLineParser &parser, const QString &name, double &seconds, double least)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    seconds = parser.value(name).toDouble(&ok);
    return ok && std::isfinite(seconds) && seconds >= least;
}

int parseOptions(const QStringList &arguments, MonitorOptions &options)
{
    const QString command = QStringLiteral("monitor");
    const QString outage = QStringLiteral("outage"), every = QStringLiteral("json-every"),
                  alert = QStringLiteral("alert-cmd");
    QCommandLineParser parser;
    parser.addOptions({{outage, QString(), outage}, {every, QString(), every}, {alert, QString(), alert},
                       {QStringLiteral("packed"), QString()}});
    addSourceOptions(parser);
    const int status = parseCommandLine(parser, arguments, command, helpText(), &options.path);
    if (status != ExitOk)
        return status;
    if (readSourceOptions(parser, command, options.source) != ExitOk)
        return ExitUsage;
    if (!readSeconds(parser, outage, options.outageS, 0.1))
        return usageError(command, QStringLiteral("bad --outage '%1' (seconds, at least 0.1)").arg(parser.value(outage)));
    if (!readSeconds(parser, every, options.jsonEveryS, 0))
        return usageError(command, QStringLiteral("bad --json-every '%1' (seconds)").arg(parser.value(every)));
    options.alertCommand = parser.value(alert);
    options.packed = parser.isSet(QStringLiteral("packed"));
    return ExitOk;
}

// Takes the station positions from what the decoders publish.
class PositionSink : public MessageSink
{
public:
    explicit PositionSink(StreamMonitor &monitor) : m_monitor(monitor) {}
    void newMessage(const Message *message) override
    {
        const RecordFields record(message->getCodecRecord(), DecoderRouter::tablesOf(message));
        if (&record.tables != &Nvt::Mesaro::RTCMV_TABLES) // the station messages are RTCMV's
            return;
        if (const std::optional<StationPosition> position = m_positions.update(record.record))
            m_monitor.position(unsigned(record.raw("Reference_Station_Id").value_or(0)), *position);
    }

private:
    StreamMonitor &m_monitor;
    StationPositions m_positions;
};

// Seconds to the millisecond: the times come from milliseconds, the rest is rounding noise.
double rounded(double seconds)
{
    return std::round(seconds * 1000) / 1000;
}

double seconds(const GpsTime &time)
{
    return double(time.ms) / 1000.0;
}

// Feeds every framed message to the decoders and the monitor, at the time it counts: a live
// source's by the host clock (the message's own time gives the latency), a file's by its Z-count.
class MonitorFeed
{
public:
    MonitorFeed(StreamMonitor &monitor, bool live) : m_monitor(monitor), m_clock(std::nullopt, live), m_live(live), m_sink(monitor)
    {
        m_decoders.addSink(&m_sink);
    }

    void message(const uint8_t *packed, std::size_t bytes)
    {
        const std::optional<MessageHeader> header = MessageHeader::read(packed, bytes);
        if (!header)
            return;
        const int32_t result = m_decoders.decode(packed, bytes);
        // A type no decoder knows is no refusal: it is counted as it is in decode --stats.
        const bool decoded = result > 0 || Nvt::Mesaro::codecTablesOfType(header->type) == nullptr;
        const std::optional<GpsTime> time = m_clock.resolve(header->zCount);
        if (m_live) {
            const double now = seconds(GpsTime::now());
            m_monitor.message(*header, decoded, now, time ? std::optional<double>(now - seconds(*time)) : std::nullopt);
        } else {
            // A count that names no time keeps the time before it (the host clock's at the start,
            // which is where the first Z-count is placed too).
            m_lastAt = time ? seconds(*time) : m_lastAt > 0 ? m_lastAt : seconds(GpsTime::now());
            m_monitor.message(*header, decoded, m_lastAt);
        }
    }

private:
    StreamMonitor &m_monitor;
    DecoderRouter m_decoders;
    MessageClock m_clock;
    bool m_live;
    double m_lastAt = 0;
    PositionSink m_sink;
};

void writeFigures(JsonWriter &json, const RunningFigures &figures)
{
    json.beginObject();
    json.key("mean").value(rounded(figures.mean()));
    json.key("min").value(rounded(figures.min()));
    json.key("max").value(rounded(figures.max()));
    json.key("stddev").value(rounded(figures.stddev()));
    json.endObject();
}

void writeTypes(JsonWriter &json, const StreamMonitor &monitor)
{
    json.key("types").beginArray();
    for (const auto &entry : monitor.types()) {
        const TypeFigures &type = entry.second;
        json.beginObject();
        json.key("type").value(entry.first);
        json.key("count").value((unsigned long long)type.count);
        json.key("refused").value((unsigned long long)type.refused);
        json.key("rate_per_min").value(rounded(monitor.ratePerMinute(type)));
        json.key("since_last_s").value(rounded(type.count > 0 ? monitor.now() - type.last : monitor.watched()));
        json.key("interval_mean_s").value(rounded(type.interval.mean()));
        json.key("interval_max_s").value(rounded(type.interval.max()));
        json.key("sequence_gaps").value((unsigned long long)type.sequenceGaps);
        if (type.latency.count() > 0) {
            json.key("latency_s");
            writeFigures(json, type.latency);
        }
        json.endObject();
    }
    json.endArray();
}

void writeStations(JsonWriter &json, const StreamMonitor &monitor)
{
    json.key("stations").beginArray();
    for (const auto &entry : monitor.stations()) {
        json.beginObject();
        json.key("id").value(entry.first);
        json.key("health").value(entry.second.health);
        json.key("messages").value((unsigned long long)entry.second.messages);
        if (entry.second.position) {
            json.key("position");
            writePositionJson(json, *entry.second.position);
        }
        json.endObject();
    }
    json.endArray();
}

void writeStream(JsonWriter &json, const StreamMonitor &monitor, const StreamTotals &totals)
{
    json.key("stream").beginObject();
    json.key("bytes").value((unsigned long long)totals.bytes);
    json.key("ignored_bytes").value((unsigned long long)totals.ignoredBytes);
    json.key("parity_failures").value((unsigned long long)totals.parityFailures);
    json.key("resyncs").value((unsigned long long)totals.resyncs);
    json.key("reconnects").value((unsigned long long)totals.reconnects);
    json.key("data_rate_bps").value(rounded(monitor.watched() > 0 ? double(totals.bytes) * 8 / monitor.watched() : 0.0));
    json.endObject();
    json.key("outages").beginArray();
    for (const Outage &outage : monitor.outages()) {
        json.beginObject();
        json.key("start").value(GpsTime{int64_t(std::llround(outage.start * 1000))}.isoUtc());
        json.key("length_s").value(rounded(outage.length));
        json.key("open").value(outage.open);
        json.endObject();
    }
    json.endArray();
}

void writeSummary(JsonWriter &json, const StreamMonitor &monitor, const StreamTotals &totals)
{
    json.beginObject();
    json.key("time").value(GpsTime{int64_t(std::llround(monitor.now() * 1000))}.isoUtc());
    json.key("watched_s").value(rounded(monitor.watched()));
    writeStream(json, monitor, totals);
    writeStations(json, monitor);
    writeTypes(json, monitor);
    json.endObject().endLine();
}

// --alert-cmd: the command, run by the shell and not waited for, with the event in its environment.
void alert(const QString &command, const QString &source, const Outage &outage)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RTCMV_EVENT"), outage.open ? QStringLiteral("outage-start") : QStringLiteral("outage-end"));
    environment.insert(QStringLiteral("RTCMV_SOURCE"), source);
    environment.insert(QStringLiteral("RTCMV_OUTAGE_START"), GpsTime{int64_t(std::llround(outage.start * 1000))}.isoUtc());
    environment.insert(QStringLiteral("RTCMV_OUTAGE_LENGTH"), QString::number(outage.length, 'f', 1));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProgram(QStringLiteral("/bin/sh"));
    process.setArguments({QStringLiteral("-c"), command});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        reportError(QStringLiteral("cannot run the --alert-cmd command"));
}

// The summary lines every --json-every seconds of the watch (of the recording's time for a file).
class SummaryLines
{
public:
    SummaryLines(double every) : m_out(stdout), m_json(m_out), m_every(every) {}

    void tick(const StreamMonitor &monitor, const StreamTotals &totals)
    {
        if (m_every <= 0 || monitor.watched() <= 0)
            return;
        if (m_next < 0)
            m_next = monitor.now() - monitor.watched() + m_every;
        if (monitor.now() < m_next)
            return;
        write(monitor, totals);
        m_next += m_every * std::floor((monitor.now() - m_next) / m_every + 1);
    }
    void write(const StreamMonitor &monitor, const StreamTotals &totals)
    {
        writeSummary(m_json, monitor, totals);
        m_out.flush();
        m_written = monitor.now();
    }
    // The summary at the end, unless the last line already says it all.
    void finish(const StreamMonitor &monitor, const StreamTotals &totals)
    {
        if (m_written != monitor.now())
            write(monitor, totals);
    }
    bool failed() const { return m_out.failed(); }

private:
    Output m_out;
    JsonWriter m_json;
    double m_every;
    double m_next = -1;
    double m_written = -1;
};

StreamTotals totalsOf(const StreamReader &reader, const ByteSource &source, qint64 done)
{
    StreamTotals totals;
    totals.bytes = quint64(done);
    if (const Rtcm2Framer::Stats *framing = reader.framing()) {
        totals.bytes = framing->bytes;
        totals.ignoredBytes = framing->ignoredBytes;
        totals.parityFailures = framing->parityFailures;
        totals.resyncs = framing->resyncs;
    }
    totals.reconnects = source.reconnects();
    return totals;
}

// Watches the opened source to its end, a stop signal or q in the view; the summary at the end.
int monitorSource(ByteSource &source, const MonitorOptions &options)
{
    const bool live = source.live();
    // A file is read at full speed and summed up at its end; a live source is watched.
    const bool view = live && options.jsonEveryS < 0 && !options.source.once && isatty(1) != 0;
    SummaryLines lines(options.source.once || (!live && options.jsonEveryS < 0) ? 0
                       : options.jsonEveryS < 0 ? 10 : options.jsonEveryS);
    StreamMonitor monitor(options.outageS);
    MonitorFeed feed(monitor, live);
    qint64 read = 0;
    StreamReader reader([&](const uint8_t *packed, std::size_t bytes, unsigned) {
        feed.message(packed, bytes);
        lines.tick(monitor, totalsOf(reader, source, read));
    }, options.packed);
    std::unique_ptr<MonitorView> screen = view ? std::make_unique<MonitorView>(source.name()) : nullptr;
    Progress progress(source.size(), !live && isatty(2) != 0, 0);
    if (live)
        monitor.begin(seconds(GpsTime::now()));
    reader.readAll(source, [&](qint64 done) {
        read = done;
        if (live)
            monitor.advance(seconds(GpsTime::now()));
        for (const Outage &event : monitor.takeEvents()) {
            if (!options.alertCommand.isEmpty())
                alert(options.alertCommand, source.name(), event);
        }
        if (screen)
            return screen->update(monitor, totalsOf(reader, source, done));
        progress.update(done, reader.messages());
        lines.tick(monitor, totalsOf(reader, source, done));
        return !lines.failed();
    });
    source.close();
    progress.finish();
    screen.reset(); // the terminal as it was, before the summary
    if (!source.failure().text.isEmpty())
        reportError(source.failure().text);
    for (const Outage &event : monitor.takeEvents()) { // a file's outages, found as it ends
        if (!options.alertCommand.isEmpty())
            alert(options.alertCommand, source.name(), event);
    }
    lines.finish(monitor, totalsOf(reader, source, read));
    return source.failure().fatal ? ExitUsage : ExitOk;
}

} // namespace

int runMonitor(const QStringList &arguments)
{
    MonitorOptions options;
    const int status = parseOptions(arguments, options);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    const std::unique_ptr<ByteSource> source = openSource(options.path, options.source);
    if (!source)
        return ExitUsage;
    return monitorSource(*source, options);
}
