#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The Windows operations the tool needs, one virtual call each, so that the
// logic never sees a real platform and tests can wrap or fake any call.
// Paths and texts are code page 932 byte strings whatever the system's own
// code page; each implementation converts a path exactly or fails, so a
// path never names another file than the one the tool built.

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Values as Windows defines them.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorLockViolation = 33;
inline constexpr std::uint32_t kErrorFileExists = 80;
// ERROR_FILE_INVALID: the file at a name is no longer the one opened.
inline constexpr std::uint32_t kErrorFileChanged = 1006;
// ERROR_INVALID_SECURITY_DESCR: a new file cannot be given the protection
// of the file it stands in for (its security, its encryption).
inline constexpr std::uint32_t kErrorProtectionNotKept = 1338;
// ERROR_NOT_SUPPORTED: no replace can keep the file what it is (it has
// other names, or a link to it leads where no exact name reaches).
inline constexpr std::uint32_t kErrorCannotReplace = 50;

// Message box style bits, by kind (buttons, icon, default button), and the
// codes of the pressed button.
inline constexpr std::uint32_t kBoxButtons = 0xF;
inline constexpr std::uint32_t kBoxOk = 0x0;
inline constexpr std::uint32_t kBoxYesNoCancel = 0x3;
inline constexpr std::uint32_t kBoxYesNo = 0x4;
inline constexpr std::uint32_t kBoxIcon = 0xF0;
inline constexpr std::uint32_t kBoxIconError = 0x10;
inline constexpr std::uint32_t kBoxIconQuestion = 0x20;
inline constexpr std::uint32_t kBoxIconWarning = 0x30;
inline constexpr std::uint32_t kBoxIconInformation = 0x40;
inline constexpr std::uint32_t kBoxDefault = 0xF00;  // button n as (n - 1) << 8
inline constexpr std::uint32_t kBoxDefButton2 = 0x100;
inline constexpr std::uint32_t kBoxDefButton3 = 0x200;
inline constexpr std::uint32_t kBoxTaskModal = 0x2000;
inline constexpr std::uint32_t kBoxSetForeground = 0x10000;
inline constexpr std::uint32_t kBoxTopmost = 0x40000;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What a new file takes over from the file it stands in for.
enum class Takes {
  kAccess,  // who may do what with it: owner, group and mode, or security
  kAll,     // that, and how it is shown: hidden, system, creation time
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Full path of the running executable. False when it cannot be had whole
  // and exactly: a path cut short or converted with a "best fit" names
  // another folder.
  virtual bool ModuleFileName(std::string* path) = 0;
  // Directory search for one entry (FindFirstFile, then FindClose at once).
  virtual bool FindFile(const std::string& path, std::uint32_t* attributes) = 0;

  // Open an existing regular file for reading, others may only read it too.
  virtual FileHandle OpenForRead(const std::string& path) = 0;
  // Create a file that does not exist yet, for writing, shared with nobody.
  // Fails when any entry has the name: never opens through a link. The new
  // file takes what `takes` names from `likePath`: who may do what with it
  // never wider than there, as far as the process may set it; encrypted
  // where that is, or kErrorProtectionNotKept. Until it is closed it bears
  // the mark of a live file, which RemoveFile honours in any process.
  virtual FileHandle CreateNew(const std::string& path, const std::string& likePath,
                               Takes takes) = 0;
  virtual bool FileSize(FileHandle file, std::uint64_t* size) = 0;
  // Up to `size` bytes; fewer only at the end of the file.
  virtual bool ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) = 0;
  virtual bool WriteFile(FileHandle file, const char* data, std::uint32_t size,
                         std::uint32_t* written) = 0;
  // Push written data to the disk before a replace relies on it.
  virtual bool FlushFile(FileHandle file) = 0;
  virtual void CloseFile(FileHandle file) = 0;

  virtual std::uint32_t GetAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
  // Puts `file`, a file this process created at `from` and still holds
  // open, in the place of `to` in one step, durably. An entry at `to` is
  // replaced, never written through. Fails with kErrorFileChanged when the
  // entry at `from` is no longer `file`: only what this run wrote can take
  // the place.
  virtual bool PutInPlace(FileHandle file, const std::string& from, const std::string& to) = 0;
  // Removes the entry itself: a link goes, never what it points to. A file
  // another run still writes (it bears the mark of CreateNew) is not
  // removed: kErrorSharingViolation, as for a file held open.
  virtual bool RemoveFile(const std::string& path) = 0;
  // Where a replace of `path` must land so the user's file stays what it
  // is: the final target of a symbolic link (the link stays a link), else
  // `path` itself. False with kErrorCannotReplace when no replace can keep
  // it so: it has other names (hard links), which a replace would part, or
  // it is a link whose target has no exact name.
  virtual bool ReplaceTarget(const std::string& path, std::string* target) = 0;
  // Whether this process may write the content of the file at `path`
  // (links followed), as a save in place would: it is opened for writing,
  // not truncated, and closed at once. A replace needs only the folder's
  // permission, so this is asked before one.
  virtual bool ProbeWrite(const std::string& path) = 0;
  // Whether the file `path` leads to (links followed) is the entry `entry`
  // itself (not followed): one file, whatever the names. False when either
  // cannot be reached.
  virtual bool LeadsTo(const std::string& path, const std::string& entry) = 0;
  // Holds the lock of one run in the folder that holds `path`, until
  // UnlockRun or the end of the process, and leaves nothing on disk. Fails
  // with kErrorLockViolation while another run holds it. It also holds the
  // folder itself: until UnlockRun, a name in it reaches that very folder,
  // or the call fails with kErrorPathNotFound; a folder renamed or replaced
  // by a link meanwhile never leads the run into another folder.
  virtual FileHandle LockRun(const std::string& path) = 0;
  virtual void UnlockRun(FileHandle lock) = 0;
  // Windows error code of the last call that failed.
  virtual std::uint32_t LastError() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;

  // Modal box with no owner window; returns the pressed button's code, or 0.
  virtual int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) = 0;

  // Memory for a whole file's bytes straight from the system, not the heap
  // (VirtualAlloc: committed, readable, writable). On Linux a large block is
  // advised onto huge pages where the system allows them; on Windows the
  // pages are ordinary ones, as large pages need MEM_LARGE_PAGES and a
  // privilege. Null when there is none.
  virtual char* AllocatePages(std::size_t size) = 0;
  // Gives back a block of AllocatePages, with the size it was asked for.
  virtual void FreePages(char* pages, std::size_t size) = 0;
};

// The real platform of this build, for a program started with these
// arguments. Null when the program must end at once; `*status` is then
// its exit status.
Platform* SystemPlatform(int argc, char** argv, int* status);
