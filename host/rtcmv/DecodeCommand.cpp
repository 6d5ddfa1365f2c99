// rtcmv decode: frames an RTCM 2 stream, decodes every message through the decoder of its format
// (RTCMVDecoder or RTCM2XDecoder) and prints what the decoders publish, reading each message
// generically through the catalogue.
#include "Commands.h"
#include "DecoderRouter.h"
#include "JsonWriter.h"
#include "RecordJson.h"
#include "SourceOptions.h"
#include "StreamReader.h"
#include "TextWriter.h"
#include "ValuesWriter.h"

#include <RecordFields.h>

#include <RTCM2X_messages.h>
#include <ByteSource.h>
#include <Rtcm2Framer.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/MessageInfo.h>
#include <mesaroframework/MessageSink.h>

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QMap>

#include <bitset>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <string>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Format { Text, Raw, Json, Values, Csv };

const char decodeHelp[] =
    "usage: rtcmv decode [options] [FILE|-|SOURCE]\n"
    "\n"
    "Decodes an RTCM 2 stream (30-bit words, six data bits per byte, with parity) from FILE,\n"
    "standard input or a live SOURCE and prints each message as soon as its last word is in:\n"
    "  tcp://HOST:PORT                          a TCP server\n"
    "  udp://[HOST]:PORT                        datagrams to this port\n"
    "  serial:///dev/ttyUSB0?baud=9600&parity=none&stopbits=1   (9600 8N1 by default;\n"
    "                                           also databits=, flow=rtscts|xonxoff)\n"
    "  ntrip://[USER[:PASSWORD]@]HOST[:PORT]/MOUNT              an NTRIP caster (port 2101)\n"
    "A lost connection is tried again after 1, 2, 4 ... seconds (with jitter, at most\n"
    "--retry-max). SIGINT and SIGTERM end the run: what was decoded is written, --stats printed.\n"
    "\n"
    "options (as --opt value or --opt=value; -- ends them):\n"
    "  --format FORMAT         text: field by field with names, symbols and units, the message\n"
    "                          time and station positions (default)\n"
    "                          raw: the raw line of each message and of each sub-record\n"
    "                          json: JSON Lines of the raw field values, one object per message\n"
    "                          or refusal\n"
    "                          values: JSON Lines of physical values, with time and position\n"
    "                          csv: one message type (--types N) as CSV, physical values\n"
    "  --csv-dir DIR           CSV, one file per message type in DIR (DIR/type_N.csv)\n"
    "  --time-ref TIME         a UTC time within 30 minutes of the first message (such as\n"
    "                          2020-01-14T12:00:00Z), to place the messages' Z-counts in their\n"
    "                          hour; without it, the host clock\n"
    "  --packed                the input holds packed messages (24-bit data words, no parity)\n"
    "  --types LIST            decode only these message types, any of 0-63 (e.g. 1,3,18-21); the\n"
    "                          others are skipped without a word\n"
    "  --exclude LIST          skip these message types (any of 0-63)\n"
    "  --stats                 print counts per type, refusals and framing counts on stderr\n"
    "  --quiet                 print nothing per message (with --stats: only the counts)\n"
    "%SOURCES%"
    "\n"
    "Control characters, characters above 0x7E and backslashes of message texts are shown as\n"
    "\\n, \\r, \\t, \\\\ and \\xHH in text and raw output.\n"
    "\n"
    "A message of a type no decoder knows is shown as its header and its data words in hex; it is\n"
    "counted in --stats and is no refusal.\n"
    "\n"
    "exit status: 0 ok, 1 when the decoder refused a message of a type it knows (or packed input\n"
    "ends inside a message), 2 on a usage or I/O error (also wrong NTRIP credentials, an unknown\n"
    "mountpoint, a bad URL or a missing serial device, which are not tried again); damaged words\n"
    "that the framer skipped show in --stats\n";

// The help with the live sources' options in it.
const char *helpText()
{
    static const std::string text = withSourceOptionsHelp(decodeHelp);
    return text.c_str();
}

