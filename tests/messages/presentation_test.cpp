// The catalogue's presentation against presentation.txt, data typed from the published
// presentation tables: display names, scale factors, whole symbol tables, and the value texts of
// raw values read through the field descriptors from messages that hold them.
#include "RTCMV_messages.h"
#include "codec_support.h"

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>

#include <cmath>
#include <cstring>
#include <memory>

using namespace Nvt::Mesaro;

namespace {

using Symbols = QVector<QPair<FieldValue, QString>>;

// The data lines (each with its continuation lines) by their line numbers.
QMap<int, QString> readLines()
{
    QFile file(QStringLiteral(PRESENTATION_DATA));
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    QMap<int, QString> lines;
    for (int number = 1; !file.atEnd(); ++number) {
        const QString text = QString::fromUtf8(file.readLine());
        if (text.trimmed().isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        if (text.front().isSpace() && !lines.isEmpty())
            lines.last() += QLatin1Char(' ') + text.trimmed();
        else
            lines[number] = text.trimmed();
    }
    return lines;
}

std::string listed(const Symbols &symbols)
{
    QStringList items;
    for (const auto &symbol : symbols)
        items << QStringLiteral("%1 \"%2\"").arg(symbol.first.toString(), symbol.second);
    return items.join(QStringLiteral("; ")).toStdString();
}

FieldValue valueOf(const FieldType &type, qint64 raw)
{
    if (type.kind() == FieldType::Byte)
        return FieldValue::byte(static_cast<unsigned char>(raw));
    return type.kind() == FieldType::Signed ? FieldValue::i(raw, type.width()) : FieldValue::u(quint64(raw), type.width());
}

const RTCMV_record_info_s *layoutOf(const QString &record)
{
    for (uint32_t kind = 1; const RTCMV_record_info_s *layout = RTCMV_record_info(kind); ++kind) {
        if (record == QLatin1String(layout->name))
            return layout;
    }
    return nullptr;
}

// A message of the record whose field `index` (its first element, if repeated) holds `raw`. A
// main message has three data words, so that type 22 carries its optional fields and every array
// of values its first element.
std::unique_ptr<Message> messageWith(const RTCMV_record_info_s &layout, int index, qint64 raw)
{
    RTCMV_record_u record;
    RTCMV_init_record(&record, layout.kind);
    for (uint32_t i = 0; i < layout.fieldCount; ++i) {
        if (std::strcmp(layout.fields[i].name, "No_Of_Data_Words") == 0)
            CodecSupport::setFieldValue(&record, layout.fields[i], 3);
    }
    RTCMV_update_derived(&record);
    CodecSupport::setFieldValue(&record, layout.fields[index], raw);
    return std::unique_ptr<Message>(RTCMV_createMessage(&record));
}

// The field of every record of the line against the line; the fields found go to `checked`.
void checkLine(int number, const QStringList &columns, QSet<QString> &checked)
{
    QVector<QPair<qint64, QString>> symbols, texts;
    static const QRegularExpression pair(QStringLiteral("^(-?\\d+) *(->)? *\"([^\"]*)\"$"));
    for (const QString &item : columns[4].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = pair.match(item.trimmed());
        if (!match.hasMatch())
            ADD_FAILURE() << "line " << number << ": cannot read " << item.toStdString();
        else
            (match.capturedRef(2).isEmpty() ? symbols : texts).append({match.captured(1).toLongLong(), match.captured(3)});
    }
    QStringList records = columns[0].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (records == QStringList{QStringLiteral("*")}) { // the header fields of every main message
        records.clear();
        for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getMessageInfos())
            records << info->getName();
    }
    for (const QString &record : records) {
        const std::string where = QStringLiteral("line %1, %2::%3").arg(number).arg(record, columns[1]).toStdString();
        const MessageInfo *info = RTCMV_FormatInfo::getInstance()->findMessageInfo(record);
        const FieldInfo *field = info != nullptr ? info->findFieldInfo(columns[1]) : nullptr;
        const RTCMV_record_info_s *layout = layoutOf(record);
        if (field == nullptr || layout == nullptr) {
            ADD_FAILURE() << where << ": no such field";
            continue;
        }
        checked.insert(record + QStringLiteral("::") + columns[1]);
        const std::string displayName = QStringLiteral("\"%1\"").arg(field->getDisplayName()).toStdString();
        EXPECT_EQ(displayName, columns[2].toStdString()) << where;
        const QString scale = field->hasScaleFactor() ? QStringLiteral("2^%1").arg(std::log2(field->getScaleFactor())) : QStringLiteral("-");
        EXPECT_EQ(scale.toStdString(), columns[3].toStdString()) << where;
        Symbols expected;
        for (const auto &symbol : symbols)
            expected.append({valueOf(field->getType(), symbol.first), symbol.second});
        const std::string symbolTable = listed(field->getSymbolicValues());
        EXPECT_EQ(symbolTable, listed(expected)) << where;
        EXPECT_TRUE(symbolTable != listed(expected) || field->getSymbolicValues() == expected)
            << where << ": a symbolic value not of the field's type";
        for (const auto &value : texts + symbols) {
            if (field->hasDoNotUseValue() && field->getDoNotUseValue().toInt64() == value.first && symbols.contains(value))
                continue; // the do-not-use text comes before the symbol
            const auto message = messageWith(*layout, info->getFieldPosition(field), value.first);
            const std::string valueText = field->getIndexedValueString(message.get(), 0, true).toStdString();
            EXPECT_EQ(valueText, value.second.toStdString()) << where << ", raw value " << value.first;
        }
    }
}

} // namespace

TEST(Presentation, FollowsThePublishedTables)
{
    const QMap<int, QString> lines = readLines();
    ASSERT_GT(lines.size(), 50) << "cannot read " PRESENTATION_DATA;
    QSet<QString> checked;
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        QStringList columns = line.value().split(QLatin1Char('|'));
        for (QString &column : columns)
            column = column.trimmed();
        if (columns.size() == 5)
            checkLine(line.key(), columns, checked);
        else
            ADD_FAILURE() << "line " << line.key() << ": not five columns";
    }
    for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getAllMessageInfos()) {
        for (const FieldInfo *field : info->getFieldInfos()) {
            const bool presented = field->hasScaleFactor() || !field->getUnit().isEmpty() || !field->getSymbolicValues().isEmpty();
            if (presented && !checked.contains(info->getName() + QStringLiteral("::") + field->getName()))
                ADD_FAILURE() << info->getName().toStdString() << "::" << field->getName().toStdString()
                              << " has a scale factor, unit or symbolic values but no line in the presentation data";
        }
    }
}
