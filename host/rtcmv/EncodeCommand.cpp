// rtcmv encode: reads JSON Lines in the schema that `rtcmv decode --format json` writes, builds the
// codec records generically from the codec's layout tables and writes the encoded stream.
#include "Commands.h"
#include "Output.h"
#include "RecordJson.h"

#include <RTCMV_codec.h>
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

class RecordBuilder
{
public:
    // Fills `record` (already initialised for its kind) from a JSON object.
    void fill(void *record, const RTCMV_record_info_s &info, const QJsonObject &object, const QString &path)
    {
        char *base = static_cast<char *>(record);
        QSet<QString> known;
        QVector<GivenDerived> derivedGiven;
        for (uint32_t i = 0; i < info.fieldCount; ++i) {
            const RTCMV_field_info_s &f = info.fields[i];
            const QString name = QLatin1String(f.name);
            known.insert(name);
            const QString where = path + name;
            const auto it = object.find(name);
            if (it == object.end())
                continue;
            void *at = base + f.offset;
            switch (f.what) {
            case RTCMV_FIELD_WIRE:
                storeField(at, f.ctype, integerValue(*it, where, f.bits, fieldIsSigned(f.ctype)));
                break;
            case RTCMV_FIELD_DERIVED:
                derivedGiven.append({i, *it});
                break;
            case RTCMV_FIELD_ARRAY:
                fillArray(base, info, f, *it, object, where);
                break;
            case RTCMV_FIELD_TEXT:
                fillText(base, info, f, *it, object, where);
                break;
            case RTCMV_FIELD_RECORDS:
                fillRecords(record, f, *it, where);
                break;
            }
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!known.contains(it.key()))
                fail(QStringLiteral("unknown field %1%2 in %3").arg(path, it.key(), QLatin1String(info.name)));
        }
        for (uint32_t i = 0; i < info.fieldCount; ++i) {
            const RTCMV_field_info_s &f = info.fields[i];
            if (f.conditional && object.contains(QLatin1String(f.name)) && !RTCMV_field_present(record, i))
                fail(QStringLiteral("%1%2 is not part of this message: its condition does not hold")
                         .arg(path, QLatin1String(f.name)));
        }
        checkDerived(record, info, derivedGiven, path);
    }

private:
    // An inline array's count field: set from the JSON array when it is a wire field the line does
    // not give; when the line gives it, the two must agree.
    void setCount(char *base, const RTCMV_record_info_s &info, const RTCMV_field_info_s &f, int n,
                  const QJsonObject &object, const QString &where)
    {
        if (uint32_t(n) > f.capacity)
            fail(QStringLiteral("%1 has %2 values, at most %3 fit").arg(where).arg(n).arg(f.capacity));
        const RTCMV_field_info_s &count = info.fields[f.countField];
        if (count.what == RTCMV_FIELD_WIRE) {
            const long long given = loadField(base + count.offset, count.ctype);
            if (object.contains(QLatin1String(count.name)) && given != n)
                fail(QStringLiteral("%1 has %2 values but %3 says %4")
                         .arg(where).arg(n).arg(QLatin1String(count.name)).arg(given));
            storeField(base + count.offset, count.ctype, n);
        } else {
            m_arrayLengths.append({base + count.offset, count.ctype, n, where});
        }
    }

    void fillArray(char *base, const RTCMV_record_info_s &info, const RTCMV_field_info_s &f, const QJsonValue &v,
                   const QJsonObject &object, const QString &where)
    {
        if (!v.isArray())
            fail(QStringLiteral("%1 must be an array").arg(where));
        const QJsonArray a = v.toArray();
        setCount(base, info, f, a.size(), object, where);
        const unsigned size = fieldStorageSize(f.ctype);
        for (int k = 0; k < a.size(); ++k)
            storeField(base + f.offset + std::size_t(k) * size, f.ctype,
                  integerValue(a[k], QStringLiteral("%1[%2]").arg(where).arg(k), f.bits, fieldIsSigned(f.ctype)));
    }

    void fillText(char *base, const RTCMV_record_info_s &info, const RTCMV_field_info_s &f, const QJsonValue &v,
                  const QJsonObject &object, const QString &where)
    {
        if (!v.isString())
            fail(QStringLiteral("%1 must be a string").arg(where));
        const QString s = v.toString();
        for (const QChar c : s) {
            if (c.unicode() > 0xFF)
                fail(QStringLiteral("%1 holds a character beyond Latin-1").arg(where));
        }
        setCount(base, info, f, s.size(), object, where);
        const QByteArray latin1 = s.toLatin1();
        std::memcpy(base + f.offset, latin1.constData(), std::size_t(latin1.size()));
        base[f.offset + std::size_t(latin1.size())] = '\0';
    }

    void fillRecords(void *record, const RTCMV_field_info_s &f, const QJsonValue &v, const QString &where)
    {
        if (!v.isArray())
            fail(QStringLiteral("%1 must be an array").arg(where));
        const QJsonArray a = v.toArray();
        const RTCMV_record_info_s &element = *RTCMV_record_info(f.elementKind);
        if (f.fixedCount != 0 && uint32_t(a.size()) != f.fixedCount)
            fail(QStringLiteral("%1 must hold exactly %2 elements").arg(where).arg(f.fixedCount));
        if (a.size() > 255)
            fail(QStringLiteral("%1 has too many elements").arg(where));
        char *block = nullptr;
        if (f.fixedCount != 0) {
            block = static_cast<char *>(std::calloc(f.fixedCount, element.size));
            if (block == nullptr)
                throw std::bad_alloc();
            *reinterpret_cast<void **>(static_cast<char *>(record) + f.offset) = block;
            for (uint32_t k = 0; k < f.fixedCount; ++k) {
                void *e = block + std::size_t(k) * element.size;
                RTCMV_init_record(e, f.elementKind);
            }
        }
        for (int k = 0; k < a.size(); ++k) {
            if (!a[k].isObject())
                fail(QStringLiteral("%1[%2] must be an object").arg(where).arg(k));
            void *e = f.fixedCount != 0 ? block + std::size_t(k) * element.size : RTCMV_append_record(record);
            if (e == nullptr)
                throw std::bad_alloc();
            fill(e, element, a[k].toObject(), QStringLiteral("%1[%2].").arg(where).arg(k));
        }
        if (f.fixedCount == 0)
            m_blockLengths.append({record, f, a.size(), where});
    }

    // Derived fields follow from the wire fields; when the line gives them they must agree.
    static void checkDerived(void *record, const RTCMV_record_info_s &info, const QVector<GivenDerived> &given,
                             const QString &path)
    {
        RTCMV_update_derived(record);
        const char *base = static_cast<const char *>(record);
        for (const GivenDerived &g : given) {
            const RTCMV_field_info_s &f = info.fields[g.index];
            const QString where = path + QLatin1String(f.name);
            if (f.ctype == RTCMV_CTYPE_F64) {
                double computed;
                std::memcpy(&computed, base + f.offset, sizeof computed);
                if (!g.value.isDouble() || g.value.toDouble() != computed)
                    fail(QStringLiteral("%1 does not agree with the fields it is derived from").arg(where));
            } else {
                const long long computed = loadField(base + f.offset, f.ctype);
                if (integerValue(g.value, where, 64, true) != computed)
                    fail(QStringLiteral("%1 = %2 does not agree with the fields it is derived from (%3)")
                             .arg(where)
                             .arg(g.value.toDouble(), 0, 'f', 0)
                             .arg(computed));
            }
        }
    }

