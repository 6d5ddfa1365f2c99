// Field descriptors' access to messages: presence and counts, the failure texts of every field,
// value texts against a reference for random messages of every type, the typical texts, and
// number texts under the locale of their first use.
#include "messages_support.h"

#include <mesaroframework/FloatRepresentation.h>

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cmath>
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

// Calls `check` for the message and, once they are built, for its sub-messages.
void forEachMessage(const Message *message, const std::function<void(const Message *)> &check)
{
    check(message);
    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        if (field->getType().kind() == FieldType::SubMessage && field->isPresent(message))
            field->getValue(message, 0);
    }
    for (const Message *subMessage : message->getSubMessages())
        forEachMessage(subMessage, check);
}

// The text of a value as the presentation rules make it, from the framework's view of the field.
QString referenceText(const FieldInfo *field, const FieldValue &value, bool withUnit)
{
    if (value.kind() == FieldType::SubMessage)
        return QStringLiteral("submsg");
    if (field->hasDoNotUseValue() && value == field->getDoNotUseValue())
        return Message::useDoNotUseString ? Message::doNotUseString : QString();
    QString result = field->getSymbolicText(value);
    if (result.isEmpty()) {
        const bool isSigned = value.kind() == FieldType::Signed;
        switch (value.kind()) {
        case FieldType::Byte:
            result = QString::number(value.toByte(), 16).rightJustified(2, QLatin1Char('0'));
            break;
        case FieldType::Char:
            result = QString(QChar(static_cast<ushort>(static_cast<signed char>(value.toChar()))));
            break;
        case FieldType::Float64:
            result = FloatRepresentation::getString(value.toDouble(), 'f', 6, true);
            break;
        default:
            if (field->hasScaleFactor()) {
                const double raw = isSigned ? double(value.toInt64()) : double(value.toUInt64());
                result = FloatRepresentation::getString(raw * field->getScaleFactor(), 'f', 6, true);
            } else {
                result = isSigned ? QLocale().toString(qlonglong(value.toInt64())) : QLocale().toString(qulonglong(value.toUInt64()));
            }
        }
    }
    return withUnit && !field->getUnit().isEmpty() ? result + QLatin1Char(' ') + field->getUnit() : result;
}

QString kindText(const FieldInfo *field, const MessageInfo *info)
{
    return QStringLiteral("Requesting value for a field %1::%2 that is not present in the given kind of message.")
        .arg(info->getDisplayName(), field->getName());
}

// Keeps the host's do-not-use settings across a test.
class FieldValues : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_doNotUse = Message::doNotUseString;
        m_useDoNotUse = Message::useDoNotUseString;
        Message::doNotUseString = QStringLiteral("<do not use>");
    }
    void TearDown() override
    {
        Message::doNotUseString = m_doNotUse;
        Message::useDoNotUseString = m_useDoNotUse;
    }

private:
    QString m_doNotUse;
    bool m_useDoNotUse = true;
};

} // namespace

TEST_F(FieldValues, TextsOfEveryTypeFollowThePresentationRules)
{
    CodecSupport::RecordGenerator generator(4303);
    for (bool useDoNotUse : {true, false}) {
        Message::useDoNotUseString = useDoNotUse;
        for (uint32_t type : CodecSupport::messageTypes()) {
            for (int round = 0; round < 20; ++round) {
                RTCMV_record_u decoded;
                const std::unique_ptr<Message> message = decodedMessage(type, generator, decoded);
                forEachMessage(message.get(), [](const Message *m) {
                    for (const FieldInfo *field : m->getMessageInfo()->getFieldInfos()) {
                        SCOPED_TRACE(field->getName().toStdString());
                        const unsigned int count = field->getNumberOfValues(m);
                        for (unsigned int i = 0; i < count; ++i) {
                            const FieldValue value = field->getValue(m, i);
                            EXPECT_EQ(field->getIndexedValueString(m, i, false), referenceText(field, value, false));
                            EXPECT_EQ(field->getIndexedValueString(m, i, true), referenceText(field, value, true));
                        }
                        if (field->getType().kind() == FieldType::Char) {
                            QString whole;
                            for (unsigned int i = 0; i < count && field->getValue(m, i).toChar() != '\0'; ++i)
                                whole += QChar::fromLatin1(field->getValue(m, i).toChar());
                            EXPECT_EQ(field->getValueString(m), whole);
                        }
                    }
                });
                if (HasFailure())
                    return;
            }
        }
    }
}

