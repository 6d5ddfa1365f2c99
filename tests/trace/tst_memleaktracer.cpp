// The allocation tracer's counts (its report at exit is checked by the trace_leak_report tests).
#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

// The tracer's literal cache against a plain map, for a random mix of literal and heap copies of a
// few names, two literal sites per name as in a constructor and a destructor, from several threads
// at once.
TEST(MemLeakTracer, CountsMatchAReference)
{
    const qint64 liveBefore = MemLeakTracer::totalLive();
    const qint64 allocatedBefore = MemLeakTracer::totalAllocated();
    std::map<QString, qint64> references[4];
    qint64 allocations[4] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const QString allocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"), QStringLiteral("TracerRef_C")};
            const QString deallocNames[] = {QStringLiteral("TracerRef_A"), QStringLiteral("TracerRef_B"), QStringLiteral("TracerRef_C")};
            std::mt19937 random(t);
            for (int i = 0; i < 20000; ++i) {
                const bool allocate = random() % 3 != 0;
                QString name = (allocate ? allocNames : deallocNames)[random() % 3];
                if (random() % 4 == 0)
                    name = QString(name.unicode(), name.size()); // heap copy, bypasses the cache
                allocate ? MemLeakTracer::allocateObject(name) : MemLeakTracer::deallocateObject(name);
                references[t][name] += allocate ? 1 : -1;
                allocations[t] += allocate;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::map<QString, qint64> reference;
    for (int t = 0; t < 4; ++t) {
        for (const auto &entry : references[t])
            reference[entry.first] += entry.second;
    }
    qint64 referenceTotal = 0;
    const QMap<QString, qint64> counts = MemLeakTracer::liveCounts();
    for (const auto &entry : reference) {
        EXPECT_EQ(MemLeakTracer::liveCount(entry.first), entry.second) << qPrintable(entry.first);
        EXPECT_EQ(counts.value(entry.first), entry.second);
        referenceTotal += entry.second;
    }
    EXPECT_EQ(MemLeakTracer::totalLive() - liveBefore, referenceTotal);
    EXPECT_EQ(MemLeakTracer::totalAllocated() - allocatedBefore, allocations[0] + allocations[1] + allocations[2] + allocations[3]);
}

} // namespace
