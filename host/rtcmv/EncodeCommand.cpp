// rtcmv encode: reads JSON Lines in the schema that `rtcmv decode --format json` writes, builds the
// codec records generically from the codec's layout tables and writes the encoded stream.
#include "Commands.h"
#include "Output.h"

#include <RTCMV_RecordWalker.h>
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

using namespace Nvt::Mesaro;

namespace {

const char encodeHelp[] =
    "usage: rtcmv encode [options] [FILE|-]\n"
    "\n"
    "Reads JSON Lines (one message per line, as `rtcmv decode --format json` writes them) from FILE\n"
    "or standard input and writes the RTCM 2 stream to standard output. Keys are the codec field\n"
    "names; Message_Type is required, other wire fields default to 0 (Preamble to 0x66), derived\n"
    "fields (Ns and the like) are computed and, when given, must agree. A line that cannot be\n"
    "encoded is reported with its number and skipped.\n"
    "\n"
    "options:\n"
    "  --packed   write packed messages (24-bit data words, no parity) instead of the RTCM 2\n"
    "             transmission bytes\n"
    "\n"
    "exit status: 0 ok, 1 when a line was skipped, 2 on a usage or I/O error\n";

struct EncodeError
{
    QString text;
};

[[noreturn]] void fail(const QString &text)
{
    throw EncodeError{text};
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

// Frees the record's sub-record block on every path out of a line.
struct RecordStorage
{
    RTCMV_record_u record;
    RecordStorage() { std::memset(&record, 0, sizeof record); }
    ~RecordStorage() { RTCMV_free_record(&record); }
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
                fail(QStringLiteral("unknown field %1%2 in %3").arg(m_path, it.key(), QLatin1String(info.name)));
        }
        for (const QString &name : m_absentGiven)
            fail(QStringLiteral("%1%2 is not part of this message: its condition does not hold").arg(m_path, name));
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
    // Fills `record` (already initialised for its kind) from a JSON object.
    void fill(void *record, const QJsonObject &object, const QString &path)
    {
        ObjectReader reader(*this, record, object, path);
        RTCMV_walk_record(record, reader);
        reader.finish(*RTCMV_layout_of(record));
    }

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
            m_arrayLengths.append({at, count.ctype, n, where});
        }
    }

    void fillRecords(void *record, const RTCMV_field_info_s &f, const QJsonValue &v, const QString &where);

    // After the whole line: arrays and blocks must hold as many elements as their counts say.
    void checkLengths()
    {
        for (const ArrayLength &a : m_arrayLengths) {
            const long long count = RTCMV_load(a.count, a.ctype);
            if (count != a.length)
                fail(QStringLiteral("%1 has %2 values, the message's fields say %3").arg(a.where).arg(a.length).arg(count));
        }
        for (const BlockLength &b : m_blockLengths) {
            const long long n = RTCMV_declared_count(b.record, *RTCMV_layout_of(b.record), b.field);
            if (n != b.length)
                fail(QStringLiteral("%1 has %2 elements, the message's fields say %3").arg(b.where).arg(b.length).arg(n));
        }
    }

private:
    struct ArrayLength { void *count; uint8_t ctype; int length; QString where; };
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
    RTCMV_update_derived(m_record);
    const char *base = static_cast<const char *>(m_record);
    for (const GivenDerived &g : m_derivedGiven) {
        const RTCMV_field_info_s &f = info.fields[g.index];
        const QString where = m_path + QLatin1String(f.name);
        if (f.ctype == RTCMV_CTYPE_F64) {
            if (!g.value.isDouble() || g.value.toDouble() != RTCMV_load_f64(base + f.offset))
                fail(QStringLiteral("%1 does not agree with the fields it is derived from").arg(where));
        } else {
            const long long computed = RTCMV_load(base + f.offset, f.ctype);
            if (integerValue(g.value, where, 64, true) != computed)
                fail(QStringLiteral("%1 = %2 does not agree with the fields it is derived from (%3)")
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
    const uint32_t elementSize = RTCMV_record_info(f.elementKind)->size;
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
            RTCMV_init_record(block + std::size_t(k) * elementSize, f.elementKind);
    }
    for (int k = 0; k < a.size(); ++k) {
        if (!a[k].isObject())
            fail(QStringLiteral("%1[%2] must be an object").arg(where).arg(k));
        void *e = f.fixedCount != 0 ? block + std::size_t(k) * elementSize : RTCMV_append_record(record);
        if (e == nullptr)
            throw std::bad_alloc();
        fill(e, a[k].toObject(), QStringLiteral("%1[%2].").arg(where).arg(k));
    }
    if (f.fixedCount == 0)
        m_blockLengths.append({record, f, a.size(), where});
}

struct EncodeOptions
{
    bool packed = false;
    QString path; // empty or "-": standard input
};

// ExitOk to go on, else the status to end with.
int parseOptions(const QStringList &arguments, EncodeOptions &options)
{
    for (const QString &a : arguments) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(encodeHelp, stdout);
            return -1;
        } else if (a == QLatin1String("--packed")) {
            options.packed = true;
        } else if ((!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) && options.path.isEmpty()) {
            options.path = a;
        } else {
            reportError(QStringLiteral("unexpected argument '%1'").arg(a));
            std::fputs(encodeHelp, stderr);
            return ExitUsage;
        }
    }
    return ExitOk;
}

