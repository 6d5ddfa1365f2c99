// libFuzzer target of what `rtcmv decode` does with a stream: the framer (and the packed splitter)
// feed the decoders (RTCMVDecoder or RTCM2XDecoder, by type, as the tool routes them), and every
// published message is printed as the tool prints it. The JSON must
// parse and must equal the object read field by field through the catalogue; the text output must
// equal the text read value by value through the descriptors, every value text the writer makes
// must equal the descriptor's own, and raw lines are rendered for every field of every message and
// sub-message.
#include "DecoderRouter.h"
#include "JsonWriter.h"
#include "RecordJson.h"
#include "TextWriter.h"

#include <RTCMV_FieldInfoBase.h>
#include <Rtcm2Framer.h>

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/MesaroEvent.h>
#include <mesaroframework/Message.h>
#include <mesaroframework/MessageInfo.h>
#include <mesaroframework/MessageSink.h>

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLocale>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

namespace {

void require(bool condition, const char *what, const QByteArray &detail = QByteArray())
{
    if (condition)
        return;
    std::fprintf(stderr, "tool_fuzz: %s\n%s\n", what, detail.constData());
    std::abort();
}

// The text that `print` writes through an Output. One Output serves many messages (making one
// costs a large buffer); its memory stream starts again once it has grown.
template<typename Print>
QByteArray printed(Print print)
{
    static char *buffer = nullptr;
    static std::size_t size = 0;
    static FILE *file = nullptr;
    static std::unique_ptr<Output> out;
    if (file == nullptr || size > (1u << 20)) {
        out.reset();
        if (file != nullptr)
            std::fclose(file);
        std::free(buffer);
        buffer = nullptr;
        size = 0;
        file = open_memstream(&buffer, &size);
        require(file != nullptr, "open_memstream");
        out = std::make_unique<Output>(file);
    }
    const std::size_t start = size;
    print(*out);
    out->flush();
    require(!out->failed(), "output failed");
    return QByteArray(buffer + start, int(size - start));
}

QJsonValue jsonValue(const FieldValue &value);

// The object `rtcmv decode --format json` must print for a message, read through the descriptors.
QJsonObject catalogueJson(const Message *message)
{
    QJsonObject object;
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        const auto *rtcmv = dynamic_cast<const RTCMV_FieldInfoBase *>(field);
        if (rtcmv != nullptr && rtcmv->isOmittedFrom(message))
            continue;
        const unsigned int n = field->isRepeated() ? field->getNumberOfValues(message) : 1;
        if (field->getType().kind() == FieldType::Char) {
            QString text;
            for (unsigned int i = 0; i < n; ++i)
                text += QChar(field->getValueNoCheck(message, i).toByte());
            object.insert(field->getName(), text);
        } else if (field->isRepeated()) {
            QJsonArray values;
            for (unsigned int i = 0; i < n; ++i)
                values.append(jsonValue(field->getValueNoCheck(message, i)));
            object.insert(field->getName(), values);
        } else {
            object.insert(field->getName(), jsonValue(field->getValueNoCheck(message, 0)));
        }
    }
    return object;
}

QJsonValue jsonValue(const FieldValue &value)
{
    switch (value.kind()) {
    case FieldType::Signed:
        return qint64(value.toInt64());
    case FieldType::Float64:
        return std::isfinite(value.toDouble()) ? QJsonValue(value.toDouble()) : QJsonValue();
    case FieldType::SubMessage:
        return catalogueJson(value.toSubMessage());
    default:
        return qint64(value.toUInt64());
    }
}

// The text output's value texts are cached per field and its numbers made without Qt: each must
// read as the descriptor's own text of the value, with its unit.
void compareValueText(const FieldInfo *field, const FieldValue &value, const QString &expected)
{
    static std::unordered_map<const FieldInfo *, ValueTexts> cache;
    const ValueTexts &texts = cache.try_emplace(field, field).first->second;
    const QByteArray text = printed([&](Output &out) { texts.write(out, value); });
    if (text != expected.toUtf8())
        require(false, "value text differs from the descriptor's", text + "\n" + expected.toUtf8());
}

// The text output as the catalogue gives it, value by value through the descriptors: the reference
// for the writer, which reads the codec record and caches the texts.
void referenceText(Output &out, const Message *message, int depth)
{
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        const auto *rtcmv = dynamic_cast<const RTCMV_FieldInfoBase *>(field);
        if (rtcmv != nullptr && rtcmv->isOmittedFrom(message))
            continue;
        const unsigned int n = field->getNumberOfValues(message);
        const QByteArray indent(2 * (depth + 1), ' ');
        if (field->getType().kind() == FieldType::SubMessage) {
            for (unsigned int i = 0; i < n; ++i) {
                const Message *sub = field->getValueNoCheck(message, i).toSubMessage();
                out << indent.constData() << field->getDisplayName() << " [" << i << "]: " << sub->getMessageInfo()->getDisplayName();
                out.endLine();
                referenceText(out, sub, depth + 1);
            }
            continue;
        }
        out << indent.constData() << field->getDisplayName() << ": ";
        if (field->getType().kind() == FieldType::Char) {
            out << '"';
            out.visible(field->getValueString(message));
            out << '"';
        }
        for (unsigned int i = 0; i < n && field->getType().kind() != FieldType::Char; ++i)
            out << (i > 0 ? " " : "") << field->getIndexedValueString(message, i, true);
        out.endLine();
    }
}

