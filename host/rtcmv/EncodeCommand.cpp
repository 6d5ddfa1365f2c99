// rtcmv encode: reads JSON Lines in the schema that `rtcmv decode --format json` writes, builds the
// codec records generically from the codec's layout tables and writes the encoded stream.
#include "Commands.h"
#include "Output.h"

#include <RTCMV_RecordWalker.h>
#include <RTCM2X_codec.h>
#include <Rtcm2Framer.h>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QSet>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Nvt::Mesaro;

namespace {

const char encodeHelp[] =
    "usage: rtcmv encode [options] [FILE|-]\n"
    "\n"
    "Reads JSON Lines (one message per line, as `rtcmv decode --format json` writes them) from FILE\n"
    "or standard input and writes the RTCM 2 stream to standard output. Keys are the codec field\n"
    "names, each at most once; Message_Type is required, Preamble may only be 102 (0x66), other\n"
    "wire fields default to 0. No_Of_Data_Words, when left out, is the fewest data words that hold\n"
    "the fields; texts are padded with NULs to fill their words. Derived fields (Ns and the like)\n"
    "are computed and, when given, must agree. A line that cannot be encoded, or is longer than\n"
    "16 MiB, is reported with its number and skipped.\n"
    "\n"
    "options:\n"
    "  --packed   write packed messages (24-bit data words, no parity) instead of the RTCM 2\n"
    "             transmission bytes\n"
    "\n"
    "exit status: 0 ok, 1 when a line was skipped, 2 on a usage or I/O error\n";

struct EncodeError
{
    QString text;
    bool dependsOnLength; // another No_Of_Data_Words might cure it
};

[[noreturn]] void fail(const QString &text)
{
    throw EncodeError{text, false};
}

// A problem of the message's length: counts, conditions or room that follow from No_Of_Data_Words.
[[noreturn]] void failLength(const QString &text)
{
    throw EncodeError{text, true};
}

// Integer value of a JSON number that must fit `bits` bits, signed or not.
long long integerValue(const QJsonValue &value, const QString &name, unsigned bits, bool isSigned)
{
    if (!value.isDouble())
        fail(QStringLiteral("%1 must be a number").arg(name));
    const double d = value.toDouble();
    if (d != std::floor(d))
        fail(QStringLiteral("%1 must be a whole number").arg(name));
    const double lo = isSigned ? -std::ldexp(1.0, int(bits) - 1) : 0.0;
    const double hi = isSigned ? std::ldexp(1.0, int(bits) - 1) - 1 : std::ldexp(1.0, int(bits)) - 1;
    if (d < lo || d > hi)
        fail(QStringLiteral("%1 = %2 does not fit %3 %4 bits")
                 .arg(name)
                 .arg(d, 0, 'f', 0)
                 .arg(bits)
                 .arg(isSigned ? QStringLiteral("signed") : QStringLiteral("unsigned")));
    // 64-bit fields beyond 2^53 cannot travel exactly as JSON doubles; what fits them is taken as is.
    return isSigned || d < 9.2e18 ? static_cast<long long>(d) : static_cast<long long>(static_cast<unsigned long long>(d));
}

// A derived field's value as the line gave it, checked once the record is complete.
struct GivenDerived
{
    uint32_t index;
    QJsonValue value;
};

// A record of any kind of either format; frees the record's sub-record block on every path out of
// a line.
struct RecordStorage
{
    explicit RecordStorage(const CodecTables &format) : tables(format) { std::memset(&record, 0, sizeof record); }
    ~RecordStorage() { tables.freeRecord(&record); }
    union {
        RTCMV_record_u rtcmv;
        RTCM2X_record_u rtcm2x;
    } record;
    const CodecTables &tables;
};

// The field called `name`, null when the record has none.
const RTCMV_field_info_s *fieldNamed(const RTCMV_record_info_s &info, const QString &name)
{
    for (uint32_t i = 0; i < info.fieldCount; ++i) {
        if (name == QLatin1String(info.fields[i].name))
            return &info.fields[i];
    }
    return nullptr;
}

class RecordBuilder;

// Reads the members of one JSON object into the fields of one record, in layout order, so that
// each condition and count sees the fields it depends on.
class ObjectReader : public RTCMV_RecordVisitor
{
public:
    ObjectReader(RecordBuilder &builder, void *record, const QJsonObject &object, const QString &path)
        : m_builder(builder), m_record(record), m_object(object), m_path(path)
    {
    }

