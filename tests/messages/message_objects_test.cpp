// Message objects: sub-messages built on first use, fixed and counted members, index and presence
// failures, replacing and releasing the record, ownership and the allocation tracer.
#include "messages_support.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

qint64 live(const char *className)
{
    return MemLeakTracer::liveCount(QLatin1String(className));
}

// A type 1 record with `count` corrections whose satellites are 1, 2, ... and whose parents are
// not set yet.
void fillCorrections(RTCMV_Message_Type_1_s &record, int count)
{
    for (int i = 0; i < count; ++i)
        RTCMV_append_Message_Type_1_Corrections(&record);
    for (int i = 0; i < count; ++i) {
        record.Corrections[i].Satellite_Id = static_cast<unsigned char>(i + 1);
        record.Corrections[i].parent = nullptr;
    }
}

const RTCMV_Message_Type_1_s *type1Record(const Message &message)
{
    return static_cast<const RTCMV_Message_Type_1_s *>(recordOf(&message));
}

} // namespace

TEST(MessageObjects, SubMessagesAreBuiltOnFirstUseAndKept)
{
    auto message = ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1,
                                                              [](auto &r) { fillCorrections(r, 3); });
    const RTCMV_Message_Type_1_Message &constMessage = *message;
    const RTCMV_Message_Type_1_s *record = type1Record(*message);
    const qint64 before = live("RTCMV_DGNSS_Message");

    EXPECT_TRUE(message->getSubMessages().isEmpty());
    EXPECT_EQ(message->getNumberOfCorrections(), 3u);
    EXPECT_EQ(message->getNs(), 3);
    EXPECT_TRUE(constMessage.getSubMessages().isEmpty()); // counting builds nothing
    EXPECT_EQ(live("RTCMV_DGNSS_Message"), before);

    const RTCMV_DGNSS_Message *first = constMessage.getCorrections(0);
    const QVector<Message *> subMessages = message->getSubMessages();
    ASSERT_EQ(subMessages.size(), 3);
    EXPECT_EQ(live("RTCMV_DGNSS_Message"), before + 3);
    EXPECT_EQ(first, subMessages[0]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(recordOf(subMessages[i]), &record->Corrections[i]);
        EXPECT_EQ(subMessages[i]->getParentMessage(), message.get());
        EXPECT_EQ(record->Corrections[i].parent, record);
        EXPECT_EQ(message->getCorrections(unsigned(i))->getSatellite_Id(), i + 1);
    }
    // The same objects on every call, from every accessor.
    EXPECT_EQ(message->getCorrections(1), subMessages[1]);
    EXPECT_EQ(constMessage.getCorrections(1), subMessages[1]);
    EXPECT_EQ(message->getCorrectionsVector(),
              (QVector<RTCMV_DGNSS_Message *>{message->getCorrections(0), message->getCorrections(1),
                                              message->getCorrections(2)}));
    EXPECT_EQ(constMessage.getCorrectionsVector(),
              (QVector<const RTCMV_DGNSS_Message *>{first, constMessage.getCorrections(1), constMessage.getCorrections(2)}));
    EXPECT_EQ(constMessage.getSubMessages(), (QVector<const Message *>{subMessages[0], subMessages[1], subMessages[2]}));
    EXPECT_EQ(live("RTCMV_DGNSS_Message"), before + 3);

    message.reset();
    EXPECT_EQ(live("RTCMV_DGNSS_Message"), before);
}

