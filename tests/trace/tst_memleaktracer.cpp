// The allocation tracer's counts (its report at exit is checked by the trace_leak_report tests).
#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

// The tracer's literal cache against a plain map, for a random mix of literal and heap copies of a
// few names, two literal sites per name as in a constructor and a destructor; then an unbalanced
// release and counts from several threads at once.
TEST(MemLeakTracer, CountsMatchAReference)
{
    const QString allocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"), QStringLiteral("TracerRef_C")};
    const QString deallocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"), QStringLiteral("TracerRef_C")};
    const qint64 liveBefore = MemLeakTracer::totalLive();
    const qint64 allocatedBefore = MemLeakTracer::totalAllocated();
    std::map<QString, qint64> reference;
    qint64 allocations = 0;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        const bool allocate = random() % 2 == 0;
        QString name = (allocate ? allocNames : deallocNames)[random() % 3];
        if (random() % 4 == 0)
            name = QString(name.unicode(), name.size()); // heap copy, bypasses the cache
        allocate ? MemLeakTracer::allocateObject(name) : MemLeakTracer::deallocateObject(name);
        reference[name] += allocate ? 1 : -1;
        allocations += allocate;
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
    EXPECT_FALSE(counts.contains(QStringLiteral("TracerRef_never")));

    MemLeakTracer::deallocateObject(QStringLiteral("TracerUnbalanced"));
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

} // namespace
