// Field, message and format descriptors: flags, symbolic values, value texts and registries.
#include "FrameworkTestTypes.h"

#include <gtest/gtest.h>

TEST(FieldInfoTest, SymbolicAndDoNotUseValuesInTexts)
{
    MessageInfo info(QStringLiteral("Type 15"));
    ListField field(QStringLiteral("Rate Of Change"), 14);
    field.addSymbolicValue(FieldValue::i(2, 14), QStringLiteral("two"));
    field.addSymbolicValue(FieldValue::i(-1, 14), QStringLiteral("minus one"));
    field.addSymbolicValue(FieldValue::i(0, 14), QStringLiteral("zero"));
    field.addSymbolicValue(FieldValue::i(-1, 14), QStringLiteral("negative one"));
    field.setDoNotUseValue(FieldValue::i(-8192, 14));

    // Registration order kept; a repeated value replaces its text in place.
    const auto symbols = field.getSymbolicValues();
    ASSERT_EQ(symbols.size(), 3);
    EXPECT_EQ(symbols[0].first, FieldValue::i(2, 14));
    EXPECT_EQ(symbols[1].second, QStringLiteral("negative one"));
    EXPECT_EQ(symbols[2].second, QStringLiteral("zero"));
    EXPECT_EQ(field.getSymbolicText(FieldValue::i(0, 14)), QStringLiteral("zero"));
    EXPECT_TRUE(field.getSymbolicText(FieldValue::i(0, 13)).isNull()); // width matters
    EXPECT_TRUE(field.getSymbolicText(FieldValue::u(0, 14)).isNull()); // kind matters
    EXPECT_TRUE(field.hasDoNotUseValue());
    EXPECT_EQ(field.getDoNotUseValue(), FieldValue::i(-8192, 14));

    ListMessage message(&info, {2, 7, -8192});
    EXPECT_EQ(field.getValueString(&message), QStringLiteral("two 7 DNU"));
    Message::useDoNotUseString = false;
    EXPECT_EQ(field.getValueString(&message), QStringLiteral("two 7 "));
    Message::useDoNotUseString = true;

    // The framework's whole text asks for every value with its unit, on the side the mark says.
    field.setUnit(QStringLiteral("mm/s"));
    ListMessage twoValues(&info, {2, 7});
    EXPECT_EQ(field.getValueString(&twoValues), QStringLiteral("two mm/s 7 mm/s"));
    EXPECT_EQ(field.getIndexedValueString(&twoValues, 1, false), QStringLiteral("7"));
    field.putUnitFirst();
    EXPECT_FALSE(field.isUnitFollowingValue());
    EXPECT_EQ(field.getValueString(&twoValues), QStringLiteral("mm/s two mm/s 7"));

    // Absent: no values, no text, and the checked read refuses.
    ListMessage none(&info);
    EXPECT_FALSE(field.isPresent(&none));
    EXPECT_TRUE(field.getValueString(&none).isEmpty());
    EXPECT_TRUE(field.getValueString(nullptr).isEmpty());
    EXPECT_THROW(field.getValue(&none, 0), MesaroEvent);
}