TEST(MessageObjects, EmptyAndFixedMembers)
{
    auto empty = ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1);
    EXPECT_EQ(empty->getNumberOfCorrections(), 0u);
    EXPECT_TRUE(empty->getCorrectionsVector().isEmpty());
    EXPECT_EQ(eventText([&] { empty->getCorrections(0); }),
              "Requesting value for an repeated field Message Type 1::Corrections with out of range index.");
    EXPECT_TRUE(empty->getSubMessages().isEmpty());

    // A hand-built record with a count but no block yet holds nothing, whoever asks.
    static_cast<RTCMV_Message_Type_1_s *>(const_cast<void *>(recordOf(empty.get())))->Ns = 3;
    auto fixedEmpty = ownedMessage<RTCMV_Message_Type_44_Message>(RTCMV_KIND_Message_Type_44);
    EXPECT_EQ(empty->getNumberOfCorrections(), 0u);
    EXPECT_EQ(fixedEmpty->getNumberOfCorrections(), 0u);
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_1"), QStringLiteral("Corrections"))->getNumberOfValues(empty.get()), 0u);
    EXPECT_FALSE(empty->getRawStringFor({}).contains(QStringLiteral("submsg")));
    EXPECT_FALSE(fixedEmpty->getRawStringFor({}).contains(QStringLiteral("submsg")));

    // Fixed blocks hold 8 elements whatever the record's count says.
    const struct
    {
        uint32_t type;
        const char *member;
    } fixed[] = {{38, "Corrections"}, {44, "Corrections"}, {50, "Corrections"}, {55, "Refinements"}};
    CodecSupport::RecordGenerator generator(38);
    for (const auto &f : fixed) {
        SCOPED_TRACE(f.type);
        RTCMV_record_u decoded;
        std::unique_ptr<Message> message = decodedMessage(f.type, generator, decoded);
        void *record = const_cast<void *>(recordOf(message.get()));
        if (f.type == 38)
            static_cast<RTCMV_Message_Type_38_s *>(record)->Ns = 3;
        if (f.type == 50)
            static_cast<RTCMV_Message_Type_50_s *>(record)->Ns = 0;
        const QString name = QStringLiteral("Message_Type_%1").arg(f.type);
        const FieldInfo *field = fieldInfo(name, QLatin1String(f.member));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->getNumberOfValues(message.get()), 8u);
        EXPECT_NE(field->getValue(message.get(), 7).toSubMessage(), nullptr);
        EXPECT_EQ(message->getSubMessages().size(), 8);
        const QString outOfRange = QStringLiteral("Requesting value for an repeated field Message Type %1::%2 with out of range index.")
                                       .arg(f.type)
                                       .arg(QLatin1String(f.member));
        EXPECT_EQ(eventText([&] { field->getValue(message.get(), 8); }), outOfRange);
        EXPECT_EQ(eventText([&] { field->getValueNoCheck(message.get(), 8); }), outOfRange);
    }
    RTCMV_record_u decoded;
    generator.setCountRange(2, 2);
    auto type38 = decodedMessage(38, generator, decoded);
    const auto *message38 = static_cast<const RTCMV_Message_Type_38_Message *>(type38.get());
    EXPECT_EQ(message38->getNs(), decoded.Message_Type_38.Ns);
    EXPECT_EQ(message38->getNumberOfCorrections(), 8u);
    EXPECT_EQ(message38->getCorrectionsVector().size(), 8);
}

TEST(MessageObjects, RepeatedValuesStayWithinTheirCount)
{
    auto text = ownedMessage<RTCMV_Message_Type_16_Message>(RTCMV_KIND_Message_Type_16, [](auto &r) {
        r.Message_Length = 6;
        std::strcpy(r.Message, "HELLO!");
    });
    EXPECT_EQ(text->getNumberOfMessage(), 6u);
    for (unsigned int i = 0; i < 6; ++i)
        EXPECT_EQ(text->getMessage(i), "HELLO!"[i]);
    EXPECT_EQ(eventText([&] { text->getMessage(6); }),
              "Requesting value for an repeated field Message Type 16::Message with out of range index.");
    EXPECT_EQ(text->getMessageVector(), (QVector<char>{'H', 'E', 'L', 'L', 'O', '!'}));
    EXPECT_EQ(text->getMessageArray(), static_cast<const RTCMV_Message_Type_16_s *>(recordOf(text.get()))->Message);

    auto clocks = ownedMessage<RTCMV_Message_Type_39_Message>(RTCMV_KIND_Message_Type_39, [](auto &r) {
        r.Ns = 2;
        r.Clock[0] = 0x3FFFF;
        r.Clock[1] = 7;
    });
    EXPECT_EQ(clocks->getClockVector(), (QVector<unsigned int>{0x3FFFF, 7}));
    EXPECT_EQ(eventText([&] { clocks->getClock(2); }),
              "Requesting value for an repeated field Message Type 39::Clock with out of range index.");

    // The optional serial number checks its index only, not its presence.
    auto antenna = ownedMessage<RTCMV_Message_Type_23_Message>(RTCMV_KIND_Message_Type_23, [](auto &r) {
        r.Serial_Flag = 0;
        r.NAS = 4;
    });
    EXPECT_FALSE(antenna->hasAntenna_Serial_Number());
    EXPECT_EQ(antenna->getAntenna_Serial_Number(3), '\0');
    EXPECT_EQ(eventText([&] { antenna->getAntenna_Serial_Number(4); }),
              "Requesting value for an repeated field Message Type 23::Antenna_Serial_Number with out of range index.");
}

