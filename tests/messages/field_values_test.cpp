// Field descriptors' access to messages: messages of another kind, presence of optional texts,
// the texts that no raw value reaches (sub-messages, character texts, the do-not-use text), and
// number texts under the locale of their first use. (Reads of every field: accessors_test; value
// texts of raw values: presentation.txt.)
#include "messages_support.h"

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

QString text(const Message *message, const char *record, const char *field, unsigned int index = 0, bool withUnit = false)
{
    return fieldInfo(QLatin1String(record), QLatin1String(field))->getIndexedValueString(message, index, withUnit);
}

} // namespace

// A message of another kind: every field is absent from it and refuses every access.
TEST(FieldValues, EveryFieldRefusesMessagesOfAnotherKind)
{
    auto dgnss = ownedMessage<RTCMV_DGNSS_Message>(RTCMV_KIND_DGNSS);
    auto type3 = ownedMessage<RTCMV_Message_Type_3_Message>(RTCMV_KIND_Message_Type_3);
    for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getAllMessageInfos()) {
        const Message *other = info->getName() == QLatin1String("DGNSS") ? static_cast<const Message *>(type3.get()) : dgnss.get();
        for (const FieldInfo *field : info->getFieldInfos()) {
            SCOPED_TRACE(field->getName().toStdString());
            const QString expected = QStringLiteral("Requesting value for a field %1::%2 that is not present in the given kind of message.")
                                         .arg(info->getDisplayName(), field->getName());
            EXPECT_FALSE(field->isPresent(other) || field->isPresent(nullptr) || field->getNumberOfValues(other) != 0);
            EXPECT_EQ(eventText([&] { field->getValue(other, 7); }), expected); // the kind is checked first
            EXPECT_EQ(eventText([&] { field->getValue(nullptr, 0); }), expected);
            EXPECT_EQ(eventText([&] { field->getValueNoCheck(other, 0); }), expected);
            EXPECT_EQ(eventText([&] { field->getIndexedValueString(other, 0, true); }), expected);
            if (field->getType().kind() == FieldType::Char) {
                EXPECT_EQ(eventText([&] { field->getValueString(other); }), expected);
            }
        }
    }
}

TEST(FieldValues, OptionalTextsAndWholeTexts)
{
    auto type16 = [](unsigned char length) {
        return ownedMessage<RTCMV_Message_Type_16_Message>(RTCMV_KIND_Message_Type_16, [&](auto &r) {
            r.Message_Length = length;
            std::memcpy(r.Message, "AB\0CD", 6);
        });
    };
    auto type23 = [](unsigned char flag, unsigned char count) {
        return ownedMessage<RTCMV_Message_Type_23_Message>(RTCMV_KIND_Message_Type_23, [&](auto &r) {
            r.Serial_Flag = flag;
            r.NAS = count;
            std::strcpy(r.Antenna_Serial_Number, flag == 1 ? "SN123" : "");
        });
    };
    const FieldInfo *characters = fieldInfo(QStringLiteral("Message_Type_16"), QStringLiteral("Message"));
    const FieldInfo *serial = fieldInfo(QStringLiteral("Message_Type_23"), QStringLiteral("Antenna_Serial_Number"));
    const auto presence = [](const FieldInfo *field, const Message *message) {
        return std::make_pair(field->isPresent(message), field->getNumberOfValues(message));
    };
    // An optional text is absent when its flag says so, whatever its count.
    using P = std::pair<bool, unsigned int>;
    EXPECT_EQ(presence(serial, type23(0, 5).get()), P(false, 0));
    EXPECT_EQ(presence(serial, type23(1, 0).get()), P(false, 0));
    EXPECT_EQ(presence(serial, type23(1, 5).get()), P(true, 5));

    // Whole texts of characters stop at the first NUL and at the count.
    EXPECT_EQ(characters->getValueString(type16(5).get()), "AB");
    EXPECT_EQ(characters->getValueString(type16(0).get()), "");
    EXPECT_EQ(characters->getIndexedValueString(type16(5).get(), 3, true), "C");
    EXPECT_EQ(serial->getValueString(type23(1, 3).get()), "SN1");
    EXPECT_EQ(serial->getValueString(type23(0, 5).get()), "");
    auto datum = ownedMessage<RTCMV_Message_Type_41_Message>(RTCMV_KIND_Message_Type_41, [](auto &r) {
        r.Name_Length = 5;
        std::strcpy(r.Datum_Name, "WG\xE9" "84");
    });
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_41"), QStringLiteral("Datum_Name"))->getValueString(datum.get()),
              QString::fromLatin1("WG\xE9" "84"));
    EXPECT_EQ(text(datum.get(), "Message_Type_41", "Datum_Name", 2), QString(QChar(0xFFE9)));
}

