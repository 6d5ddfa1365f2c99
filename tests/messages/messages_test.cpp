// Message objects and field descriptors: every field of every type (of both formats) read through its descriptor
// against the record the message wraps (values, counts, presence, the failure texts of every refused
// access, sub-messages and their links, the raw line), sub-messages built once on first use, counts
// without a block, texts no raw value reaches, number texts under a locale, and the catalogue built
// whole and once whichever descriptor is asked for first.
#include "codec_support.h"

#include "RTCM2X_messages.h"
#include "RTCMV_messages.h"

#include <mesaroframework/FloatRepresentation.h>
#include <mesaroframework/MesaroEvent.h>
#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <QtCore/QLocale>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

using namespace Nvt::Mesaro;

namespace {

// The text of the field-access event that `call` throws, naming `format` (RTCMV's by default); "no
// event" when it throws none.
QString eventText(const std::function<void()> &call, const FormatInfo *format = RTCMV_FormatInfo::getInstance())
{
    try {
        call();
    } catch (const MesaroEvent &event) {
        const bool ours = event.getType() == MesaroEvent::FieldAccessError && event.getFormatInfo() == format;
        return ours ? event.getText() : QStringLiteral("another event: ") + event.getText();
    }
    return QStringLiteral("no event");
}

// A message that owns a fresh record of `kind`, filled by `fill`.
std::unique_ptr<Message> messageOf(uint32_t kind, const std::function<void(RTCMV_record_u &)> &fill = {})
{
    RTCMV_record_u record;
    RTCMV_init_record(&record, kind);
    if (fill)
        fill(record);
    return std::unique_ptr<Message>(RTCMV_createMessage(&record));
}

QString text(const Message *message, const char *field, unsigned int index = 0, bool withUnit = false)
{
    return message->getMessageInfo()->findFieldInfo(QLatin1String(field))->getIndexedValueString(message, index, withUnit);
}

// The value the descriptor's type makes of the record's storage at `at`.
FieldValue expectedValue(const FieldType &type, const char *at, uint8_t ctype)
{
    const int64_t raw = RTCMV_load(at, ctype);
    switch (type.kind()) {
    case FieldType::Unsigned: return FieldValue::u(static_cast<unsigned long long>(raw), type.width());
    case FieldType::Signed: return FieldValue::i(raw, type.width());
    case FieldType::Byte: return FieldValue::byte(static_cast<unsigned char>(raw));
    case FieldType::Char: return FieldValue::ch(static_cast<char>(raw));
    default: return FieldValue::f64(RTCMV_load_f64(at));
    }
}

// The checked read refuses a message of another kind (first of all) and an index outside the
// field's values, each with its text; the unchecked value text leaves presence and index faults to
// the message's own getters, and a single value's text ignores the index.
void expectRefusals(const Message *message, const Message *other, const FieldInfo *field, bool present, bool multiple)
{
    const QString name = message->getMessageInfo()->getDisplayName() + QStringLiteral("::") + field->getName();
    const FormatInfo *format = message->getMessageInfo()->getFormatInfo();
    const auto refusal = [&](const Message *m, unsigned int index) {
        return eventText([&] { field->getValue(m, index); }, format);
    };
    const auto form = [&](const char *f) { return QStringLiteral("Requesting value for ") + QString::fromLatin1(f).arg(name); };
    EXPECT_EQ(refusal(other, 7), form("a field %1 that is not present in the given kind of message."));
    EXPECT_EQ(refusal(nullptr, 0), refusal(other, 7));
    EXPECT_FALSE(field->isPresent(other) || field->isPresent(nullptr) || field->getNumberOfValues(other) != 0);
    const unsigned int count = field->getNumberOfValues(message), bad = !present ? 3 : multiple ? count : 1;
    EXPECT_EQ(refusal(message, bad), form(!present    ? "an optional field %1 that is not present."
                                          : !multiple ? "a non-repeated field %1 using non-zero index."
                                          : count == 0 ? "an repeated field %1 that is repeated 0 times."
                                                       : "an repeated field %1 with out of range index."));
    if (present || !multiple) {
        EXPECT_EQ(eventText([&] { field->getIndexedValueString(message, present ? bad : 0, true); }, format),
                  !present ? form("a non-present optional field %1.")
                           : multiple ? form("an repeated field %1 with out of range index.") : QStringLiteral("no event"));
    }
}

// The raw line for every field, and for every other field (with flags beyond the last field, too).
void checkRawLine(const Message *message, const QStringList &columns)
{
    QVector<bool> odd(columns.size() + 2);
    QStringList oddColumns;
    for (int i = 0; i < odd.size(); ++i) {
        if ((odd[i] = i % 2 == 1) && i < columns.size())
            oddColumns << columns[i];
    }
    EXPECT_EQ(message->getRawStringFor(QVector<bool>(columns.size(), true)), columns.join(Message::fieldSeparator));
    EXPECT_EQ(message->getRawStringFor(odd), oddColumns.join(Message::fieldSeparator));
}

// What the checks need of a format beside its codec's tables: its catalogue and message classes.
struct Catalogue
{
    const CodecTables &tables;
    Message *(*create)(void *record);
    const MessageInfo *(*infoOfKind)(uint32_t kind);
    const FormatInfo *(*format)(); // asked only when used: the catalogue is built on first request

