// rtcmv decode: frames an RTCM 2 stream, decodes every message through RTCMVDecoder and prints what
// the decoder publishes, reading each message generically through the catalogue.
#include "Commands.h"
#include "Output.h"
#include "RecordJson.h"

#include <RTCMVDecoder.h>
#include <RTCMV_FieldInfoBase.h>
#include <RTCMV_FormatInfo.h>
#include <Rtcm2Framer.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/MessageInfo.h>
#include <mesaroframework/MessageSink.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QHash>
#include <QtCore/QMap>

#include <string>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Format { Text, Raw, Json };

const char decodeHelp[] =
    "usage: rtcmv decode [options] [FILE|-]\n"
    "\n"
    "Decodes an RTCM 2 stream (30-bit words, six data bits per byte, with parity) from FILE or\n"
    "standard input and prints each message.\n"
    "\n"
    "options:\n"
    "  --format text|raw|json  text: field by field with names, symbols and units (default)\n"
    "                          raw: the raw line of each message and of each sub-record\n"
    "                          json: JSON Lines, one object per message or refusal\n"
    "  --packed                the input holds packed messages (24-bit data words, no parity)\n"
    "  --types LIST            decode only these message types (e.g. 1,3,18-21)\n"
    "  --exclude LIST          do not decode these message types\n"
    "  --stats                 print counts per type, refusals and framing counts on stderr\n"
    "  --quiet                 print nothing per message (with --stats: only the counts)\n"
    "\n"
    "exit status: 0 ok, 1 when the decoder refused a message of a type not switched off (or packed\n"
    "input ends inside one),\n"
    "2 on a usage or I/O error; damaged words that the framer skipped show in --stats\n";

// What the printers need of one field, worked out once per message descriptor.
struct FieldPlan
{
    const FieldInfo *field;
    const RTCMV_FieldInfoBase *rtcmv; // null for fields of other formats
    FieldType::Kind kind;
    bool repeated;
    std::string jsonKey; // "Name": in UTF-8
};

// Receives what the decoder publishes and prints it.
class Printer : public MessageSink
{
public:
    Printer(Output &out, Format format, bool quiet) : m_out(out), m_format(format), m_quiet(quiet) {}

    void newMessage(const Message *message) override
    {
        ++m_published[message->getMessageInfo()];
        if (m_quiet)
            return;
        switch (m_format) {
        case Format::Text:
            printText(message, 0);
            break;
        case Format::Raw:
            printRaw(message, 0);
            break;
        case Format::Json:
            if (const void *record = message->getCodecRecord())
                writeRecordJson(m_out, record);
            else
                printJson(message);
            m_out.endLine();
            break;
        }
    }

    void newEvent(const MesaroEvent &event) override { m_event = event; }

    // After each decode: a refusal is printed with the code the decoder returned.
    void decoded(int32_t result)
    {
        if (result > 0)
            return;
        ++m_refused[result];
        if (m_quiet)
            return;
        if (m_format == Format::Json) {
            m_out << "{\"event\":" << int(m_event.getType()) << ",\"code\":" << result << ",\"text\":";
            m_out.jsonString(m_event.getText());
            m_out << '}';
        } else {
            m_out << "! " << m_event.getText() << " (" << result << ')';
        }
        m_out.endLine();
    }

    const QHash<const MessageInfo *, quint64> &published() const { return m_published; }
    const QMap<int32_t, quint64> &refused() const { return m_refused; }

private:
    static const QVector<bool> &allColumns()
    {
        static const QVector<bool> all(64, true);
        return all;
    }

    const QVector<FieldPlan> &planOf(const MessageInfo *info)
    {
        auto it = m_plans.find(info);
        if (it != m_plans.end())
            return it.value();
        QVector<FieldPlan> plan;
        for (const FieldInfo *field : info->getFieldInfos()) {
            const QByteArray name = field->getName().toUtf8();
            plan.append({field, dynamic_cast<const RTCMV_FieldInfoBase *>(field), field->getType().kind(),
                         field->isRepeated(), '"' + name.toStdString() + "\":"});
        }
        return m_plans.insert(info, plan).value();
    }

