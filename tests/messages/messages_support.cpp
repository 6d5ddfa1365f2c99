// Helpers shared by the message and catalogue tests.
#include "messages_support.h"

#include <QtCore/QFile>
#include <QtCore/QJsonDocument>
#include <QtCore/QLocale>

#include <cstring>
#include <stdexcept>

using namespace Nvt::Mesaro;

namespace {

// Number texts follow the default locale of the moment a descriptor first formats one; the tests
// expect C texts ("4500"), whatever the environment says. Set before main, so before any descriptor.
[[maybe_unused]] const bool cLocalePinned = [] {
    QLocale::setDefault(QLocale::c());
    return true;
}();

} // namespace

namespace MessagesTest {

const QJsonArray &descriptionRecords()
{
    static const QJsonArray records = [] {
        QFile file(QStringLiteral(RTCMV_DESCRIPTION_JSON));
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " RTCMV_DESCRIPTION_JSON);
        return QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("records")).toArray();
    }();
    return records;
}

QJsonObject describedRecord(const QString &name)
{
    for (const QJsonValue &record : descriptionRecords()) {
        if (record[QStringLiteral("name")].toString() == name)
            return record.toObject();
    }
    return QJsonObject();
}

const MessageInfo *messageInfo(const QString &recordName)
{
    return RTCMV_FormatInfo::getInstance()->findMessageInfo(recordName);
}

const FieldInfo *fieldInfo(const QString &recordName, const QString &fieldName)
{
    const MessageInfo *info = messageInfo(recordName);
    return info != nullptr ? info->findFieldInfo(fieldName) : nullptr;
}

const void *recordOf(const Message *message)
{
    return message != nullptr ? message->getCodecRecord() : nullptr;
}

std::unique_ptr<Message> decodedMessage(uint32_t messageType, CodecSupport::RecordGenerator &generator,
                                        RTCMV_record_u &decoded)
{
    RTCMV_record_u original;
    generator.generate(messageType, &original);
    const std::vector<unsigned char> bytes = CodecSupport::encodeMessage(&original);
    RTCMV_free_record(&original);
    if (bytes.empty())
        throw std::runtime_error("cannot encode message type " + std::to_string(messageType));
    RTCMV_context_s context;
    RTCMV_init_context(&context);
    std::memset(&decoded, 0, sizeof decoded);
    if (RTCMV_decode(&context, bytes.data(), uint16_t(bytes.size()), &decoded) < 0)
        throw std::runtime_error("cannot decode message type " + std::to_string(messageType));
    return std::unique_ptr<Message>(RTCMV_createMessage(&decoded));
}

FieldValue expectedValue(const void *record, const RTCMV_field_info_s &layout, const QJsonObject &field,
                         uint32_t index)
{
    const QString type = field[QStringLiteral("type")].toString();
    const int width = field[QStringLiteral("width")].toInt();
    if (type == QLatin1String("f64")) {
        double value;
        std::memcpy(&value, static_cast<const char *>(record) + layout.offset, sizeof value);
        return FieldValue::f64(value);
    }
    const int64_t raw = CodecSupport::fieldValue(record, layout, index);
    if (type == QLatin1String("u"))
        return FieldValue::u(static_cast<unsigned long long>(raw), width);
    if (type == QLatin1String("i"))
        return FieldValue::i(raw, width);
    if (type == QLatin1String("byte"))
        return FieldValue::byte(static_cast<unsigned char>(raw));
    if (type == QLatin1String("ch"))
        return FieldValue::ch(static_cast<char>(raw));
    return FieldValue();
}

QString eventText(const std::function<void()> &call)
{
    try {
        call();
    } catch (const MesaroEvent &event) {
        if (event.getType() != MesaroEvent::FieldAccessError)
            return QStringLiteral("event of type %1: %2").arg(int(event.getType())).arg(event.getText());
        if (event.getFormatInfo() != RTCMV_FormatInfo::getInstance())
            return QStringLiteral("event of another format: ") + event.getText();
        return event.getText();
    }
    return QStringLiteral("no event");
}

} // namespace MessagesTest