    bool enterField(const RTCMV_FieldVisit &f);
    void absentField(const RTCMV_FieldVisit &f)
    {
        if (m_object.contains(QLatin1String(f.name())))
            m_absentGiven.append(QLatin1String(f.name()));
    }

    // After the walk: members the record has no field for or does not hold, derived fields.
    void finish(const RTCMV_record_info_s &info)
    {
        for (auto it = m_object.begin(); it != m_object.end(); ++it) {
            if (fieldNamed(info, it.key()) == nullptr)
                fail(QStringLiteral("unknown key \"%1%2\" in %3").arg(m_path, it.key(), QLatin1String(info.name)));
        }
        for (const QString &name : m_absentGiven)
            failLength(QStringLiteral("%1%2 is not part of this message: its condition does not hold").arg(m_path, name));
        checkDerived(info);
    }

private:
    void checkDerived(const RTCMV_record_info_s &info);

    RecordBuilder &m_builder;
    void *m_record;
    const QJsonObject &m_object;
    QString m_path;
    QVector<GivenDerived> m_derivedGiven;
    QStringList m_absentGiven;
};

class RecordBuilder
{
public:
    explicit RecordBuilder(const CodecTables &format) : tables(format) {}

    // Fills `record` (already initialised for its kind) from a JSON object.
    void fill(void *record, const QJsonObject &object, const QString &path)
    {
        ObjectReader reader(*this, record, object, path);
        RTCMV_walk_record(record, reader, 0, tables);
        reader.finish(*RTCMV_layout_of(record, tables));
    }

    const CodecTables &tables; // the format of the records it fills

    // An inline array's count field: set from the JSON array when it is a wire field the line does
    // not give; when the line gives it, the two must agree.
    void setCount(const RTCMV_FieldVisit &f, int n, const QJsonObject &object, const QString &where)
    {
        if (uint32_t(n) > f.field.capacity)
            fail(QStringLiteral("%1 has %2 values, at most %3 fit").arg(where).arg(n).arg(f.field.capacity));
        const RTCMV_field_info_s &count = f.record.fields[f.field.countField];
        char *at = f.at - f.field.offset + count.offset;
        if (count.what == RTCMV_FIELD_WIRE) {
            const long long given = RTCMV_load(at, count.ctype);
            if (object.contains(QLatin1String(count.name)) && given != n)
                fail(QStringLiteral("%1 has %2 values but %3 says %4")
                         .arg(where).arg(n).arg(QLatin1String(count.name)).arg(given));
            RTCMV_store(at, count.ctype, n);
        } else {
            char *text = f.field.what == RTCMV_FIELD_TEXT ? f.at : nullptr;
            m_arrayLengths.append({at, count.ctype, n, where, text, f.field.capacity});
        }
    }

    void fillRecords(void *record, const RTCMV_field_info_s &f, const QJsonValue &v, const QString &where);

