// Load-time start-up of the RTCMV decoder library: hands the trace library its callback table and configures it from
// the environment before any other code of the library runs.
#include <nvtguibase/dbg_callbacks.h>
#include <nvttrace/dbg.h>

namespace {

// A constructor function of priority 101 (the first one open to applications) runs during the loader's initialisation
// of this library ahead of all of its C++ static initialisers, whatever the order of the object files, so a static
// object that resolves a trace channel while it is built already finds the trace library configured. An
// init_priority'd static object would do the same, at the cost of a type and a destructor that have nothing to do.
__attribute__((constructor(101))) void startRtcmvModule()
{
    dbg_SetCallbacks(getCallBackFunctions());
    // Nobody sets this variable, so ordinarily no log file is opened and trace output stays on standard output.
    dbg_Init("TRAVIX_NO_FILE_LOGGING_IMPLEMENTED", 0, 0, 3072);
    // RTCMVDecoder's meta-object points at AbstractDecoder::staticMetaObject in mesaroframework; on this platform the
    // dynamic linker resolves that link when it relocates the library, so there is nothing left to fill in here.
}

} // namespace
