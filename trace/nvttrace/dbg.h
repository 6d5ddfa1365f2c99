// Trace library linked into the decoder plug-ins: configuration from the environment at load, and the per-class trace
// channels that the plug-in's classes resolve on entry to their member functions.
#pragma once

#include <nvtguibase/dbg_callbacks.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

// The library is linked statically into a shared plug-in; the entry points stay visible so that hosts and tests can
// ask the plug-in for its trace state.
#if defined(__GNUC__)
#define NVTTRACE_EXPORT __attribute__((visibility("default")))
#else
#define NVTTRACE_EXPORT
#endif

// Environment read once by dbg_Init, through member 11 of the callback table when there is one, else getenv:
//   NVT_MODULES, NVT_SUBMODULES  channel filters: absent or "all" lets every name through, "none" none; any other
//                                text lets in the names it holds ("RTCMVDecoder,RTCMV_FormatInfo") and the names
//                                that hold it ("RTCMV" lets "RTCMVDecoder" and "RTCMV_FormatInfo" in)
//   NVT_TRACELEVEL               keywords "FUNC", "0", "1", "2"; "none" clears the level, "all" sets every bit
//   NVT_TRACEINFO                keywords "MODULE", "SUBMOD", "FUNC", "FILE", "LINE", "LEVEL", "TIME", "THREAD", "all"
//   NVT_STARTTIME, NVT_STOPTIME  trace time window, whole seconds
//   NVT_LOGFILE                  file that trace output is appended to (dbg_Init's first argument may name another
//                                variable); standard output when it is absent or cannot be opened

enum DbgTraceLevel : unsigned {
    DBG_LEVEL_ALWAYS = 0x01,
    DBG_LEVEL_FUNC = 0x02,
    DBG_LEVEL_0 = 0x04,
    DBG_LEVEL_1 = 0x08,
    DBG_LEVEL_2 = 0x10,
    DBG_LEVEL_ALL = 0xFF,
};

enum DbgTraceInfo : unsigned {
    DBG_INFO_MODULE = 0x001,
    DBG_INFO_SUBMOD = 0x002,
    DBG_INFO_RESERVED = 0x004, // no keyword sets it; only "all" does
    DBG_INFO_FUNC = 0x008,
    DBG_INFO_FILE = 0x010,
    DBG_INFO_LINE = 0x020,
    DBG_INFO_LEVEL = 0x040,
    DBG_INFO_TIME = 0x080,
    DBG_INFO_THREAD = 0x100,
    DBG_INFO_ALL = 0x1FF,
    DBG_INFO_DEFAULT = DBG_INFO_SUBMOD | DBG_INFO_FUNC | DBG_INFO_LINE | DBG_INFO_LEVEL,
};

enum DbgError : int {
    DBG_SUCCESS = 0,
    DBG_ERR_UNKNOWN_TYPE = 1,
    DBG_ERR_OPEN_FILE = 2,
    DBG_ERR_NULL_POINTER = 3,
    DBG_ERR_NOT_IMPLEMENTED = 4,
    DBG_ERR_MUTEX_INIT = 5,
    DBG_ERR_CLOSE_FILE = 6,
};

// One per traced class: its module and class name, and whether its trace is on, once known.
// Define it as a static with a constant initialiser, e.g. static TraceChannel channel{"Mesaro_RTCMV", "RTCMVDecoder"};
struct TraceChannel
{
    const char *module;
    const char *submodule;
    std::atomic<int> state{-1}; // -1 not resolved yet, 0 off, 1 on
};

// Read-only copy of the trace configuration.
struct DbgState
{
    dbg_callback_fn_t *callbacks;
    bool initialised;
    int initCount;            // number of dbg_Init calls
    int args[3];              // the numbers of the latest dbg_Init call
    const char *submoduleList; // as the environment lookup returned it, or null
    const char *moduleList;
    std::int64_t startTimeMs;
    std::int64_t stopTimeMs;  // -1: no end
    FILE *logStream;          // stdout unless a log file was opened
    bool logToFile;
    unsigned traceLevel;      // DbgTraceLevel bits
    unsigned traceInfo;       // DbgTraceInfo bits
};

// Stores the platform callback table (may be null); set it before dbg_Init so that the lookups go through it.
NVTTRACE_EXPORT void dbg_SetCallbacks(dbg_callback_fn_t *callbacks);
// Configures the library from the environment on the first call; later calls only store the numbers and count.
// logFileVariable names the variable that holds the log file path; null means "NVT_LOGFILE". Returns DBG_SUCCESS.
NVTTRACE_EXPORT int dbg_Init(const char *logFileVariable, int arg0, int arg1, int arg2);
// -1 before dbg_Init, else 1 when the channel passes both the module and the submodule filter, else 0.
NVTTRACE_EXPORT int dbg_ChannelState(const char *module, const char *submodule);
// Text of a DbgError code, with a leading blank; "Unknown Error" for any other code.
NVTTRACE_EXPORT const char *dbg_ErrorText(int code);
NVTTRACE_EXPORT DbgState dbg_GetState();

// Call on entry to every member function of a traced class. Once resolved this is a single load and compare; before
// dbg_Init it stays unresolved and asks again next time. Racing threads store the same answer.
inline int dbg_ResolveChannel(TraceChannel &channel)
{
    int state = channel.state.load(std::memory_order_relaxed);
    if (state == -1) {
        state = dbg_ChannelState(channel.module, channel.submodule);
        channel.state.store(state, std::memory_order_relaxed);
    }
    return state;
}