    // After the whole line: arrays and blocks must hold as many elements as their counts say.
    void checkLengths()
    {
        for (const ArrayLength &a : m_arrayLengths) {
            const long long count = RTCMV_load(a.count, a.ctype);
            // A text fills whole data words: what is missing of the last is NULs.
            if (a.text != nullptr && count > a.length && count <= a.capacity)
                std::memset(a.text + a.length, 0, std::size_t(count - a.length) + 1);
            else if (count != a.length)
                failLength(QStringLiteral("%1 has %2 values, the message's fields say %3").arg(a.where).arg(a.length).arg(count));
        }
        for (const BlockLength &b : m_blockLengths) {
            const long long n = RTCMV_declared_count(b.record, *RTCMV_layout_of(b.record, tables), b.field);
            if (n != b.length)
                failLength(QStringLiteral("%1 has %2 elements, the message's fields say %3").arg(b.where).arg(b.length).arg(n));
        }
    }

private:
    struct ArrayLength { void *count; uint8_t ctype; int length; QString where; char *text; uint32_t capacity; };
    struct BlockLength { void *record; RTCMV_field_info_s field; int length; QString where; };
    QVector<ArrayLength> m_arrayLengths;
    QVector<BlockLength> m_blockLengths;
};

void fillArray(RecordBuilder &builder, const RTCMV_FieldVisit &f, const QJsonValue &v, const QJsonObject &object,
               const QString &where)
{
    if (!v.isArray())
        fail(QStringLiteral("%1 must be an array").arg(where));
    const QJsonArray a = v.toArray();
    builder.setCount(f, a.size(), object, where);
    const bool isSigned = RTCMV_storage_signed(f.field.ctype);
    for (int k = 0; k < a.size(); ++k)
        RTCMV_store(f.element(uint32_t(k)), f.field.ctype,
                    integerValue(a[k], QStringLiteral("%1[%2]").arg(where).arg(k), f.field.bits, isSigned));
}

void fillText(RecordBuilder &builder, const RTCMV_FieldVisit &f, const QJsonValue &v, const QJsonObject &object,
              const QString &where)
{
    if (!v.isString())
        fail(QStringLiteral("%1 must be a string").arg(where));
    const QString s = v.toString();
    for (const QChar c : s) {
        if (c.unicode() > 0xFF)
            fail(QStringLiteral("%1 holds a character beyond Latin-1").arg(where));
    }
    builder.setCount(f, s.size(), object, where);
    const QByteArray latin1 = s.toLatin1();
    std::memcpy(f.at, latin1.constData(), std::size_t(latin1.size()));
    f.at[latin1.size()] = '\0';
}

bool ObjectReader::enterField(const RTCMV_FieldVisit &f)
{
    const QString name = QLatin1String(f.name());
    const auto it = m_object.find(name);
    if (it == m_object.end())
        return false;
    const QString where = m_path + name;
    switch (f.field.what) {
    case RTCMV_FIELD_WIRE:
        RTCMV_store(f.at, f.field.ctype, integerValue(*it, where, f.field.bits, RTCMV_storage_signed(f.field.ctype)));
        break;
    case RTCMV_FIELD_DERIVED:
        m_derivedGiven.append({f.index, *it});
        break;
    case RTCMV_FIELD_ARRAY:
        fillArray(m_builder, f, *it, m_object, where);
        break;
    case RTCMV_FIELD_TEXT:
        fillText(m_builder, f, *it, m_object, where);
        break;
    case RTCMV_FIELD_RECORDS:
        m_builder.fillRecords(m_record, f.field, *it, where);
        break;
    }
    return false; // the values are read here, not walked
}

// Derived fields follow from the wire fields; when the line gives them they must agree.
void ObjectReader::checkDerived(const RTCMV_record_info_s &info)
{
    m_builder.tables.updateDerived(m_record);
    const char *base = static_cast<const char *>(m_record);
    for (const GivenDerived &g : m_derivedGiven) {
        const RTCMV_field_info_s &f = info.fields[g.index];
        const QString where = m_path + QLatin1String(f.name);
        if (f.ctype == RTCMV_CTYPE_F64) {
            if (!g.value.isDouble() || g.value.toDouble() != RTCMV_load_f64(base + f.offset))
                failLength(QStringLiteral("%1 does not agree with the fields it is derived from").arg(where));
        } else {
            const long long computed = RTCMV_load(base + f.offset, f.ctype);
            if (integerValue(g.value, where, 64, true) != computed)
                failLength(QStringLiteral("%1 = %2 does not agree with the fields it is derived from (%3)")
                         .arg(where)
                         .arg(g.value.toDouble(), 0, 'f', 0)
                         .arg(computed));
        }
    }
}

// A block of a fixed size is made whole at once; a variable block grows by one element per
// JSON object.
void RecordBuilder::fillRecords(void *record, const RTCMV_field_info_s &f, const QJsonValue &v, const QString &where)
{
    if (!v.isArray())
        fail(QStringLiteral("%1 must be an array").arg(where));
    const QJsonArray a = v.toArray();
    const uint32_t elementSize = tables.recordInfo(f.elementKind)->size;
    if (f.fixedCount != 0 && uint32_t(a.size()) != f.fixedCount)
        fail(QStringLiteral("%1 must hold exactly %2 elements").arg(where).arg(f.fixedCount));
    if (a.size() > 255)
        fail(QStringLiteral("%1 has too many elements").arg(where));
    char *block = nullptr;
    if (f.fixedCount != 0) {
        block = static_cast<char *>(std::calloc(f.fixedCount, elementSize));
        if (block == nullptr)
            throw std::bad_alloc();
        std::memcpy(static_cast<char *>(record) + f.offset, &block, sizeof block);
        for (uint32_t k = 0; k < f.fixedCount; ++k)
            tables.initRecord(block + std::size_t(k) * elementSize, f.elementKind);
    }
    for (int k = 0; k < a.size(); ++k) {
        if (!a[k].isObject())
            fail(QStringLiteral("%1[%2] must be an object").arg(where).arg(k));
        void *e = f.fixedCount != 0 ? block + std::size_t(k) * elementSize : tables.appendRecord(record);
        if (e == nullptr)
            throw std::bad_alloc();
        fill(e, a[k].toObject(), QStringLiteral("%1[%2].").arg(where).arg(k));
    }
    if (f.fixedCount == 0)
        m_blockLengths.append({record, f, a.size(), where});
}

// The longest line read; a longer one is skipped without being held in memory.
constexpr std::size_t MaxLineBytes = std::size_t(16) << 20;

// Lines of a file descriptor, each at most MaxLineBytes long (without its '\n').
class LineReader
{
public:
    explicit LineReader(int fd) : m_fd(fd), m_buffer(1 << 16) {}

