// Trace library state: one-time configuration from the environment, channel filtering and error texts.
#include <nvttrace/dbg.h>
#include <nvttrace/dbg_testing.h>

#include <cstdlib>
#include <cstring>
#include <limits>

// Compile-time proof that the trace state needs no dynamic initialisation (see below).
#if defined(__clang__)
#define NVT_CONSTINIT [[clang::require_constant_initialization]]
#elif defined(__GNUC__) && __GNUC__ >= 10
#define NVT_CONSTINIT __constinit
#else
#define NVT_CONSTINIT
#endif

namespace {

// Everything here is constant-initialised: dbg_Init runs from a load-time constructor of the plug-in, ahead of the
// dynamic initialisation of this file, which would otherwise overwrite what it set.
struct TraceState
{
    dbg_callback_fn_t *callbacks = nullptr;
    std::atomic<bool> initialised{false};
    int initCount = 0;
    int args[3] = {0, 0, 0};
    const char *submoduleList = nullptr;
    const char *moduleList = nullptr;
    std::int64_t startTimeMs = 0;
    std::int64_t stopTimeMs = -1;
    FILE *logStream = nullptr; // null stands for stdout, which is no constant
    bool logToFile = false;
    unsigned traceLevel = DBG_LEVEL_ALWAYS;
    unsigned traceInfo = DBG_INFO_DEFAULT;
};

NVT_CONSTINIT TraceState state;

FILE *logStream()
{
    return state.logStream ? state.logStream : stdout;
}

const char *lookupEnvironment(const char *name)
{
    if (state.callbacks && state.callbacks->getEnvironment)
        return state.callbacks->getEnvironment(name);
    return std::getenv(name);
}

std::int64_t millisecondsFromEnvironment(const char *name, std::int64_t absent)
{
    const char *text = lookupEnvironment(name);
    if (!text)
        return absent;
    const std::int64_t seconds = std::atol(text);
    // Saturate instead of overflowing on absurd values where long is 64 bits wide.
    constexpr std::int64_t limit = std::numeric_limits<std::int64_t>::max() / 1000;
    if (seconds > limit)
        return std::numeric_limits<std::int64_t>::max();
    if (seconds < -limit)
        return std::numeric_limits<std::int64_t>::min();
    return seconds * 1000;
}

bool contains(const char *text, const char *keyword)
{
    return std::strstr(text, keyword) != nullptr;
}

int parseTraceLevel(const char *text, unsigned *level)
{
    unsigned value = DBG_LEVEL_ALWAYS;
    if (text) {
        if (contains(text, "2"))
            value |= DBG_LEVEL_2;
        if (contains(text, "1"))
            value |= DBG_LEVEL_1;
        if (contains(text, "0"))
            value |= DBG_LEVEL_0;
        if (contains(text, "FUNC"))
            value |= DBG_LEVEL_FUNC;
        if (contains(text, "none"))
            value = 0;
        if (contains(text, "all"))
            value = DBG_LEVEL_ALL;
    }
    *level = value;
    return DBG_SUCCESS;
}

int parseTraceInfo(const char *text, unsigned *info)
{
    if (!text) {
        *info = DBG_INFO_DEFAULT;
        return DBG_SUCCESS;
    }
    static const struct
    {
        const char *keyword;
        unsigned bit;
    } keywords[] = {
        {"MODULE", DBG_INFO_MODULE}, {"SUBMOD", DBG_INFO_SUBMOD}, {"FUNC", DBG_INFO_FUNC},
        {"FILE", DBG_INFO_FILE},     {"LINE", DBG_INFO_LINE},     {"LEVEL", DBG_INFO_LEVEL},
        {"TIME", DBG_INFO_TIME},     {"THREAD", DBG_INFO_THREAD},
    };
    unsigned value = 0;
    for (const auto &k : keywords) {
        if (contains(text, k.keyword))
            value |= k.bit;
    }
    if (contains(text, "all"))
        value = DBG_INFO_ALL;
    *info = value;
    return DBG_SUCCESS;
}

// Whole-string "none" and "all". Any other list is either a set of names ("RTCMVDecoder,RTCMV_FormatInfo"), which
// holds the name, or a part that several names share ("RTCMV"), which the name holds; an empty list lets nothing in.
bool listMatches(const char *list, const char *name)
{
    if (!list)
        return true;
    if (std::strcmp(list, "none") == 0)
        return false;
    if (std::strcmp(list, "all") == 0)
        return true;
    return name && (contains(list, name) || (*list && contains(name, list)));
}

} // namespace

