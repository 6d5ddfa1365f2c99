// SIGINT and SIGTERM end a run cleanly: the commands check stopRequested() between reads.
#pragma once

// Installs the handlers. They do not restart an interrupted read, so a wait ends at once.
void catchStopSignals();
bool stopRequested();