TEST(MessageObjects, OptionalFieldsFollowTheirPresenceRules)
{
    const QStringList groupA = {QStringLiteral("Reserved"),        QStringLiteral("Constellation"),
                                QStringLiteral("AT_Indicator"),    QStringLiteral("ARP_Indicator"),
                                QStringLiteral("Height_Indicator"), QStringLiteral("Phase_Center_Height")};
    const QStringList groupB = {QStringLiteral("L2_ECEF_Delta_X"), QStringLiteral("L2_ECEF_Delta_Y"),
                                QStringLiteral("L2_ECEF_Delta_Z")};
    for (unsigned char words = 0; words < 32; ++words) {
        SCOPED_TRACE(int(words));
        auto message = ownedMessage<RTCMV_Message_Type_22_Message>(RTCMV_KIND_Message_Type_22, [&](auto &r) {
            r.No_Of_Data_Words = words;
            r.ARP_Indicator = 1;
        });
        for (const QString &name : groupA + groupB) {
            const bool present = groupB.contains(name) ? words == 3 : words == 2 || words == 3;
            const FieldInfo *field = fieldInfo(QStringLiteral("Message_Type_22"), name);
            EXPECT_EQ(field->isPresent(message.get()), present) << name.toStdString();
            // The getter's own check answers an unchecked read of an absent field.
            const QString text = eventText([&] { field->getValueNoCheck(message.get(), 0); });
            EXPECT_EQ(text, present ? QStringLiteral("no event")
                                    : QStringLiteral("Requesting value for a non-present optional field Message Type 22::%1.").arg(name));
        }
        EXPECT_EQ(message->hasReserved(), words == 2 || words == 3);
        EXPECT_EQ(message->hasL2_ECEF_Delta_X(), words == 3);
        if (words == 2 || words == 3) {
            EXPECT_EQ(message->getARP_Indicator(), 1);
        }
    }

    for (unsigned char height = 0; height < 2; ++height) {
        auto message = ownedMessage<RTCMV_Message_Type_24_Message>(RTCMV_KIND_Message_Type_24, [&](auto &r) {
            r.Height_Indicator = height;
            r.Antenna_Height = 0x3FFFF;
        });
        EXPECT_EQ(message->hasAntenna_Height(), height == 1);
        EXPECT_EQ(message->hasReserved3(), height == 1);
        if (height == 1) {
            EXPECT_EQ(message->getAntenna_Height(), 0x3FFFFu);
        } else {
            EXPECT_EQ(eventText([&] { message->getAntenna_Height(); }),
                      "Requesting value for a non-present optional field Message Type 24::Antenna_Height.");
            EXPECT_EQ(eventText([&] { message->getReserved3(); }),
                      "Requesting value for a non-present optional field Message Type 24::Reserved3.");
        }
    }
    for (unsigned char flag = 0; flag < 2; ++flag) {
        auto message = ownedMessage<RTCMV_Message_Type_23_Message>(RTCMV_KIND_Message_Type_23,
                                                                  [&](auto &r) { r.Serial_Flag = flag; });
        EXPECT_EQ(message->hasAntenna_Serial_Number(), flag == 1);
    }
}

// Without a record every accessor, the raw line and the array accessors included, stops the
// process with the same fatal report instead of reading through a null pointer.
TEST(MessageObjectsDeathTest, WithoutARecordEveryAccessorStops)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const RTCMV_Message_Type_16_Message message(nullptr, false);
    const char *report = "RTCMV_Message_Type_16_Message::assertRepresentation\\(\\) failed when trying to access data "
                         "of an uninitialized message\\.";
    EXPECT_DEATH(message.getMessage_Length(), report);
    EXPECT_DEATH(message.getRawStringFor(QVector<bool>(9, true)), report);
    EXPECT_DEATH(message.getMessageArray(), report);
}

