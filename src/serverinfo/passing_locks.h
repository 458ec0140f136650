#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

// Virus scanners, search indexers and sync clients open a fresh file for a
// moment. A call made then fails with one of these errors (access denied,
// sharing or lock violation) and works a little later.
bool IsPassingError(std::uint32_t error);

// Runs `attempt` until it succeeds, fails with an error `passing` does not
// accept, or about 3 s of waits (growing from 10 ms to 250 ms) are spent.
bool WaitOut(Platform& platform, const std::function<bool()>& attempt,
             bool (*passing)(std::uint32_t) = IsPassingError);

// Makes a file at one of the tool's own names with `create` (a new file
// only): an entry already there, left by a run that died or planted, is
// removed first, never written through. Passing locks are waited out.
bool CreateAnew(Platform& platform, const std::string& path, const std::function<bool()>& create);

// Opens the file at `path` for reading, passing locks waited out; kNoFile
// when it cannot be opened.
FileHandle OpenToRead(Platform& platform, const std::string& path);

// Removes the entry at one of the tool's own names, if there is one: a stale
// one before the name is used again (a link is removed, never followed), or
// this run's own after a failure.
void RemoveOwn(Platform& platform, const std::string& path);
