// Accessors of every message class: random decoded messages of all 32 types read field by field
// through their descriptors against the records they wrap, and the accessors' result types.
#include "messages_support.h"

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

// Every field of `message` against `record`, sub-messages recursively.
void checkFields(const Message *message, const void *record, const Message *parent, const QString &path)
{
    SCOPED_TRACE(path.toStdString());
    const MessageInfo *info = message->getMessageInfo();
    const RTCMV_record_info_s *layout = RTCMV_record_info(CodecSupport::kindOf(record));
    const QJsonArray described = describedRecord(QString::fromLatin1(layout->name))[QStringLiteral("fields")].toArray();
    ASSERT_EQ(info, messageInfo(QString::fromLatin1(layout->name)));
    ASSERT_EQ(uint32_t(info->getNumberOfFields()), layout->fieldCount);
    ASSERT_EQ(uint32_t(described.size()), layout->fieldCount);
    EXPECT_EQ(recordOf(message), record);
    EXPECT_EQ(message->getParentMessage(), parent);

    for (uint32_t i = 0; i < layout->fieldCount; ++i) {
        const RTCMV_field_info_s &field = layout->fields[i];
        const QJsonObject description = described[int(i)].toObject();
        const FieldInfo *fieldInfo = info->getFieldInfo(int(i));
        ASSERT_EQ(fieldInfo->getName(), QLatin1String(field.name));
        const bool multiple = field.what == RTCMV_FIELD_ARRAY || field.what == RTCMV_FIELD_TEXT
            || field.what == RTCMV_FIELD_RECORDS;
        const uint32_t count = !RTCMV_field_present(record, i) ? 0
                               : multiple                      ? CodecSupport::elementCount(record, field)
                                                               : 1;
        EXPECT_EQ(fieldInfo->getNumberOfValues(message), count) << field.name;
        EXPECT_EQ(fieldInfo->isPresent(message), count != 0) << field.name;

        QVector<const Message *> elements;
        for (uint32_t j = 0; j < count; ++j) {
            const FieldValue value = fieldInfo->getValue(message, j);
            EXPECT_EQ(value, fieldInfo->getValueNoCheck(message, j)) << field.name << '[' << j << ']';
            if (field.what != RTCMV_FIELD_RECORDS) {
                EXPECT_EQ(value, expectedValue(record, field, description, j)) << field.name << '[' << j << ']';
                continue;
            }
            const Message *element = value.toSubMessage();
            ASSERT_NE(element, nullptr) << field.name << '[' << j << ']';
            EXPECT_EQ(element->getMessageInfo(), fieldInfo->getType().getSubMessageInfo());
            // Building the sub-messages links each element record to the message's own record.
            const void *elementRecord = CodecSupport::elementAt(record, field, j);
            EXPECT_EQ(CodecSupport::parentOf(elementRecord), record);
            checkFields(element, elementRecord, message, path + QStringLiteral(".%1[%2]").arg(field.name).arg(j));
            elements.append(element);
        }
        if (field.what == RTCMV_FIELD_RECORDS) {
            EXPECT_EQ(message->getSubMessages(), elements);
        }
    }
}

} // namespace

TEST(Accessors, EveryFieldOfEveryTypeReadsItsRecord)
{
    CodecSupport::RecordGenerator generator(20240611);
    for (uint32_t type : CodecSupport::messageTypes()) {
        for (int round = 0; round < 40; ++round) {
            // Empty, short and arbitrary repeated members.
            generator.setCountRange(round < 5 ? 0 : round < 15 ? 1 : 0, round < 5 ? 0 : round < 15 ? 3 : UINT32_MAX);
            RTCMV_record_u decoded;
            std::unique_ptr<Message> message = decodedMessage(type, generator, decoded);
            ASSERT_NE(message, nullptr) << type;
            const void *record = recordOf(message.get());
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(CodecSupport::firstDifference(&decoded, record), std::string()) << type;
            checkFields(message.get(), record, nullptr, QStringLiteral("type %1 round %2").arg(type).arg(round));
            if (HasFailure())
                return;
        }
    }
}