struct DecodeOptions
{
    Format format = Format::Text;
    bool packed = false, stats = false, quiet = false;
    QVector<int> only, excluded;
    std::bitset<64> switchedOff; // the types --types and --exclude leave out
    QString path = QStringLiteral("-");
    QString csvDir;                      // --csv-dir: one CSV file per type
    std::optional<GpsTime> timeReference; // --time-ref
    SourceOptions source;
};

// A CSV file of one message type under --csv-dir.
struct CsvFile
{
    explicit CsvFile(FILE *opened) : file(opened), out(opened), csv(out) {}
    ~CsvFile()
    {
        out.flush();
        std::fclose(file);
    }
    FILE *file;
    Output out;
    CsvWriter csv;
};

// A message of a type no decoder knows (proprietary, or newer than the decoders): its header fields,
// read as every RTCM 2 message starts, and its data words in hex, six digits each.
struct UnknownMessage
{
    static constexpr int kFields = 7;
    unsigned field[kFields] = {};
    std::vector<std::string> words;

    UnknownMessage(const uint8_t *message, std::size_t bytes)
    {
        static const unsigned widths[kFields] = {8, 6, 10, 13, 3, 5, 3};
        const uint64_t header = bytes >= 6 ? uint64_t(message[0]) << 40 | uint64_t(message[1]) << 32 |
                                                 uint64_t(message[2]) << 24 | uint64_t(message[3]) << 16 |
                                                 uint64_t(message[4]) << 8 | message[5]
                                           : 0;
        unsigned shift = 48;
        for (int i = 0; i < kFields; ++i) {
            shift -= widths[i];
            field[i] = unsigned(header >> shift) & ((1u << widths[i]) - 1);
        }
        for (std::size_t at = 6; at + 3 <= bytes; at += 3) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02X%02X%02X", message[at], message[at + 1], message[at + 2]);
            words.emplace_back(hex);
        }
    }
    unsigned type() const { return field[1]; }
};
// The header's keys (JSON, as the records name them) and display names (text).
const char *const kHeaderKeys[UnknownMessage::kFields] = {"Preamble", "Message_Type", "Reference_Station_Id",
    "Modified_Z_Count", "Sequence_No_", "No_Of_Data_Words", "Station_Health"};
const char *const kHeaderNames[UnknownMessage::kFields] = {"Preamble", "Message Type", "Reference Station Id",
    "Modified Z-Count", "Sequence No.", "No. Of Data Words", "Station Health"};

// Receives what the decoder publishes and prints it.
class Printer : public MessageSink
{
public:
    Printer(Output &out, const DecodeOptions &options)
        : m_out(out), m_json(out), m_text(out), m_csv(out), m_format(options.format), m_quiet(options.quiet), m_stats(options.stats),
          m_switchedOff(options.switchedOff), m_csvDir(options.csvDir), m_clock(options.timeReference)
    {
    }

    void newMessage(const Message *message) override
    {
        ++m_published[message->getMessageInfo()];
        // A GPS time-of-week message gives the stream's own time, this message's included.
        if (message->getMessageInfo() == m_timeOfWeek) {
            const auto *time = static_cast<const RTCM2X_Message_Type_14_Message *>(message);
            m_clock.useTimeOfWeek(time->getGPS_Week(), time->getHour(), time->getModified_Z_Count());
        }
        const MessageExtras extras = extrasOf(message);
        if (m_quiet)
            return;
        switch (m_format) {
        case Format::Text:
            m_text.write(message, extras);
            break;
        case Format::Values:
            writeValuesJson(m_json, message, extras);
            m_json.endLine();
            break;
        case Format::Csv:
            if (CsvWriter *csv = csvFor(message))
                csv->write(message, extras);
            break;
        case Format::Raw:
            printRaw(message, 0);
            break;
        case Format::Json:
            // Every message the decoder publishes wraps its codec record.
            writeRecordJson(m_json, message->getCodecRecord(), DecoderRouter::tablesOf(message));
            m_json.endLine();
            break;
        }
    }