TEST_F(FieldValues, FailureTextsOfEveryField)
{
    // A message of another kind: every field is absent from it and refuses every access.
    auto dgnss = ownedMessage<RTCMV_DGNSS_Message>(RTCMV_KIND_DGNSS);
    auto type3 = ownedMessage<RTCMV_Message_Type_3_Message>(RTCMV_KIND_Message_Type_3);
    for (const MessageInfo *info : RTCMV_FormatInfo::getInstance()->getAllMessageInfos()) {
        const Message *other = info->getName() == QLatin1String("DGNSS") ? static_cast<const Message *>(type3.get()) : dgnss.get();
        for (const FieldInfo *field : info->getFieldInfos()) {
            SCOPED_TRACE(field->getName().toStdString());
            const QString expected = kindText(field, info);
            EXPECT_FALSE(field->isPresent(other));
            EXPECT_EQ(field->getNumberOfValues(other), 0u);
            EXPECT_FALSE(field->isPresent(nullptr));
            EXPECT_EQ(eventText([&] { field->getValue(other, 0); }), expected);
            EXPECT_EQ(eventText([&] { field->getValue(other, 7); }), expected); // the kind is checked first
            EXPECT_EQ(eventText([&] { field->getValue(nullptr, 0); }), expected);
            EXPECT_EQ(eventText([&] { field->getValueNoCheck(other, 0); }), expected);
            EXPECT_EQ(eventText([&] { field->getIndexedValueString(other, 0, true); }), expected);
            if (field->getType().kind() == FieldType::Char) {
                EXPECT_EQ(eventText([&] { field->getValueString(other); }), expected);
            }
        }
    }

    // Messages of the right kind: absent, empty, out of range and non-zero indexes, in that order.
    CodecSupport::RecordGenerator generator(4304);
    for (uint32_t type : CodecSupport::messageTypes()) {
        for (int round = 0; round < 12; ++round) {
            generator.setCountRange(round % 2 == 0 ? 0 : 1, round % 2 == 0 ? 0 : UINT32_MAX);
            RTCMV_record_u decoded;
            const std::unique_ptr<Message> message = decodedMessage(type, generator, decoded);
            forEachMessage(message.get(), [](const Message *m) {
                const QString prefix = m->getMessageInfo()->getDisplayName() + QStringLiteral("::");
                for (const FieldInfo *field : m->getMessageInfo()->getFieldInfos()) {
                    SCOPED_TRACE(field->getName().toStdString());
                    const QString name = prefix + field->getName();
                    const auto *described = dynamic_cast<const RTCMV_FieldInfoBase *>(field);
                    const unsigned int count = field->getNumberOfValues(m);
                    if (field->isOptional() && described->isOmittedFrom(m)) {
                        ASSERT_EQ(count, 0u);
                        for (unsigned int index : {0u, 3u}) {
                            EXPECT_EQ(eventText([&] { field->getValue(m, index); }),
                                      QStringLiteral("Requesting value for an optional field %1 that is not present.").arg(name));
                        }
                    } else if (field->isRepeated() && count == 0) {
                        for (unsigned int index : {0u, 3u}) {
                            EXPECT_EQ(eventText([&] { field->getValue(m, index); }),
                                      QStringLiteral("Requesting value for an repeated field %1 that is repeated 0 times.").arg(name));
                        }
                    } else if (field->isRepeated()) {
                        EXPECT_EQ(eventText([&] { field->getValue(m, count); }),
                                  QStringLiteral("Requesting value for an repeated field %1 with out of range index.").arg(name));
                        EXPECT_EQ(eventText([&] { field->getValue(m, count - 1); }), "no event");
                    } else {
                        EXPECT_EQ(eventText([&] { field->getValue(m, 1); }),
                                  QStringLiteral("Requesting value for a non-repeated field %1 using non-zero index.").arg(name));
                        // The value text of a single value does not look at the index.
                        EXPECT_EQ(field->getIndexedValueString(m, 1, true), field->getIndexedValueString(m, 0, true));
                    }
                }
            });
            if (HasFailure())
                return;
        }
    }
}

