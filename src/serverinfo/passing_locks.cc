#include "serverinfo/passing_locks.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kFirstWait = 10;
constexpr std::uint32_t kLongestWait = 250;
constexpr std::uint32_t kWaitBudget = 3000;

}  // namespace

bool IsPassingError(std::uint32_t error) {
  return error == kErrorAccessDenied || error == kErrorSharingViolation ||
         error == kErrorLockViolation;
}

bool WaitOut(Platform& platform, const std::function<bool()>& attempt,
             bool (*passing)(std::uint32_t)) {
  std::uint32_t waited = 0;
  std::uint32_t wait = kFirstWait;
  while (!attempt()) {
    if (waited >= kWaitBudget || !passing(platform.LastError())) return false;
    wait = std::min(wait, kWaitBudget - waited);
    platform.Sleep(wait);
    waited += wait;
    wait = std::min(wait * 2, kLongestWait);
  }
  return true;
}

FileHandle OpenToRead(Platform& platform, const std::string& path) {
  FileHandle file = kNoFile;
  WaitOut(platform, [&] {
    file = platform.OpenForRead(path);
    return file != kNoFile;
  });
  return file;
}
