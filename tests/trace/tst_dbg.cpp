// Tests of the trace library's configuration from the environment and of its channel filter.
#include <nvttrace/dbg.h>
#include <nvttrace/dbg_testing.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *const traceVariables[] = {"NVT_MODULES",    "NVT_SUBMODULES", "NVT_STARTTIME", "NVT_STOPTIME",
                                      "NVT_TRACELEVEL", "NVT_TRACEINFO",  "NVT_LOGFILE",   "DBG_TEST_LOG"};

// What the fake platform table saw, in order: "env:<name>" per lookup and "stream" per call of member 9.
std::vector<std::string> calls;
std::map<std::string, std::string> fakeEnvironment;
FILE *receivedStream = nullptr;

char *fakeGetEnvironment(const char *name)
{
    calls.push_back(std::string("env:") + name);
    auto it = fakeEnvironment.find(name);
    return it == fakeEnvironment.end() ? nullptr : &it->second[0];
}

void fakeSetTraceStream(FILE *stream)
{
    calls.push_back("stream");
    receivedStream = stream;
}

dbg_callback_fn_t fakeTable()
{
    dbg_callback_fn_t table = {};
    table.setTraceStream = fakeSetTraceStream;
    table.getEnvironment = fakeGetEnvironment;
    return table;
}

class DbgInit : public ::testing::Test
{
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    static void clear()
    {
        for (const char *name : traceVariables)
            unsetenv(name);
        dbg_ResetForTesting();
        calls.clear();
        fakeEnvironment.clear();
        receivedStream = nullptr;
    }

    // Runs dbg_Init with one variable set and returns the resulting state.
    static DbgState initWith(const char *name, const char *value)
    {
        dbg_ResetForTesting();
        setenv(name, value, 1);
        EXPECT_EQ(dbg_Init(nullptr, 0, 0, 0), 0);
        unsetenv(name);
        return dbg_GetState();
    }
};

TEST_F(DbgInit, DefaultsAndOnceOnly)
{
    TraceChannel channel{"Mesaro_RTCMV", "RTCMV_FormatInfo"};
    EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), -1);
    EXPECT_EQ(dbg_ResolveChannel(channel), -1);
    EXPECT_FALSE(dbg_GetState().initialised);

    EXPECT_EQ(dbg_Init(nullptr, 1, 2, 3), 0);
    DbgState s = dbg_GetState();
    EXPECT_TRUE(s.initialised);
    EXPECT_EQ(s.initCount, 1);
    EXPECT_EQ(s.args[0], 1);
    EXPECT_EQ(s.args[1], 2);
    EXPECT_EQ(s.args[2], 3);
    EXPECT_EQ(s.moduleList, nullptr);
    EXPECT_EQ(s.submoduleList, nullptr);
    EXPECT_EQ(s.startTimeMs, 0);
    EXPECT_EQ(s.stopTimeMs, -1);
    EXPECT_EQ(s.logStream, stdout);
    EXPECT_FALSE(s.logToFile);
    EXPECT_EQ(s.traceLevel, 0x01u);
    EXPECT_EQ(s.traceInfo, 0x6Au);
    EXPECT_EQ(dbg_ResolveChannel(channel), 1);
    EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMV_DGNSS_Message"), 1);

    // Later calls store the numbers and count, nothing else; a resolved channel keeps its state.
    setenv("NVT_TRACELEVEL", "all", 1);
    setenv("NVT_MODULES", "none", 1);
    EXPECT_EQ(dbg_Init("DBG_TEST_LOG", 4, 5, 6), 0);
    s = dbg_GetState();
    EXPECT_EQ(s.initCount, 2);
    EXPECT_EQ(s.args[0], 4);
    EXPECT_EQ(s.args[2], 6);
    EXPECT_EQ(s.traceLevel, 0x01u);
    EXPECT_EQ(s.moduleList, nullptr);
    EXPECT_EQ(dbg_ResolveChannel(channel), 1);
}

