#pragma once

#include <string>

#include "serverinfo/run_state.h"

// Everything the write-back writes: the guarded stage that clears
// read-only if the user agrees, keeps the backup and puts the new lines in
// the file's place.

// Stage 4: clear read-only if the user agrees, keep a backup (or go on
// without one if the user agrees), then write the lines back to
// state.ServerInfoPath. Yes when the file has been written; every other way
// out has shown a box or followed the user's No.
bool WriteBackServerInfo(RunState& state);

// Replaces the file's content in one step: the new bytes go to a temporary
// file of its own beside it, which then takes the file's place, but only
// while the file still holds what `lines` was read from. On failure, or when
// another program changed the file since, the file keeps what it holds, the
// temporary file is removed, and EFCreateError or EWriteError is raised.
void WriteLines(Platform& platform, const std::string& path, const LineList& lines);
