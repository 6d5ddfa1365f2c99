// Accessors of every message class: random decoded messages of all 32 types read field by field
// through their descriptors against the records they wrap, and the failure texts of the checked
// read for every index outside a field's values.
#include "messages_support.h"

#include <gtest/gtest.h>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

// The checked read of `field` refuses, with its text, an index outside its values.
void expectRefusal(const Message *message, const FieldInfo *field, bool present, bool repeated, uint32_t count)
{
    const QString name = message->getMessageInfo()->getDisplayName() + QStringLiteral("::") + field->getName();
    const auto refusal = [&](unsigned int index) { return eventText([&] { field->getValue(message, index); }); };
    // The unchecked value text leaves presence and index faults to the message's own getters.
    const auto textRefusal = [&](unsigned int index) { return eventText([&] { field->getIndexedValueString(message, index, false); }); };
    if (!present) { // presence is checked before the index
        EXPECT_EQ(refusal(3), QStringLiteral("Requesting value for an optional field %1 that is not present.").arg(name));
        if (!repeated) {
            EXPECT_EQ(textRefusal(0), QStringLiteral("Requesting value for a non-present optional field %1.").arg(name));
        }
    } else if (repeated && count == 0) {
        EXPECT_EQ(refusal(0), QStringLiteral("Requesting value for an repeated field %1 that is repeated 0 times.").arg(name));
    } else if (repeated) {
        EXPECT_EQ(refusal(count), QStringLiteral("Requesting value for an repeated field %1 with out of range index.").arg(name));
        EXPECT_EQ(textRefusal(count), refusal(count));
    } else {
        EXPECT_EQ(refusal(1), QStringLiteral("Requesting value for a non-repeated field %1 using non-zero index.").arg(name));
        // The value text of a single value does not look at the index.
        EXPECT_EQ(field->getIndexedValueString(message, 1, true), field->getIndexedValueString(message, 0, true));
    }
}

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
        expectRefusal(message, fieldInfo, RTCMV_field_present(record, i), multiple, count);

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

TEST(Accessors, EveryFieldOfEveryTypeReadsItsRecordAndNothingElse)
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