    static bool omitted(const FieldPlan &f, const Message *message)
    {
        return f.rtcmv != nullptr && f.rtcmv->isOmittedFrom(message);
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

    // A message under its title line; a sub-record's fields go under its parent's "Name [i]:" line.
    void printText(const Message *message, int depth, bool title = true)
    {
        const MessageInfo *info = message->getMessageInfo();
        if (title) {
            indent(depth);
            m_out << info->getDisplayName();
            if (!info->getShortDescriptiveText().isEmpty())
                m_out << " - " << info->getShortDescriptiveText();
            m_out.endLine();
        }
        for (const FieldPlan &f : planOf(info)) {
            if (omitted(f, message))
                continue;
            const FieldInfo *field = f.field;
            const unsigned int n = field->getNumberOfValues(message);
            if (f.kind == FieldType::SubMessage) {
                for (unsigned int i = 0; i < n; ++i) {
                    const Message *sub = subMessage(field, message, i);
                    indent(depth + 1);
                    m_out << field->getDisplayName() << " [" << i << "]: " << sub->getMessageInfo()->getDisplayName();
                    m_out.endLine();
                    printText(sub, depth + 1, false);
                }
                continue;
            }
            indent(depth + 1);
            m_out << field->getDisplayName() << ": ";
            if (f.kind == FieldType::Char) {
                m_out << '"' << field->getValueString(message) << '"';
            } else {
                for (unsigned int i = 0; i < n; ++i) {
                    if (i > 0)
                        m_out << ' ';
                    m_out << field->getIndexedValueString(message, i, true);
                }
            }
            m_out.endLine();
        }
    }

    void printRaw(const Message *message, int depth)
    {
        indent(depth);
        m_out << message->getMessageInfo()->getName() << ' ' << message->getRawStringFor(allColumns());
        m_out.endLine();
        for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
            if (field->getType().kind() != FieldType::SubMessage)
                continue;
            const unsigned int n = field->getNumberOfValues(message);
            for (unsigned int i = 0; i < n; ++i)
                printRaw(subMessage(field, message, i), depth + 1);
        }
    }

    void printValue(const FieldValue &value)
    {
        switch (value.kind()) {
        case FieldType::Signed:
            m_out << static_cast<long long>(value.toInt64());
            break;
        case FieldType::Float64:
            m_out.jsonDouble(value.toDouble());
            break;
        case FieldType::SubMessage:
            printJson(value.toSubMessage());
            break;
        default: // unsigned, byte
            m_out << static_cast<unsigned long long>(value.toUInt64());
            break;
        }
    }

    void printJson(const Message *message)
    {
        m_out << '{';
        bool first = true;
        for (const FieldPlan &f : planOf(message->getMessageInfo())) {
            if (omitted(f, message))
                continue;
            if (!first)
                m_out << ',';
            first = false;
            m_out << f.jsonKey;
            const FieldInfo *field = f.field;
            const unsigned int n = f.repeated ? field->getNumberOfValues(message) : 1;
            if (f.kind == FieldType::Char) {
                char text[256];
                const unsigned int count = qMin(n, unsigned(sizeof text));
                for (unsigned int i = 0; i < count; ++i)
                    text[i] = field->getValueNoCheck(message, i).toChar();
                m_out.jsonLatin1(text, count);
            } else if (f.repeated) {
                m_out << '[';
                for (unsigned int i = 0; i < n; ++i) {
                    if (i > 0)
                        m_out << ',';
                    printValue(field->getValueNoCheck(message, i));
                }
                m_out << ']';
            } else {
                printValue(field->getValueNoCheck(message, 0));
            }
        }
        m_out << '}';
    }

    Output &m_out;
    Format m_format;
    bool m_quiet;
    MesaroEvent m_event;
    QHash<const MessageInfo *, quint64> m_published;
    QMap<int32_t, quint64> m_refused;
    QHash<const MessageInfo *, QVector<FieldPlan>> m_plans;
};

// Shows how far a large file has come, on a terminal only.
class Progress
{
public:
    Progress(qint64 total, bool enabled) : m_total(total), m_enabled(enabled && total > (8 << 20)) { m_timer.start(); }
    void update(qint64 done, quint64 messages)
    {
        if (!m_enabled || m_timer.elapsed() < 500)
            return;
        m_timer.restart();
        std::fprintf(stderr, "\rrtcmv: %3d%% read, %llu messages", int(done * 100 / m_total),
                     static_cast<unsigned long long>(messages));
        m_shown = true;
    }
    void finish()
    {
        if (m_shown)
            std::fputs("\r\033[K", stderr);
    }

private:
    qint64 m_total;
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_timer;
};

bool applyTypeFilter(RTCMVDecoder &decoder, const QVector<int> &only, const QVector<int> &excluded)
{
    auto numberOf = [](int type) {
        const Nvt::Mesaro::RTCMV_record_info_s *info = Nvt::Mesaro::RTCMV_message_info(uint32_t(type));
        return info != nullptr ? int(info->kind) : -1;
    };
    for (int type : only + excluded) {
        if (numberOf(type) < 0) {
            reportError(QStringLiteral("message type %1 is not one the decoder knows").arg(type));
            return false;
        }
    }
    if (!only.isEmpty()) {
        decoder.disableAllMessages();
        for (int type : only)
            decoder.enableMessageEnum(numberOf(type));
    }
    for (int type : excluded)
        decoder.disableMessageEnum(numberOf(type));
    return true;
}