    QString className(const MessageInfo *info) const
    {
        return QStringLiteral("%1_%2_Message").arg(QLatin1String(tables.format), info->getName());
    }
};
const Catalogue Catalogues[] = {
    {RTCMV_TABLES, RTCMV_createMessage, RTCMV_messageInfoOfKind,
     []() -> const FormatInfo * { return RTCMV_FormatInfo::getInstance(); }},
    {RTCM2X_TABLES, RTCM2X_createMessage, RTCM2X_messageInfoOfKind,
     []() -> const FormatInfo * { return RTCM2X_FormatInfo::getInstance(); }},
};

struct FieldChecker
{
    const Catalogue &catalogue;
    std::unique_ptr<Message> dgnss = messageOf(RTCMV_KIND_DGNSS), type3 = messageOf(RTCMV_KIND_Message_Type_3);

    // Every field of `message` against `record`, sub-messages recursively.
    void check(const Message *message, const void *record, const Message *parent)
    {
        const CodecTables &tables = catalogue.tables;
        const MessageInfo *info = message->getMessageInfo();
        const RTCMV_record_info_s &layout = *RTCMV_layout_of(record, tables);
        SCOPED_TRACE(layout.name);
        ASSERT_EQ(info, catalogue.infoOfKind(layout.kind));
        ASSERT_EQ(info->getFormatInfo(), catalogue.format());
        ASSERT_EQ(uint32_t(info->getNumberOfFields()), layout.fieldCount);
        EXPECT_TRUE(message->getCodecRecord() == record && message->getParentMessage() == parent);
        EXPECT_GE(MemLeakTracer::liveCount(catalogue.className(info)), 1);
        QStringList columns;
        for (uint32_t i = 0; i < layout.fieldCount; ++i) {
            const RTCMV_field_info_s &f = layout.fields[i];
            const FieldInfo *field = info->getFieldInfo(int(i));
            ASSERT_EQ(field->getName(), QLatin1String(f.name));
            const bool present = tables.fieldPresent(record, i), records = f.what == RTCMV_FIELD_RECORDS;
            const void *block = records ? RTCMV_block_of(record, f) : record;
            const uint32_t count = !present || block == nullptr ? 0 : RTCMV_declared_count(record, layout, f);
            EXPECT_EQ(field->getNumberOfValues(message), count) << f.name;
            EXPECT_EQ(field->isPresent(message), count != 0) << f.name;
            EXPECT_TRUE(!records || message->getSubMessages().isEmpty()) << "built before their first use";
            expectRefusals(message, info == dgnss->getMessageInfo() ? type3.get() : dgnss.get(), field, present,
                           records || f.what == RTCMV_FIELD_ARRAY || f.what == RTCMV_FIELD_TEXT);
            QVector<const Message *> elements;
            QStringList texts; // in the raw line: raw values, a float in full, the do-not-use text if shown
            for (uint32_t j = 0; j < count; ++j) {
                const FieldValue value = field->getValue(message, j);
                EXPECT_EQ(value, field->getValueNoCheck(message, j)) << f.name << '[' << j << ']';
                const bool doNotUse = Message::useDoNotUseString && field->hasDoNotUseValue() && value == field->getDoNotUseValue();
                texts << (value.kind() == FieldType::Float64 ? FloatRepresentation::getString(value.toDouble(), 'f', 6, false)
                                                             : doNotUse ? Message::doNotUseString : value.toString());
                if (!records) {
                    const char *at = static_cast<const char *>(record) + f.offset + j * RTCMV_storage_size(f.ctype);
                    EXPECT_EQ(value, expectedValue(field->getType(), at, f.ctype)) << f.name << '[' << j << ']';
                    const QChar widened(static_cast<ushort>(static_cast<signed char>(*at))); // a character's text
                    EXPECT_TRUE(value.kind() != FieldType::Char || field->getIndexedValueString(message, j, true) == widened) << f.name;
                    continue;
                }
                // Building the sub-messages links each element record (its header) to the message's record.
                const auto *element = static_cast<const char *>(block) + j * tables.recordInfo(f.elementKind)->size;
                EXPECT_EQ(reinterpret_cast<const RTCMV_DGNSS_s *>(element)->parent, record);
                EXPECT_EQ(field->getIndexedValueString(message, j, true), "submsg");
                ASSERT_NE(value.toSubMessage(), nullptr);
                check(value.toSubMessage(), element, message);
                elements.append(value.toSubMessage());
            }
            EXPECT_TRUE(!records || message->getSubMessages() == elements);
            if (records && count > 1 && f.countField >= 0) { // built once: a count changed later is not read again
                char *countAt = static_cast<char *>(const_cast<void *>(record)) + layout.fields[f.countField].offset;
                RTCMV_store(countAt, layout.fields[f.countField].ctype, 1);
                field->getValueNoCheck(message, 0);
                EXPECT_EQ(message->getSubMessages(), elements);
                RTCMV_store(countAt, layout.fields[f.countField].ctype, count);
            }
            columns << (field->getType().kind() == FieldType::Char ? field->getValueString(message) : texts.join(QLatin1Char(' ')));
        }
        checkRawLine(message, columns);
    }
};

} // namespace

