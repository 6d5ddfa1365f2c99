// Support for the rtcmv tool tests: the program runner, JSON Lines helpers and generated streams.
#include "tool_support.h"

#include "codec_support.h"

#include <RTCMV_RecordWalker.h>

#include <Rtcm2Framer.h>

#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QJsonDocument>
#include <QtCore/QProcess>

#include <gtest/gtest.h>

#include <cstring>

using namespace Nvt::Mesaro;

namespace ToolSupport {

namespace {

QString withOption(const QString &options, const char *option)
{
    return options.isEmpty() ? QString::fromLatin1(option) : options + QLatin1Char(':') + QLatin1String(option);
}

// The object of a record as the tool must print it: wire and derived fields present under their
// condition, arrays and sub-records as arrays, texts as Latin-1 strings.
class JsonBuilder : public RTCMV_RecordVisitor
{
public:
    QJsonObject take() { return m_objects.takeLast(); }

    bool enterField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_TEXT)
            m_objects.last().insert(QLatin1String(f.name()), QString::fromLatin1(f.at, int(f.count)));
        m_array = QJsonArray();
        return f.field.what != RTCMV_FIELD_TEXT;
    }
    void value(const RTCMV_FieldVisit &f, uint32_t, const char *at)
    {
        const QJsonValue value = f.field.ctype == RTCMV_CTYPE_F64 ? QJsonValue(RTCMV_load_f64(at))
                                                                  : QJsonValue(qint64(RTCMV_load(at, f.field.ctype)));
        if (f.field.what == RTCMV_FIELD_ARRAY)
            m_array.append(value);
        else
            m_objects.last().insert(QLatin1String(f.name()), value);
    }
    bool enterRecord(const RTCMV_FieldVisit &, uint32_t, const void *)
    {
        m_arrays.append(m_array);
        m_objects.append(QJsonObject());
        return true;
    }
    void leaveRecord(const RTCMV_FieldVisit &, uint32_t, const void *)
    {
        m_array = m_arrays.takeLast();
        m_array.append(m_objects.takeLast());
    }
    void leaveField(const RTCMV_FieldVisit &f)
    {
        if (f.field.what == RTCMV_FIELD_ARRAY || f.field.what == RTCMV_FIELD_RECORDS)
            m_objects.last().insert(QLatin1String(f.name()), m_array);
    }

private:
    QList<QJsonObject> m_objects{QJsonObject()};
    QList<QJsonArray> m_arrays; // of the blocks being walked
    QJsonArray m_array;         // of the field being walked
};

QJsonObject recordJson(const void *record)
{
    JsonBuilder builder;
    RTCMV_walk_record(record, builder);
    return builder.take();
}

} // namespace

ToolRun runTool(const QStringList &arguments, const QByteArray &input, const QString &outputFile)
{
    ToolRun run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       withOption(environment.value(QStringLiteral("ASAN_OPTIONS")), "exitcode=86"));
    environment.insert(QStringLiteral("UBSAN_OPTIONS"),
                       withOption(environment.value(QStringLiteral("UBSAN_OPTIONS")), "exitcode=86"));
    process.setProcessEnvironment(environment);
    if (!outputFile.isEmpty())
        process.setStandardOutputFile(outputFile);
    process.start(QStringLiteral(RTCMV_TOOL), arguments);
    if (!process.waitForStarted(30000)) {
        ADD_FAILURE() << "cannot start " << RTCMV_TOOL;
        return run;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        ADD_FAILURE() << "rtcmv " << arguments.join(QLatin1Char(' ')).toStdString() << " did not finish";
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    return run;
}

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> result = text.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}

QJsonObject parseLine(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in: " << line.left(300).toStdString();
    EXPECT_TRUE(document.isObject()) << line.left(300).toStdString();
    return document.object();
}

QStringList topLevelKeys(const QByteArray &json)
{
    QStringList keys;
    int depth = 0, start = 0;
    bool inString = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
                if (depth == 1 && i + 1 < json.size() && json[i + 1] == ':')
                    keys << QString::fromUtf8(json.mid(start, i - start));
            }
        } else if (c == '"') {
            inString = true;
            start = i + 1;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return keys;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QString recordingPath(const char *name)
{
    const QString path = QStringLiteral(MESARO_TESTDATA_DIR "/") + QLatin1String(name);
    return QFileInfo::exists(path) ? path : QString();
}

QString sourcePath(const char *relative)
{
    return QStringLiteral(MESARO_SOURCE_DIR "/") + QLatin1String(relative);
}

QJsonArray descriptionRecords()
{
    return QJsonDocument::fromJson(readFile(QStringLiteral(RTCMV_DESCRIPTION_JSON)))
        .object()
        .value(QLatin1String("records"))
        .toArray();
}

std::vector<GeneratedMessage> generateMessages(uint64_t seed, int perType)
{
    CodecSupport::RecordGenerator generator(seed);
    std::vector<GeneratedMessage> messages;
    for (int round = 0; round < perType; ++round) {
        for (uint32_t type : CodecSupport::messageTypes()) {
            // A record is a message only when its fields fit the data words its header counts.
            for (int attempt = 0;; ++attempt) {
                if (attempt == 10000) {
                    ADD_FAILURE() << "no message of type " << type << " fits its data words";
                    return messages;
                }
                RTCMV_record_u record;
                generator.generate(type, &record);
                const RTCMV_record_info_s &info = *RTCMV_message_info(type);
                CodecSupport::setFieldValue(&record, info.fields[0], 0x66); // Preamble: the framer locks on it
                unsigned char buffer[1024] = {};
                const int32_t bits = RTCMV_encode_record(buffer, sizeof buffer, &record);
                const unsigned words = 2u + record.Message_Type_1.No_Of_Data_Words;
                if (bits >= 0 && unsigned(bits) <= words * 24) {
                    messages.push_back({type, std::vector<uint8_t>(buffer, buffer + words * 3), recordJson(&record)});
                    RTCMV_free_record(&record);
                    break;
                }
                RTCMV_free_record(&record);
            }
        }
    }
    return messages;
}

QByteArray packedStream(const std::vector<GeneratedMessage> &messages)
{
    QByteArray stream;
    for (const GeneratedMessage &m : messages)
        stream.append(reinterpret_cast<const char *>(m.packed.data()), int(m.packed.size()));
    return stream;
}

QByteArray framedStream(const std::vector<GeneratedMessage> &messages, std::vector<int> *offsets)
{
    Rtcm2Writer writer;
    std::vector<uint8_t> bytes;
    for (const GeneratedMessage &m : messages) {
        if (offsets != nullptr)
            offsets->push_back(int(bytes.size()));
        writer.writeMessage(m.packed.data(), unsigned(m.packed.size() / 3), bytes);
    }
    if (offsets != nullptr)
        offsets->push_back(int(bytes.size()));
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

QByteArray jsonLines(const std::vector<GeneratedMessage> &messages)
{
    QByteArray text;
    for (const GeneratedMessage &m : messages)
        text += QJsonDocument(m.json).toJson(QJsonDocument::Compact) + '\n';
    return text;
}

} // namespace ToolSupport
