// MemLeakTracer: live-object counts per class name, for finding leaks in plug-ins and hosts.
// Every constructor of a traced class reports its class name to allocateObject, every destructor to deallocateObject.
#pragma once

#include <nvtguibase/nvtguibase_global.h>

#include <QtCore/QMap>
#include <QtCore/QString>

#include <cstdio>

// Both reporting calls may come from any thread at any time between the library's load and process exit, static
// destructors included. After the first call with a given QStringLiteral they neither allocate, lock nor hash the text,
// so they can sit in the constructors of objects made millions of times per second. A deallocation without a matching
// allocation is counted too: its class then shows a negative live count.
//
// Environment:
//   MESARO_LEAK_REPORT  When set to a non-empty value other than "0", a leak report goes to stderr at process exit,
//                       after the static destructors of the program and of every library loaded after nvtguibase
//                       (so singletons that die at exit are accounted for): one line "<count> live <ClassName>" per
//                       class whose live count is not 0, in name order, then "mesaro leak report: <N> live objects",
//                       N being totalLive().
class NVTGUIBASE_EXPORT MemLeakTracer
{
public:
    MemLeakTracer() = delete;

    static void allocateObject(QString className);
    static void deallocateObject(QString className);

    // Allocations minus deallocations of one class; 0 for a name never reported.
    static qint64 liveCount(const QString &className);
    // Live count of every class name ever reported, including those back at 0.
    static QMap<QString, qint64> liveCounts();
    // Sum of all live counts.
    static qint64 totalLive();
    // Number of allocateObject calls so far, all classes together.
    static qint64 totalAllocated();
    // Writes the report described above to out, whether or not MESARO_LEAK_REPORT is set.
    static void writeLeakReport(FILE *out);
};