void dbg_SetCallbacks(dbg_callback_fn_t *callbacks)
{
    state.callbacks = callbacks;
}

int dbg_Init(const char *logFileVariable, int arg0, int arg1, int arg2)
{
    state.args[0] = arg0;
    state.args[1] = arg1;
    state.args[2] = arg2;
    if (state.initialised.load(std::memory_order_acquire)) {
        ++state.initCount;
        return DBG_SUCCESS;
    }

    state.submoduleList = lookupEnvironment("NVT_SUBMODULES");
    state.moduleList = lookupEnvironment("NVT_MODULES");
    state.startTimeMs = millisecondsFromEnvironment("NVT_STARTTIME", 0);
    state.stopTimeMs = millisecondsFromEnvironment("NVT_STOPTIME", -1);

    // A log file that cannot be opened is no reason to complain: tracing simply goes to stdout. It is never closed,
    // since trace output may come until the very end of the process.
    state.logStream = nullptr;
    state.logToFile = false;
    if (const char *path = lookupEnvironment(logFileVariable ? logFileVariable : "NVT_LOGFILE")) {
        if (FILE *file = std::fopen(path, "a+")) {
            state.logStream = file;
            state.logToFile = true;
        }
    }
    if (state.callbacks && state.callbacks->setTraceStream)
        state.callbacks->setTraceStream(logStream());

    unsigned level = 0;
    unsigned info = 0;
    int result = parseTraceLevel(lookupEnvironment("NVT_TRACELEVEL"), &level);
    if (result == DBG_SUCCESS)
        result = parseTraceInfo(lookupEnvironment("NVT_TRACEINFO"), &info);
    if (result != DBG_SUCCESS) {
        std::printf("dbg_Init failed :%s", dbg_ErrorText(result));
        std::exit(1);
    }
    state.traceLevel = level;
    state.traceInfo = info;

    ++state.initCount;
    state.initialised.store(true, std::memory_order_release);
    return DBG_SUCCESS;
}

int dbg_ChannelState(const char *module, const char *submodule)
{
    if (!state.initialised.load(std::memory_order_acquire))
        return -1;
    if (!listMatches(state.moduleList, module))
        return 0;
    return listMatches(state.submoduleList, submodule) ? 1 : 0;
}

const char *dbg_ErrorText(int code)
{
    switch (code) {
    case DBG_SUCCESS:
        return " success.";
    case DBG_ERR_UNKNOWN_TYPE:
        return " unknown type.";
    case DBG_ERR_OPEN_FILE:
        return " could not open file.";
    case DBG_ERR_NULL_POINTER:
        return " illegal nullpointer passed as argument.";
    case DBG_ERR_NOT_IMPLEMENTED:
        return " functionality not yet implemented.";
    case DBG_ERR_MUTEX_INIT:
        return " Mutex init failed.";
    case DBG_ERR_CLOSE_FILE:
        return " could not close file.";
    default:
        return "Unknown Error";
    }
}

DbgState dbg_GetState()
{
    const bool initialised = state.initialised.load(std::memory_order_acquire);
    return DbgState{state.callbacks,     initialised,      state.initCount,   {state.args[0], state.args[1], state.args[2]},
                    state.submoduleList, state.moduleList, state.startTimeMs, state.stopTimeMs,
                    logStream(),         state.logToFile,  state.traceLevel,  state.traceInfo};
}

void dbg_ResetForTesting()
{
    state.callbacks = nullptr;
    state.initialised.store(false, std::memory_order_release);
    state.initCount = 0;
    state.args[0] = state.args[1] = state.args[2] = 0;
    state.submoduleList = nullptr;
    state.moduleList = nullptr;
    state.startTimeMs = 0;
    state.stopTimeMs = -1;
    state.logStream = nullptr;
    state.logToFile = false;
    state.traceLevel = DBG_LEVEL_ALWAYS;
    state.traceInfo = DBG_INFO_DEFAULT;
}
