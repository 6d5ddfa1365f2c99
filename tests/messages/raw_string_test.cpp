// Raw text lines: every type's line against a column-by-column reference made from the record
// layout and the description, for all and for random selections of fields, and the typical lines.
#include "messages_support.h"

#include <mesaroframework/FloatRepresentation.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

// The line's settings are process-wide: each test sets its own and puts the host's back.
class RawStrings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_separator = Message::fieldSeparator;
        m_doNotUse = Message::doNotUseString;
        m_useDoNotUse = Message::useDoNotUseString;
        // Characters no value text can hold (not Latin-1), so the columns can be counted.
        Message::fieldSeparator = QStringLiteral("\u241F");
        Message::doNotUseString = QStringLiteral("\u2205 do not use");
    }
    void TearDown() override
    {
        Message::fieldSeparator = m_separator;
        Message::doNotUseString = m_doNotUse;
        Message::useDoNotUseString = m_useDoNotUse;
    }

    static QString join(const QStringList &columns) { return columns.join(Message::fieldSeparator); }

private:
    QString m_separator;
    QString m_doNotUse;
    bool m_useDoNotUse = true;
};

// Column of a field in the record's line: raw values, no symbols, scale factors or units.
QString referenceColumn(const RTCMV_FieldVisit &f, const QJsonObject &description)
{
    const QString type = description[QStringLiteral("type")].toString();
    const auto number = [&](uint32_t j) {
        const int64_t value = RTCMV_load(f.element(j), f.field.ctype);
        if (type == QLatin1String("byte"))
            return QString::number(value, 16).rightJustified(2, QLatin1Char('0'));
        if (type == QLatin1String("u"))
            return QString::number(static_cast<qulonglong>(value));
        const QJsonValue doNotUse = description[QStringLiteral("doNotUse")];
        if (!doNotUse.isNull() && value == doNotUse.toInt() && Message::useDoNotUseString)
            return Message::doNotUseString;
        return QString::number(static_cast<qlonglong>(value));
    };
    QStringList values;
    switch (f.field.what) {
    case RTCMV_FIELD_TEXT: {
        // Up to the first NUL, looking at no more than count + 1 characters.
        uint32_t length = 0;
        while (length <= f.declared && f.at[length] != '\0')
            ++length;
        return QString::fromLatin1(f.at, int(length));
    }
    case RTCMV_FIELD_RECORDS:
        for (uint32_t j = 0; j < f.declared; ++j)
            values << QStringLiteral("submsg");
        return values.join(QLatin1Char(' '));
    case RTCMV_FIELD_ARRAY:
        for (uint32_t j = 0; j < f.declared; ++j)
            values << number(j);
        return values.join(QLatin1Char(' '));
    default:
        if (type == QLatin1String("f64"))
            return FloatRepresentation::getString(RTCMV_load_f64(f.at), 'f', 6, false);
        return number(0);
    }
}

// The reference columns of a record's own fields (an empty one for a field it does not hold).
struct ColumnsVisitor : RTCMV_RecordVisitor
{
    const QJsonArray &described;
    QStringList columns;

    bool enterField(const RTCMV_FieldVisit &f)
    {
        columns << referenceColumn(f, described[int(f.index)].toObject());
        return false;
    }
    void absentField(const RTCMV_FieldVisit &) { columns << QString(); }
};

// The message's lines for every field and for random selections, then its sub-messages' lines.
void checkLines(const Message *message, std::mt19937 &random)
{
    const void *record = recordOf(message);
    const RTCMV_record_info_s *layout = RTCMV_record_info(CodecSupport::kindOf(record));
    SCOPED_TRACE(layout->name);
    const QJsonArray described = describedRecord(QString::fromLatin1(layout->name))[QStringLiteral("fields")].toArray();
    const int fields = message->getMessageInfo()->getNumberOfFields();
    ASSERT_EQ(described.size(), fields);
    ColumnsVisitor visitor{{}, described, {}};
    RTCMV_walk_record(record, visitor);
    const QStringList &columns = visitor.columns;

    const QString line = message->getRawStringFor(QVector<bool>(fields, true));
    EXPECT_EQ(line.split(Message::fieldSeparator).size(), fields);
    EXPECT_EQ(line, columns.join(Message::fieldSeparator));
    for (int round = 0; round < 8; ++round) {
        QVector<bool> flags(int(random() % unsigned(fields + 4)));
        QStringList selected;
        for (int i = 0; i < flags.size(); ++i) {
            flags[i] = random() % 2 != 0;
            if (flags[i] && i < fields)
                selected << columns[i];
        }
        EXPECT_EQ(message->getRawStringFor(flags), selected.join(Message::fieldSeparator));
    }

    for (const FieldInfo *field : message->getMessageInfo()->getFieldInfos()) {
        if (field->getType().kind() == FieldType::SubMessage && field->isPresent(message))
            field->getValue(message, 0); // builds the sub-messages
    }
    for (const Message *subMessage : message->getSubMessages())
        checkLines(subMessage, random);
}

} // namespace

