// The allocation tracer's counts (its report at exit is checked by the trace_leak_report tests).
#include <nvtguibase/MemLeakTracer.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

// The tracer's literal cache against a plain map, for a random mix of literal and heap copies of a
// few names, two literal sites per name as in a constructor and a destructor, from several threads
// at once.
TEST(MemLeakTracer, CountsMatchAReference)
{
    std::map<QString, qint64> reference;
    std::mutex referenceMutex;
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
                const std::lock_guard<std::mutex> lock(referenceMutex);
                reference[name] += allocate ? 1 : -1;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const QMap<QString, qint64> counts = MemLeakTracer::liveCounts(); // as the leak report lists them
    for (const auto &entry : reference) {
        EXPECT_EQ(MemLeakTracer::liveCount(entry.first), entry.second) << qPrintable(entry.first);
        EXPECT_EQ(counts.value(entry.first), entry.second);
    }
}

} // namespace
