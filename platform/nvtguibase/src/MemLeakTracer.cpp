// MemLeakTracer: per-class counters, the cache that finds them by the address of a literal name, and the exit report.
#include <nvtguibase/MemLeakTracer.h>

#include <QtCore/QHash>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Counters of one class name. Never freed, so a pointer to one stays valid until the process ends.
struct ClassCounter
{
    // Deep copy: the caller's text may be a literal inside a library that is unloaded before we report.
    explicit ClassCounter(const QString &className) : name(className.unicode(), className.size()) {}

    qint64 live() const
    {
        return allocated.load(std::memory_order_relaxed) - deallocated.load(std::memory_order_relaxed);
    }

    const QString name;
    // Two counters rather than one live count: each call then makes a single atomic add.
    std::atomic<qint64> allocated{0};
    std::atomic<qint64> deallocated{0};
};

// What a cache slot holds: the counter for one literal's address. Immutable and never freed, so a reader that loads a
// pointer to one sees a consistent pair without a lock.
struct CacheEntry
{
    const QStringData *key;
    int size; // the literal's length, a cheap guard against an unloaded library's address being reused
    ClassCounter *counter;
};

// Leaked on purpose: calls from static destructors that run after ours must still find it.
struct Registry
{
    std::mutex mutex;
    QHash<QString, ClassCounter *> byName;
    QHash<const QStringData *, CacheEntry *> byAddress; // one entry per literal address, however often it is evicted
};

Registry &registry()
{
    static Registry *const instance = new Registry;
    return *instance;
}

// Direct-mapped cache from the address of a name's string data to its counter. A QStringLiteral has static data at a
// fixed address, so after the first call with it a lookup is a multiply, a load and two compares: no hashing of the
// text, no lock. Zero-initialised and trivially destructible, so it works before and after all static constructors
// and destructors.
constexpr int cacheBits = 9;
std::atomic<const CacheEntry *> cache[1 << cacheBits];

std::size_t cacheSlot(const QStringData *data)
{
    const auto key = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(data));
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - cacheBits));
}

// Called with the registry locked.
ClassCounter *findOrAddCounter(Registry &r, const QString &className)
{
    if (ClassCounter *existing = r.byName.value(className))
        return existing;
    auto *counter = new ClassCounter(className);
    r.byName.insert(counter->name, counter);
    return counter;
}

ClassCounter *slowCounterFor(QString &className, std::atomic<const CacheEntry *> &slot)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    QString::DataPtr data = className.data_ptr();
    // Only static (literal) data keeps its address for good; a heap string's address is soon someone else's.
    if (!data->ref.isStatic())
        return findOrAddCounter(r, className);
    CacheEntry *&entry = r.byAddress[data];
    if (!entry || entry->counter->name != className)
        entry = new CacheEntry{data, className.size(), findOrAddCounter(r, className)};
    slot.store(entry, std::memory_order_release);
    return entry->counter;
}

ClassCounter *counterFor(QString &className)
{
    QString::DataPtr data = className.data_ptr();
    std::atomic<const CacheEntry *> &slot = cache[cacheSlot(data)];
    const CacheEntry *entry = slot.load(std::memory_order_acquire);
    if (Q_LIKELY(entry && entry->key == data && entry->size == data->size))
        return entry->counter;
    return slowCounterFor(className, slot);
}

template<typename Fn>
void forEachCounter(Fn fn)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const ClassCounter *counter : qAsConst(r.byName))
        fn(*counter);
}

bool leakReportRequested()
{
    const char *value = std::getenv("MESARO_LEAK_REPORT");
    return value && *value && std::strcmp(value, "0") != 0;
}

// Built while nvtguibase is initialised, before the libraries and the program that depend on it, so its destructor
// runs after theirs and after the singletons they create on first use.
struct LeakReportAtExit
{
    ~LeakReportAtExit()
    {
        if (leakReportRequested())
            MemLeakTracer::writeLeakReport(stderr);
    }
} leakReportAtExit;

} // namespace

void MemLeakTracer::allocateObject(QString className)
{
    counterFor(className)->allocated.fetch_add(1, std::memory_order_relaxed);
}

void MemLeakTracer::deallocateObject(QString className)
{
    counterFor(className)->deallocated.fetch_add(1, std::memory_order_relaxed);
}

qint64 MemLeakTracer::liveCount(const QString &className)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const ClassCounter *counter = r.byName.value(className);
    return counter ? counter->live() : 0;
}

QMap<QString, qint64> MemLeakTracer::liveCounts()
{
    QMap<QString, qint64> counts;
    forEachCounter([&counts](const ClassCounter &counter) { counts.insert(counter.name, counter.live()); });
    return counts;
}

qint64 MemLeakTracer::totalLive()
{
    qint64 total = 0;
    forEachCounter([&total](const ClassCounter &counter) { total += counter.live(); });
    return total;
}

qint64 MemLeakTracer::totalAllocated()
{
    qint64 total = 0;
    forEachCounter([&total](const ClassCounter &counter) {
        total += counter.allocated.load(std::memory_order_relaxed);
    });
    return total;
}

void MemLeakTracer::writeLeakReport(FILE *out)
{
    const QMap<QString, qint64> counts = liveCounts();
    qint64 total = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        total += it.value();
        if (it.value() != 0)
            std::fprintf(out, "%lld live %s\n", static_cast<long long>(it.value()), it.key().toUtf8().constData());
    }
    std::fprintf(out, "mesaro leak report: %lld live objects\n", static_cast<long long>(total));
    std::fflush(out);
}