// What the text and raw formats render: every value's text with its unit, every raw line.
void renderTexts(const Message *message)
{
    static const QVector<bool> allColumns(64, true);
    require(!message->getRawStringFor(allColumns).isNull(), "raw line");
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        const auto *rtcmv = dynamic_cast<const RTCMV_FieldInfoBase *>(field);
        if (rtcmv != nullptr && rtcmv->isOmittedFrom(message))
            continue;
        const unsigned int n = field->getNumberOfValues(message);
        if (field->getType().kind() == FieldType::Char) {
            (void)field->getValueString(message);
            continue;
        }
        for (unsigned int i = 0; i < n; ++i) {
            const FieldValue value = field->getValueNoCheck(message, i);
            if (value.kind() == FieldType::SubMessage)
                renderTexts(value.toSubMessage());
            else
                compareValueText(field, value, field->getIndexedValueString(message, i, true));
        }
    }
}

class Printer : public MessageSink
{
public:
    void newMessage(const Message *message) override
    {
        const void *record = message->getCodecRecord();
        require(record != nullptr, "a decoded message without its record");
        const QByteArray line = printed([&](Output &out) {
            JsonWriter json(out);
            writeRecordJson(json, record, DecoderRouter::tablesOf(message));
        });
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        require(error.error == QJsonParseError::NoError && document.isObject(), "not a JSON object", line);
        const QJsonObject expected = catalogueJson(message);
        if (document.object() != expected)
            require(false, "JSON differs from the catalogue's values",
                    line + "\n" + QJsonDocument(expected).toJson(QJsonDocument::Compact));
        renderTexts(message);
        const QByteArray text = printed([&](Output &out) {
            TextWriter(out).write(message, MessageExtras());
        });
        const QByteArray reference = printed([&](Output &out) {
            out << message->getMessageInfo()->getDisplayName();
            if (!message->getMessageInfo()->getShortDescriptiveText().isEmpty())
                out << " - " << message->getMessageInfo()->getShortDescriptiveText();
            out.endLine();
            referenceText(out, message, 0);
        });
        if (text != reference)
            require(false, "text output differs from the catalogue's", text + "\n" + reference);
    }

    void newEvent(const MesaroEvent &event) override
    {
        const QByteArray text = printed([&](Output &out) { JsonWriter(out).value(event.getText()); });
        QJsonParseError error;
        QJsonDocument::fromJson("[" + text + "]", &error);
        require(error.error == QJsonParseError::NoError, "event text is no JSON string", text);
    }
};

} // namespace

// Inputs of a few kilobytes hold dozens of messages; larger ones only make each run slower.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Numbers as the tool writes them: it runs in the C locale without group separators.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator);
    QLocale::setDefault(c);
    static std::vector<char *> arguments(*argv, *argv + *argc);
    static char maxLength[] = "-max_len=4096";
    for (char *a : arguments) {
        if (std::strncmp(a, "-max_len=", 9) == 0)
            return 0;
    }
    arguments.insert(arguments.begin() + 1, maxLength);
    arguments.push_back(nullptr);
    *argc = int(arguments.size()) - 1;
    *argv = arguments.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static Printer printer;
    static DecoderRouter *decoders = [] {
        auto *d = new DecoderRouter;
        d->addSink(&printer);
        return d;
    }();
    std::vector<uint8_t> framed;
    auto decode = [&framed](const uint8_t *message, std::size_t bytes, unsigned) {
        framed.insert(framed.end(), message, message + bytes);
        decoders->decode(message, bytes);
    };
    // As a transmission stream, fed in two pieces so that state carries over between them ...
    Rtcm2Framer framer(decode);
    framer.feed(data, size / 3);
    framer.feed(data + size / 3, size - size / 3);
    framer.flush();
    // ... which reads clean messages straight from the input: fed byte by byte, every byte goes
    // through the symbol buffer, and the messages and counters must be the same.
    std::vector<uint8_t> reference;
    Rtcm2Framer byByte([&reference](const uint8_t *message, std::size_t bytes, unsigned) {
        reference.insert(reference.end(), message, message + bytes);
    });
    for (std::size_t i = 0; i < size; ++i)
        byByte.feed(data + i, 1);
    byByte.flush();
    const Rtcm2Framer::Stats &a = framer.stats(), &b = byByte.stats();
    require(framed == reference && a.bytes == b.bytes && a.ignoredBytes == b.ignoredBytes && a.words == b.words
                && a.parityFailures == b.parityFailures && a.messages == b.messages && a.unconfirmed == b.unconfirmed
                && a.rejected == b.rejected && a.resyncs == b.resyncs,
            "the framer fed whole and fed byte by byte differ");
    // ... and as packed messages, where every header reaches the decoder.
    Rtcm2PackedSplitter splitter(decode);
    splitter.feed(data, size);
    return 0;
}
