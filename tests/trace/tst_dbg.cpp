// The trace library's configuration from the environment, its channel filter and its log file.
#include <nvttrace/dbg.h>
#include <nvttrace/dbg_testing.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>

namespace {

// A fresh dbg_Init under exactly the given variables (a null value leaves one unset; the library
// keeps the module lists it was given, so they stay set until the next call), with a platform table.
DbgState initWith(std::initializer_list<std::pair<const char *, const char *>> variables, const char *logVariable = nullptr,
                  dbg_callback_fn_t *table = nullptr)
{
    for (const char *name : {"NVT_MODULES", "NVT_SUBMODULES", "NVT_STARTTIME", "NVT_STOPTIME", "NVT_TRACELEVEL", "NVT_TRACEINFO", "NVT_LOGFILE", "DBG_TEST_LOG"})
        unsetenv(name);
    for (const auto &variable : variables) {
        if (variable.second)
            setenv(variable.first, variable.second, 1);
    }
    dbg_ResetForTesting();
    dbg_SetCallbacks(table);
    EXPECT_EQ(dbg_Init(logVariable, 0, 0, 0), 0);
    return dbg_GetState();
}

TEST(DbgInit, ChannelFiltersLevelsInfoAndTimes)
{
    // NVT_MODULES, NVT_SUBMODULES, and the channels "RTCMVDecoder" and "RTCMV_FormatInfo" of "Mesaro_RTCMV".
    const std::tuple<const char *, const char *, int, int> filters[] = {
        {nullptr, nullptr, 1, 1},          {"none", nullptr, 0, 0},         {"all", nullptr, 1, 1},
        {"all", "RTCMVDecoder", 1, 0},     {nullptr, "RTCMVDecoder", 1, 0}, {nullptr, "RTCMV", 1, 1},
        {nullptr, "RTCMV_FormatInfo RTCMVDecoder", 1, 1}, {nullptr, "", 0, 0}, {nullptr, "none", 0, 0},
        {nullptr, "all", 1, 1},            {nullptr, "RTCMVDecoder,all", 1, 0}, // "all" only counts as the whole list
        {nullptr, "nonesuch", 0, 0},       {"Mesaro_RTCMV", nullptr, 1, 1}, {"Other_Module", nullptr, 0, 0},
        {"none", "all", 0, 0},
    };
    for (const auto &[modules, submodules, decoder, formatInfo] : filters) {
        initWith({{"NVT_MODULES", modules}, {"NVT_SUBMODULES", submodules}});
        const std::string label = std::string(modules ? modules : "-") + " / " + (submodules ? submodules : "-");
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), decoder) << label;
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMV_FormatInfo"), formatInfo) << label;
    }
    const std::pair<const char *, unsigned> levels[] = {
        {nullptr, 0x01}, {"12", 0x19}, {"none all", 255}, {"all none", 255}, {"none", 0}, {"none 2", 0},
        {"FUNC", 0x03},  {"0", 0x05},  {"2", 0x11},       {"xyz", 0x01},      {"", 0x01},
    };
    for (const auto &level : levels)
        EXPECT_EQ(initWith({{"NVT_TRACELEVEL", level.first}}).traceLevel, level.second) << level.first;
    const std::pair<const char *, unsigned> infos[] = {
        {nullptr, 0x06A},     {"TIME THREAD", 0x180}, {"", 0},            {"MODULE", 0x001}, {"SUBMODULE", 0x003},
        {"FUNC,FILE", 0x018}, {"LINE LEVEL", 0x060},  {"TIME all", 0x1FF}, {"none", 0},
    };
    for (const auto &info : infos)
        EXPECT_EQ(initWith({{"NVT_TRACEINFO", info.first}}).traceInfo, info.second) << info.first;
    EXPECT_TRUE(initWith({}).stopTimeMs == -1 && initWith({{"NVT_STARTTIME", "-2"}}).startTimeMs == -2000);
    EXPECT_TRUE(initWith({{"NVT_STOPTIME", "7"}}).stopTimeMs == 7000 && initWith({{"NVT_STOPTIME", "never"}}).stopTimeMs == 0);
}

// The log file named by the variable dbg_Init is given (else NVT_LOGFILE) is opened for appending
// and handed to the platform table; one that cannot be opened leaves stdout, which the table hears
// of too. The table's own environment comes before the process's, and only the first call configures.
FILE *receivedStream = nullptr;

TEST(DbgInit, LogFileThePlatformTableAndTheFirstCall)
{
    const std::string path = ::testing::TempDir() + "nvttrace_test.log";
    { std::ofstream(path) << "old\n"; }
    dbg_callback_fn_t table = {};
    table.setTraceStream = [](FILE *stream) { receivedStream = stream; };
    const DbgState s = initWith({{"DBG_TEST_LOG", path.c_str()}, {"NVT_LOGFILE", "/nonexistent-dir/ignored.log"}}, "DBG_TEST_LOG", &table);
    ASSERT_TRUE(s.logToFile && receivedStream == s.logStream);
    setenv("NVT_TRACELEVEL", "all", 1);
    EXPECT_EQ(dbg_Init(nullptr, 4, 5, 6), 0); // stores the numbers and counts, nothing else
    EXPECT_TRUE(dbg_GetState().initCount == 2 && dbg_GetState().args[2] == 6 && dbg_GetState().traceLevel == 0x01u);
    std::fputs("new\n", s.logStream);
    std::fclose(s.logStream);
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    EXPECT_EQ(content.str(), "old\nnew\n");
    std::remove(path.c_str());

    table.getEnvironment = [](const char *name) -> char * {
        static char level[] = "2", log[] = "/nonexistent-dir/ignored.log";
        return std::string(name) == "NVT_TRACELEVEL" ? level : std::string(name) == "NVT_LOGFILE" ? log : nullptr;
    };
    const DbgState fromTable = initWith({{"NVT_TRACELEVEL", "all"}}, nullptr, &table);
    EXPECT_TRUE(!fromTable.logToFile && receivedStream == stdout && fromTable.traceLevel == 0x11u);
    // A channel asks again until dbg_Init has run, then keeps its answer.
    TraceChannel channel{"Mesaro_RTCMV", "RTCMVDecoder"};
    dbg_ResetForTesting();
    EXPECT_EQ(dbg_ResolveChannel(channel), -1);
    initWith({{"NVT_MODULES", "none"}});
    EXPECT_EQ(dbg_ResolveChannel(channel), 0);
    initWith({});
    EXPECT_EQ(dbg_ResolveChannel(channel), 0);
}

} // namespace
