// The catalogue: built whole and once whichever descriptor is asked for first (each case in a
// process of its own), every descriptor against the message description, hand-picked fields
// against the presentation tables, and the descriptors' names in the allocation tracer.
#include "messages_support.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <QtCore/QSet>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace Nvt::Mesaro;
using namespace MessagesTest;

namespace {

QStringList namesOf(const QVector<const MessageInfo *> &infos)
{
    QStringList names;
    for (const MessageInfo *info : infos)
        names << info->getName();
    return names;
}

// What is wrong with the registry and the tracer's view of the descriptors; empty when the
// catalogue is complete and every descriptor exists exactly once.
QStringList catalogueProblems()
{
    QStringList problems;
    const RTCMV_FormatInfo *format = RTCMV_FormatInfo::getInstance();
    if (format != RTCMV_FormatInfo::getInstance() || format->getName() != QLatin1String("RTCMV"))
        problems << QStringLiteral("format instance or name");
    const QStringList subRecords = {"Type_15", "DGNSS",  "RTK_18", "RTK_19", "RTK_20",  "RTK_21", "WACorrection",
                                    "JPL_46",  "JPL_48", "JPL_49", "OCDS_54", "OCDS_55", "OCDS_56"};
    QStringList messages;
    for (int type : {1, 3, 9, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 31, 32, 34,
                     38, 39, 41, 44, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59})
        messages << QStringLiteral("Message_Type_%1").arg(type);
    if (namesOf(format->getSubMessageInfos()) != subRecords)
        problems << QStringLiteral("sub-records: ") + namesOf(format->getSubMessageInfos()).join(QLatin1Char(' '));
    if (namesOf(format->getMessageInfos()) != messages)
        problems << QStringLiteral("messages: ") + namesOf(format->getMessageInfos()).join(QLatin1Char(' '));
    if (format->getAllMessageInfos() != format->getSubMessageInfos() + format->getMessageInfos())
        problems << QStringLiteral("all messages: ") + namesOf(format->getAllMessageInfos()).join(QLatin1Char(' '));

    const auto once = [&](const QString &className) {
        if (MemLeakTracer::liveCount(className) != 1)
            problems << QStringLiteral("%1 live %2").arg(MemLeakTracer::liveCount(className)).arg(className);
    };
    once(QStringLiteral("RTCMV_FormatInfo"));
    for (const QJsonValue &record : descriptionRecords()) {
        const MessageInfo *info = format->findMessageInfo(record[QStringLiteral("name")].toString());
        const auto *named = dynamic_cast<const RTCMV_MessageInfoBase *>(info);
        const QString infoClass = record[QStringLiteral("infoClass")].toString();
        if (named == nullptr || named->getClassName() != infoClass) {
            problems << QStringLiteral("no descriptor ") + infoClass;
            continue;
        }
        once(infoClass);
        const QJsonArray fields = record[QStringLiteral("fields")].toArray();
        if (info->getNumberOfFields() != fields.size())
            problems << QStringLiteral("%1 fields of %2").arg(info->getNumberOfFields()).arg(infoClass);
        for (int k = 0; k < fields.size(); ++k) {
            const QString fieldClass = fields[k][QStringLiteral("class")].toString();
            const auto *field = dynamic_cast<const RTCMV_FieldInfoBase *>(info->getFieldInfo(k));
            if (field == nullptr || field->getClassName() != fieldClass)
                problems << QStringLiteral("position %1 of %2 is not %3").arg(k).arg(infoClass, fieldClass);
            once(fieldClass);
        }
    }
    return problems;
}

// Runs `firstRequest` as the first use of the library in a process of its own, then checks the
// catalogue; `firstRequest` answers what is wrong with the descriptor it obtained.
void expectCompleteCatalogueAfter(const std::function<QString()> &firstRequest)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, not a fork of this one
    EXPECT_EXIT(
        {
            QStringList problems;
            if (MemLeakTracer::liveCount(QStringLiteral("RTCMV_FormatInfo")) != 0)
                problems << QStringLiteral("the catalogue existed before the first request");
            const QString requested = firstRequest();
            if (!requested.isEmpty())
                problems << requested;
            problems += catalogueProblems();
            std::fputs(qPrintable(problems.join(QLatin1Char('\n'))), stderr);
            std::exit(problems.isEmpty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// The descriptor `info` is the one registered under `name`.
QString registered(const MessageInfo *info, const QString &name)
{
    return info == messageInfo(name) && info != nullptr ? QString() : QStringLiteral("%1 not registered").arg(name);
}

// The descriptor `field` is field `position` of the registered `record`.
QString positioned(const FieldInfo *field, const QString &record, int position)
{
    const MessageInfo *info = messageInfo(record);
    return info != nullptr && info->getFieldInfo(position) == field ? QString()
                                                                    : QStringLiteral("field not at %1 of %2").arg(position).arg(record);
}

FieldValue valueOfType(const QString &type, int width, qint64 value)
{
    if (type == QLatin1String("byte"))
        return FieldValue::byte(static_cast<unsigned char>(value));
    if (type == QLatin1String("i"))
        return FieldValue::i(value, width);
    return FieldValue::u(static_cast<unsigned long long>(value), width);
}

} // namespace

TEST(Catalogue, IsCompleteAfterAnyFirstRequest)
{
    expectCompleteCatalogueAfter([] { return registered(RTCMV_FormatInfo::getInstance()->getMessageInfos().value(0), "Message_Type_1"); });
    expectCompleteCatalogueAfter([] { return registered(RTCMV_Type_15_MessageInfo::getInstance(), "Type_15"); });
    expectCompleteCatalogueAfter([] { return registered(RTCMV_Message_Type_59_MessageInfo::getInstance(), "Message_Type_59"); });
    expectCompleteCatalogueAfter([] { return positioned(RTCMV_DGNSS_PRC_FieldInfo::getInstance(), "DGNSS", 3); });
    expectCompleteCatalogueAfter([] { return positioned(RTCMV_Message_Type_44_Source_FieldInfo::getInstance(), "Message_Type_44", 7); });
    expectCompleteCatalogueAfter([] {
        RTCMV_Message_Type_17_s record;
        RTCMV_init_Message_Type_17(&record);
        RTCMV_Message_Type_17_Message message(&record, false);
        return registered(message.getMessageInfo(), "Message_Type_17");
    });
}

TEST(Catalogue, MatchesTheDescription)
{
    const QStringList problems = catalogueProblems();
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QLatin1Char('\n')).toStdString();

    const RTCMV_FormatInfo *format = RTCMV_FormatInfo::getInstance();
    const QJsonArray &records = descriptionRecords();
    ASSERT_EQ(records.size(), 45);
    EXPECT_EQ(format->getAllMessageInfos().size(), 45);
    QSet<const FieldInfo *> distinct;
    for (const QJsonValue &record : records) {
        const QString name = record[QStringLiteral("name")].toString();
        SCOPED_TRACE(name.toStdString());
        const MessageInfo *info = format->findMessageInfo(name);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->getDisplayName(), record[QStringLiteral("display")].toString());
        EXPECT_EQ(info->getShortDescriptiveText(), record[QStringLiteral("description")].toString());
        EXPECT_EQ(info->isMain(), record[QStringLiteral("main")].toBool());
        EXPECT_EQ(info->getFormatInfo(), format);
        if (info->isMain()) {
            ASSERT_EQ(info->getDiscriminants().size(), 1);
            EXPECT_EQ(info->getDiscriminants()[0].first, info->getFieldInfo(1));
            EXPECT_EQ(info->getFieldInfo(1)->getName(), "Message_Type");
            EXPECT_EQ(info->getDiscriminants()[0].second, FieldValue::u(record[QStringLiteral("messageType")].toInt(), 6));
        } else {
            EXPECT_TRUE(info->getDiscriminants().isEmpty());
        }

        const QJsonArray fields = record[QStringLiteral("fields")].toArray();
        ASSERT_EQ(info->getNumberOfFields(), fields.size());
        for (int k = 0; k < fields.size(); ++k) {
            const QJsonObject described = fields[k].toObject();
            const FieldInfo *field = info->getFieldInfo(k);
            SCOPED_TRACE(described[QStringLiteral("name")].toString().toStdString());
            distinct.insert(field);
            EXPECT_EQ(info->getFieldPosition(field), k);
            EXPECT_FALSE(info->isFieldMarked(k));
            EXPECT_EQ(field->getName(), described[QStringLiteral("name")].toString());
            EXPECT_EQ(field->getDisplayName(), described[QStringLiteral("display")].toString());
            const QString type = described[QStringLiteral("type")].toString();
            const int width = described[QStringLiteral("width")].toInt();
            EXPECT_EQ(field->getType().kindName(), type);
            if (type == QLatin1String("u") || type == QLatin1String("i")) {
                EXPECT_EQ(field->getType().width(), width);
            }
            // A sub-message field names the very descriptor that the format registered.
            const QString subRecord = described[QStringLiteral("subMessage")].toString();
            EXPECT_EQ(field->getType().getSubMessageInfo(),
                      subRecord.isEmpty() ? nullptr : format->getSubMessageInfos().value(namesOf(format->getSubMessageInfos()).indexOf(subRecord)));
            EXPECT_EQ(field->getUnit(), described[QStringLiteral("unit")].toString());
            EXPECT_TRUE(field->isUnitFollowingValue());
            EXPECT_EQ(field->hasScaleFactor(), !described[QStringLiteral("scale")].isNull());
            if (field->hasScaleFactor()) {
                EXPECT_EQ(field->getScaleFactor(), described[QStringLiteral("scale")].toDouble());
            }
            QVector<QPair<FieldValue, QString>> symbols;
            for (const QJsonValue &symbol : described[QStringLiteral("symbols")].toArray())
                symbols.append({valueOfType(type, width, symbol[0].toVariant().toLongLong()), symbol[1].toString()});
            EXPECT_EQ(field->getSymbolicValues(), symbols);
            EXPECT_EQ(field->isOptional(), described[QStringLiteral("optional")].toBool());
            EXPECT_EQ(field->isRepeated(), described[QStringLiteral("repeated")].toBool());
            EXPECT_EQ(field->isVirtual(), described[QStringLiteral("virtual")].toBool());
            EXPECT_TRUE(field->isConfidential());
            EXPECT_EQ(field->hasRole(), described[QStringLiteral("role")].toBool());
            EXPECT_EQ(field->getRole(), field->hasRole() ? FieldInfo::DataRole : FieldInfo::NoRole);
            const QJsonValue doNotUse = described[QStringLiteral("doNotUse")];
            EXPECT_EQ(field->hasDoNotUseValue(), !doNotUse.isNull());
            if (!doNotUse.isNull()) {
                EXPECT_EQ(field->getDoNotUseValue(), valueOfType(type, width, doNotUse.toInt()));
            }
            QVector<const FieldInfo *> subFields;
            for (const QJsonValue &subField : described[QStringLiteral("subFields")].toArray())
                subFields.append(info->findFieldInfo(subField.toString()));
            EXPECT_EQ(field->getSubFieldInfos(), subFields);
        }
    }
    EXPECT_EQ(distinct.size(), 498);
}

// Typed in from the presentation tables, so that a slip in the description shows too.
TEST(Catalogue, HandPickedDescriptorsFollowThePresentationTables)
{
    const struct
    {
        const char *record, *display, *shortText;
        int fields;
    } messages[] = {
        {"Message_Type_1", "Message Type 1", "Differential GPS Corrections", 9},
        {"Message_Type_17", "Message Type 17", "GPS Ephemeris Message", 38},
        {"Message_Type_21", "Message Type 21", "RTK/Hi-Accuracy Pseudorange Corrections", 12},
        {"Message_Type_24", "Message Type 24", "Antenna Reference Point (ARP)", 16},
        {"Type_15", "Type 15", "", 5},
        {"WACorrection", "WACorrection", "", 8},
        {"JPL_49", "JPL 49", "", 3},
    };
    for (const auto &m : messages) {
        const MessageInfo *info = messageInfo(QLatin1String(m.record));
        ASSERT_NE(info, nullptr) << m.record;
        EXPECT_EQ(info->getDisplayName(), m.display);
        EXPECT_EQ(info->getShortDescriptiveText(), m.shortText);
        EXPECT_EQ(info->getNumberOfFields(), m.fields) << m.record;
    }

    // flags: r repeated, o optional, v virtual, n no role; symbols: all of them in order when
    // `all`, else some of them.
    const double none = 0;
    const struct
    {
        const char *record, *name, *display, *type;
        int width;
        const char *unit;
        double scale;
        const char *flags;
        std::vector<std::pair<qint64, const char *>> symbols;
        bool all;
    } fields[] = {
        {"Message_Type_9", "Station_Health", "Station Health", "byte", 8, "", none, "",
         {{7, "Not Working"}, {6, "Transmission Not Monitored"}, {5, "UDRE Scale Factor = 0.1"}, {4, "UDRE Scale Factor = 0.2"},
          {3, "UDRE Scale Factor = 0.3"}, {2, "UDRE Scale Factor = 0.5"}, {1, "UDRE Scale Factor = 0.75"}, {0, "UDRE Scale Factor = 1"}},
         true},
        {"Message_Type_57", "Reference_Station_Id", "Reference Station Id", "u", 10, "", none, "",
         {{78, "GPS 3F PPP-AR"}, {79, "GPS PPP-AR"}, {80, "GPS Improved Convergence"}, {81, "GPS Regular PPP"},
          {82, "GLONASS Regular PPP"}, {83, "GLONASS Improved Convergence"}},
         true},
        {"Message_Type_31", "Sequence_No_", "Sequence No.", "u", 3, "", none, "", {}, true},
        {"Message_Type_1", "Ns", "Ns", "u", 8, "", none, "v", {}, true},
        {"Message_Type_9", "Corrections", "Corrections", "subMessage:DGNSS", 0, "", none, "rn", {}, true},
        {"DGNSS", "Scale_Factor", "Scale Factor", "byte", 8, "", none, "", {{0, "0.02 m"}, {1, "0.32 m"}}, true},
        {"DGNSS", "UDRE", "UDRE", "byte", 8, "", none, "",
         {{0, "LT 1 m"}, {1, "GT 1 m and LE 4 m"}, {2, "GT 4 m and LE 8 m"}, {3, "GT 8 m"}}, true},
        {"DGNSS", "PRC", "PRC", "i", 16, "", none, "", {{-32768, "error"}}, true},
        {"Message_Type_18", "GNSS_Time_Of_Measurement", "GNSS Time Of Measurement", "u", 20, "microsecond", none, "", {}, true},
        {"Message_Type_20", "Smoothing_Interval", "Smoothing Interval", "byte", 8, "", none, "",
         {{0, "0 to 1"}, {1, "1 to 5"}, {2, "5 to 15"}, {3, "Undefined"}}, true},
        {"Message_Type_21", "Data", "Data", "subMessage:RTK_21", 0, "", none, "rn", {}, true},
        {"RTK_18", "Data_Quality", "Data Quality", "byte", 8, "", none, "", {{0, "LE 0.00391 cycle"}, {7, "GT 0.12480 cycle"}}, false},
        {"RTK_19", "Data_Quality", "Data Quality", "byte", 8, "", none, "",
         {{0, "LE 0.020 m"}, {9, "LE 0.732 m"}, {14, "LE 5.409 m"}, {15, "GT 5.409 m"}}, false},
        {"RTK_19", "Multipath_Error", "Multipath Error", "byte", 8, "", none, "",
         {{7, "LE 1.644 m"}, {14, "GT 18.127 m"}, {15, "Undefined"}}, false},
        {"RTK_21", "PSF", "PSF", "f64", 64, "", none, "v", {}, true},
        {"Message_Type_22", "Height_Indicator", "Height Indicator", "byte", 8, "", none, "o", {{0, "Present"}, {1, "Absent"}}, true},
        {"Message_Type_22", "Phase_Center_Height", "Phase Center Height", "u", 18, "", none, "o", {{174762, "fill bits"}}, true},
        {"Message_Type_23", "Setup_Id", "Setup Id", "u", 8, "", none, "", {{0, "Unspecified"}}, true},
        {"Message_Type_23", "Antenna_Serial_Number", "Antenna Serial Number", "ch", 8, "", none, "ro", {}, true},
        {"Message_Type_24", "ECEF_Z", "ECEF Z", "i", 38, "", none, "", {}, true},
        {"Message_Type_24", "Height_Indicator", "Height Indicator", "byte", 8, "", none, "", {{0, "Absent"}, {1, "Present"}}, true},
        {"Message_Type_24", "Antenna_Height", "Antenna Height", "u", 18, "", none, "o", {}, true},
        {"Type_15", "Rate_Of_Change", "Rate Of Change", "i", 14, "", none, "", {{-8192, "Do not use"}}, true},
        {"Message_Type_16", "Message", "Message", "ch", 8, "", none, "r", {}, true},
        {"Message_Type_17", "Week_Number", "Week Number", "u", 10, "week", none, "", {}, true},
        {"Message_Type_17", "e", "e", "u", 32, "", std::ldexp(1.0, -33), "", {}, true},
        {"Message_Type_17", "SQRT_A", "SQRT A", "u", 32, "metersqrt", std::ldexp(1.0, -19), "", {}, true},
        {"Message_Type_17", "t_oe", "t oe", "u", 16, "second", 16, "", {}, true},
        {"Message_Type_17", "C_rc", "C rc", "i", 16, "meter", std::ldexp(1.0, -5), "", {}, true},
        {"Message_Type_17", "Code_On_L2", "Code On L2", "byte", 8, "", none, "",
         {{0, "Reserved"}, {1, "P code ON"}, {2, "C/A code ON"}, {3, "L2C ON"}}, true},
        {"Message_Type_38", "Source", "Source", "byte", 8, "", none, "",
         {{0, "Primary OCDS Aberdeen"}, {1, "Secondary OCDS Aberdeen"}, {2, "Primary OCDS Singapore"}, {3, "Secondary OCDS Singapore"}},
         true},
        {"Message_Type_39", "Clock", "Clock", "u", 18, "", none, "r", {}, true},
        {"Message_Type_44", "Source", "Source", "u", 1, "", none, "", {}, true},
        {"Message_Type_48", "Source", "Source", "byte", 8, "", none, "",
         {{0, "Unknown"}, {1, "Los Angeles"}, {2, "Denver"}, {3, "Pasadena"}}, true},
        {"JPL_46", "Scale_Factor", "Scale Factor", "byte", 8, "", none, "", {{0, "1 OVER 128"}, {1, "1 OVER 32"}}, true},
        {"JPL_49", "SF", "SF", "byte", 8, "", none, "", {{0, "1 OVER 128"}, {1, "1 OVER 32"}}, true},
        {"WACorrection", "SFO", "SFO", "byte", 8, "", none, "", {{0, "0.0078125 m"}, {1, "0.03125 m"}}, true},
        {"WACorrection", "SFC", "SFC", "byte", 8, "", none, "", {{0, "0.0078125 m"}, {1, "0.0625 m"}}, true},
        {"Message_Type_52", "Ns", "Ns", "u", 16, "", none, "v", {}, true},
        {"Message_Type_52", "Constellation_ID", "Constellation ID", "byte", 8, "", none, "",
         {{0, "GPS"}, {1, "GLONASS"}, {2, "BEIDOU"}, {3, "GALILEO"}, {4, "QZSS"}}, true},
        {"Message_Type_53", "Satellite_Bitmap", "Satellite Bitmap", "u", 35, "", none, "", {}, true},
        {"Message_Type_59", "Data", "Data", "byte", 8, "", none, "r", {{65, "FKP"}}, true},
        {"OCDS_56", "Scale_Factor", "Scale Factor", "byte", 8, "", none, "", {}, true},
    };
    for (const auto &f : fields) {
        SCOPED_TRACE(std::string(f.record) + "::" + f.name);
        const FieldInfo *field = fieldInfo(QLatin1String(f.record), QLatin1String(f.name));
        ASSERT_NE(field, nullptr);
        const QString type = QLatin1String(f.type);
        EXPECT_EQ(field->getDisplayName(), f.display);
        EXPECT_EQ(field->getType().kindName(), type.section(QLatin1Char(':'), 0, 0));
        EXPECT_EQ(field->getType().width(), f.width);
        if (type.startsWith(QLatin1String("subMessage:"))) {
            EXPECT_EQ(field->getType().getSubMessageInfo(), messageInfo(type.section(QLatin1Char(':'), 1)));
        }
        EXPECT_EQ(field->getUnit(), f.unit);
        EXPECT_EQ(field->hasScaleFactor(), f.scale != none);
        if (f.scale != none) {
            EXPECT_EQ(field->getScaleFactor(), f.scale);
        }
        const QString flags = QLatin1String(f.flags);
        EXPECT_EQ(field->isRepeated(), flags.contains(QLatin1Char('r')));
        EXPECT_EQ(field->isOptional(), flags.contains(QLatin1Char('o')));
        EXPECT_EQ(field->isVirtual(), flags.contains(QLatin1Char('v')));
        EXPECT_EQ(field->hasRole(), !flags.contains(QLatin1Char('n')));
        QVector<QPair<FieldValue, QString>> symbols;
        for (const auto &symbol : f.symbols) {
            symbols.append({valueOfType(type, f.width, symbol.first), QLatin1String(symbol.second)});
            EXPECT_EQ(field->getSymbolicText(symbols.last().first), symbol.second);
        }
        if (f.all) {
            EXPECT_EQ(field->getSymbolicValues(), symbols);
        }
    }

    // The one do-not-use value and the one sub-field.
    const FieldInfo *rateOfChange = fieldInfo(QStringLiteral("Type_15"), QStringLiteral("Rate_Of_Change"));
    EXPECT_TRUE(rateOfChange->hasDoNotUseValue());
    EXPECT_EQ(rateOfChange->getDoNotUseValue(), FieldValue::i(-8192, 14));
    EXPECT_EQ(fieldInfo(QStringLiteral("Message_Type_44"), QStringLiteral("Station_Health"))->getSubFieldInfos(),
              QVector<const FieldInfo *>{RTCMV_Message_Type_44_Source_FieldInfo::getInstance()});
    EXPECT_EQ(messageInfo(QStringLiteral("Message_Type_44"))->getFieldInfo(7), RTCMV_Message_Type_44_Source_FieldInfo::getInstance());
    EXPECT_TRUE(fieldInfo(QStringLiteral("Message_Type_1"), QStringLiteral("Station_Health"))->getSubFieldInfos().isEmpty());
    // Each message has its own header descriptors.
    EXPECT_NE(fieldInfo(QStringLiteral("Message_Type_3"), QStringLiteral("Preamble")),
              fieldInfo(QStringLiteral("Message_Type_9"), QStringLiteral("Preamble")));
}

TEST(Catalogue, TracerKnowsEveryDescriptorByItsClassName)
{
    RTCMV_FormatInfo::getInstance();
    const QMap<QString, qint64> counts = MemLeakTracer::liveCounts();
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_FormatInfo")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_DGNSS_MessageInfo")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_Message_Type_1_MessageInfo")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_DGNSS_PRC_FieldInfo")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_Message_Type_9_Sequence_No_FieldInfo")), 1);
    EXPECT_EQ(counts.value(QStringLiteral("RTCMV_Message_Type_17_t_oe_FieldInfo")), 1);
    // Nothing else reports itself as a descriptor of this format.
    int descriptors = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        if (it.key().startsWith(QLatin1String("RTCMV_"))
            && (it.key().endsWith(QLatin1String("Info"))))
            descriptors += int(it.value());
    }
    EXPECT_EQ(descriptors, 1 + 45 + 498);
}
