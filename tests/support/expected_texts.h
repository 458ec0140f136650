#pragma once

#include <string>

// The texts the tool must show, spelled once for every suite: written here
// in UTF-8 and turned into cp932 (Sjis), independently of the tool's own
// byte literals.
namespace expected {

// The board as the test platform names it.
inline const std::string kPath = "Z:\\host\\config\\board.2ch";

std::string NotFound();
std::string ReadFailed(const std::string& path = kPath);
std::string NoChange();
std::string ReadOnlyQuestion(const std::string& path = kPath);
std::string AttributesFailed();
// verb: "更新" or "作成".
std::string BackupQuestion(const std::string& verb, const std::string& path = kPath);
std::string WriteFailed(const std::string& path = kPath);
std::string Closing(int count = 1);
// The last-resort reports: only their start is fixed.
std::string OpenErrorReport();
std::string OutOfMemoryReport();

}  // namespace expected