TEST(MessageInfoTest, FieldsKeptInPositionOrder)
{
    FormatInfo format(QStringLiteral("RTCMV"));
    MessageInfo info(QStringLiteral("Message Type 1"));
    EXPECT_TRUE(info.isMain());
    EXPECT_EQ(info.getName(), QStringLiteral("Message_Type_1"));
    info.setShortDescriptiveText(QStringLiteral("Differential GPS Corrections"));
    info.setFormatInfo(&format);
    EXPECT_EQ(info.getShortDescriptiveText(), QStringLiteral("Differential GPS Corrections"));
    EXPECT_EQ(info.getFormatInfo(), &format);

    QVector<ListField *> fields;
    for (int k = 0; k < 6; ++k) {
        fields.append(new ListField(QStringLiteral("Field %1").arg(k), 8));
        fields.last()->setName(QStringLiteral("F%1").arg(k));
    }
    // Given out of order, read back in position order, marks staying with their fields.
    for (int position : {3, 0, 5, 1, 4, 2})
        info.addFieldInfo(fields[position], position, position == 5);
    ASSERT_EQ(info.getNumberOfFields(), 6);
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(info.getFieldInfos().at(k), fields[k]);
        EXPECT_EQ(info.getFieldInfo(k), fields[k]);
        EXPECT_EQ(info.getFieldPosition(fields[k]), k);
        EXPECT_EQ(info.isFieldMarked(k), k == 5);
    }
    EXPECT_EQ(info.getFieldInfo(6), nullptr);
    EXPECT_EQ(info.getFieldInfo(-1), nullptr);
    EXPECT_EQ(info.findFieldInfo(QStringLiteral("F3")), fields[3]);
    EXPECT_EQ(info.findFieldInfo(QStringLiteral("Field 3")), nullptr);

    info.addDiscriminantValue(fields[1], FieldValue::u(1, 6));
    ASSERT_EQ(info.getDiscriminants().size(), 1);
    EXPECT_EQ(info.getDiscriminants()[0].first, fields[1]);
    EXPECT_EQ(info.getDiscriminants()[0].second, FieldValue::u(1, 6));

    const MessageInfo copy = info;
    EXPECT_EQ(copy.getFieldInfos(), info.getFieldInfos());
    EXPECT_EQ(copy.getName(), info.getName());

    // A repeated position goes behind the field already there.
    ListField late(QStringLiteral("Late"), 8);
    info.addFieldInfo(&late, 2, false);
    EXPECT_EQ(info.getFieldInfos().at(3), &late);
    EXPECT_EQ(info.getFieldInfo(2), fields[2]);
    qDeleteAll(fields);
}

TEST(FormatInfoTest, RegistryOrderAndLookups)
{
    FormatInfo format(QStringLiteral("RTCMV"));
    ListField type(QStringLiteral("Message Type"), 6);
    MessageInfo dgnss(QStringLiteral("DGNSS"));
    MessageInfo type15(QStringLiteral("Type 15"));
    MessageInfo message1(QStringLiteral("Message Type 1"));
    MessageInfo message3(QStringLiteral("Message Type 3"));
    dgnss.setIsMain(false);
    type15.setIsMain(false);
    message1.addDiscriminantValue(&type, FieldValue::u(1, 6));
    message3.addDiscriminantValue(&type, FieldValue::u(3, 6));

    format.addSubMessageInfo(&type15);
    format.addSubMessageInfo(&dgnss);
    format.addMessageInfo(&message3);
    format.addMessageInfo(&message1);
    format.addMessageInfo(&message3); // registered once only
    EXPECT_EQ(format.getName(), QStringLiteral("RTCMV"));
    EXPECT_EQ(format.getSubMessageInfos(), (QVector<const MessageInfo *>{&type15, &dgnss}));
    EXPECT_EQ(format.getMessageInfos(), (QVector<const MessageInfo *>{&message3, &message1}));
    EXPECT_EQ(format.getAllMessageInfos(), (QVector<const MessageInfo *>{&type15, &dgnss, &message3, &message1}));

    EXPECT_EQ(format.findMessageInfo(QStringLiteral("Type_15")), &type15);
    EXPECT_EQ(format.findMessageInfo(QStringLiteral("Message Type 1")), &message1);
    EXPECT_EQ(format.findMessageInfo(QStringLiteral("Message Type 2")), nullptr);
    EXPECT_EQ(format.findMessageInfoByDiscriminant(FieldValue::u(3, 6)), &message3);
    EXPECT_EQ(format.findMessageInfoByDiscriminant(FieldValue::u(1, 6)), &message1);
    EXPECT_EQ(format.findMessageInfoByDiscriminant(FieldValue::u(1, 8)), nullptr);

    const FormatInfo copy = format;
    EXPECT_EQ(copy.getAllMessageInfos(), format.getAllMessageInfos());
}