FILE *openInput(const QString &path)
{
    if (path.isEmpty() || path == QLatin1String("-"))
        return stdin;
    FILE *in = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (in == nullptr)
        reportError(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return in;
}

// The record of one JSON Lines line, built and checked, in `storage`.
void readRecord(const QByteArray &text, RecordStorage &storage)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    if (!document.isObject())
        fail(QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    const QJsonValue type = object.value(QStringLiteral("Message_Type"));
    if (!type.isDouble())
        fail(QStringLiteral("Message_Type is missing"));
    const RTCMV_record_info_s *info =
        type.toDouble() >= 0 && type.toDouble() < 64 ? RTCMV_message_info(uint32_t(type.toDouble())) : nullptr;
    if (info == nullptr)
        fail(QStringLiteral("message type %1 is not one the encoder knows").arg(type.toDouble()));
    RTCMV_init_record(&storage.record, info->kind);
    RecordBuilder builder;
    builder.fill(&storage.record, object, QString());
    builder.checkLengths();
}

// Encodes JSON Lines into the stream, line by line; a line that cannot be encoded is reported
// and skipped.
class LineEncoder
{
public:
    explicit LineEncoder(bool packed) : m_packed(packed) {}

    void encodeLine(const QByteArray &text)
    {
        RecordStorage storage;
        readRecord(text, storage);
        // The message occupies its two header words and No_Of_Data_Words data words.
        const RTCMV_field_info_s &length = *fieldNamed(*RTCMV_layout_of(&storage.record), QStringLiteral("No_Of_Data_Words"));
        const unsigned words = 2u + unsigned(RTCMV_load(reinterpret_cast<char *>(&storage.record) + length.offset, length.ctype));
        m_message.assign(std::size_t(words) * 3, 0);
        const int32_t bits = RTCMV_encode_record(m_message.data(), uint16_t(m_message.size()), &storage.record);
        if (bits < 0)
            fail(QStringLiteral("the fields do not fit the message's %1 data words (%2)")
                     .arg(words - 2)
                     .arg(QLatin1String(RTCMV_error_name(bits))));
        m_stream.clear();
        if (m_packed)
            m_stream = m_message;
        else
            m_writer.writeMessage(m_message.data(), words, m_stream);
        if (std::fwrite(m_stream.data(), 1, m_stream.size(), stdout) != m_stream.size())
            m_writeFailed = true;
    }

    // Every line of `in`; the number of lines skipped.
    int encodeAll(FILE *in)
    {
        char *line = nullptr;
        std::size_t capacity = 0;
        long long lineNumber = 0;
        int skipped = 0;
        for (ssize_t length; (length = ::getline(&line, &capacity, in)) >= 0;) {
            ++lineNumber;
            const QByteArray text = QByteArray::fromRawData(line, int(length)).trimmed();
            if (text.isEmpty())
                continue;
            try {
                encodeLine(text);
            } catch (const EncodeError &e) {
                reportError(QStringLiteral("line %1: %2; skipped").arg(lineNumber).arg(e.text));
                ++skipped;
            }
        }
        std::free(line);
        return skipped;
    }

    bool writeFailed() const { return m_writeFailed; }

private:
    bool m_packed;
    Rtcm2Writer m_writer;
    std::vector<uint8_t> m_stream;
    std::vector<uint8_t> m_message;
    bool m_writeFailed = false;
};

} // namespace

int runEncode(const QStringList &arguments)
{
    EncodeOptions options;
    const int status = parseOptions(arguments, options);
    if (status != ExitOk)
        return status < 0 ? ExitOk : status;
    FILE *in = openInput(options.path);
    if (in == nullptr)
        return ExitUsage;
    LineEncoder encoder(options.packed);
    const int skipped = encoder.encodeAll(in);
    const bool readFailed = std::ferror(in) != 0;
    if (in != stdin)
        std::fclose(in);
    if (std::fflush(stdout) != 0 || encoder.writeFailed()) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    if (readFailed) {
        reportError(QStringLiteral("cannot read %1").arg(options.path.isEmpty() ? QStringLiteral("-") : options.path));
        return ExitUsage;
    }
    return skipped > 0 ? ExitBadData : ExitOk;
}