TEST_F(DbgInit, ChannelFilters)
{
    struct Case
    {
        const char *modules;
        const char *submodules;
        int decoder;    // "RTCMVDecoder"
        int formatInfo; // "RTCMV_FormatInfo"
    } const cases[] = {
        {"none", nullptr, 0, 0},
        {"all", nullptr, 1, 1},
        {"all", "RTCMVDecoder", 1, 0},
        {nullptr, "RTCMVDecoder", 1, 0},
        {nullptr, "RTCMV", 1, 1},
        {nullptr, "RTCMV_FormatInfo RTCMVDecoder", 1, 1},
        {nullptr, "", 0, 0},
        {nullptr, "none", 0, 0},
        {nullptr, "all", 1, 1},
        {nullptr, "RTCMVDecoder,all", 1, 0}, // "all" only counts as the whole list
        {nullptr, "nonesuch", 0, 0},
        {"Mesaro_RTCMV", nullptr, 1, 1},
        {"Other_Module", nullptr, 0, 0},
        {"none", "all", 0, 0},
    };
    for (const Case &c : cases) {
        dbg_ResetForTesting();
        if (c.modules)
            setenv("NVT_MODULES", c.modules, 1);
        if (c.submodules)
            setenv("NVT_SUBMODULES", c.submodules, 1);
        dbg_Init(nullptr, 0, 0, 0);
        const std::string label = std::string(c.modules ? c.modules : "-") + " / " + (c.submodules ? c.submodules : "-");
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), c.decoder) << label;
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMV_FormatInfo"), c.formatInfo) << label;
        unsetenv("NVT_MODULES");
        unsetenv("NVT_SUBMODULES");
    }
}

TEST_F(DbgInit, LevelInfoAndTimes)
{
    const std::pair<const char *, unsigned> levels[] = {
        {"12", 0x19}, {"none all", 255}, {"all none", 255}, {"none", 0},  {"none 2", 0},
        {"FUNC", 0x03}, {"0", 0x05},     {"2", 0x11},       {"xyz", 0x01}, {"", 0x01},
    };
    for (const auto &level : levels)
        EXPECT_EQ(initWith("NVT_TRACELEVEL", level.first).traceLevel, level.second) << level.first;

    const std::pair<const char *, unsigned> infos[] = {
        {"TIME THREAD", 0x180}, {"", 0},          {"MODULE", 0x001},          {"SUBMODULE", 0x003},
        {"FUNC,FILE", 0x018},   {"LINE LEVEL", 0x060}, {"TIME all", 0x1FF}, {"none", 0},
    };
    for (const auto &info : infos)
        EXPECT_EQ(initWith("NVT_TRACEINFO", info.first).traceInfo, info.second) << info.first;

    EXPECT_EQ(initWith("NVT_STARTTIME", "5").startTimeMs, 5000);
    EXPECT_EQ(initWith("NVT_STARTTIME", "-2").startTimeMs, -2000);
    EXPECT_EQ(initWith("NVT_STARTTIME", "soon").startTimeMs, 0);
    EXPECT_EQ(initWith("NVT_STARTTIME", "").startTimeMs, 0);
    EXPECT_EQ(initWith("NVT_STOPTIME", "7").stopTimeMs, 7000);
    EXPECT_EQ(initWith("NVT_STOPTIME", "never").stopTimeMs, 0);
    EXPECT_EQ(initWith("NVT_STARTTIME", "5").stopTimeMs, -1);
}