TEST(MessageObjects, OwnedRecordsAreReleasedBorrowedOnesKept)
{
    // Borrowed: the record and its block outlive the message untouched.
    RTCMV_Message_Type_1_s borrowed;
    RTCMV_init_Message_Type_1(&borrowed);
    fillCorrections(borrowed, 3);
    const RTCMV_DGNSS_s *block = borrowed.Corrections;
    {
        RTCMV_Message_Type_1_Message message(&borrowed, false);
        EXPECT_EQ(message.getCorrections(2)->getSatellite_Id(), 3);
    }
    EXPECT_EQ(borrowed.Ns, 3);
    EXPECT_EQ(borrowed.Corrections, block);
    EXPECT_EQ(borrowed.Corrections[2].Satellite_Id, 3); // a released block would be reported here
    RTCMV_free_Message_Type_1(&borrowed);

    // Owned: released with the message and its sub-messages (a leak or a second release is reported
    // by the sanitizers).
    const qint64 before = live("RTCMV_DGNSS_Message");
    ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1, [](auto &r) { fillCorrections(r, 4); })
        ->getCorrections(3);
    EXPECT_EQ(live("RTCMV_DGNSS_Message"), before);
    ownedMessage<RTCMV_Message_Type_59_Message>(RTCMV_KIND_Message_Type_59);

    // A sub-record made on its own has no parent and owns its record.
    RTCMV_DGNSS_s element;
    RTCMV_init_DGNSS(&element);
    element.PRC = -5;
    std::unique_ptr<Message> single(RTCMV_createMessage(&element));
    const auto *dgnss = dynamic_cast<const RTCMV_DGNSS_Message *>(single.get());
    ASSERT_NE(dgnss, nullptr);
    EXPECT_EQ(dgnss->getParentMessage(), nullptr);
    EXPECT_EQ(dgnss->getPRC(), -5);
    EXPECT_NE(recordOf(dgnss), &element);

    // Nothing may copy a message: a copy would release the record twice.
    static_assert(!std::is_copy_constructible<RTCMV_Message_Type_1_Message>::value, "copyable");
    static_assert(!std::is_copy_assignable<RTCMV_Message_Type_1_Message>::value, "assignable");
    static_assert(!std::is_copy_constructible<RTCMV_Message_Type_17_Message>::value, "copyable");
    static_assert(!std::is_copy_assignable<RTCMV_Message_Type_23_Message>::value, "assignable");
    static_assert(!std::is_copy_constructible<RTCMV_DGNSS_Message>::value, "copyable");
}

TEST(MessageObjects, TracerCountsEveryMessageClassByItsName)
{
    QStringList classes;
    for (const QJsonValue &record : descriptionRecords())
        classes << record[QStringLiteral("class")].toString();
    ASSERT_EQ(classes.size(), 45);

    CodecSupport::RecordGenerator generator(44);
    generator.setCountRange(1, 3);
    for (uint32_t type : CodecSupport::messageTypes()) {
        SCOPED_TRACE(type);
        RTCMV_record_u decoded;
        std::unique_ptr<Message> message = decodedMessage(type, generator, decoded);
        const QJsonObject described = describedRecord(QStringLiteral("Message_Type_%1").arg(type));
        const QString className = described[QStringLiteral("class")].toString();
        EXPECT_EQ(MemLeakTracer::liveCount(className), 1);
        for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
            if (field->getType().kind() != FieldType::SubMessage)
                continue;
            const unsigned int count = field->getNumberOfValues(message.get());
            ASSERT_GT(count, 0u);
            field->getValue(message.get(), 0);
            const QString subClass = QStringLiteral("RTCMV_%1_Message").arg(field->getType().getSubMessageInfo()->getName());
            EXPECT_EQ(MemLeakTracer::liveCount(subClass), qint64(count)) << subClass.toStdString();
        }
        message.reset();
        EXPECT_EQ(MemLeakTracer::liveCount(className), 0);
    }
    // Every class reported itself under its exact name, and nothing else calls itself a message.
    const QMap<QString, qint64> counts = MemLeakTracer::liveCounts();
    for (const QString &name : classes) {
        EXPECT_TRUE(counts.contains(name)) << name.toStdString();
        EXPECT_EQ(counts.value(name), 0) << name.toStdString();
    }
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.key().startsWith(QLatin1String("RTCMV_")) && it.key().endsWith(QLatin1String("_Message"))) {
            EXPECT_TRUE(classes.contains(it.key())) << it.key().toStdString();
        }
    }
}
