// Tests of the allocation tracer's counts and of nvtguibase's trace callback table.
#include <nvtguibase/MemLeakTracer.h>
#include <nvtguibase/dbg_callbacks.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

// The tracer's literal cache against a plain map, for a random mix of literal and heap copies of a few names,
// two literal sites per name as in a constructor and a destructor.
TEST(MemLeakTracer, CountsMatchReference)
{
    const QString allocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"),
                                  QStringLiteral("TracerRef_C")};
    const QString deallocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"),
                                    QStringLiteral("TracerRef_C")};
    const qint64 liveBefore = MemLeakTracer::totalLive();
    const qint64 allocatedBefore = MemLeakTracer::totalAllocated();

    std::map<QString, qint64> reference;
    qint64 allocations = 0;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const int which = int(random() % 3);
        const bool allocate = random() % 2 == 0;
        QString name = allocate ? allocNames[which] : deallocNames[which];
        if (random() % 4 == 0)
            name = QString(name.unicode(), name.size()); // heap copy, bypasses the cache
        if (allocate) {
            MemLeakTracer::allocateObject(name);
            ++reference[name];
            ++allocations;
        } else {
            MemLeakTracer::deallocateObject(name);
            --reference[name];
        }
    }
    qint64 referenceTotal = 0;
    const QMap<QString, qint64> counts = MemLeakTracer::liveCounts();
    for (const auto &entry : reference) {
        EXPECT_EQ(MemLeakTracer::liveCount(entry.first), entry.second) << qPrintable(entry.first);
        EXPECT_EQ(counts.value(entry.first), entry.second);
        referenceTotal += entry.second;
    }
    EXPECT_EQ(MemLeakTracer::totalLive() - liveBefore, referenceTotal);
    EXPECT_EQ(MemLeakTracer::totalAllocated() - allocatedBefore, allocations);
    EXPECT_EQ(MemLeakTracer::liveCount(QStringLiteral("TracerRef_never")), 0);
    EXPECT_FALSE(counts.contains(QStringLiteral("TracerRef_never")));
}

TEST(MemLeakTracer, UnbalancedAndConcurrent)
{
    MemLeakTracer::deallocateObject(QStringLiteral("TracerUnbalanced"));
    EXPECT_EQ(MemLeakTracer::liveCount(QStringLiteral("TracerUnbalanced")), -1);
    EXPECT_EQ(MemLeakTracer::liveCounts().value(QStringLiteral("TracerUnbalanced")), -1);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 50000; ++i) {
                MemLeakTracer::allocateObject(QStringLiteral("TracerThreaded"));
                if (i % 2)
                    MemLeakTracer::deallocateObject(QStringLiteral("TracerThreaded"));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(MemLeakTracer::liveCount(QStringLiteral("TracerThreaded")), 4 * 25000);
}

TEST(MemLeakTracer, ReportListsNonZeroClasses)
{
    MemLeakTracer::allocateObject(QStringLiteral("TracerReport_Zero"));
    MemLeakTracer::deallocateObject(QStringLiteral("TracerReport_Zero"));
    MemLeakTracer::allocateObject(QStringLiteral("TracerReport_Two"));
    MemLeakTracer::allocateObject(QStringLiteral("TracerReport_Two"));
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    MemLeakTracer::writeLeakReport(out);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += char(c);
    std::fclose(out);
    EXPECT_NE(text.find("\n2 live TracerReport_Two\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("TracerReport_Zero"), std::string::npos) << text;
    const std::string last = "mesaro leak report: " + std::to_string(MemLeakTracer::totalLive()) + " live objects\n";
    EXPECT_EQ(text.substr(text.size() - last.size()), last);
}

TEST(CallbackTable, Members)
{
    dbg_callback_fn_t *table = getCallBackFunctions();
    ASSERT_NE(table, nullptr);

    setenv("NVTGUIBASE_TEST_VAR", "value", 1);
    ASSERT_NE(table->getEnvironment("NVTGUIBASE_TEST_VAR"), nullptr);
    EXPECT_STREQ(table->getEnvironment("NVTGUIBASE_TEST_VAR"), "value");
    unsetenv("NVTGUIBASE_TEST_VAR");
    EXPECT_EQ(table->getEnvironment("NVTGUIBASE_TEST_VAR"), nullptr);
    EXPECT_EQ(table->getEnvironment(nullptr), nullptr);

    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    table->setTraceStream(out);
    EXPECT_EQ(nvtguibaseTraceStream(), out);
    EXPECT_EQ(table->traceStream(), out);
    EXPECT_EQ(table->writeLine("first"), 0);
    EXPECT_EQ(table->writeLine("second"), 0);
    table->setTraceStream(stdout);
    std::rewind(out);
    char buffer[32] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer - 1, out), 13u);
    EXPECT_STREQ(buffer, "first\nsecond\n");
    std::fclose(out);

    void *mutex = table->mutexCreate();
    ASSERT_NE(mutex, nullptr);
    table->mutexLock(mutex);
    table->mutexUnlock(mutex);
    table->mutexDestroy(mutex);

    const long long before = table->elapsedMs();
    EXPECT_GE(before, 0);
    EXPECT_GE(table->elapsedMs(), before);
    EXPECT_EQ(table->threadId(), table->threadId());
    void *block = table->allocate(16);
    EXPECT_NE(block, nullptr);
    table->release(block);
}

} // namespace
