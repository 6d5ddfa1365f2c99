// The catalogue's presentation against presentation.txt, data typed from the published
// presentation tables: display names, scale factors, whole symbol tables, the value texts of raw
// values read through the field descriptors from messages that hold them, and every field's flags.
#include "RTCMV_RecordWalker.h"
#include "RTCMV_messages.h"

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>
#include <QtCore/QSet>

#include <cmath>
#include <memory>

using namespace Nvt::Mesaro;

namespace {

using Symbols = QVector<QPair<FieldValue, QString>>;

// Number texts follow the default locale of the moment a descriptor first formats one; the data
// holds C texts ("4500"), whatever the environment says. Set before main, so before any descriptor.
[[maybe_unused]] const bool cLocalePinned = (QLocale::setDefault(QLocale::c()), true);

// The data lines, each with its continuation lines, split in their columns.
QVector<QStringList> readLines()
{
    QFile file(QStringLiteral(PRESENTATION_DATA));
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    QVector<QStringList> lines;
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QRegularExpression(QStringLiteral("\n[ \t]+")), QStringLiteral(" ")); // continuation lines
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1Char('#')))
            lines.append(line.split(QLatin1Char('|')).replaceInStrings(QRegularExpression(QStringLiteral("^\\s+|\\s+$")), QString()));
    }
    return lines;
}

