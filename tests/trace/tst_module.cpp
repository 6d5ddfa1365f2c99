// Checks the decoder library's load-time start-up of the trace library. Run plain, or with
// TRAVIX_NO_FILE_LOGGING_IMPLEMENTED and MESARO_EXPECT_LOG_FILE both naming the log file that start-up must open.
#include <nvtguibase/dbg_callbacks.h>
#include <nvttrace/dbg.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

namespace {

TEST(ModuleStartUp, TraceLibraryInitialisedAtLoad)
{
    const DbgState s = dbg_GetState();
    EXPECT_TRUE(s.initialised);
    EXPECT_EQ(s.initCount, 1);
    EXPECT_EQ(s.args[0], 0);
    EXPECT_EQ(s.args[1], 0);
    EXPECT_EQ(s.args[2], 3072);
    EXPECT_EQ(s.callbacks, getCallBackFunctions());
    EXPECT_EQ(dbg_ChannelState("Mesaro_RTCMV", "RTCMVDecoder"), 1);

    const char *expectedLog = std::getenv("MESARO_EXPECT_LOG_FILE");
    if (!expectedLog) {
        EXPECT_FALSE(s.logToFile);
        EXPECT_EQ(s.logStream, stdout);
        EXPECT_EQ(nvtguibaseTraceStream(), stdout);
        return;
    }
    // The stream handed to the table is the very file the variable names, opened for appending.
    EXPECT_TRUE(s.logToFile);
    ASSERT_NE(s.logStream, stdout);
    EXPECT_EQ(nvtguibaseTraceStream(), s.logStream);
    struct stat onDisk = {};
    struct stat opened = {};
    ASSERT_EQ(stat(expectedLog, &onDisk), 0) << expectedLog;
    ASSERT_EQ(fstat(fileno(s.logStream), &opened), 0);
    EXPECT_EQ(onDisk.st_ino, opened.st_ino);
    EXPECT_EQ(onDisk.st_dev, opened.st_dev);
}

} // namespace
