/* Callback table through which the nvt trace library reaches its platform: locking, clock, thread id, memory, the trace
   output stream and the environment. Plain C layout: trace libraries built elsewhere reach the members by position. */
#ifndef NVTGUIBASE_DBG_CALLBACKS_H
#define NVTGUIBASE_DBG_CALLBACKS_H

#include <nvtguibase/nvtguibase_global.h>

#include <stddef.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Never reorder or remove members, only append: users address them by index. */
typedef struct dbg_callback_fn_s {
    void *(*mutexCreate)(void);                /* 0: a new unlocked mutex, null when none could be made */
    void (*mutexDestroy)(void *mutex);         /* 1 */
    void (*mutexLock)(void *mutex);            /* 2 */
    void (*mutexUnlock)(void *mutex);          /* 3 */
    long long (*elapsedMs)(void);              /* 4: milliseconds since nvtguibase was loaded, for trace time windows */
    unsigned long (*threadId)(void);           /* 5: an id of the calling thread, for trace lines */
    void *(*allocate)(size_t size);            /* 6: malloc */
    void (*release)(void *block);              /* 7: free */
    int (*writeLine)(const char *line);        /* 8: line and '\n' to the trace stream (stdout until one is set), flushed;
                                                     lines from different threads never interleave; < 0 on failure */
    void (*setTraceStream)(FILE *stream);      /* 9: the trace output stream chosen by the trace library */
    FILE *(*traceStream)(void);                /* 10: the stream last passed to member 9, null before */
    char *(*getEnvironment)(const char *name); /* 11: getenv; null for a null name */
} dbg_callback_fn_t;

/* The process-wide table; never null, valid from load to exit. */
NVTGUIBASE_EXPORT dbg_callback_fn_t *getCallBackFunctions(void);

/* The stream last passed to member 9 of the table, null when it was never called. */
NVTGUIBASE_EXPORT FILE *nvtguibaseTraceStream(void);

#ifdef __cplusplus
}
#endif

#endif
