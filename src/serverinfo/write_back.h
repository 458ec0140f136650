#pragma once

#include <string>

#include "serverinfo/run_state.h"

// Backup copy beside the file: the file's path followed by this.
inline constexpr char kBackupSuffix[] = "_QlBack";

// Stage 4: clear read-only if the user agrees, keep a backup (or go on
// without one if the user agrees), then write the lines back. Yes when the
// file has been written; every other way out has shown a box or followed the
// user's No.
bool WriteBackServerInfo(RunState& state);