    void newEvent(const MesaroEvent &event) override { m_event = event; }

    // After each decode of a message: a refusal is printed with the code the decoder returned,
    // unless the user switched the type off; a message of a type no decoder knows is no refusal:
    // it is shown as its header and words.
    void decoded(int32_t result, const uint8_t *message, std::size_t bytes)
    {
        if (result > 0)
            return;
        const unsigned int type = DecoderRouter::typeOf(message, bytes);
        if (m_switchedOff[type]) {
            ++m_skipped;
            return;
        }
        const Nvt::Mesaro::CodecTables *format = Nvt::Mesaro::codecTablesOfType(type);
        if (format == nullptr) {
            printUnknown(UnknownMessage(message, bytes));
            return;
        }
        ++m_refused[qMakePair(result, QLatin1String(format->errorName(result)))];
        if (m_quiet)
            return;
        if (m_format == Format::Json || m_format == Format::Values) {
            m_json.beginObject();
            m_json.key("event").value(int(m_event.getType()));
            m_json.key("code").value(result);
            m_json.key("text").value(m_event.getText());
            m_json.endObject().endLine();
        } else if (m_format == Format::Csv) { // a table has no room for it
            reportError(QStringLiteral("%1 (%2)").arg(m_event.getText()).arg(result));
        } else {
            m_out << "! " << m_event.getText() << " (" << result << ')';
            m_out.endLine();
        }
    }

    // Text: one line per header field and the words; raw: one line, ';'-separated as the records'
    // raw lines; JSON (and values): the header fields and "words"; a CSV table has no room for it.
    void printUnknown(const UnknownMessage &m)
    {
        ++m_unknown[m.type()];
        if (m_quiet || m_format == Format::Csv)
            return;
        if (m_format == Format::Json || m_format == Format::Values) {
            m_json.beginObject();
            for (int i = 0; i < UnknownMessage::kFields; ++i)
                m_json.key(kHeaderKeys[i]).value(m.field[i]);
            m_json.key("words").beginArray();
            for (const std::string &word : m.words)
                m_json.value(QString::fromStdString(word));
            m_json.endArray().endObject().endLine();
            return;
        }
        const bool text = m_format == Format::Text;
        if (text)
            m_out << "Message Type " << m.type() << " - type unknown to the decoders";
        else
            m_out << "Message_Type_" << m.type() << ' ';
        for (int i = 0; i < UnknownMessage::kFields; ++i) {
            if (text) {
                m_out.endLine();
                m_out << "  " << kHeaderNames[i] << ": ";
            } else if (i > 0) {
                m_out << ';';
            }
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", m.field[i]);
            if (i == 0 || i == UnknownMessage::kFields - 1) // preamble and health are shown as bytes
                m_out << hex;
            else
                m_out << m.field[i];
        }
        if (text) {
            m_out.endLine();
            m_out << "  Words:";
        }
        for (const std::string &word : m.words)
            m_out << (text ? ' ' : ';') << word;
        m_out.endLine();
    }

    const QHash<const MessageInfo *, quint64> &published() const { return m_published; }
    // Refusals by code and its name (in the codec of the message's format).
    const QMap<QPair<int32_t, QString>, quint64> &refused() const { return m_refused; }
    const std::map<unsigned, quint64> &unknown() const { return m_unknown; }
    quint64 skipped() const { return m_skipped; }
    const StationPositions &positions() const { return m_positions; }
    const MessageClock &clock() const { return m_clock; }
    bool timed() const { return m_timed; }
    bool csvFailed() const { return m_csvFailed; }

private:
    // Time and station position of a message, for the outputs that show them and the statistics;
    // the raw and JSON outputs of a run without --stats need neither.
    MessageExtras extrasOf(const Message *message)
    {
        MessageExtras extras;
        const bool shown = !m_quiet && (m_format == Format::Text || m_format == Format::Values || m_format == Format::Csv);
        if (!shown && !m_stats)
            return extras;
        const Nvt::Mesaro::CodecTables &format = DecoderRouter::tablesOf(message);
        const RecordFields record(message->getCodecRecord(), format);
        if (&format == &Nvt::Mesaro::RTCMV_TABLES) // the station messages are RTCMV's
            extras.position = m_positions.update(record.record);
        if (shown) {
            m_timed = true;
            if (const std::optional<int64_t> zCount = record.raw("Modified_Z_Count"))
                extras.time = m_clock.resolve(unsigned(*zCount));
        }
        return extras;
    }