TEST(FieldValues, SubMessageAndDoNotUseTexts)
{
    auto type1 = ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1,
                                                           [](auto &r) { RTCMV_append_Message_Type_1_Corrections(&r); });
    for (bool withUnit : {false, true})
        EXPECT_EQ(text(type1.get(), "Message_Type_1", "Corrections", 0, withUnit), "submsg");
    auto ionosphere = ownedMessage<RTCMV_Type_15_Message>(RTCMV_KIND_Type_15, [](auto &r) { r.Rate_Of_Change = -8192; });
    const QString hostText = Message::doNotUseString;
    Message::doNotUseString = QStringLiteral("<do not use>");
    EXPECT_EQ(text(ionosphere.get(), "Type_15", "Rate_Of_Change", 0, true), "<do not use>");
    Message::useDoNotUseString = false;
    EXPECT_EQ(text(ionosphere.get(), "Type_15", "Rate_Of_Change", 0, true), "");
    Message::useDoNotUseString = true;
    Message::doNotUseString = hostText;
}

// Each descriptor keeps the locale in force at its first number text for the rest of the process,
// so this runs in a process of its own.
TEST(FieldValueLocale, NumberTextsFollowTheLocaleOfFirstUse)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
            auto type1 = ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1, [](auto &r) {
                r.Modified_Z_Count = 4500;
                r.Reference_Station_Id = 1000;
                RTCMV_append_Message_Type_1_Corrections(&r)->PRC = -32767;
            });
            auto type24 = ownedMessage<RTCMV_Message_Type_24_Message>(RTCMV_KIND_Message_Type_24, [](auto &r) { r.ECEF_X = -123456789012; });
            auto type17 = ownedMessage<RTCMV_Message_Type_17_Message>(RTCMV_KIND_Message_Type_17, [](auto &r) {
                r.C_rc = 3;
                r.Week_Number = 1000;
            });
            QStringList problems;
            const auto expect = [&](const QString &actual, const QString &expected) {
                if (actual != expected)
                    problems << QStringLiteral("\"%1\" instead of \"%2\"").arg(actual, expected);
            };
            expect(text(type1.get(), "Message_Type_1", "Modified_Z_Count"), QStringLiteral("4.500"));
            expect(text(type1->getCorrections(0), "DGNSS", "PRC"), QStringLiteral("-32.767"));
            expect(text(type24.get(), "Message_Type_24", "ECEF_X"), QStringLiteral("-123.456.789.012"));
            expect(text(type17.get(), "Message_Type_17", "Week_Number", 0, true), QStringLiteral("1.000 week"));
            // Scaled and hexadecimal texts do not follow the locale.
            expect(text(type17.get(), "Message_Type_17", "C_rc"), QStringLiteral("0.09375"));
            expect(text(type1.get(), "Message_Type_1", "Preamble"), QStringLiteral("66"));
            // A class that has formatted keeps its locale; one that has not takes the new one.
            QLocale::setDefault(QLocale::c());
            expect(text(type1.get(), "Message_Type_1", "Modified_Z_Count"), QStringLiteral("4.500"));
            expect(text(type1.get(), "Message_Type_1", "Reference_Station_Id"), QStringLiteral("1000"));
            std::fputs(qPrintable(problems.join(QLatin1Char('\n'))), stderr);
            std::exit(problems.isEmpty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
