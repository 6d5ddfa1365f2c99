// Test-only entry point of the trace library: back to the state before dbg_SetCallbacks and dbg_Init.
#pragma once

// Forgets the configuration, the callback table and the count so that dbg_Init can run again with another environment.
// A log file opened by dbg_Init is left open (its stream may have been handed out); close it first if it matters.
// Not exported from libraries that link the trace library.
void dbg_ResetForTesting();