    // The CSV writer for a message: standard output's, or its type's file under --csv-dir.
    CsvWriter *csvFor(const Message *message)
    {
        if (m_csvDir.isEmpty())
            return &m_csv;
        const int type = int(RecordFields(message->getCodecRecord(), DecoderRouter::tablesOf(message)).info->messageType);
        std::unique_ptr<CsvFile> &file = m_csvFiles[type];
        if (!file) {
            const QString path = QDir(m_csvDir).filePath(QStringLiteral("type_%1.csv").arg(type));
            FILE *opened = std::fopen(QFile::encodeName(path).constData(), "wb");
            if (opened == nullptr) {
                if (!m_csvFailed)
                    reportError(QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
                m_csvFailed = true;
                m_csvFiles.erase(type);
                return nullptr;
            }
            file = std::make_unique<CsvFile>(opened);
        }
        return &file->csv;
    }

    static const QVector<bool> &allColumns()
    {
        static const QVector<bool> all(64, true);
        return all;
    }

    static const Message *subMessage(const FieldInfo *field, const Message *message, unsigned int i)
    {
        return field->getValueNoCheck(message, i).toSubMessage();
    }

    void indent(int depth)
    {
        for (int i = 0; i < depth; ++i)
            m_out << "  ";
    }

    void printRaw(const Message *message, int depth)
    {
        indent(depth);
        m_out << message->getMessageInfo()->getName() << ' ';
        m_out.visible(message->getRawStringFor(allColumns()));
        m_out.endLine();
        for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
            if (field->getType().kind() != FieldType::SubMessage)
                continue;
            const unsigned int n = field->getNumberOfValues(message);
            for (unsigned int i = 0; i < n; ++i)
                printRaw(subMessage(field, message, i), depth + 1);
        }
    }

    Output &m_out;
    JsonWriter m_json;
    TextWriter m_text;
    CsvWriter m_csv;
    Format m_format;
    bool m_quiet;
    bool m_stats;
    std::bitset<64> m_switchedOff; // message types
    quint64 m_skipped = 0;
    MesaroEvent m_event;
    QHash<const MessageInfo *, quint64> m_published;
    QMap<QPair<int32_t, QString>, quint64> m_refused;
    std::map<unsigned, quint64> m_unknown; // messages by type, of types no decoder knows
    QString m_csvDir;
    std::map<int, std::unique_ptr<CsvFile>> m_csvFiles;
    bool m_csvFailed = false;
    MessageClock m_clock;
    const MessageInfo *const m_timeOfWeek = RTCM2X_Message_Type_14_MessageInfo::getInstance();
    bool m_timed = false; // the output showed times
    StationPositions m_positions;
};

