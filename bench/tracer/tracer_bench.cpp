// Cost of one allocateObject/deallocateObject pair, as made by every message object's constructor and destructor.
#include <nvtguibase/MemLeakTracer.h>

#include <benchmark/benchmark.h>

namespace {

// The common case: literal class names, served by the address cache.
void BM_PairLiteral(benchmark::State &state)
{
    for (auto _ : state) {
        MemLeakTracer::allocateObject(QStringLiteral("RTCMV_DGNSS_Message"));
        MemLeakTracer::deallocateObject(QStringLiteral("RTCMV_DGNSS_Message"));
    }
}
BENCHMARK(BM_PairLiteral)->ThreadRange(1, 4);

// Names built at run time take the locked hash lookup.
void BM_PairHeapName(benchmark::State &state)
{
    const QString name = QString::fromLatin1("RTCMV_DGNSS_Message");
    for (auto _ : state) {
        MemLeakTracer::allocateObject(name);
        MemLeakTracer::deallocateObject(name);
    }
}
BENCHMARK(BM_PairHeapName);

} // namespace
