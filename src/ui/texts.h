#pragma once

#include <cstdint>
#include <string>

// Every text the tool shows the user, as code page 932 bytes, in the order
// a run may come to them; each is made of fixed fragments and its variable
// part. The one place to hold against the user's guide's list of boxes.

// Finding and reading the file.
std::string NotFoundText();
std::string ReadFailedText(const std::string& path);
// The message of EFOpenError: the file is there but cannot be opened.
std::string CannotOpenText(const std::string& path);

// The colour rule finds nothing to do.
std::string NoBlackText();
std::string NoBlackBoardText();

// The write-back.
std::string ReadOnlyQuestion(const std::string& path);
std::string AttributesFailedText();
enum class BackupVerb { kCreate, kUpdate };
std::string BackupQuestion(const std::string& path, BackupVerb verb);
// The messages of EFCreateError and EWriteError, which end in the notice below.
std::string CannotCreateText(const std::string& path);
std::string StreamWriteErrorText();
std::string WriteFailedText(const std::string& path);

// The closing count.
std::string FixedText(std::int32_t count);

// The last-resort report of a failure no stage expects: its caption, its
// text (kind, executable's file name, 8-digit code, message), and the
// message of exhausted memory.
std::string ErrorCaption();
std::string LastResortText(const std::string& kind, const std::string& module,
                           const std::string& code, const std::string& message);
std::string OutOfMemoryText();
