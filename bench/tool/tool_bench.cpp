// Throughput of `rtcmv decode` on a large stream (a real recording repeated to 20 MB, or the
// bundled sample when the recordings are absent): MB/s of input and messages/s, timed by the
// user CPU time of the rtcmv process, so that a loaded machine does not skew the figures.
#include <Rtcm2Framer.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr std::size_t StreamBytes = 20u << 20;

struct Stream
{
    std::string path; // empty when no input was found
    std::size_t bytes = 0;
    uint64_t messages = 0;
};

std::vector<char> readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> &temporaryFiles()
{
    static std::vector<std::string> files;
    return files;
}

void removeTemporaryFiles()
{
    for (const std::string &path : temporaryFiles())
        std::remove(path.c_str());
}

// The recording repeated to StreamBytes in a temporary file, made once per recording.
const Stream &streamOf(const std::string &name)
{
    static std::map<std::string, Stream> made;
    const auto it = made.find(name);
    if (it != made.end())
        return it->second;
    Stream &stream = made[name];
    std::vector<char> unit = readAll(std::string(MESARO_TESTDATA_DIR) + "/" + name);
    if (unit.empty())
        unit = readAll(std::string(MESARO_SOURCE_DIR) + "/examples/sample.rtcm2");
    if (!unit.empty()) {
        std::vector<uint8_t> bytes;
        while (bytes.size() < StreamBytes)
            bytes.insert(bytes.end(), unit.begin(), unit.end());
        Rtcm2Framer framer([&](const uint8_t *, std::size_t, unsigned) { ++stream.messages; });
        framer.feed(bytes.data(), bytes.size());
        char path[] = "/tmp/rtcmv_bench_XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) {
            if (temporaryFiles().empty())
                std::atexit(removeTemporaryFiles);
            temporaryFiles().push_back(path);
        }
        if (fd >= 0 && write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size())) {
            stream.path = path;
            stream.bytes = bytes.size();
        }
        if (fd >= 0)
            close(fd);
    }
    return stream;
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) * 1e-6;
}

// Runs rtcmv with its output into /dev/null; false when it could not run or crashed.
bool runTool(std::vector<std::string> arguments, rusage &usage)
{
    arguments.insert(arguments.begin(), RTCMV_TOOL);
    std::vector<char *> argv;
    for (std::string &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int failed = posix_spawn(&pid, RTCMV_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return false;
    int status = 0;
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1; // 1: the recording holds refused messages
}

void decode(benchmark::State &state, const char *recording, std::vector<std::string> options)
{
    const Stream &stream = streamOf(recording);
    if (stream.path.empty()) {
        state.SkipWithError("no input stream");
        return;
    }
    options.insert(options.begin(), "decode");
    options.push_back(stream.path);
    double system = 0;
    for (auto _ : state) {
        rusage usage{};
        if (!runTool(options, usage)) {
            state.SkipWithError("rtcmv failed");
            return;
        }
        state.SetIterationTime(seconds(usage.ru_utime));
        system += seconds(usage.ru_stime);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.bytes));
    state.counters["messages"] =
        benchmark::Counter(double(stream.messages) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["sys_s"] = benchmark::Counter(system, benchmark::Counter::kAvgIterations);
    state.SetLabel(std::to_string(stream.bytes >> 20) + " MB, " + std::to_string(stream.messages) + " messages");
}

// Manual time is the child's user CPU time; three runs of 20 MB each are plenty.
#define TOOL_BENCH(name, recording, ...)                                                                   \
    BENCHMARK_CAPTURE(decode, name, recording, std::vector<std::string>{__VA_ARGS__})                      \
        ->UseManualTime()                                                                                  \
        ->Iterations(3)                                                                                    \
        ->Unit(benchmark::kMillisecond)

TOOL_BENCH(json_bend, "rtcm2.bend.log", "--format", "json");
TOOL_BENCH(text_bend, "rtcm2.bend.log", "--format", "text");
TOOL_BENCH(quiet_bend, "rtcm2.bend.log", "--quiet");
TOOL_BENCH(json_naujoks, "naujoks-rtcm2.log", "--format", "json");
TOOL_BENCH(text_naujoks, "naujoks-rtcm2.log", "--format", "text");

} // namespace