void printStats(const Printer &printer, const Rtcm2Framer::Stats *framing, quint64 packedMessages)
{
    quint64 published = 0, refused = 0;
    for (quint64 n : printer.published())
        published += n;
    for (quint64 n : printer.refused())
        refused += n;
    std::fprintf(stderr, "messages: %llu decoded, %llu refused\n", static_cast<unsigned long long>(published),
                 static_cast<unsigned long long>(refused));
    for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getAllMessageInfos()) { // catalogue order
        const quint64 n = printer.published().value(info);
        if (n > 0)
            std::fprintf(stderr, "  %-18s %llu\n", qPrintable(info->getName()), static_cast<unsigned long long>(n));
    }
    for (auto it = printer.refused().begin(); it != printer.refused().end(); ++it)
        std::fprintf(stderr, "  refused %d %s: %llu\n", it.key(), Nvt::Mesaro::RTCMV_error_name(it.key()),
                     static_cast<unsigned long long>(it.value()));
    if (framing != nullptr)
        std::fprintf(stderr,
                     "framing: %llu bytes (%llu ignored), %llu words, %llu parity failures, %llu messages, "
                     "%llu resyncs\n",
                     static_cast<unsigned long long>(framing->bytes),
                     static_cast<unsigned long long>(framing->ignoredBytes),
                     static_cast<unsigned long long>(framing->words),
                     static_cast<unsigned long long>(framing->parityFailures),
                     static_cast<unsigned long long>(framing->messages),
                     static_cast<unsigned long long>(framing->resyncs));
    else
        std::fprintf(stderr, "packed input: %llu messages\n", static_cast<unsigned long long>(packedMessages));
}

} // namespace

int runDecode(const QStringList &arguments)
{
    Format format = Format::Text;
    bool packed = false, stats = false, quiet = false;
    QVector<int> only, excluded;
    QString path;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(decodeHelp, stdout);
            return ExitOk;
        } else if (a == QLatin1String("--format") && hasValue) {
            const QString f = arguments[++i];
            if (f == QLatin1String("text"))
                format = Format::Text;
            else if (f == QLatin1String("raw"))
                format = Format::Raw;
            else if (f == QLatin1String("json"))
                format = Format::Json;
            else {
                reportError(QStringLiteral("unknown format '%1' (text, raw or json)").arg(f));
                return ExitUsage;
            }
        } else if ((a == QLatin1String("--types") || a == QLatin1String("--exclude")) && hasValue) {
            if (!parseTypeList(arguments[++i], a == QLatin1String("--types") ? only : excluded)) {
                reportError(QStringLiteral("bad list of message types '%1'").arg(arguments[i]));
                return ExitUsage;
            }
        } else if (a == QLatin1String("--packed")) {
            packed = true;
        } else if (a == QLatin1String("--stats")) {
            stats = true;
        } else if (a == QLatin1String("--quiet")) {
            quiet = true;
        } else if ((!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) && path.isEmpty()) {
            path = a;
        } else {
            reportError(QStringLiteral("unexpected argument '%1'").arg(a));
            std::fputs(decodeHelp, stderr);
            return ExitUsage;
        }
    }
    if (path.isEmpty())
        path = QStringLiteral("-");

    int fd = 0;
    if (path != QLatin1String("-")) {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0) {
            reportError(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return ExitUsage;
        }
    }
    struct stat st;
    const qint64 total = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;

    Output out(stdout);
    RTCMVDecoder decoder(nullptr);
    Printer printer(out, format, quiet);
    decoder.addSink(&printer);
    if (!applyTypeFilter(decoder, only, excluded))
        return ExitUsage;

    auto decodeOne = [&](const uint8_t *message, std::size_t bytes, unsigned) {
        printer.decoded(decoder.decodeMessage(message, uint(bytes)));
    };
    Rtcm2Framer framer(decodeOne);
    Rtcm2PackedSplitter splitter(decodeOne);
    Progress progress(total, isatty(2) != 0);

    std::vector<uint8_t> chunk(1 << 20);
    qint64 done = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            reportError(QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return ExitUsage;
        }
        if (n == 0)
            break;
        if (packed)
            splitter.feed(chunk.data(), std::size_t(n));
        else
            framer.feed(chunk.data(), std::size_t(n));
        done += n;
        progress.update(done, packed ? splitter.messages() : framer.stats().messages);
    }
    if (fd != 0)
        ::close(fd);
    framer.flush(); // the last message has nothing after it to confirm it
    progress.finish();
    out.flush();
    if (out.failed()) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    if (stats)
        printStats(printer, packed ? nullptr : &framer.stats(), splitter.messages());

    // Types the user switched off are refused by choice, not because the input was bad.
    bool bad = false;
    for (auto it = printer.refused().begin(); it != printer.refused().end(); ++it) {
        const bool disabled = it.key() <= Nvt::Mesaro::RTCMV_ERR_MESSAGE_TYPE_3_DISABLED &&
                              it.key() >= Nvt::Mesaro::RTCMV_ERR_MESSAGE_TYPE_56_DISABLED;
        bad = bad || !disabled;
    }
    if (packed && splitter.incompleteBytes() > 0) {
        reportError(QStringLiteral("%1 bytes at the end do not make a whole message").arg(splitter.incompleteBytes()));
        bad = true;
    }
    return bad ? ExitBadData : ExitOk;
}
