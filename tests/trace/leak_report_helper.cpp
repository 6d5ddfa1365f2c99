// Helper for the leak report checks: leaves a known set of objects alive at exit ("leaky") or none ("clean").
#include <nvtguibase/MemLeakTracer.h>

#include <cstring>

// Dies at exit like a descriptor singleton: its deallocation must be counted before the report is written.
struct Singleton
{
    Singleton() { MemLeakTracer::allocateObject(QStringLiteral("LeakyA")); }
    ~Singleton() { MemLeakTracer::deallocateObject(QStringLiteral("LeakyA")); }
};

int main(int argc, char **argv)
{
    static Singleton singleton;
    if (argc > 1 && std::strcmp(argv[1], "leaky") == 0) {
        for (const char *name : {"LeakyA", "LeakyA", "LeakyBalanced"})
            MemLeakTracer::allocateObject(QLatin1String(name));
        MemLeakTracer::deallocateObject(QStringLiteral("LeakyBalanced"));
        MemLeakTracer::deallocateObject(QStringLiteral("Unbalanced"));
    }
    return 0;
}
