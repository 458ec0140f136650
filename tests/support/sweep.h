#pragma once

#include <span>
#include <string>
#include <vector>

#include "support/expected_texts.h"
#include "support/test_platform.h"

// The harness of the sweeps: whole runs on one board, in four scenarios,
// each made to meet trouble at one call after another; what every run must
// leave on disk, whatever it met.

inline constexpr int kYes = 6;
inline constexpr int kNo = 7;

// Mixed line ends, a cp932 comment, "clBlack" where it must stay (third
// field, after a lead byte, at the start of a line), one board line to
// rewrite, and bytes after a NUL.
inline const std::string kTail("\0after nul\r\nclBlack", 19);
inline const std::string kOld =
    "; \x83\x54\x81\x5b\x83\x6f\r\n"
    "1\tn\tclBlack\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\n"
    "2\tn\th\t/b/\t0\t0\t0\t\x82"
    "clBlack\tclWindow\t0\r"
    "3\t\x94\xc2\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n"
    "clBlack\tn\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\n" +
    kTail;
inline const std::string kNew =
    "; \x83\x54\x81\x5b\x83\x6f\r\n"
    "1\tn\tclBlack\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n"
    "2\tn\th\t/b/\t0\t0\t0\t\x82"
    "clBlack\tclWindow\t0\r\n"
    "3\t\x94\xc2\th\t/b/\t0\t0\t0\tclWindowText\tclWindow\t0\r\n"
    "clBlack\tn\th\t/b/\t0\t0\t0\tclBlack\tclWindow\t0\r\n" +
    kTail;
inline const std::string kPreviousBackup = "a backup from an earlier run\r\n";

struct Scenario {
  const char* name;
  bool backupBefore;    // an earlier run left a backup
  bool boardReadOnly;   // and the user agrees to clear it
  bool backupReadOnly;  // so no backup can be made, and the user goes on
};

extern const Scenario kScenarios[4];

// The real platform under test, answering the questions of the scenario Yes
// and any other question No.
class SweepPlatform : public TestPlatform {
 public:
  explicit SweepPlatform(const Scenario& scenario);

  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override;

  // Ready for another run in the same folder.
  void Reset();

 private:
  const Scenario& scenario_;
};

// What a run must leave behind, whatever went wrong in it.
class DiskCheck {
 public:
  DiskCheck(const Scenario& scenario, const SweepPlatform& platform, std::string what)
      : scenario_(scenario), platform_(platform), what_(std::move(what)) {}

  // The user's data: false (and a test failure) when any of it is lost.
  bool Intact(bool temporaryAllowed) const;

 private:
  const Scenario& scenario_;
  const SweepPlatform& platform_;
  std::string what_;
};

// The calls and boxes of a run that meets no trouble.
struct CleanRun {
  std::vector<std::string> calls;
  std::vector<RecordedBox> boxes;
};
CleanRun RunCleanly(const Scenario& scenario);

// 1-based index of the n-th call of that name in the clean run; 0 if none.
long IndexOf(const CleanRun& clean, const std::string& name, long nth);

// Runs swept and runs that lost the user's data.
struct Tally {
  long points = 0;
  long lost = 0;
  long window = 0;
};

std::string Named(const Scenario& scenario, const char* how, long k, const std::string& call);