// The result types of the accessors, as the host's code sees them.
#define EXPECT_RESULT(Class, call, Type)                                                                     \
    static_assert(std::is_same<decltype(std::declval<const Class &>().call), Type>::value, #Class "::" #call); \
    static_assert(std::is_same<decltype(std::declval<Class &>().call), Type>::value, #Class "::" #call)
#define EXPECT_CONST_RESULT(Class, call, Type, ConstType)                                                           \
    static_assert(std::is_same<decltype(std::declval<Class &>().call), Type>::value, #Class "::" #call);           \
    static_assert(std::is_same<decltype(std::declval<const Class &>().call), ConstType>::value, #Class "::" #call)

EXPECT_RESULT(RTCMV_Message_Type_1_Message, getPreamble(), unsigned char);
EXPECT_RESULT(RTCMV_Message_Type_1_Message, getReference_Station_Id(), unsigned short);
EXPECT_RESULT(RTCMV_Message_Type_1_Message, getModified_Z_Count(), unsigned short);
EXPECT_RESULT(RTCMV_Message_Type_1_Message, getSequence_No_(), unsigned char);
EXPECT_RESULT(RTCMV_Message_Type_1_Message, getNs(), unsigned char);
EXPECT_RESULT(RTCMV_Message_Type_1_Message, getNumberOfCorrections(), unsigned int);
EXPECT_CONST_RESULT(RTCMV_Message_Type_1_Message, getCorrections(0), RTCMV_DGNSS_Message *, const RTCMV_DGNSS_Message *);
EXPECT_CONST_RESULT(RTCMV_Message_Type_1_Message, getCorrectionsVector(), QVector<RTCMV_DGNSS_Message *>,
                    QVector<const RTCMV_DGNSS_Message *>);
EXPECT_CONST_RESULT(RTCMV_Message_Type_1_Message, getSubMessages(), QVector<Message *>, QVector<const Message *>);
EXPECT_RESULT(RTCMV_Message_Type_3_Message, getECEF_X(), int);
EXPECT_RESULT(RTCMV_Message_Type_15_Message, getNumberOfCorrections(), unsigned int);
EXPECT_CONST_RESULT(RTCMV_Message_Type_15_Message, getCorrections(0), RTCMV_Type_15_Message *, const RTCMV_Type_15_Message *);
EXPECT_RESULT(RTCMV_Message_Type_16_Message, getMessage(0), char);
EXPECT_RESULT(RTCMV_Message_Type_16_Message, getMessageVector(), QVector<char>);
EXPECT_CONST_RESULT(RTCMV_Message_Type_16_Message, getMessageArray(), char *, const char *);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, getIDOT(), short);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, geta_f2(), signed char);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, gete(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, getSQRT_A(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, gett_oe(), unsigned short);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, getOMEGADOT(), int);
EXPECT_RESULT(RTCMV_Message_Type_17_Message, getT_gd(), signed char);
EXPECT_RESULT(RTCMV_Message_Type_18_Message, getGNSS_Time_Of_Measurement(), unsigned int);
EXPECT_CONST_RESULT(RTCMV_Message_Type_21_Message, getData(0), RTCMV_RTK_21_Message *, const RTCMV_RTK_21_Message *);
EXPECT_RESULT(RTCMV_Message_Type_22_Message, getL1_ECEF_Delta_X(), signed char);
EXPECT_RESULT(RTCMV_Message_Type_22_Message, hasPhase_Center_Height(), bool);
EXPECT_RESULT(RTCMV_Message_Type_22_Message, getPhase_Center_Height(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_23_Message, getAntenna_Serial_Number(0), char);
EXPECT_RESULT(RTCMV_Message_Type_23_Message, getNumberOfAntenna_Serial_Number(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_24_Message, getECEF_X(), int64_t);
EXPECT_RESULT(RTCMV_Message_Type_24_Message, getAntenna_Height(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_24_Message, hasReserved3(), bool);
EXPECT_RESULT(RTCMV_Message_Type_38_Message, getSatellite_Bitmap(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_39_Message, getReserved(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_39_Message, getClock(0), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_39_Message, getClockVector(), QVector<unsigned int>);
EXPECT_CONST_RESULT(RTCMV_Message_Type_39_Message, getClockArray(), unsigned int *, const unsigned int *);
EXPECT_CONST_RESULT(RTCMV_Message_Type_44_Message, getCorrections(0), RTCMV_WACorrection_Message *,
                    const RTCMV_WACorrection_Message *);
EXPECT_RESULT(RTCMV_Message_Type_50_Message, getReserved(), unsigned short);
EXPECT_RESULT(RTCMV_Message_Type_51_Message, getClockVector(), QVector<unsigned short>);
EXPECT_RESULT(RTCMV_Message_Type_52_Message, getNs(), unsigned short);
EXPECT_RESULT(RTCMV_Message_Type_52_Message, getClock_Partial(0), short);
EXPECT_RESULT(RTCMV_Message_Type_53_Message, getSatellite_Bitmap(), uint64_t);
EXPECT_RESULT(RTCMV_Message_Type_53_Message, getBias(0), short);
EXPECT_RESULT(RTCMV_Message_Type_54_Message, getInteger_Bitmap(), uint64_t);
EXPECT_CONST_RESULT(RTCMV_Message_Type_55_Message, getRefinements(0), RTCMV_OCDS_55_Message *, const RTCMV_OCDS_55_Message *);
EXPECT_RESULT(RTCMV_Message_Type_55_Message, getNumberOfRefinements(), unsigned int);
EXPECT_RESULT(RTCMV_Message_Type_58_Message, getPCV(0), signed char);
EXPECT_RESULT(RTCMV_Message_Type_59_Message, getData(0), unsigned char);
EXPECT_RESULT(RTCMV_Message_Type_59_Message, getDataVector(), QVector<unsigned char>);
EXPECT_RESULT(RTCMV_DGNSS_Message, getPRC(), short);
EXPECT_RESULT(RTCMV_DGNSS_Message, getRRC(), signed char);
EXPECT_RESULT(RTCMV_Type_15_Message, getRate_Of_Change(), short);
EXPECT_RESULT(RTCMV_RTK_19_Message, getPseudorange(), unsigned int);
EXPECT_RESULT(RTCMV_RTK_21_Message, getPSF(), double);
EXPECT_RESULT(RTCMV_OCDS_56_Message, getEphemeris_Reference(), unsigned short);
EXPECT_RESULT(RTCMV_JPL_49_Message, getDelta_T(), short);
