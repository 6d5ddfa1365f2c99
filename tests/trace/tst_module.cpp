// The decoder library's load-time start-up of the trace library. Run plain, or with
// TRAVIX_NO_FILE_LOGGING_IMPLEMENTED and MESARO_EXPECT_LOG_FILE both naming the log file that start-up must open.
#include <nvtguibase/dbg_callbacks.h>
#include <nvttrace/dbg.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

TEST(ModuleStartUp, TraceLibraryInitialisedAtLoad)
{
    const DbgState s = dbg_GetState();
    EXPECT_TRUE(s.initialised && s.initCount == 1 && s.args[0] == 0 && s.args[1] == 0 && s.args[2] == 3072);
    EXPECT_EQ(s.callbacks, getCallBackFunctions());
    EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), 1);
    EXPECT_EQ(nvtguibaseTraceStream(), s.logStream);
    const char *expectedLog = std::getenv("MESARO_EXPECT_LOG_FILE");
    EXPECT_EQ(s.logToFile, expectedLog != nullptr);
    if (expectedLog == nullptr) {
        EXPECT_EQ(s.logStream, stdout);
        return;
    }
    // The stream handed to the table is the very file the variable names.
    struct stat onDisk = {};
    struct stat opened = {};
    ASSERT_EQ(stat(expectedLog, &onDisk), 0) << expectedLog;
    ASSERT_EQ(fstat(fileno(s.logStream), &opened), 0);
    EXPECT_TRUE(onDisk.st_ino == opened.st_ino && onDisk.st_dev == opened.st_dev);
}
