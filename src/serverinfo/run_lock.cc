#include "serverinfo/run_lock.h"

#include "serverinfo/passing_locks.h"

namespace {

bool IsHeldByAnotherRun(std::uint32_t error) { return error == kErrorLockViolation; }

}  // namespace

bool TakeRunLock(RunState& state) {
  Platform& platform = state.platform;
  const bool taken = WaitOut(
      platform,
      [&] {
        state.RunLock = platform.LockRun(state.ServerInfoPath);
        return state.RunLock != kNoFile;
      },
      IsHeldByAnotherRun);
  return taken || !IsHeldByAnotherRun(platform.LastError());
}