TEST_F(FieldValues, PresenceCountsAndTheChecksInTheirOrder)
{
    auto type16 = [](unsigned char length) {
        return ownedMessage<RTCMV_Message_Type_16_Message>(RTCMV_KIND_Message_Type_16, [&](auto &r) {
            r.Message_Length = length;
            std::memcpy(r.Message, "AB\0CD", 6);
        });
    };
    auto type22 = [](unsigned char words) {
        return ownedMessage<RTCMV_Message_Type_22_Message>(RTCMV_KIND_Message_Type_22, [&](auto &r) { r.No_Of_Data_Words = words; });
    };
    auto type23 = [](unsigned char flag, unsigned char count) {
        return ownedMessage<RTCMV_Message_Type_23_Message>(RTCMV_KIND_Message_Type_23, [&](auto &r) {
            r.Serial_Flag = flag;
            r.NAS = count;
            std::strcpy(r.Antenna_Serial_Number, flag == 1 ? "SN123" : "");
        });
    };
    auto type1 = [](int corrections) {
        return ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1, [&](auto &r) {
            for (int i = 0; i < corrections; ++i)
                RTCMV_append_Message_Type_1_Corrections(&r);
        });
    };
    const FieldInfo *ecefX = fieldInfo(QStringLiteral("Message_Type_3"), QStringLiteral("ECEF_X"));
    const FieldInfo *characters = fieldInfo(QStringLiteral("Message_Type_16"), QStringLiteral("Message"));
    const FieldInfo *arp = fieldInfo(QStringLiteral("Message_Type_22"), QStringLiteral("ARP_Indicator"));
    const FieldInfo *serial = fieldInfo(QStringLiteral("Message_Type_23"), QStringLiteral("Antenna_Serial_Number"));
    const FieldInfo *corrections = fieldInfo(QStringLiteral("Message_Type_1"), QStringLiteral("Corrections"));
    const FieldInfo *prc = fieldInfo(QStringLiteral("DGNSS"), QStringLiteral("PRC"));

    const auto presence = [](const FieldInfo *field, const Message *message) {
        return std::make_pair(field->isPresent(message), field->getNumberOfValues(message));
    };
    using P = std::pair<bool, unsigned int>;
    EXPECT_EQ(presence(ecefX, ownedMessage<RTCMV_Message_Type_3_Message>(RTCMV_KIND_Message_Type_3).get()), P(true, 1));
    EXPECT_EQ(presence(ecefX, ownedMessage<RTCMV_Message_Type_32_Message>(RTCMV_KIND_Message_Type_32).get()), P(false, 0));
    EXPECT_EQ(presence(characters, type16(0).get()), P(false, 0));
    EXPECT_EQ(presence(characters, type16(5).get()), P(true, 5));
    EXPECT_EQ(presence(arp, type22(1).get()), P(false, 0));
    EXPECT_EQ(presence(arp, type22(3).get()), P(true, 1));
    EXPECT_EQ(presence(serial, type23(0, 5).get()), P(false, 0));
    EXPECT_EQ(presence(serial, type23(1, 0).get()), P(false, 0));
    EXPECT_EQ(presence(serial, type23(1, 5).get()), P(true, 5));
    EXPECT_EQ(presence(serial, type1(3).get()), P(false, 0));

    // The checked read, one failure after the other.
    const auto withThree = type1(3);
    EXPECT_EQ(eventText([&] { prc->getValue(withThree.get(), 5); }),
              "Requesting value for a field DGNSS::PRC that is not present in the given kind of message.");
    EXPECT_EQ(eventText([&] { arp->getValue(type22(1).get(), 3); }),
              "Requesting value for an optional field Message Type 22::ARP_Indicator that is not present.");
    EXPECT_EQ(eventText([&] { serial->getValue(type23(0, 5).get(), 0); }),
              "Requesting value for an optional field Message Type 23::Antenna_Serial_Number that is not present.");
    EXPECT_EQ(eventText([&] { corrections->getValue(type1(0).get(), 5); }),
              "Requesting value for an repeated field Message Type 1::Corrections that is repeated 0 times.");
    EXPECT_EQ(eventText([&] { corrections->getValue(withThree.get(), 3); }),
              "Requesting value for an repeated field Message Type 1::Corrections with out of range index.");
    EXPECT_EQ(eventText([&] { prc->getValue(withThree->getCorrections(0), 1); }),
              "Requesting value for a non-repeated field DGNSS::PRC using non-zero index.");
    EXPECT_EQ(eventText([&] {
                  fieldInfo(QStringLiteral("Message_Type_22"), QStringLiteral("Constellation"))->getValue(type22(0).get(), 0);
              }),
              "Requesting value for an optional field Message Type 22::Constellation that is not present.");
    EXPECT_EQ(corrections->getValue(withThree.get(), 2).toSubMessage(), withThree->getCorrections(2));

    // The unchecked reads leave index and presence faults to the message's own accessors.
    EXPECT_EQ(eventText([&] { corrections->getValueNoCheck(withThree.get(), 3); }),
              "Requesting value for an repeated field Message Type 1::Corrections with out of range index.");
    EXPECT_EQ(eventText([&] { arp->getIndexedValueString(type22(1).get(), 0, false); }),
              "Requesting value for a non-present optional field Message Type 22::ARP_Indicator.");
    EXPECT_EQ(eventText([&] { characters->getIndexedValueString(type16(6).get(), 6, false); }),
              "Requesting value for an repeated field Message Type 16::Message with out of range index.");
    EXPECT_EQ(eventText([&] {
                  fieldInfo(QStringLiteral("Message_Type_39"), QStringLiteral("Clock"))
                      ->getValue(ownedMessage<RTCMV_Message_Type_39_Message>(RTCMV_KIND_Message_Type_39, [](auto &r) { r.Ns = 2; }).get(), 2);
              }),
              "Requesting value for an repeated field Message Type 39::Clock with out of range index.");

    // Whole texts of characters stop at the first NUL and at the count.
    EXPECT_EQ(characters->getValueString(type16(5).get()), "AB");
    EXPECT_EQ(characters->getValueString(type16(0).get()), "");
    EXPECT_EQ(characters->getIndexedValueString(type16(5).get(), 3, true), "C");
    EXPECT_EQ(characters->getIndexedValueString(type16(5).get(), 2, true), QString(QChar(0)));
    EXPECT_EQ(serial->getValueString(type23(1, 3).get()), "SN1");
    EXPECT_EQ(serial->getValueString(type23(0, 5).get()), "");
    auto datum = ownedMessage<RTCMV_Message_Type_41_Message>(RTCMV_KIND_Message_Type_41, [](auto &r) {
        r.Name_Length = 5;
        std::strcpy(r.Datum_Name, "WGS84");
        r.Datum_Name[2] = char(0xE9);
    });
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_41"), QStringLiteral("Datum_Name"))->getValueString(datum.get()),
              QString::fromLatin1("WG\xE9" "84"));
    EXPECT_EQ(text(datum.get(), "Message_Type_41", "Datum_Name", 2), QString(QChar(0xFFE9)));
}