public:
    // After the whole line: arrays and blocks must hold as many elements as their counts say.
    void checkLengths()
    {
        for (const ArrayLength &a : m_arrayLengths) {
            const long long count = loadField(a.count, a.ctype);
            if (count != a.length)
                fail(QStringLiteral("%1 has %2 values, the message's fields say %3").arg(a.where).arg(a.length).arg(count));
        }
        for (const BlockLength &b : m_blockLengths) {
            const RTCMV_record_info_s &info = *RTCMV_record_info(*static_cast<uint32_t *>(b.record));
            const RTCMV_field_info_s &count = info.fields[b.field.countField];
            const long long n = loadField(static_cast<char *>(b.record) + count.offset, count.ctype);
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

} // namespace

int runEncode(const QStringList &arguments)
{
    bool packed = false;
    QString path;
    for (const QString &a : arguments) {
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(encodeHelp, stdout);
            return ExitOk;
        } else if (a == QLatin1String("--packed")) {
            packed = true;
        } else if ((!a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) && path.isEmpty()) {
            path = a;
        } else {
            reportError(QStringLiteral("unexpected argument '%1'").arg(a));
            std::fputs(encodeHelp, stderr);
            return ExitUsage;
        }
    }
    FILE *in = stdin;
    if (!path.isEmpty() && path != QLatin1String("-")) {
        in = std::fopen(QFile::encodeName(path).constData(), "rb");
        if (in == nullptr) {
            reportError(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
            return ExitUsage;
        }
    }

    std::FILE *out = stdout;
    Rtcm2Writer writer;
    std::vector<uint8_t> stream;
    std::vector<uint8_t> packedMessage;
    char *line = nullptr;
    std::size_t capacity = 0;
    long long lineNumber = 0;
    int skipped = 0;
    bool writeFailed = false;
    for (;;) {
        const ssize_t length = ::getline(&line, &capacity, in);
        if (length < 0)
            break;
        ++lineNumber;
        const QByteArray text = QByteArray::fromRawData(line, int(length)).trimmed();
        if (text.isEmpty())
            continue;
        try {
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
            RecordStorage storage;
            RTCMV_init_record(&storage.record, info->kind);
            RecordBuilder builder;
            builder.fill(&storage.record, *info, object, QString());
            builder.checkLengths();
            // The message occupies its two header words and No_Of_Data_Words data words.
            const unsigned words = 2u + storage.record.Message_Type_1.No_Of_Data_Words;
            packedMessage.assign(std::size_t(words) * 3, 0);
            const int32_t bits = RTCMV_encode_record(packedMessage.data(), uint16_t(packedMessage.size()), &storage.record);
            if (bits < 0)
                fail(QStringLiteral("the fields do not fit the message's %1 data words (%2)")
                         .arg(words - 2)
                         .arg(QLatin1String(RTCMV_error_name(bits))));
            stream.clear();
            if (packed)
                stream = packedMessage;
            else
                writer.writeMessage(packedMessage.data(), words, stream);
            if (std::fwrite(stream.data(), 1, stream.size(), out) != stream.size())
                writeFailed = true;
        } catch (const EncodeError &e) {
            reportError(QStringLiteral("line %1: %2; skipped").arg(lineNumber).arg(e.text));
            ++skipped;
        }
    }
    std::free(line);
    const bool readFailed = std::ferror(in) != 0;
    if (in != stdin)
        std::fclose(in);
    if (std::fflush(out) != 0 || writeFailed) {
        reportError(QStringLiteral("cannot write the output"));
        return ExitUsage;
    }
    if (readFailed) {
        reportError(QStringLiteral("cannot read %1").arg(path.isEmpty() ? QStringLiteral("-") : path));
        return ExitUsage;
    }
    return skipped > 0 ? ExitBadData : ExitOk;
}
