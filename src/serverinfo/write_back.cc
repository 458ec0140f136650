#include "serverinfo/write_back.h"

#include "serverinfo/failure.h"
#include "serverinfo/own_file.h"
#include "serverinfo/server_info_file.h"
#include "ui/boxes.h"

namespace {

// clang-format off
// " は読み取り専用になっているようです。\r\n全ての属性を解除して、文字色の修正を反映させますか？"
const char kReadOnlyTail[] =
    " \x82\xcd\x93\xc7\x82\xdd\x8e\xe6\x82\xe8\x90\xea\x97\x70\x82\xc9\x82\xc8\x82\xc1"
    "\x82\xc4\x82\xa2\x82\xe9\x82\xe6\x82\xa4\x82\xc5\x82\xb7\x81\x42\r\n\x91\x53\x82\xc4"
    "\x82\xcc\x91\xae\x90\xab\x82\xf0\x89\xf0\x8f\x9c\x82\xb5\x82\xc4\x81\x41\x95\xb6\x8e\x9a"
    "\x90\x46\x82\xcc\x8f\x43\x90\xb3\x82\xf0\x94\xbd\x89\x66\x82\xb3\x82\xb9\x82\xdc\x82\xb7"
    "\x82\xa9\x81\x48";
// "属性変更に失敗しました。現在のファイル属性を確認して下さい。"
const char kAttributesFailed[] =
    "\x91\xae\x90\xab\x95\xcf\x8d\x58\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd"
    "\x81\x42\x8c\xbb\x8d\xdd\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x91\xae\x90\xab\x82\xf0"
    "\x8a\x6d\x94\x46\x82\xb5\x82\xc4\x89\xba\x82\xb3\x82\xa2\x81\x42";
// "更新"
const char kVerbUpdate[] = "\x8d\x58\x90\x56";
// "作成"
const char kVerbCreate[] = "\x8d\xec\x90\xac";
// "バックファイル "
const char kBackupHead[] =
    "\x83\x6f\x83\x62\x83\x4e\x83\x74\x83\x40\x83\x43\x83\x8b ";
// "_QlBack を"
const char kBackupName[] = "_QlBack \x82\xf0";
// "できませんでした。\r\nこのまま続行しても構いませんか？\r\n\r\n[はい(Y)] を押すと、バックアップを"
const char kBackupMiddle[] =
    "\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42\r\n\x82\xb1"
    "\x82\xcc\x82\xdc\x82\xdc\x91\xb1\x8d\x73\x82\xb5\x82\xc4\x82\xe0\x8d\x5c\x82\xa2\x82\xdc"
    "\x82\xb9\x82\xf1\x82\xa9\x81\x48\r\n\r\n[\x82\xcd\x82\xa2(Y)] \x82\xf0\x89\x9f\x82\xb7"
    "\x82\xc6\x81\x41\x83\x6f\x83\x62\x83\x4e\x83\x41\x83\x62\x83\x76\x82\xf0";
// "せずにサーバ情報ファイルを書き換えます。\r\n[いいえ(N)] を押すと、処理を中止します。　（ファイル書換は行いません）"
const char kBackupTail[] =
    "\x82\xb9\x82\xb8\x82\xc9\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x83\x74\x83\x40\x83\x43"
    "\x83\x8b\x82\xf0\x8f\x91\x82\xab\x8a\xb7\x82\xa6\x82\xdc\x82\xb7\x81\x42\r\n[\x82\xa2"
    "\x82\xa2\x82\xa6(N)] \x82\xf0\x89\x9f\x82\xb7\x82\xc6\x81\x41\x8f\x88\x97\x9d\x82\xf0"
    "\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb7\x81\x42\x81\x40\x81\x69\x83\x74\x83\x40\x83\x43"
    "\x83\x8b\x8f\x91\x8a\xb7\x82\xcd\x8d\x73\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x6a";
// clang-format on

bool Ask(RunState& state, const std::string& text, char defaultLetter) {
  return YesNoBox(state.platform, text, '?', "yn", defaultLetter) == box::kIdYes;
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

bool GuardedSteps(RunState& state, std::string& path) {
  auto built = ServerInfoPath(state.platform);
  // Without the own path there is no file to write: a write failure.
  if (!built) throw Failure{kEFCreateError, "", 0};
  path = *built;
  Platform& platform = state.platform;

  // A failed query gives every bit, so it counts as read-only too.
  if (platform.GetAttributes(path) & kAttrReadOnly) {
    if (!Ask(state, kServerInfoFileWords + (" " + path) + kReadOnlyTail, 'y')) return false;
    if (!platform.SetAttributes(path, kAttrNormal)) {
      FinalNotice(state, kAttributesFailed, 'e');
      return false;
    }
  }

  const std::string backupPath = path + kBackupSuffix;
  const char* verb = IsExistingFile(platform, backupPath) ? kVerbUpdate : kVerbCreate;
  if (!MakeBackup(platform, path, backupPath, state.ServerInfoLines)) {
    std::string question =
        kBackupHead + path + kBackupName + verb + kBackupMiddle + verb + kBackupTail;
    if (!Ask(state, question, 'n')) return false;
  }

  WriteLines(platform, path, state.ServerInfoLines);
  return true;
}

}  // namespace

bool WriteBackServerInfo(RunState& state) {
  std::string path;
  try {
    return GuardedSteps(state, path);
  } catch (...) {
    // Whatever went wrong, the user hears of it here and the run ends.
    FinalNotice(state, WriteFailedText(path), 'e');
    return false;
  }
}
