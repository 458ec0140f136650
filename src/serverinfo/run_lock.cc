#include "serverinfo/run_lock.h"

#include "serverinfo/passing_locks.h"

namespace {

bool IsHeldByAnotherRun(std::uint32_t error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation ||
         error == kErrorFileExists;
}

}  // namespace

bool TakeRunLock(RunState& state, const std::string& path) {
  Platform& platform = state.platform;
  const std::string lock = path + kLockSuffix;
  const bool taken = WaitOut(
      platform,
      [&] {
        platform.RemoveFile(lock);  // left by a run that the power cut: not held
        state.RunLock = platform.LockRun(lock);
        return state.RunLock != kNoFile;
      },
      IsHeldByAnotherRun);
  return taken || !IsHeldByAnotherRun(platform.LastError());
}