// The records of a line's first column: names, N for Message_Type_N, * for every main message.
QStringList recordsOf(QString column)
{
    QStringList records, types;
    for (unsigned type : RTCMV_MESSAGE_TYPES)
        types << QString::number(type);
    for (const QString &name : column.replace(QLatin1Char('*'), types.join(QLatin1Char(' '))).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        records << (name.front().isDigit() ? QStringLiteral("Message_Type_") + name : name);
    return records;
}

FieldValue valueOf(const FieldType &type, qint64 raw)
{
    if (type.kind() == FieldType::Byte)
        return FieldValue::byte(static_cast<unsigned char>(raw));
    return type.kind() == FieldType::Signed ? FieldValue::i(raw, type.width()) : FieldValue::u(quint64(raw), type.width());
}

std::string listed(const Symbols &symbols)
{
    QStringList items;
    for (const auto &symbol : symbols)
        items << QStringLiteral("%1 \"%2\"").arg(symbol.first.toString(), symbol.second);
    return items.join(QStringLiteral("; ")).toStdString();
}

// The flags of a descriptor in the data's words (a sub-field is the message's own field of that name).
std::string flagsOf(const MessageInfo *info, const FieldInfo *field)
{
    QStringList flags;
    const QPair<bool, const char *> marks[] = {
        {field->isRepeated(), "repeated"}, {field->isOptional(), "optional"}, {field->isVirtual(), "virtual"},
        {!field->hasRole(), "no role"},    {field->hasRole() && field->getRole() != FieldInfo::DataRole, "another role"},
        {!field->isConfidential(), "not confidential"}};
    for (const auto &mark : marks) {
        if (mark.first)
            flags << QLatin1String(mark.second);
    }
    const FieldValue doNotUse = field->getDoNotUseValue();
    if (field->hasDoNotUseValue())
        flags << QStringLiteral("do-not-use value ") + doNotUse.toString()
                     + (doNotUse == valueOf(field->getType(), doNotUse.toInt64()) ? QString() : QStringLiteral(" of another type"));
    for (const FieldInfo *sub : field->getSubFieldInfos())
        flags << QStringLiteral("sub-field ") + sub->getName() + (info->findFieldInfo(sub->getName()) == sub ? QString() : QStringLiteral(" elsewhere"));
    return flags.join(QStringLiteral(", ")).toStdString();
}

// A message of the record whose field (its first element, if repeated) holds `raw`. A main message
// has three data words, so that type 22 carries its optional fields and every array of values its
// first element.
std::unique_ptr<Message> messageWith(const QString &recordName, int index, qint64 raw)
{
    const RTCMV_record_info_s *layout = RTCMV_record_info(1);
    for (uint32_t kind = 2; recordName != QLatin1String(layout->name); ++kind)
        layout = RTCMV_record_info(kind);
    RTCMV_record_u record;
    RTCMV_init_record(&record, layout->kind);
    const auto set = [&](int i, qint64 value) {
        RTCMV_store(reinterpret_cast<char *>(&record) + layout->fields[i].offset, layout->fields[i].ctype, value);
    };
    if (layout->messageType != 0)
        set(5, 3); // the header's No_Of_Data_Words
    RTCMV_update_derived(&record);
    set(index, raw);
    return std::unique_ptr<Message>(RTCMV_createMessage(&record));
}

// The field of every record of a five-column line against the line; the fields found go to `checked`.
void checkLine(const QStringList &columns, QSet<QString> &checked)
{
    QVector<QPair<qint64, QString>> symbols, texts;
    static const QRegularExpression pair(QStringLiteral("^(-?\\d+) *(->)? *\"([^\"]*)\"$"));
    for (const QString &item : columns[4].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = pair.match(item.trimmed());
        if (!match.hasMatch())
            ADD_FAILURE() << "cannot read " << item.toStdString();
        else
            (match.capturedRef(2).isEmpty() ? symbols : texts).append({match.captured(1).toLongLong(), match.captured(3)});
    }
    for (const QString &record : recordsOf(columns[0])) {
        const std::string where = (record + QStringLiteral("::") + columns[1]).toStdString();
        const MessageInfo *info = RTCMV_FormatInfo::getInstance()->findMessageInfo(record);
        const FieldInfo *field = info != nullptr ? info->findFieldInfo(columns[1]) : nullptr;
        if (field == nullptr) {
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
        EXPECT_TRUE(field->getSymbolicValues() == expected) // raw values of the field's type, texts, order
            << where << ": " << listed(field->getSymbolicValues()) << "\n instead of " << listed(expected);
        for (const auto &value : texts + symbols) {
            if (field->hasDoNotUseValue() && field->getDoNotUseValue().toInt64() == value.first && symbols.contains(value))
                continue; // the do-not-use text comes before the symbol
            const auto message = messageWith(record, info->getFieldPosition(field), value.first);
            EXPECT_EQ(field->getIndexedValueString(message.get(), 0, true).toStdString(), value.second.toStdString())
                << where << ", raw value " << value.first;
        }
    }
}

} // namespace

TEST(Presentation, FollowsThePublishedTables)
{
    const QVector<QStringList> lines = readLines();
    ASSERT_GT(lines.size(), 50) << "cannot read " PRESENTATION_DATA;
    QSet<QString> presented;
    QMap<QString, QString> flags;
    for (const QStringList &columns : lines) {
        if (columns.size() == 5)
            checkLine(columns, presented);
        for (const QString &record : columns.size() == 3 ? recordsOf(columns[0]) : QStringList())
            flags.insert(record + QStringLiteral("::") + columns[1], columns[2]);
        EXPECT_TRUE(columns.size() == 5 || columns.size() == 3) << "not five or three columns: " << columns.join(QLatin1Char('|')).toStdString();
    }
    for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getAllMessageInfos()) {
        for (const FieldInfo *field : info->getFieldInfos()) {
            const QString key = info->getName() + QStringLiteral("::") + field->getName();
            EXPECT_EQ(flagsOf(info, field), flags.take(key).toStdString()) << key.toStdString();
            const bool shown = field->hasScaleFactor() || !field->getUnit().isEmpty() || !field->getSymbolicValues().isEmpty();
            EXPECT_TRUE(!shown || presented.contains(key))
                << key.toStdString() << " has a scale factor, unit or symbolic values but no line in the presentation data";
        }
    }
    EXPECT_TRUE(flags.isEmpty()) << "flags of no such field: " << flags.keys().join(QLatin1Char(' ')).toStdString();
}