TEST(Messages, EveryFieldOfEveryTypeReadsItsRecord)
{
    for (const Catalogue &catalogue : Catalogues) {
        SCOPED_TRACE(catalogue.tables.format);
        {
            FieldChecker checker{catalogue};
            CodecSupport::RecordGenerator generator(20240611);
            for (uint32_t type : CodecSupport::messageTypes(catalogue.tables)) {
                for (int round = 0; round < 30 && !HasFailure(); ++round) {
                    // Empty, short and arbitrary repeated members; raw lines with and without the do-not-use text.
                    generator.setCountRange(round < 4 ? 0 : round < 12 ? 1 : 0, round < 4 ? 0 : round < 12 ? 3 : UINT32_MAX);
                    Message::useDoNotUseString = round % 2 == 0;
                    CodecSupport::AnyRecord record;
                    generator.generate(catalogue.tables, type, &record);
                    const std::unique_ptr<Message> message(catalogue.create(&record));
                    checker.check(message.get(), message->getCodecRecord(), nullptr);
                }
            }
            Message::useDoNotUseString = true;
        }
        // Every class reported its objects under its exact name, and all of them went.
        for (const MessageInfo *info : catalogue.format()->getAllMessageInfos())
            EXPECT_EQ(MemLeakTracer::liveCount(catalogue.className(info)), 0) << info->getName().toStdString();
    }
}

// Records built by hand. One holds a count before its first append: no block, so no elements,
// whoever asks (the fixed block of type 44 too). One holds the do-not-use value, whose text is
// empty when the host hides it (presentation.txt has the shown one).
TEST(Messages, HandBuiltRecords)
{
    for (uint32_t kind : {uint32_t(RTCMV_KIND_Message_Type_1), uint32_t(RTCMV_KIND_Message_Type_44)}) {
        const auto message = messageOf(kind, [kind](RTCMV_record_u &r) {
            if (kind == RTCMV_KIND_Message_Type_1)
                r.Message_Type_1.Ns = 3;
        });
        const FieldInfo *corrections = message->getMessageInfo()->findFieldInfo(QStringLiteral("Corrections"));
        EXPECT_EQ(corrections->getNumberOfValues(message.get()), 0u) << kind;
        EXPECT_EQ(eventText([&] { corrections->getValueNoCheck(message.get(), 0); }),
                  QStringLiteral("Requesting value for an repeated field %1::Corrections with out of range index.")
                      .arg(message->getMessageInfo()->getDisplayName()));
    }
    const auto ionosphere = messageOf(RTCMV_KIND_Type_15, [](RTCMV_record_u &r) { r.Type_15.Rate_Of_Change = -8192; });
    Message::useDoNotUseString = false;
    EXPECT_EQ(text(ionosphere.get(), "Rate_Of_Change", 0, true), "");
    Message::useDoNotUseString = true;
}

