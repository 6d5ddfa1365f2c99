// The catalogue: built whole and once whichever descriptor is asked for first (each case in a
// process of its own), with every descriptor known to the allocation tracer by its class name.
#include "RTCMV_messages.h"

#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace Nvt::Mesaro;

namespace {

// What is wrong with the registry and the tracer's view of the descriptors; empty when the
// catalogue is complete and every descriptor lives exactly once under its class name.
QStringList catalogueProblems()
{
    QStringList problems;
    const RTCMV_FormatInfo *format = RTCMV_FormatInfo::getInstance();
    const QVector<const MessageInfo *> messages = format->getMessageInfos();
    if (format != RTCMV_FormatInfo::getInstance() || format->getName() != QLatin1String("RTCMV")
        || format->getSubMessageInfos().size() != 13 || messages.size() != int(RTCMV_MESSAGE_TYPE_COUNT))
        problems << QStringLiteral("format instance, name or registry size");
    for (int i = 0; i < messages.size() && i < int(RTCMV_MESSAGE_TYPE_COUNT); ++i) {
        if (messages[i]->getName() != QStringLiteral("Message_Type_%1").arg(RTCMV_MESSAGE_TYPES[i]))
            problems << QStringLiteral("registered at %1: ").arg(i) + messages[i]->getName();
    }
    QStringList classes{QStringLiteral("RTCMV_FormatInfo")};
    for (const MessageInfo *info : format->getAllMessageInfos()) {
        classes << QStringLiteral("RTCMV_%1_MessageInfo").arg(info->getName());
        for (const FieldInfo *field : info->getFieldInfos()) {
            const QString name = field->getName(); // Sequence_No_ drops its last underscore
            classes << QStringLiteral("RTCMV_%1_%2_FieldInfo").arg(info->getName(), name.endsWith(QLatin1Char('_')) ? name.chopped(1) : name);
        }
    }
    const QMap<QString, qint64> live = MemLeakTracer::liveCounts();
    qint64 descriptors = 0; // nothing else reports itself as a descriptor of this format
    for (auto it = live.begin(); it != live.end(); ++it)
        descriptors += it.key().startsWith(QLatin1String("RTCMV_")) && it.key().endsWith(QLatin1String("Info")) ? it.value() : 0;
    for (const QString &name : classes) {
        if (live.value(name) != 1)
            problems << QStringLiteral("%1 live %2").arg(live.value(name)).arg(name);
    }
    if (classes.size() != 1 + 45 + 498 || descriptors != classes.size())
        problems << QStringLiteral("%1 descriptors, %2 live").arg(classes.size()).arg(descriptors);
    return problems;
}

// Runs `firstRequest` as the first use of the library in a process of its own, then checks the
// catalogue; `firstRequest` answers whether it got the registered descriptor.
void expectCompleteCatalogueAfter(const std::function<bool()> &firstRequest)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, not a fork of this one
    EXPECT_EXIT(
        {
            QStringList problems;
            if (MemLeakTracer::liveCount(QStringLiteral("RTCMV_FormatInfo")) != 0)
                problems << QStringLiteral("the catalogue existed before the first request");
            if (!firstRequest())
                problems << QStringLiteral("the first request got an unregistered descriptor");
            problems += catalogueProblems();
            std::fputs(qPrintable(problems.join(QLatin1Char('\n'))), stderr);
            std::exit(problems.isEmpty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

const MessageInfo *registered(const char *name)
{
    return RTCMV_FormatInfo::getInstance()->findMessageInfo(QLatin1String(name));
}

} // namespace

TEST(Catalogue, IsCompleteAfterAnyFirstRequest)
{
    expectCompleteCatalogueAfter([] { return RTCMV_FormatInfo::getInstance()->getMessageInfos().value(0) == registered("Message_Type_1"); });
    expectCompleteCatalogueAfter([] { return RTCMV_Type_15_MessageInfo::getInstance() == registered("Type_15"); });
    expectCompleteCatalogueAfter([] { return RTCMV_DGNSS_PRC_FieldInfo::getInstance() == registered("DGNSS")->getFieldInfo(3); });
    expectCompleteCatalogueAfter([] {
        // Type 44's Source is a field of its own and the sub-field of the header's Station_Health.
        const FieldInfo *source = RTCMV_Message_Type_44_Source_FieldInfo::getInstance();
        return source == registered("Message_Type_44")->getFieldInfo(7)
               && registered("Message_Type_44")->getFieldInfo(6)->getSubFieldInfos() == QVector<const FieldInfo *>{source};
    });
    expectCompleteCatalogueAfter([] {
        RTCMV_Message_Type_17_s record;
        RTCMV_init_Message_Type_17(&record);
        return RTCMV_Message_Type_17_Message(&record, false).getMessageInfo() == registered("Message_Type_17");
    });
}
