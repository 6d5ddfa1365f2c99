// The trace library's configuration from the environment, its channel filter and its log file.
#include <nvttrace/dbg.h>
#include <nvttrace/dbg_testing.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

// The channel filter ("all" only counts as the whole list), one level and one info word: a filter
// that lets nothing or everything through would go unnoticed otherwise.
TEST(DbgInit, ChannelFilterLevelAndInfo)
{
    const std::tuple<const char *, const char *, int, int> filters[] = {
        {nullptr, nullptr, 1, 1},      {"none", nullptr, 0, 0},           {"all", "RTCMVDecoder", 1, 0},
        {nullptr, "RTCMV", 1, 1},      {nullptr, "RTCMVDecoder,all", 1, 0}, {"Other_Module", nullptr, 0, 0},
    };
    for (const auto &[modules, submodules, decoder, formatInfo] : filters) {
        initWith({{"NVT_MODULES", modules}, {"NVT_SUBMODULES", submodules}});
        const std::string label = std::string(modules ? modules : "-") + " / " + (submodules ? submodules : "-");
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), decoder) << label;
        EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMV_FormatInfo"), formatInfo) << label;
    }
    EXPECT_EQ(initWith({{"NVT_TRACELEVEL", "12"}}).traceLevel, 0x19u);
    EXPECT_EQ(initWith({{"NVT_TRACEINFO", "FUNC,FILE"}}).traceInfo, 0x018u);
}

} // namespace