namespace {

// Runs `problems` as the first use of the library in a process of its own; it answers what is wrong.
void expectNoProblemsInAFreshProcess(const std::function<QStringList()> &problems)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, not a fork of this one
    EXPECT_EXIT(
        {
            const QStringList found = problems();
            std::fputs(qPrintable(found.join(QLatin1Char('\n'))), stderr);
            std::exit(found.isEmpty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Number texts made under a German default locale, then after a return to C, against what they
// must be: each descriptor keeps the locale in force at its first number text; scaled and
// hexadecimal texts never follow the locale.
QStringList localeProblems()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto type1 = messageOf(RTCMV_KIND_Message_Type_1, [](RTCMV_record_u &r) {
        r.Message_Type_1.Modified_Z_Count = 4500;
        r.Message_Type_1.Reference_Station_Id = 1000;
    });
    const auto type24 = messageOf(RTCMV_KIND_Message_Type_24, [](RTCMV_record_u &r) { r.Message_Type_24.ECEF_X = -123456789012; });
    const auto type17 = messageOf(RTCMV_KIND_Message_Type_17, [](RTCMV_record_u &r) {
        r.Message_Type_17.C_rc = 3;
        r.Message_Type_17.t_oe = 1000;
    });
    QVector<QPair<QString, QString>> texts = {
        {text(type1.get(), "Modified_Z_Count"), "4.500"}, {text(type24.get(), "ECEF_X"), "-123.456.789.012"},
        {text(type17.get(), "C_rc"), "0.09375"},          {text(type17.get(), "t_oe", 0, true), "16000 second"},
        {text(type1.get(), "Preamble"), "66"}};
    QLocale::setDefault(QLocale::c()); // a class that has formatted keeps its locale; one that has not takes the new one
    texts += {{text(type1.get(), "Modified_Z_Count"), "4.500"}, {text(type1.get(), "Reference_Station_Id"), "1000"}};
    QStringList problems;
    for (const auto &t : texts) {
        if (t.first != t.second)
            problems << QStringLiteral("\"%1\" instead of \"%2\"").arg(t.first, t.second);
    }
    return problems;
}

} // namespace

TEST(MessagesLocale, NumberTextsFollowTheLocaleOfFirstUse)
{
    expectNoProblemsInAFreshProcess(localeProblems);
}

namespace {

// What is wrong with the catalogue after `firstRequest`, the first use of the library (which
// answers whether it got the registered descriptor): it must be complete, and every descriptor
// must live exactly once, as the allocation tracer counts them.
QStringList catalogueProblems(const std::function<bool()> &firstRequest)
{
    QStringList problems;
    if (MemLeakTracer::liveCount(QStringLiteral("RTCMV_FormatInfo")) != 0 || !firstRequest())
        problems << QStringLiteral("the catalogue existed before the first request, or that got another descriptor");
    const RTCMV_FormatInfo *format = RTCMV_FormatInfo::getInstance();
    if (format != RTCMV_FormatInfo::getInstance() || format->getName() != QLatin1String("RTCMV")
        || format->getSubMessageInfos().size() != 13 || format->getMessageInfos().size() != int(RTCMV_MESSAGE_TYPE_COUNT))
        problems << QStringLiteral("format instance, name or registry size");
    qint64 descriptors = 0; // of this format, as the tracer counts them by class name
    const QMap<QString, qint64> live = MemLeakTracer::liveCounts();
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (!it.key().startsWith(QLatin1String("RTCMV_")) || !it.key().endsWith(QLatin1String("Info")))
            continue;
        descriptors += it.value();
        if (it.value() != 1)
            problems << QStringLiteral("%1 live %2").arg(it.value()).arg(it.key());
    }
    if (descriptors != 1 + 45 + 498) // the format, its messages and sub-records, their fields
        problems << QStringLiteral("%1 descriptors live").arg(descriptors);
    return problems;
}

const MessageInfo *registered(const char *name)
{
    return RTCMV_FormatInfo::getInstance()->findMessageInfo(QLatin1String(name));
}

} // namespace

TEST(Catalogue, IsCompleteAfterAnyFirstRequest)
{
    const std::function<bool()> firstRequests[] = {
        [] { return RTCMV_FormatInfo::getInstance()->getMessageInfos().value(0) == registered("Message_Type_1"); },
        [] { return RTCMV_Type_15_MessageInfo::getInstance() == registered("Type_15"); },
        [] { return RTCMV_DGNSS_PRC_FieldInfo::getInstance() == registered("DGNSS")->getFieldInfo(3); },
        [] { return RTCMV_Message_Type_44_Source_FieldInfo::getInstance() == registered("Message_Type_44")->getFieldInfo(7); },
        [] {
            RTCMV_Message_Type_17_s record;
            RTCMV_init_Message_Type_17(&record);
            return RTCMV_Message_Type_17_Message(&record, false).getMessageInfo() == registered("Message_Type_17");
        },
    };
    for (const auto &firstRequest : firstRequests)
        expectNoProblemsInAFreshProcess([&] { return catalogueProblems(firstRequest); });
}