TEST_F(FieldValues, TypicalTexts)
{
    auto type1 = ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1, [](auto &r) {
        r.Reference_Station_Id = 81;
        r.Modified_Z_Count = 4500;
        r.Station_Health = 0;
        for (int i = 0; i < 3; ++i)
            RTCMV_append_Message_Type_1_Corrections(&r);
        r.Corrections[0].PRC = -32768;
        r.Corrections[0].RRC = -128;
        r.Corrections[0].UDRE = 2;
        r.Corrections[0].Scale_Factor = 1;
        r.Corrections[1].PRC = -32767;
        r.Corrections[1].RRC = 127;
    });
    EXPECT_EQ(text(type1.get(), "Message_Type_1", "Preamble"), "66");
    EXPECT_EQ(text(type1.get(), "Message_Type_1", "Station_Health"), "UDRE Scale Factor = 1");
    EXPECT_EQ(text(type1.get(), "Message_Type_1", "Reference_Station_Id"), "GPS Regular PPP");
    EXPECT_EQ(text(type1.get(), "Message_Type_1", "Modified_Z_Count", 0, true), "4500");
    for (bool withUnit : {false, true})
        EXPECT_EQ(text(type1.get(), "Message_Type_1", "Corrections", 2, withUnit), "submsg");
    const RTCMV_DGNSS_Message *first = type1->getCorrections(0), *second = type1->getCorrections(1);
    EXPECT_EQ(text(first, "DGNSS", "PRC"), "error");
    EXPECT_EQ(text(first, "DGNSS", "RRC"), "error");
    EXPECT_EQ(text(first, "DGNSS", "UDRE"), "GT 4 m and LE 8 m");
    EXPECT_EQ(text(first, "DGNSS", "Scale_Factor"), "0.32 m");
    EXPECT_EQ(text(second, "DGNSS", "PRC"), "-32767");
    EXPECT_EQ(text(second, "DGNSS", "RRC"), "127");
    EXPECT_EQ(text(second, "DGNSS", "UDRE"), "LT 1 m");

    auto ephemeris = ownedMessage<RTCMV_Message_Type_17_Message>(RTCMV_KIND_Message_Type_17, [](auto &r) {
        r.C_rc = 3;
        r.t_oe = 100;
        r.SQRT_A = 0xFFFFFFFFu;
        r.e = 1;
        r.Week_Number = 1000;
        r.Code_On_L2 = 2;
        r.FILL1 = 0;
    });
    const QString crc = FloatRepresentation::getString(0.09375, 'f', 6, true);
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "C_rc"), crc);
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "C_rc", 0, true), crc + " meter");
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "t_oe", 0, true), FloatRepresentation::getString(1600.0, 'f', 6, true) + " second");
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "SQRT_A"),
              FloatRepresentation::getString(4294967295.0 * std::ldexp(1.0, -19), 'f', 6, true));
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "e", 0, true),
              FloatRepresentation::getString(std::ldexp(1.0, -33), 'f', 6, true));
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "Week_Number"), "1000");
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "Week_Number", 0, true), "1000 week");
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "Code_On_L2", 0, true), "C/A code ON");
    EXPECT_EQ(text(ephemeris.get(), "Message_Type_17", "FILL1"), "00");
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_17"), QStringLiteral("t_oe"))->getValue(ephemeris.get(), 0), FieldValue::u(100, 16));

    auto rtk = ownedMessage<RTCMV_Message_Type_18_Message>(RTCMV_KIND_Message_Type_18,
                                                          [](auto &r) { r.GNSS_Time_Of_Measurement = 123456; });
    EXPECT_EQ(text(rtk.get(), "Message_Type_18", "GNSS_Time_Of_Measurement"), "123456");
    EXPECT_EQ(text(rtk.get(), "Message_Type_18", "GNSS_Time_Of_Measurement", 0, true), "123456 microsecond");

    auto type22 = ownedMessage<RTCMV_Message_Type_22_Message>(RTCMV_KIND_Message_Type_22, [](auto &r) {
        r.No_Of_Data_Words = 2;
        r.AT_Indicator = 1;
        r.Height_Indicator = 0;
        r.Phase_Center_Height = 174762;
        r.Constellation = 1;
    });
    EXPECT_EQ(text(type22.get(), "Message_Type_22", "AT_Indicator"), "Present");
    EXPECT_EQ(text(type22.get(), "Message_Type_22", "Height_Indicator"), "Present");
    EXPECT_EQ(text(type22.get(), "Message_Type_22", "Phase_Center_Height"), "fill bits");
    EXPECT_EQ(text(type22.get(), "Message_Type_22", "Constellation"), "GLONASS");
    auto type24 = ownedMessage<RTCMV_Message_Type_24_Message>(RTCMV_KIND_Message_Type_24, [](auto &r) {
        r.Height_Indicator = 0;
        r.ECEF_X = -(int64_t(1) << 37);
    });
    EXPECT_EQ(text(type24.get(), "Message_Type_24", "Height_Indicator"), "Absent");
    EXPECT_EQ(text(type24.get(), "Message_Type_24", "ECEF_X"), "-137438953472");
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_24"), QStringLiteral("ECEF_X"))->getValue(type24.get(), 0),
              FieldValue::i(-(int64_t(1) << 37), 38));

    auto type53 = ownedMessage<RTCMV_Message_Type_53_Message>(RTCMV_KIND_Message_Type_53, [](auto &r) {
        r.Satellite_Bitmap = (uint64_t(1) << 35) - 1;
        r.Constellation_ID = 3;
    });
    EXPECT_EQ(text(type53.get(), "Message_Type_53", "Satellite_Bitmap"), "34359738367");
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_53"), QStringLiteral("Satellite_Bitmap"))->getValue(type53.get(), 0),
              FieldValue::u((uint64_t(1) << 35) - 1, 35));
    EXPECT_EQ(text(type53.get(), "Message_Type_53", "Constellation_ID"), "GALILEO");
    auto type58 = ownedMessage<RTCMV_Message_Type_58_Message>(RTCMV_KIND_Message_Type_58, [](auto &r) { r.Constellation_ID = 5; });
    EXPECT_EQ(text(type58.get(), "Message_Type_58", "Constellation_ID"), "05");

    auto type59 = ownedMessage<RTCMV_Message_Type_59_Message>(RTCMV_KIND_Message_Type_59, [](auto &r) {
        r.Data_Length = 3;
        r.Data[0] = 65;
        r.Data[1] = 66;
        r.Data[2] = 10;
    });
    EXPECT_EQ(text(type59.get(), "Message_Type_59", "Data", 0), "FKP");
    EXPECT_EQ(text(type59.get(), "Message_Type_59", "Data", 1), "42");
    EXPECT_EQ(text(type59.get(), "Message_Type_59", "Data", 2), "0a");


    auto ionosphere = ownedMessage<RTCMV_Type_15_Message>(RTCMV_KIND_Type_15, [](auto &r) { r.Rate_Of_Change = -8192; });
    Message::useDoNotUseString = true;
    EXPECT_EQ(text(ionosphere.get(), "Type_15", "Rate_Of_Change", 0, true), "<do not use>");
    Message::useDoNotUseString = false;
    EXPECT_EQ(text(ionosphere.get(), "Type_15", "Rate_Of_Change", 0, true), "");
    auto moving = ownedMessage<RTCMV_Type_15_Message>(RTCMV_KIND_Type_15, [](auto &r) { r.Rate_Of_Change = -8191; });
    EXPECT_EQ(text(moving.get(), "Type_15", "Rate_Of_Change"), "-8191");
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
            auto type24 = ownedMessage<RTCMV_Message_Type_24_Message>(RTCMV_KIND_Message_Type_24,
                                                                     [](auto &r) { r.ECEF_X = -123456789012; });
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