    enum Result { Line, TooLong, End };
    Result next(QByteArray &line);
    long long number() const { return m_number; }
    bool failed() const { return m_failed; }

private:
    bool fill();

    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_begin = 0, m_end = 0;
    long long m_number = 0;
    bool m_failed = false;
};

bool LineReader::fill()
{
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.data(), m_buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        m_failed = m_failed || n < 0;
        m_begin = 0;
        m_end = n > 0 ? std::size_t(n) : 0;
        return n > 0;
    }
}

LineReader::Result LineReader::next(QByteArray &line)
{
    line.clear();
    bool tooLong = false, any = false;
    for (;;) {
        if (m_begin == m_end && !fill())
            break;
        any = true;
        const char *start = m_buffer.data() + m_begin;
        const auto *newline = static_cast<const char *>(std::memchr(start, '\n', m_end - m_begin));
        const std::size_t take = newline != nullptr ? std::size_t(newline - start) : m_end - m_begin;
        tooLong = tooLong || std::size_t(line.size()) + take > MaxLineBytes;
        if (!tooLong)
            line.append(start, int(take));
        m_begin += take + (newline != nullptr ? 1 : 0);
        if (newline != nullptr)
            break;
    }
    if (!any)
        return End;
    ++m_number;
    if (tooLong)
        line.clear();
    return tooLong ? TooLong : Line;
}

// A key given twice in one object of a valid JSON text; empty when there is none. (The JSON
// reader keeps the last of them without a word.)
QString duplicateKey(const QByteArray &json)
{
    struct Level { bool object; bool expectKey; QSet<QString> keys; };
    QVector<Level> levels;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '{' || c == '[') {
            levels.append({c == '{', c == '{', {}});
        } else if (c == '}' || c == ']') {
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty()) {
            levels.last().expectKey = levels.last().object;
        } else if (c == '"') {
            const int start = i;
            for (++i; json[i] != '"'; ++i)
                i += json[i] == '\\' ? 1 : 0;
            if (levels.isEmpty() || !levels.last().expectKey)
                continue;
            levels.last().expectKey = false;
            const QByteArray quoted = json.mid(start, i - start + 1);
            const QString key = quoted.contains('\\')
                ? QJsonDocument::fromJson('[' + quoted + ']').array().at(0).toString()
                : QString::fromUtf8(quoted.mid(1, quoted.size() - 2));
            if (levels.last().keys.contains(key))
                return key;
            levels.last().keys.insert(key);
        }
    }
    return QString();
}

