#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "serverinfo/run_state.h"

// Where the host's server information file lies, and how it is found and
// read into lines: the first stage of a run.

// Folder of the running executable, without a trailing backslash except at a
// drive root. None when the executable's path cannot be had whole.
std::optional<std::string> ExecutableDirectory(Platform& platform);

// Byte index just past the folder part of a module path ('\' or ':' not in
// trail position), or 0 when there is none. Shared by the folder and the
// executable's file name.
std::size_t FolderEnd(const std::string& path);

// ExecutableDirectory + "\config\board.2ch"; none when the folder is unknown.
std::optional<std::string> ServerInfoPath(Platform& platform);

// An entry that exists and is not a directory.
bool IsExistingFile(Platform& platform, const std::string& path);

// Reads the whole file into `lines`. Raises EFOpenError when the file cannot
// be opened; a read that falls short of the file's size gives no lines.
void ReadLines(Platform& platform, const std::string& path, LineList& lines);

// Stage 1: build state.ServerInfoPath, lock the run, clear what an earlier
// run left, and read the file into state.ServerInfoLines.
bool LoadServerInfo(RunState& state);
