#include "serverinfo/run_state.h"

#include "ui/boxes.h"

void FinalNotice(RunState& state, const std::string& text, char iconLetter) {
  state.ReleaseRunLock();
  NoticeBox(state.platform, text, iconLetter);
}
