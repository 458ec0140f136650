#pragma once

#include <optional>
#include <string>

#include "serverinfo/run_state.h"

// "サーバ情報ファイル": how the messages name the file.
extern const char kServerInfoFileWords[];

// The notice of a write that failed: "サーバ情報ファイル<path>への書き込みに失敗しました。"
std::string WriteFailedText(const std::string& path);

// Where the host's server information file lies, and how its bytes become
// lines and back.

// Folder of the running executable, without a trailing backslash except at a
// drive root. Empty when the executable's path cannot be had whole.
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

// Replaces the file's content in one step: the new bytes go to a temporary
// file of its own beside it, which then takes the file's place, but only
// while the file still holds what `lines` was read from. On failure, or when
// another program changed the file since, the file keeps what it holds, the
// temporary file is removed, and EFCreateError or EWriteError is raised.
void WriteLines(Platform& platform, const std::string& path, const LineList& lines);

// Name of the temporary file WriteLines uses for `path`.
std::string TemporaryPathFor(const std::string& path);

// Stage 1: find and read the file into state.ServerInfoLines.
bool LoadServerInfo(RunState& state);
