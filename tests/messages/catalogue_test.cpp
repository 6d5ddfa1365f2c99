// The catalogue: built whole and once whichever descriptor is asked for first (each case in a
// process of its own), with every descriptor known to the allocation tracer by its class name.
#include "messages_support.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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

// The class names of the format descriptor and of every message and field descriptor.
QStringList descriptorClasses(const RTCMV_FormatInfo *format)
{
    QStringList classes{QStringLiteral("RTCMV_FormatInfo")};
    for (const MessageInfo *info : format->getAllMessageInfos()) {
        classes << QStringLiteral("RTCMV_%1_MessageInfo").arg(info->getName());
        for (const FieldInfo *field : info->getFieldInfos()) {
            const QString name = field->getName(); // Sequence_No_ drops its last underscore
            classes << QStringLiteral("RTCMV_%1_%2_FieldInfo").arg(info->getName(), name.endsWith(QLatin1Char('_')) ? name.chopped(1) : name);
        }
    }
    return classes;
}

// What is wrong with the registry and the tracer's view of the descriptors; empty when the
// catalogue is complete and every descriptor lives exactly once under its class name.
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
    if (namesOf(format->getSubMessageInfos()) != subRecords || namesOf(format->getMessageInfos()) != messages
        || format->getAllMessageInfos() != format->getSubMessageInfos() + format->getMessageInfos())
        problems << QStringLiteral("registered: ") + namesOf(format->getAllMessageInfos()).join(QLatin1Char(' '));

    const QMap<QString, qint64> live = MemLeakTracer::liveCounts();
    const QStringList classes = descriptorClasses(format);
    for (const QString &name : classes) {
        if (live.value(name) != 1)
            problems << QStringLiteral("%1 live %2").arg(live.value(name)).arg(name);
    }
    qint64 descriptors = 0; // nothing else reports itself as a descriptor of this format
    for (auto it = live.begin(); it != live.end(); ++it)
        descriptors += it.key().startsWith(QLatin1String("RTCMV_")) && it.key().endsWith(QLatin1String("Info")) ? it.value() : 0;
    if (classes.size() != 1 + 45 + 498 || descriptors != classes.size())
        problems << QStringLiteral("%1 descriptors, %2 live").arg(classes.size()).arg(descriptors);
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

} // namespace

TEST(Catalogue, IsCompleteAfterAnyFirstRequest)
{
    expectCompleteCatalogueAfter([] { return registered(RTCMV_FormatInfo::getInstance()->getMessageInfos().value(0), "Message_Type_1"); });
    expectCompleteCatalogueAfter([] { return registered(RTCMV_Type_15_MessageInfo::getInstance(), "Type_15"); });
    expectCompleteCatalogueAfter([] { return registered(RTCMV_Message_Type_59_MessageInfo::getInstance(), "Message_Type_59"); });
    expectCompleteCatalogueAfter([] { return positioned(RTCMV_DGNSS_PRC_FieldInfo::getInstance(), "DGNSS", 3); });
    expectCompleteCatalogueAfter([] {
        // Type 44's Source is a field of its own and the sub-field of the header's Station_Health.
        const FieldInfo *source = RTCMV_Message_Type_44_Source_FieldInfo::getInstance();
        const bool subField = fieldInfo(QStringLiteral("Message_Type_44"), QStringLiteral("Station_Health"))->getSubFieldInfos()
                              == QVector<const FieldInfo *>{source};
        return positioned(source, "Message_Type_44", 7) + (subField ? QString() : QStringLiteral(" no sub-field"));
    });
    expectCompleteCatalogueAfter([] {
        RTCMV_Message_Type_17_s record;
        RTCMV_init_Message_Type_17(&record);
        RTCMV_Message_Type_17_Message message(&record, false);
        return registered(message.getMessageInfo(), "Message_Type_17");
    });
}