void printStats(const Printer &printer, bool filtered, const Rtcm2Framer::Stats *framing, quint64 packedMessages)
{
    quint64 published = 0, refused = 0;
    for (quint64 n : printer.published())
        published += n;
    for (quint64 n : printer.refused())
        refused += n;
    std::fprintf(stderr, "messages: %llu decoded, %llu refused", static_cast<unsigned long long>(published),
                 static_cast<unsigned long long>(refused));
    if (filtered)
        std::fprintf(stderr, ", %llu skipped (types switched off)", static_cast<unsigned long long>(printer.skipped()));
    quint64 unknown = 0;
    for (const auto &type : printer.unknown())
        unknown += type.second;
    if (unknown > 0)
        std::fprintf(stderr, ", %llu of types no decoder knows (shown as words)", static_cast<unsigned long long>(unknown));
    std::fputc('\n', stderr);
    for (const FormatInfo *format : DecoderRouter::catalogues()) {
        for (const MessageInfo *info : format->getAllMessageInfos()) { // catalogue order
            const quint64 n = printer.published().value(info);
            if (n > 0)
                std::fprintf(stderr, "  %-18s %llu\n", qPrintable(info->getName()), static_cast<unsigned long long>(n));
        }
    }
    for (const auto &type : printer.unknown())
        std::fprintf(stderr, "  %-18s %llu (type unknown)\n", qPrintable(QStringLiteral("Message_Type_%1").arg(type.first)),
                     static_cast<unsigned long long>(type.second));
    for (auto it = printer.refused().begin(); it != printer.refused().end(); ++it)
        std::fprintf(stderr, "  refused %d %s: %llu\n", it.key().first, qPrintable(it.key().second),
                     static_cast<unsigned long long>(it.value()));
    if (framing != nullptr)
        std::fprintf(stderr,
                     "framing: %llu bytes (%llu ignored), %llu words, %llu parity failures, %llu messages, "
                     "%llu resyncs, %llu released unconfirmed, %llu dropped unconfirmed\n",
                     static_cast<unsigned long long>(framing->bytes),
                     static_cast<unsigned long long>(framing->ignoredBytes),
                     static_cast<unsigned long long>(framing->words),
                     static_cast<unsigned long long>(framing->parityFailures),
                     static_cast<unsigned long long>(framing->messages),
                     static_cast<unsigned long long>(framing->resyncs),
                     static_cast<unsigned long long>(framing->unconfirmed),
                     static_cast<unsigned long long>(framing->rejected));
    else
        std::fprintf(stderr, "packed input: %llu messages\n", static_cast<unsigned long long>(packedMessages));
    if (printer.timed())
        std::fprintf(stderr, "time reference: %s\n", qPrintable(printer.clock().describe()));
    const QMap<int, StationPosition> &stations = printer.positions().latest();
    for (auto it = stations.begin(); it != stations.end(); ++it)
        std::fprintf(stderr, "station %d: %s\n", it.key(), qPrintable(positionText(it.value())));
}

bool parseFormat(const QString &name, Format &format)
{
    if (name == QLatin1String("text"))
        format = Format::Text;
    else if (name == QLatin1String("raw"))
        format = Format::Raw;
    else if (name == QLatin1String("json"))
        format = Format::Json;
    else if (name == QLatin1String("values"))
        format = Format::Values;
    else if (name == QLatin1String("csv"))
        format = Format::Csv;
    else
        return false;
    return true;
}

