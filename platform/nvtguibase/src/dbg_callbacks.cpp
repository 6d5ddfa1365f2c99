// The callback table nvtguibase hands to the trace library, with small implementations of every member.
#include <nvtguibase/dbg_callbacks.h>

#include <QtCore/QThread>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

// Trace libraries reach the two members they depend on by position.
static_assert(offsetof(dbg_callback_fn_t, setTraceStream) == 9 * sizeof(void (*)()), "member 9 moved");
static_assert(offsetof(dbg_callback_fn_t, getEnvironment) == 11 * sizeof(void (*)()), "member 11 moved");

// Constant-initialised, so the stream can be set and read before and after every static constructor and destructor.
std::atomic<FILE *> traceStreamOut{nullptr};

const auto loadTime = std::chrono::steady_clock::now();

std::mutex &lineMutex()
{
    static auto *const mutex = new std::mutex; // leaked: trace lines may still come from static destructors
    return *mutex;
}

void *mutexCreate()
{
    return new (std::nothrow) std::mutex;
}

void mutexDestroy(void *mutex)
{
    delete static_cast<std::mutex *>(mutex);
}

void mutexLock(void *mutex)
{
    static_cast<std::mutex *>(mutex)->lock();
}

void mutexUnlock(void *mutex)
{
    static_cast<std::mutex *>(mutex)->unlock();
}

long long elapsedMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now() - loadTime).count();
}

unsigned long threadId()
{
    return static_cast<unsigned long>(reinterpret_cast<quintptr>(QThread::currentThreadId()));
}

void *allocate(size_t size)
{
    return std::malloc(size);
}

void release(void *block)
{
    std::free(block);
}

int writeLine(const char *line)
{
    FILE *out = traceStreamOut.load(std::memory_order_acquire);
    if (!out)
        out = stdout;
    std::lock_guard<std::mutex> lock(lineMutex());
    if (std::fputs(line ? line : "", out) < 0 || std::fputc('\n', out) == EOF)
        return -1;
    return std::fflush(out) == 0 ? 0 : -1;
}

void setTraceStream(FILE *stream)
{
    traceStreamOut.store(stream, std::memory_order_release);
}

FILE *traceStream()
{
    return traceStreamOut.load(std::memory_order_acquire);
}

char *getEnvironment(const char *name)
{
    return name ? std::getenv(name) : nullptr;
}

dbg_callback_fn_t callbacks = {
    mutexCreate, mutexDestroy, mutexLock, mutexUnlock, elapsedMs, threadId,
    allocate, release, writeLine, setTraceStream, traceStream, getEnvironment,
};

} // namespace

dbg_callback_fn_t *getCallBackFunctions(void)
{
    return &callbacks;
}

FILE *nvtguibaseTraceStream(void)
{
    return traceStream();
}
