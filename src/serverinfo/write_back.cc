#include "serverinfo/write_back.h"

#include <span>

#include "serverinfo/failure.h"
#include "serverinfo/own_file.h"
#include "serverinfo/passing_locks.h"
#include "serverinfo/server_info_file.h"
#include "ui/boxes.h"
#include "ui/texts.h"

namespace {

// Size of the buffer the lines are written through: one huge page, where
// the system gives them.
constexpr std::size_t kWriteBuffer = std::size_t{2} << 20;

bool Ask(RunState& state, const std::string& text, char defaultLetter) {
  return YesNoBox(state.platform, text, '?', "yn", defaultLetter) == kIdYes;
}

// The backup is what this run read, byte for byte, written under a name of
// its own and put in the backup's place in one step: an earlier backup
// survives a copy that fails or is cut short, a link at the backup's name
// is replaced, never written through, and the backup never holds a state
// of the file this run did not read. It takes the file's security, but not
// hidden or system: it is there for the user to find. Raises when the file
// changed since the run read it, so that nothing is replaced at all.
bool MakeBackup(Platform& platform, const std::string& path, const std::string& backupPath,
                const LineList& lines) {
  // A read-only backup stays as the user left it; a folder is no backup.
  const std::uint32_t existing = platform.GetAttributes(backupPath);
  if (existing != kInvalidAttributes && (existing & (kAttrReadOnly | kAttrDirectory))) {
    return false;
  }
  OwnFile copy(platform, TemporaryPathFor(backupPath), path, Takes::kAccess);
  // A copy that cannot be protected as the file is would give its content
  // away: no backup, and no file written either.
  if (!copy.created() && platform.LastError() == kErrorProtectionNotKept) {
    Raise(kEFCreateError, CannotCreateText(copy.path()));
  }
  if (!copy.created()) return false;
  try {
    copy.Write(lines.bytes());
    copy.Flush();
  } catch (const Failure&) {
    return false;  // a full disk, say: the question follows
  }
  const OwnFile::Put put = copy.PutInPlaceOf(backupPath, path, lines.bytes());
  if (put == OwnFile::Put::kChanged) Raise(kEFCreateError, "");
  return put == OwnFile::Put::kDone;
}

// Where the new lines must land, or EFCreateError before anything is
// changed: a file of other names, or a link with an unnamed target, would
// be parted from what the user has; one of our names is no user's file.
std::string ReplaceTargetOf(Platform& platform, const std::string& path) {
  std::string target;
  if (!platform.ReplaceTarget(path, &target) || IsOwnName(target)) {
    Raise(kEFCreateError, CannotCreateText(path));
  }
  return target;
}

bool GuardedSteps(RunState& state) {
  Platform& platform = state.platform;
  const std::string& path = state.ServerInfoPath;
  // Asked first, so a refusal comes before the read-only question changes
  // anything; WriteLines asks again for the place it writes.
  ReplaceTargetOf(platform, path);

  // A failed query gives every bit, so it counts as read-only too.
  if (platform.GetAttributes(path) & kAttrReadOnly) {
    if (!Ask(state, ReadOnlyQuestion(path), 'y')) return false;
    if (!platform.SetAttributes(path, kAttrNormal)) {
      FinalNotice(state, AttributesFailedText(), 'e');
      return false;
    }
  }
  // A replace needs only the folder's permission: a file the user may not
  // write is not written, as a save in place would not be.
  if (!WaitOut(platform, [&] { return platform.ProbeWrite(path); })) {
    Raise(kEFCreateError, CannotCreateText(path));
  }

  const std::string backupPath = path + kBackupSuffix;
  const BackupVerb verb =
      IsExistingFile(platform, backupPath) ? BackupVerb::kUpdate : BackupVerb::kCreate;
  if (!MakeBackup(platform, path, backupPath, state.ServerInfoLines)) {
    if (!Ask(state, BackupQuestion(path, verb), 'n')) return false;
  }

  WriteLines(platform, path, state.ServerInfoLines);
  return true;
}

}  // namespace

bool WriteBackServerInfo(RunState& state) {
  try {
    return GuardedSteps(state);
  } catch (...) {
    // Whatever went wrong, the user hears of it here and the run ends.
    FinalNotice(state, WriteFailedText(state.ServerInfoPath), 'e');
    return false;
  }
}

void WriteLines(Platform& platform, const std::string& path, const LineList& lines) {
  // The lines go out through one buffer, taken before the file exists: the
  // new content is never held twice, and running out of memory leaves
  // nothing behind.
  PageBlock buffer(platform, kWriteBuffer);
  const std::string target = ReplaceTargetOf(platform, path);
  OwnFile file(platform, TemporaryPathFor(target), target, Takes::kAll);
  if (!file.created()) Raise(kEFCreateError, CannotCreateText(file.path()));
  WrittenBytes bytes(lines);
  const std::span<char> room(buffer.data(), buffer.size());
  for (auto piece = bytes.Next(room); !piece.empty(); piece = bytes.Next(room)) file.Write(piece);
  file.Flush();
  // Only over the content this run read: another program's save since then
  // must not be lost.
  if (file.PutInPlaceOf(target, path, lines.bytes()) != OwnFile::Put::kDone) {
    Raise(kEFCreateError, CannotCreateText(path));
  }
}