TEST_F(RawStrings, EveryTypeRendersOneColumnPerField)
{
    CodecSupport::RecordGenerator generator(5202);
    std::mt19937 random(52);
    for (bool useDoNotUse : {true, false}) {
        Message::useDoNotUseString = useDoNotUse;
        for (uint32_t type : CodecSupport::messageTypes()) {
            for (int round = 0; round < 20; ++round) {
                generator.setCountRange(round < 3 ? 0 : 1, round < 3 ? 0 : UINT32_MAX);
                RTCMV_record_u decoded;
                std::unique_ptr<Message> message = decodedMessage(type, generator, decoded);
                checkLines(message.get(), random);
                if (HasFailure())
                    return;
            }
        }
    }
}

TEST_F(RawStrings, TypicalLines)
{
    const auto type1 = [](int corrections) {
        return ownedMessage<RTCMV_Message_Type_1_Message>(RTCMV_KIND_Message_Type_1, [&](auto &r) {
            r.Reference_Station_Id = 123;
            r.Modified_Z_Count = 4500;
            r.Sequence_No_ = 3;
            r.No_Of_Data_Words = 5;
            r.Station_Health = 0;
            for (int i = 0; i < corrections; ++i)
                RTCMV_append_Message_Type_1_Corrections(&r);
        });
    };
    const auto message = type1(3);
    EXPECT_EQ(message->getRawStringFor(QVector<bool>(9, true)),
              join({"66", "1", "123", "4500", "3", "5", "00", "3", "submsg submsg submsg"}));
    QVector<bool> flags(9, false);
    flags[2] = flags[7] = true;
    EXPECT_EQ(message->getRawStringFor(flags), join({"123", "3"}));
    EXPECT_EQ(message->getRawStringFor({}), QString());
    // A longer flag vector selects nothing more.
    EXPECT_EQ(message->getRawStringFor(QVector<bool>(40, true)), message->getRawStringFor(QVector<bool>(9, true)));
    EXPECT_TRUE(type1(0)->getRawStringFor(QVector<bool>(9, true)).endsWith(join({"00", "0", ""})));

    auto type22 = ownedMessage<RTCMV_Message_Type_22_Message>(RTCMV_KIND_Message_Type_22, [](auto &r) {
        r.No_Of_Data_Words = 1;
        r.Reserved = 3;
        r.L2_ECEF_Delta_X = -1;
    });
    const QStringList columns22 = type22->getRawStringFor(QVector<bool>(19, true)).split(Message::fieldSeparator);
    ASSERT_EQ(columns22.size(), 19);
    for (int i = 10; i < 19; ++i)
        EXPECT_EQ(columns22[i], QString()) << i;
    EXPECT_EQ(columns22[9], "0");

    const auto type16 = [](const char *text) {
        return ownedMessage<RTCMV_Message_Type_16_Message>(RTCMV_KIND_Message_Type_16, [&](auto &r) {
            r.Message_Length = 6;
            std::memcpy(r.Message, text, 7);
        });
    };
    EXPECT_TRUE(type16("HELLO!")->getRawStringFor(QVector<bool>(9, true)).endsWith(join({"6", "HELLO!"})));
    EXPECT_TRUE(type16("HEL\0LO")->getRawStringFor(QVector<bool>(9, true)).endsWith(join({"6", "HEL"})));
    // The codec's NUL after the last character ends the text; no more than count + 1 are looked at.
    auto unterminated = type16("HELLO!");
    const_cast<RTCMV_Message_Type_16_s *>(static_cast<const RTCMV_Message_Type_16_s *>(recordOf(unterminated.get())))->Message_Length = 3;
    EXPECT_TRUE(unterminated->getRawStringFor(QVector<bool>(9, true)).endsWith(join({"3", "HELL"})));

    auto type59 = ownedMessage<RTCMV_Message_Type_59_Message>(RTCMV_KIND_Message_Type_59, [](auto &r) {
        r.Data_Length = 3;
        r.Data[0] = 1;
        r.Data[1] = 171;
        r.Data[2] = 255;
    });
    EXPECT_TRUE(type59->getRawStringFor(QVector<bool>(9, true)).endsWith(join({"3", "01 ab ff"})));

    auto ionosphere = ownedMessage<RTCMV_Type_15_Message>(RTCMV_KIND_Type_15, [](auto &r) {
        r.Delay = 16383;
        r.Rate_Of_Change = -8192;
    });
    Message::useDoNotUseString = true;
    EXPECT_EQ(ionosphere->getRawStringFor(QVector<bool>(5, true)), join({"00", "00", "0", "16383", Message::doNotUseString}));
    Message::useDoNotUseString = false;
    EXPECT_EQ(ionosphere->getRawStringFor(QVector<bool>(5, true)), join({"00", "00", "0", "16383", "-8192"}));
}