TEST_F(DbgInit, LogFile)
{
    const std::string path = ::testing::TempDir() + "nvttrace_test.log";
    std::remove(path.c_str());
    { std::ofstream(path) << "old\n"; }

    dbg_callback_fn_t table = fakeTable();
    table.getEnvironment = nullptr; // lookups fall back to getenv
    dbg_SetCallbacks(&table);
    setenv("DBG_TEST_LOG", path.c_str(), 1);
    setenv("NVT_LOGFILE", "/nonexistent-dir/ignored.log", 1);
    dbg_Init("DBG_TEST_LOG", 0, 0, 0);
    DbgState s = dbg_GetState();
    ASSERT_TRUE(s.logToFile);
    EXPECT_NE(s.logStream, stdout);
    EXPECT_EQ(receivedStream, s.logStream);
    std::fputs("new\n", s.logStream); // appended, the old content stays
    std::fclose(s.logStream);
    std::stringstream content;
    content << std::ifstream(path).rdbuf();
    EXPECT_EQ(content.str(), "old\nnew\n");

    // A null name selects NVT_LOGFILE; one that cannot be opened leaves stdout, and member 9 still hears of it.
    dbg_ResetForTesting();
    dbg_SetCallbacks(&table);
    dbg_Init(nullptr, 0, 0, 0);
    s = dbg_GetState();
    EXPECT_FALSE(s.logToFile);
    EXPECT_EQ(s.logStream, stdout);
    EXPECT_EQ(receivedStream, stdout);

    dbg_ResetForTesting();
    setenv("NVT_LOGFILE", path.c_str(), 1);
    dbg_Init(nullptr, 0, 0, 0); // no table at all: getenv, and nobody to tell
    s = dbg_GetState();
    EXPECT_TRUE(s.logToFile);
    std::fclose(s.logStream);
    std::remove(path.c_str());
}

TEST_F(DbgInit, LookupsGoThroughMember11InOrder)
{
    dbg_callback_fn_t table = fakeTable();
    dbg_SetCallbacks(&table);
    setenv("NVT_TRACELEVEL", "all", 1); // ignored: the table answers
    fakeEnvironment["NVT_TRACELEVEL"] = "2";
    fakeEnvironment["NVT_MODULES"] = "Mesaro_RTCMV";
    fakeEnvironment["NVT_STOPTIME"] = "3";
    dbg_Init("DBG_TEST_LOG", 0, 0, 0);

    const std::vector<std::string> expected = {"env:NVT_SUBMODULES", "env:NVT_MODULES", "env:NVT_STARTTIME",
                                               "env:NVT_STOPTIME",   "env:DBG_TEST_LOG", "stream",
                                               "env:NVT_TRACELEVEL", "env:NVT_TRACEINFO"};
    EXPECT_EQ(calls, expected);
    const DbgState s = dbg_GetState();
    EXPECT_EQ(s.callbacks, &table);
    EXPECT_EQ(s.moduleList, fakeEnvironment["NVT_MODULES"].c_str()); // kept, not copied
    EXPECT_EQ(s.traceLevel, 0x11u);
    EXPECT_EQ(s.stopTimeMs, 3000);
    EXPECT_EQ(receivedStream, stdout);

    // Without member 9 nothing is called; the rest works as before.
    dbg_ResetForTesting();
    calls.clear();
    table.setTraceStream = nullptr;
    dbg_SetCallbacks(&table);
    dbg_Init(nullptr, 0, 0, 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "stream"), 0);
    EXPECT_EQ(calls.size(), 7u);
}

TEST(DbgErrorText, Table)
{
    EXPECT_STREQ(dbg_ErrorText(0), " success.");
    EXPECT_STREQ(dbg_ErrorText(1), " unknown type.");
    EXPECT_STREQ(dbg_ErrorText(2), " could not open file.");
    EXPECT_STREQ(dbg_ErrorText(3), " illegal nullpointer passed as argument.");
    EXPECT_STREQ(dbg_ErrorText(4), " functionality not yet implemented.");
    EXPECT_STREQ(dbg_ErrorText(5), " Mutex init failed.");
    EXPECT_STREQ(dbg_ErrorText(6), " could not close file.");
    EXPECT_STREQ(dbg_ErrorText(7), "Unknown Error");
    EXPECT_STREQ(dbg_ErrorText(-1), "Unknown Error");
}

} // namespace
