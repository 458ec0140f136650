#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

// Waiting out another program's passing hold on a file: the retry policy
// every call that may meet one goes through.

// Virus scanners, search indexers and sync clients open a fresh file for a
// moment. A call made then fails with one of these errors (access denied,
// sharing or lock violation) and works a little later.
bool IsPassingError(std::uint32_t error);

// Runs `attempt` until it succeeds, fails with an error `passing` does not
// accept, or about 3 s of waits (growing from 10 ms to 250 ms) are spent.
bool WaitOut(Platform& platform, const std::function<bool()>& attempt,
             bool (*passing)(std::uint32_t) = IsPassingError);

// Opens the file at `path` for reading, passing locks waited out; kNoFile
// when it cannot be opened.
FileHandle OpenToRead(Platform& platform, const std::string& path);