// ExitOk to go on, -1 after --help, else the status to end with (reported).
int parseOptions(const QStringList &arguments, DecodeOptions &options)
{
    const QString command = QStringLiteral("decode");
    QCommandLineParser parser;
    const QString format = QStringLiteral("format"), types = QStringLiteral("types"),
                  exclude = QStringLiteral("exclude"), timeRef = QStringLiteral("time-ref"),
                  csvDir = QStringLiteral("csv-dir");
    parser.addOptions({{format, QString(), format}, {types, QString(), types}, {exclude, QString(), exclude},
                       {timeRef, QString(), timeRef}, {csvDir, QString(), csvDir},
                       {QStringLiteral("packed"), QString()}, {QStringLiteral("stats"), QString()},
                       {QStringLiteral("quiet"), QString()}});
    addSourceOptions(parser);
    const int status = parseCommandLine(parser, arguments, command, helpText(), &options.path);
    if (status != ExitOk)
        return status;
    if (readSourceOptions(parser, command, options.source) != ExitOk)
        return ExitUsage;
    if (parser.isSet(format) && !parseFormat(parser.value(format), options.format))
        return usageError(command, QStringLiteral("unknown format '%1' (text, raw, json, values or csv)").arg(parser.value(format)));
    for (const auto &option : {std::make_pair(types, &options.only), std::make_pair(exclude, &options.excluded)}) {
        for (const QString &list : parser.values(option.first)) {
            if (!parseTypeList(list, *option.second))
                return usageError(command, QStringLiteral("bad list of message types '%1'").arg(list));
        }
    }
    for (int type = 0; type < 64; ++type)
        options.switchedOff[type] = (!options.only.isEmpty() && !options.only.contains(type)) || options.excluded.contains(type);
    if (parser.isSet(timeRef)) {
        QDateTime reference = QDateTime::fromString(parser.value(timeRef), Qt::ISODateWithMs);
        if (!reference.isValid())
            return usageError(command, QStringLiteral("bad time '%1' for --time-ref (such as 2020-01-14T12:00:00Z)").arg(parser.value(timeRef)));
        if (reference.timeSpec() == Qt::LocalTime) // a time without a zone is taken as UTC
            reference.setTimeSpec(Qt::UTC);
        options.timeReference = GpsTime::fromUtcMs(reference.toMSecsSinceEpoch());
    }
    if (parser.isSet(csvDir)) {
        if (parser.isSet(format) && options.format != Format::Csv)
            return usageError(command, QStringLiteral("--csv-dir writes CSV: it takes no other --format"));
        options.format = Format::Csv;
        options.csvDir = parser.value(csvDir);
        if (!QDir().mkpath(options.csvDir))
            return usageError(command, QStringLiteral("cannot make the directory '%1'").arg(options.csvDir));
    } else if (options.format == Format::Csv && options.only.size() != 1) {
        return usageError(command, QStringLiteral("CSV holds one message type: give it with --types N, or use --csv-dir"));
    }
    options.packed = parser.isSet(QStringLiteral("packed"));
    options.stats = parser.isSet(QStringLiteral("stats"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    return ExitOk;
}

// 1 when the decoder refused a message (types switched off are skipped, not refused) or packed
// input ends inside a message; each reason is one line on stderr, even with --quiet.
int exitStatus(const Printer &printer, const Rtcm2PackedSplitter &splitter, const DecodeOptions &options)
{
    quint64 refused = 0;
    for (quint64 n : printer.refused())
        refused += n;
    if (refused > 0 && options.quiet)
        reportError(QStringLiteral("the decoder refused %1 messages").arg(refused));
    const bool incomplete = options.packed && splitter.incompleteBytes() > 0;
    if (incomplete)
        reportError(QStringLiteral("%1 bytes at the end do not make a whole message").arg(splitter.incompleteBytes()));
    return refused > 0 || incomplete ? ExitBadData : ExitOk;
}

// Decodes the opened source with the options.
int decodeInput(ByteSource &source, const DecodeOptions &options)
{
    Output out(stdout);
    DecoderRouter decoders;
    Printer printer(out, options);
    decoders.addSink(&printer);
    decoders.applyTypeFilter(options.only, options.excluded);
    StreamReader stream([&decoders, &printer](const uint8_t *message, std::size_t bytes, unsigned) {
        printer.decoded(decoders.decode(message, bytes), message, bytes);
    }, options.packed);
    Progress progress(source.size(), isatty(2) != 0);
    stream.readAll(source, [&](qint64 done) {
        if (source.live()) // each message goes out as soon as it is complete
            out.flush();
        if (out.failed())
            return false;
        progress.update(done, stream.messages());
        return true;
    });
    out.flush();
    if (out.closed())
        return ExitOk; // the reader has gone (| head): nothing more to say
    source.close();
    progress.finish();
    if (!source.failure().text.isEmpty())
        reportError(source.failure().text);
    if (out.failed())
        reportError(QStringLiteral("cannot write the output"));
    if (options.stats)
        printStats(printer, options.switchedOff.any(), stream.framing(), stream.splitter().messages());
    if (out.failed() || printer.csvFailed() || source.failure().fatal) // a CSV file that could not be written is reported already
        return ExitUsage;
    return exitStatus(printer, stream.splitter(), options);
}

} // namespace

int runDecode(const QStringList &arguments)
{
    DecodeOptions options;
    const int status = parseOptions(arguments, options);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    const std::unique_ptr<ByteSource> source = openSource(options.path, options.source);
    if (!source)
        return ExitUsage;
    return decodeInput(*source, options);
}