// The object of one line: valid JSON, an object, no key twice.
QJsonObject parseObject(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        fail(QStringLiteral("not a JSON object"));
    const QString duplicate = duplicateKey(text);
    if (!duplicate.isEmpty())
        fail(QStringLiteral("duplicate key \"%1\"").arg(duplicate));
    return document.object();
}

// The format and layout of the line's message type; the header fields every message must have right.
std::pair<const CodecTables *, const RTCMV_record_info_s *> messageLayout(const QJsonObject &object)
{
    const QJsonValue type = object.value(QStringLiteral("Message_Type"));
    if (!type.isDouble())
        fail(QStringLiteral("Message_Type is missing"));
    const CodecTables *format =
        type.toDouble() >= 0 && type.toDouble() < 64 ? codecTablesOfType(uint32_t(type.toDouble())) : nullptr;
    if (format == nullptr)
        fail(QStringLiteral("message type %1 is not one the encoder knows").arg(type.toDouble()));
    // The framer finds a message by its preamble: with any other, nothing would read it.
    const QJsonValue preamble = object.value(QStringLiteral("Preamble"));
    if (!preamble.isUndefined() && preamble.toDouble(-1) != 0x66)
        fail(QStringLiteral("Preamble must be 102 (0x66), the value that starts every message"));
    return {format, format->messageInfo(uint32_t(type.toDouble()))};
}

// "Record.Field" of the field a codec error code names; the code's name when none does.
QString fieldOfError(const CodecTables &format, int32_t code)
{
    const QString name = QLatin1String(format.errorName(code));
    QString best;
    int bestLength = 0;
    for (uint32_t kind = 1; format.recordInfo(kind) != nullptr; ++kind) {
        const RTCMV_record_info_s &info = *format.recordInfo(kind);
        for (uint32_t i = 0; i < info.fieldCount; ++i) {
            QString prefix = QStringLiteral("%1_ERR_%2_%3_").arg(QLatin1String(format.format), QLatin1String(info.name),
                                                                QLatin1String(info.fields[i].name));
            prefix = prefix.toUpper().replace(QStringLiteral("__"), QStringLiteral("_"));
            if (name.startsWith(prefix) && prefix.size() > bestLength) {
                best = QStringLiteral("%1.%2").arg(QLatin1String(info.name), QLatin1String(info.fields[i].name));
                bestLength = prefix.size();
            }
        }
    }
    return best.isEmpty() ? name : best;
}

