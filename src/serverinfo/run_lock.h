#pragma once

#include "serverinfo/run_state.h"

// One run at a time per host folder: two at once would share the temporary
// names, and the second could back up the first one's result in place of
// the original. Takes the lock of the folder that holds
// state.ServerInfoPath into state.RunLock, waiting a few seconds for
// another run to end. False only when another run still holds it; a folder
// that cannot be locked at all is left to fail where it is written.
bool TakeRunLock(RunState& state);
