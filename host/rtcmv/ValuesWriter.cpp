// The values and CSV outputs, reading each message through the catalogue.
#include "ValuesWriter.h"

#include <mesaroframework/FieldInfo.h>
#include <mesaroframework/Message.h>
#include <mesaroframework/MessageInfo.h>

#include <algorithm>

namespace {

bool omitted(const FieldInfo *field, const Message *message)
{
    return field->isOptional() && field->getNumberOfValues(message) == 0;
}

bool hasTexts(const FieldInfo *field)
{
    return !field->getSymbolicValues().isEmpty() || field->hasDoNotUseValue();
}

// The text of a symbolic or do-not-use value; null when the value has none.
QString textOf(const FieldInfo *field, const FieldValue &value)
{
    if (field->hasDoNotUseValue() && value == field->getDoNotUseValue())
        return Message::doNotUseString;
    return field->getSymbolicText(value);
}

// A number as the values output gives it: raw x scale factor for a scaled field, else the raw value.
template <typename Write>
void withPhysical(const FieldInfo *field, const FieldValue &value, Write write)
{
    if (field->hasScaleFactor())
        write(value.toDouble() * field->getScaleFactor());
    else if (value.kind() == FieldType::Float64)
        write(value.toDouble());
    else if (value.kind() == FieldType::Signed)
        write(static_cast<long long>(value.toInt64()));
    else
        write(static_cast<unsigned long long>(value.toUInt64()));
}

void writeFields(JsonWriter &json, const Message *message);

void writeField(JsonWriter &json, const FieldInfo *field, const Message *message)
{
    const QByteArray name = field->getName().toUtf8();
    const unsigned int n = field->getNumberOfValues(message);
    switch (field->getType().kind()) {
    case FieldType::Char:
        json.key(name.constData()).value(field->getValueString(message));
        return;
    case FieldType::SubMessage:
        json.key(name.constData()).beginArray();
        for (unsigned int i = 0; i < n; ++i) {
            json.beginObject();
            writeFields(json, field->getValueNoCheck(message, i).toSubMessage());
            json.endObject();
        }
        json.endArray();
        return;
    default:
        break;
    }
    const bool many = field->isRepeated();
    json.key(name.constData());
    if (many)
        json.beginArray();
    for (unsigned int i = 0; i < n; ++i)
        withPhysical(field, field->getValueNoCheck(message, i), [&](auto number) { json.value(number); });
    if (many)
        json.endArray();
    if (!hasTexts(field))
        return;
    // The texts beside the numbers: one for a single value that has one, else one per value
    // (null where a value has none).
    if (!many) {
        const QString text = textOf(field, field->getValueNoCheck(message, 0));
        if (!text.isNull())
            json.key((name + "_text").constData()).value(text);
        return;
    }
    json.key((name + "_text").constData()).beginArray();
    for (unsigned int i = 0; i < n; ++i) {
        const QString text = textOf(field, field->getValueNoCheck(message, i));
        if (text.isNull())
            json.null();
        else
            json.value(text);
    }
    json.endArray();
}

void writeFields(JsonWriter &json, const Message *message)
{
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        if (!omitted(field, message))
            writeField(json, field, message);
    }
}

QString csvCell(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')) &&
        !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

void writeValuesJson(JsonWriter &json, const Message *message, const MessageExtras &extras)
{
    json.beginObject();
    json.key("values_schema").value(valuesSchemaVersion);
    if (extras.time) {
        json.key("time").value(extras.time->isoUtc());
        json.key("gps_week").value(extras.time->week());
        json.key("gps_tow").value(extras.time->secondsOfWeek());
    }
    writeFields(json, message);
    if (extras.position) {
        json.key("position");
        writePositionJson(json, *extras.position);
    }
    json.endObject();
}

void writePositionJson(JsonWriter &json, const StationPosition &position)
{
    json.beginObject();
    json.key("from").beginArray().value(position.messageType);
    if (position.refined)
        json.value(22);
    json.endArray();
    json.key("ecef").beginArray();
    for (double metres : position.ecef)
        json.value(metres);
    json.endArray();
    json.key("lat").value(position.latitude);
    json.key("lon").value(position.longitude);
    json.key("height").value(position.height);
    if (position.antennaHeight)
        json.key("antenna_height").value(*position.antennaHeight);
    json.endObject();
}

QString positionText(const StationPosition &position)
{
    QString text = QStringLiteral("lat %1, lon %2, height %3 m (ECEF %4 %5 %6 m, type %7%8)")
                       .arg(QString::number(position.latitude, 'f', 9), QString::number(position.longitude, 'f', 9),
                            QString::number(position.height, 'f', 4), QString::number(position.ecef[0], 'f', 4),
                            QString::number(position.ecef[1], 'f', 4), QString::number(position.ecef[2], 'f', 4),
                            QString::number(position.messageType),
                            position.refined ? QStringLiteral(" + 22") : QString());
    if (position.antennaHeight)
        text += QStringLiteral(", antenna height %1 m").arg(QString::number(*position.antennaHeight, 'f', 4));
    return text;
}

void CsvWriter::start(const Message *message)
{
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        if (field->getType().kind() == FieldType::SubMessage)
            m_block = field;
        else
            m_columns.append(field);
    }
    if (m_block != nullptr) {
        if (const MessageInfo *element = m_block->getType().getSubMessageInfo())
            m_elementColumns = element->getFieldInfos();
    }
    m_out << "time";
    for (const FieldInfo *field : m_columns + m_elementColumns) {
        QString label = field->getDisplayName();
        if (!field->getUnit().isEmpty())
            label += QStringLiteral(" [%1]").arg(field->getUnit());
        m_out << ',' << csvCell(label);
    }
    m_out.endLine();
    m_started = true;
}

void CsvWriter::write(const Message *message, const MessageExtras &extras)
{
    if (!m_started)
        start(message);
    const QString time = extras.time ? extras.time->isoUtc() : QString();
    const unsigned int rows = m_block != nullptr ? m_block->getNumberOfValues(message) : 0;
    for (unsigned int row = 0; row < std::max(rows, 1u); ++row) {
        m_out << time;
        cells(message, m_columns);
        cells(row < rows ? m_block->getValueNoCheck(message, row).toSubMessage() : nullptr, m_elementColumns);
        m_out.endLine();
    }
}

void CsvWriter::cells(const Message *message, const QVector<const FieldInfo *> &columns)
{
    for (const FieldInfo *field : columns) {
        m_out << ',';
        if (message == nullptr || omitted(field, message))
            continue;
        if (field->getType().kind() == FieldType::Char) {
            m_out << csvCell(field->getValueString(message));
            continue;
        }
        const unsigned int n = field->getNumberOfValues(message);
        for (unsigned int i = 0; i < n; ++i) {
            if (i > 0)
                m_out << ' ';
            withPhysical(field, field->getValueNoCheck(message, i), [&](auto number) { m_out << number; });
        }
    }
}