// The message of a line in packed data words: with No_Of_Data_Words as given, or else the fewest
// data words that hold its fields.
class MessageEncoder
{
public:
    const std::vector<uint8_t> &encode(const QJsonObject &object)
    {
        const auto layout = messageLayout(object);
        const CodecTables &format = *layout.first;
        const RTCMV_record_info_s &info = *layout.second;
        const RTCMV_field_info_s &length = *fieldNamed(info, QStringLiteral("No_Of_Data_Words"));
        if (object.contains(QLatin1String(length.name)))
            return encodeWith(object, format, info, length, -1);
        for (long long words = 0;; ++words) {
            try {
                return encodeWith(object, format, info, length, words);
            } catch (const EncodeError &e) {
                if (!e.dependsOnLength)
                    throw;
                if (words == 0)
                    m_firstError = e.text;
                if (words + 1 >= (1ll << length.bits))
                    fail(QStringLiteral("no No_Of_Data_Words holds the fields; with 0: %1").arg(m_firstError));
            }
        }
    }

private:
    // `words` < 0: as the line gives them.
    const std::vector<uint8_t> &encodeWith(const QJsonObject &object, const CodecTables &format,
                                          const RTCMV_record_info_s &info, const RTCMV_field_info_s &length,
                                          long long words)
    {
        RecordStorage storage(format);
        format.initRecord(&storage.record, info.kind);
        char *lengthAt = reinterpret_cast<char *>(&storage.record) + length.offset;
        if (words >= 0)
            RTCMV_store(lengthAt, length.ctype, words);
        RecordBuilder builder(format);
        builder.fill(&storage.record, object, QString());
        builder.checkLengths();
        // The message occupies its two header words and No_Of_Data_Words data words.
        const unsigned dataWords = unsigned(RTCMV_load(lengthAt, length.ctype));
        m_message.assign(std::size_t(dataWords + 2) * 3, 0);
        const int32_t bits = format.encodeRecord(m_message.data(), uint16_t(m_message.size()), &storage.record);
        if (bits < 0)
            failLength(QStringLiteral("%1 does not fit in the %2 data words of No_Of_Data_Words (%3)")
                           .arg(fieldOfError(format, bits))
                           .arg(dataWords)
                           .arg(QLatin1String(format.errorName(bits))));
        return m_message;
    }

    std::vector<uint8_t> m_message;
    QString m_firstError;
};

// Encodes JSON Lines into the stream, line by line; a line that cannot be encoded is reported
// and skipped.
class LineEncoder
{
public:
    // A live input (a pipe or terminal, not a regular file) gets each message written out at once.
    LineEncoder(bool packed, bool live) : m_packed(packed), m_live(live) {}

    void encodeLine(const QByteArray &text)
    {
        const std::vector<uint8_t> &message = m_encoder.encode(parseObject(text));
        m_stream.clear();
        if (m_packed)
            m_stream = message;
        else
            m_writer.writeMessage(message.data(), unsigned(message.size() / 3), m_stream);
        if (std::fwrite(m_stream.data(), 1, m_stream.size(), stdout) != m_stream.size()
            || (m_live && std::fflush(stdout) != 0)) {
            m_writeFailed = true;
            m_closed = errno == EPIPE;
        }
    }

    // Every line of `lines`; the number of lines skipped.
    int encodeAll(LineReader &lines)
    {
        int skipped = 0;
        QByteArray line;
        for (LineReader::Result result; !m_writeFailed && (result = lines.next(line)) != LineReader::End;) {
            try {
                if (result == LineReader::TooLong)
                    fail(QStringLiteral("longer than %1 MiB").arg(MaxLineBytes >> 20));
                line = line.trimmed();
                if (!line.isEmpty())
                    encodeLine(line);
            } catch (const EncodeError &e) {
                reportError(QStringLiteral("line %1: %2; skipped").arg(lines.number()).arg(e.text));
                ++skipped;
            }
        }
        return skipped;
    }

    bool writeFailed() const { return m_writeFailed; }
    bool closed() const { return m_closed; }

private:
    bool m_packed;
    bool m_live;
    MessageEncoder m_encoder;
    Rtcm2Writer m_writer;
    std::vector<uint8_t> m_stream;
    bool m_writeFailed = false;
    bool m_closed = false;
};

} // namespace

int runEncode(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("packed"), QString()});
    QString path;
    const int status = parseCommandLine(parser, arguments, QStringLiteral("encode"), encodeHelp, &path);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    const int fd = openInput(path);
    if (fd < 0)
        return ExitUsage;
    struct stat st;
    LineEncoder encoder(parser.isSet(QStringLiteral("packed")), ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode));
    LineReader lines(fd);
    const int skipped = encoder.encodeAll(lines);
    if (fd != 0)
        ::close(fd);
    if (encoder.closed())
        return ExitOk; // the reader has gone: nothing more to say
    if (std::fflush(stdout) != 0 || encoder.writeFailed()) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    if (lines.failed()) {
        reportError(QStringLiteral("cannot read %1").arg(path));
        return ExitUsage;
    }
    return skipped > 0 ? ExitBadData : ExitOk;
}
