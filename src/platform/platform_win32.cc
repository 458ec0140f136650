#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// The seam on Windows. Above it every path and text is code page 932,
// whatever code page the system runs (1252 on an English Windows, 65001
// with the UTF-8 option); here it becomes UTF-16 and only W functions are
// called. A path converts exactly or the call fails: a "best fit" would
// name another folder's file.

namespace {

constexpr UINT kCp932 = 932;

bool FitsInt(std::size_t size) {
  return size <= static_cast<std::size_t>(std::numeric_limits<int>::max());
}

// cp932 bytes to UTF-16; `flags` MB_ERR_INVALID_CHARS refuses bytes that
// are no cp932 character.
bool ToWide(std::string_view bytes, DWORD flags, std::wstring* wide) {
  wide->clear();
  if (bytes.empty()) return true;
  if (!FitsInt(bytes.size())) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(kCp932, flags, bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<std::size_t>(length), L'\0');
  return ::MultiByteToWideChar(kCp932, flags, bytes.data(), size, wide->data(), length) == length;
}

// A path exactly as the tool built it.
bool Wide(const std::string& path, std::wstring* wide) {
  if (path.empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return ToWide(path, MB_ERR_INVALID_CHARS, wide);
}

// UTF-16 to cp932 exactly: no best fit, no default character, and the bytes
// must read back as the same UTF-16. Compared as UTF-16, since cp932 has
// two byte forms for some characters (the NEC and IBM rows); either names
// the same file.
bool Narrow(const std::wstring& wide, std::string* bytes) {
  if (wide.empty() || !FitsInt(wide.size())) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  const int length = ::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                           0, nullptr, &usedDefault);
  if (length <= 0) return false;
  std::string result(static_cast<std::size_t>(length), '\0');
  std::wstring back;
  if (::WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(), size, result.data(), length,
                            nullptr, &usedDefault) != length ||
      usedDefault || !ToWide(result, MB_ERR_INVALID_CHARS, &back) || back != wide) {
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return false;
  }
  *bytes = std::move(result);
  return true;
}

// The form a file call gets: \\?\ skips the 260-character limit, so a
// host folder of any depth works; and it skips every rewriting of the path,
// so it is made of the canonical path (which drops the doubled backslash
// after a drive root, and a folder's trailing one). Boxes show the path as
// the tool built it, never this form.
std::wstring LongForm(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  if (full.size() > 3 && full.back() == L'\\' && full[full.size() - 2] != L':') full.pop_back();
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// Keeps the error of a failed call across the clean-up after it.
class KeptError {
 public:
  KeptError() : error_(::GetLastError()) {}
  ~KeptError() { ::SetLastError(error_); }

 private:
  DWORD error_;
};

// Which file or folder a handle is, on its volume. ReFS and Dev Drives give
// 128-bit file ids that the older 64-bit index does not tell apart; the
// older one is kept too, for a comparison where only one side has the new.
struct Identity {
  bool wide = false;  // from FILE_ID_INFO
  ULONGLONG volume = 0;
  unsigned char id[16] = {};
  DWORD legacyVolume = 0;
  ULONGLONG legacyIndex = 0;

  bool operator==(const Identity& other) const {
    if (wide && other.wide) return volume == other.volume && std::memcmp(id, other.id, 16) == 0;
    return legacyVolume == other.legacyVolume && legacyIndex == other.legacyIndex;
  }
};

bool IdentityOf(HANDLE handle, Identity* identity) {
  BY_HANDLE_FILE_INFORMATION legacy;
  if (!::GetFileInformationByHandle(handle, &legacy)) return false;
  identity->legacyVolume = legacy.dwVolumeSerialNumber;
  identity->legacyIndex = (ULONGLONG{legacy.nFileIndexHigh} << 32) | legacy.nFileIndexLow;
  FILE_ID_INFO info;
  identity->wide = ::GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info);
  if (identity->wide) {
    identity->volume = info.VolumeSerialNumber;
    std::memcpy(identity->id, info.FileId.Identifier, sizeof identity->id);
    // Some volumes give every file the id zero: the older index may still
    // tell files apart.
    static const unsigned char kNone[sizeof identity->id] = {};
    identity->wide = std::memcmp(identity->id, kNone, sizeof kNone) != 0;
  }
  return true;
}

// Whether the identity tells the file apart from others at all.
bool Distinct(const Identity& identity) { return identity.wide || identity.legacyIndex != 0; }

// What an entry is, opened only to ask: such an open never meets another
// handle's sharing. The entry itself, or where a link at it leads.
enum class Open { kEntry, kFolder, kLinkTarget };

HANDLE OpenToAsk(const std::wstring& path, Open what) {
  const DWORD flags = what == Open::kFolder  ? FILE_FLAG_BACKUP_SEMANTICS
                      : what == Open::kEntry ? FILE_FLAG_OPEN_REPARSE_POINT
                                             : 0;
  return ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

bool IdentityAt(const std::wstring& path, Open what, Identity* identity) {
  HANDLE handle = OpenToAsk(path, what);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = IdentityOf(handle, identity);
  KeptError kept;
  ::CloseHandle(handle);
  return known;
}

// The folder of a path in \\?\ form, as LongForm gives folders: a drive's
// root keeps its backslash.
std::wstring FolderOf(const std::wstring& path, std::size_t slash) {
  std::wstring folder = path.substr(0, slash);
  if (!folder.empty() && folder.back() == L':') folder += L'\\';
  return folder;
}

void AppendHex(std::wstring* out, const unsigned char* bytes, std::size_t count) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  for (std::size_t i = count; i-- > 0;) {  // most significant byte first
    out->push_back(kDigits[bytes[i] >> 4]);
    out->push_back(kDigits[bytes[i] & 15]);
  }
}

// The path a handle's file has now, links and drive mappings resolved.
// Empty when the volume does not say.
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length == 0) break;
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

// Whether the file opened as the entry `path` has the path of another name
// or folder: the entry was a link, and the open followed it. Unknown
// counts as not.
bool NamedElsewhere(HANDLE entry, const std::wstring& path) {
  const std::wstring final = FinalPathOf(entry);
  const std::size_t there = final.find_last_of(L'\\'), here = path.find_last_of(L'\\');
  if (there == std::wstring::npos || here == std::wstring::npos) return false;
  const std::wstring_view finalName = std::wstring_view(final).substr(there + 1);
  const std::wstring_view name = std::wstring_view(path).substr(here + 1);
  if (::CompareStringOrdinal(finalName.data(), static_cast<int>(finalName.size()), name.data(),
                             static_cast<int>(name.size()), TRUE) != CSTR_EQUAL) {
    return true;
  }
  Identity finalFolder, folder;
  return IdentityAt(FolderOf(final, there), Open::kFolder, &finalFolder) &&
         IdentityAt(FolderOf(path, here), Open::kFolder, &folder) && Distinct(folder) &&
         !(finalFolder == folder);
}

// Global\Quenlit-run-<volume>-<file id>, in hex. The older form (32-bit
// volume, 64-bit index) is kept where only that is known. A volume that
// gives no file ids at all would give every folder one name: there the
// name comes from the folder's path instead, case folded as Windows
// compares names.
std::wstring MutexName(const Identity& folder, HANDLE held, const std::wstring& path) {
  std::wstring name = L"Global\\Quenlit-run-";
  if (!Distinct(folder)) {
    std::wstring final = FinalPathOf(held);
    if (final.empty()) final = path;
    ::CharUpperBuffW(final.data(), static_cast<DWORD>(final.size()));
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a
    for (wchar_t c : final) {
      hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211u;
    }
    unsigned char bytes[8];
    std::memcpy(bytes, &hash, sizeof bytes);
    name += L"path-";
    AppendHex(&name, bytes, sizeof bytes);
    return name;
  }
  if (folder.wide) {
    unsigned char volume[8];
    std::memcpy(volume, &folder.volume, sizeof volume);
    AppendHex(&name, volume, sizeof volume);
    name += L'-';
    AppendHex(&name, folder.id, sizeof folder.id);
  } else {
    unsigned char volume[4], index[8];
    std::memcpy(volume, &folder.legacyVolume, sizeof volume);
    std::memcpy(index, &folder.legacyIndex, sizeof index);
    AppendHex(&name, volume, sizeof volume);
    name += L'-';
    AppendHex(&name, index, sizeof index);
  }
  return name;
}

// Whether the volume of `file` keeps who may do what with a file (FAT does
// not). Unknown counts as keeping it, so a failure to copy is never taken
// lightly.
bool KeepsSecurity(HANDLE file) {
  DWORD flags = 0;
  if (!::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return true;
  }
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

// A DACL whose entries all come from the folder: a new file in the same
// folder has them already.
bool OnlyInherited(PACL dacl) {
  if (dacl->AceCount == 0) return false;  // no entry denies all, inheriting would not
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace) || !(static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE)) {
      return false;
    }
  }
  return true;
}

bool SetDacl(HANDLE file, PACL dacl, bool isProtected) {
  const SECURITY_INFORMATION parts =
      DACL_SECURITY_INFORMATION |
      (isProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  return ::SetSecurityInfo(file, SE_FILE_OBJECT, parts, nullptr, nullptr, dacl, nullptr) ==
         ERROR_SUCCESS;
}

// Whether the DACL `file` has now holds exactly the entries of `dacl`.
bool HasDacl(HANDLE file, PACL dacl) {
  PACL now = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &now,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool same = now && now->AceCount == dacl->AceCount;
  for (DWORD i = 0; same && i < dacl->AceCount; ++i) {
    void* mine = nullptr;
    void* theirs = nullptr;
    same = ::GetAce(now, i, &mine) && ::GetAce(dacl, i, &theirs) &&
           static_cast<ACE_HEADER*>(mine)->AceSize == static_cast<ACE_HEADER*>(theirs)->AceSize &&
           std::memcmp(mine, theirs, static_cast<ACE_HEADER*>(mine)->AceSize) == 0;
  }
  ::LocalFree(descriptor);
  return same;
}

// Gives `file` the DACL of `like`, protected from the folder's entries or
// open to them as there, never wider than there; and its owner and group
// where this process may set them (another owner needs a privilege). False
// when the DACL cannot be read or given on a volume that keeps one: the new
// file would let in whom the folder lets in, maybe more than the file did.
bool TakeSecurity(HANDLE file, const std::wstring& like) {
  HANDLE source = like.empty()
                      ? INVALID_HANDLE_VALUE
                      : ::CreateFileW(like.c_str(), READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  PSID owner = nullptr, group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD read =
      source == INVALID_HANDLE_VALUE
          ? (like.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError())
          : ::GetSecurityInfo(
                source, SE_FILE_OBJECT,
                OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                &owner, &group, &dacl, nullptr, &descriptor);
  if (source != INVALID_HANDLE_VALUE) ::CloseHandle(source);
  if (read != ERROR_SUCCESS) return !KeepsSecurity(file);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool kept = ::GetSecurityDescriptorControl(descriptor, &control, &revision) != FALSE;
  const bool isProtected = (control & SE_DACL_PROTECTED) != 0;
  if (::SetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, owner, group,
                        nullptr, nullptr) != ERROR_SUCCESS) {
    ::SetSecurityInfo(file, SE_FILE_OBJECT, GROUP_SECURITY_INFORMATION, nullptr, group, nullptr,
                      nullptr);
  }
  // No DACL lets everyone in: whatever the folder gives is no wider.
  if (kept && dacl) {
    if (isProtected || !OnlyInherited(dacl)) kept = SetDacl(file, dacl, isProtected);
    // The folder's entries may differ from those the file has (it was
    // moved here, the folder changed since), and Wine widens a DACL set
    // this way: then the file's entries as they are, control bits and all.
    // (Wine then makes them a mode again, relative to the new owner.)
    if (kept && !HasDacl(file, dacl)) {
      kept = ::SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, descriptor) != FALSE;
    }
  }
  ::LocalFree(descriptor);
  return kept || !KeepsSecurity(file);
}

constexpr DWORD kAttrPinned = 0x00080000;
constexpr DWORD kAttrUnpinned = 0x00100000;
constexpr DWORD kAttrNoScrubData = 0x00020000;
// What the file's own look is, and the original decides.
constexpr DWORD kCarried = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | kAttrPinned | kAttrUnpinned;
// What a file's basic information may set.
constexpr DWORD kSettable = kCarried | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                            FILE_ATTRIBUTE_OFFLINE | kAttrNoScrubData;

// Hidden, system, not-indexed, pinned and unpinned as `like` has them,
// and its creation time; what else the new file got from its folder
// stays. Archive is set, as Windows sets it on every file that changes, so
// a backup program sees the new content.
void TakeLook(HANDLE file, const WIN32_FILE_ATTRIBUTE_DATA& like) {
  BY_HANDLE_FILE_INFORMATION now;
  const DWORD got = ::GetFileInformationByHandle(file, &now) ? now.dwFileAttributes : 0;
  FILE_BASIC_INFO basic{};  // times of zero stay as they are
  basic.CreationTime.LowPart = like.ftCreationTime.dwLowDateTime;
  basic.CreationTime.HighPart = static_cast<LONG>(like.ftCreationTime.dwHighDateTime);
  basic.FileAttributes =
      (got & kSettable & ~kCarried) | (like.dwFileAttributes & kCarried) | FILE_ATTRIBUTE_ARCHIVE;
  ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

// The mark a run's own file bears while the run writes it: a lock on one
// byte far past any board's end. The Linux program's files bear it too,
// and Wine makes a Windows lock a Unix one and meets a Unix one, so runs
// of both that share no run lock still see each other's files.
constexpr ULONGLONG kLiveMark = ULONGLONG{1} << 40;

OVERLAPPED LiveMarkAt() {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(kLiveMark);
  at.OffsetHigh = static_cast<DWORD>(kLiveMark >> 32);
  return at;
}

bool TakeLiveMark(HANDLE file) {
  OVERLAPPED at = LiveMarkAt();
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) !=
         FALSE;
}

// Whether another open holds the live mark of the entry (not followed), or
// holds it open with no sharing at all: a file some run still writes. What
// cannot be opened to ask for other reasons is no live file that can be
// seen.
bool IsLive(const std::wstring& entry) {
  HANDLE file = ::CreateFileW(entry.c_str(), FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
  const bool ours = TakeLiveMark(file);
  const bool held = !ours && ::GetLastError() == ERROR_LOCK_VIOLATION;
  if (ours) {
    OVERLAPPED at = LiveMarkAt();
    ::UnlockFileEx(file, 0, 1, 0, &at);
  }
  ::CloseHandle(file);
  return held;
}

// Whether `path` names anything at all. A directory search, which also
// sees a link whose target is gone (on Windows; Wine does not list it, so
// there such a link stays, and the name fails to be made anew).
bool Exists(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return true;
}

// Windows deletes a link itself, but Wine follows a Unix symbolic link
// even to delete, and removes the file it points to. A move replaces a
// link itself on both: the entry is first covered by an empty file of
// this process, and that file is what is deleted.
bool RemoveEntry(const std::wstring& entry) {
  // Nothing there: no cover is made for nothing, and a folder that takes
  // no new file has no lock to wait for.
  if (!Exists(entry)) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  // Another run's file, still being written: no leftover.
  if (IsLive(entry)) {
    ::SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  const std::wstring cover = entry + L"~" + std::to_wstring(::GetCurrentProcessId());
  HANDLE file = ::CreateFileW(cover.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  if (!::MoveFileExW(cover.c_str(), entry.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    KeptError kept;
    ::DeleteFileW(cover.c_str());
    return false;
  }
  return ::DeleteFileW(entry.c_str()) != FALSE;
}

// Removes a file this process made and still holds by its handle, so no
// entry that took the name meanwhile goes instead.
void Discard(HANDLE file, const std::wstring& path) {
  FILE_DISPOSITION_INFO gone{TRUE};
  const bool marked = ::SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone);
  ::CloseHandle(file);
  if (!marked) RemoveEntry(path);
}

// "name~digits" (also repeated): a cover that a run ended in the middle of
// a removal left behind.
bool IsCoverOf(std::wstring_view base, std::wstring_view name) {
  if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) return false;
  std::wstring_view rest = name.substr(base.size());
  while (!rest.empty()) {
    if (rest.size() < 2 || rest[0] != L'~' || rest[1] < L'0' || rest[1] > L'9') return false;
    rest.remove_prefix(1);
    while (!rest.empty() && rest[0] >= L'0' && rest[0] <= L'9') rest.remove_prefix(1);
  }
  return true;
}

void RemoveCoversOf(const std::wstring& entry) {
  const std::size_t slash = entry.find_last_of(L'\\');
  const std::wstring folder = entry.substr(0, slash + 1);
  const std::wstring base = entry.substr(slash + 1);
  std::vector<std::wstring> covers;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((entry + L"~*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (IsCoverOf(base, found.cFileName)) covers.push_back(folder + found.cFileName);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  for (const std::wstring& cover : covers) RemoveEntry(cover);
}

class Win32Platform final : public Platform {
 public:
  bool ModuleFileName(std::string* path) override {
    // Grown until it fits: a cut path would name another folder.
    std::wstring buffer(MAX_PATH + 1, L'\0');
    while (true) {
      const DWORD size = static_cast<DWORD>(buffer.size());
      const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
      if (length == 0) return false;
      if (length < size) {
        buffer.resize(length);
        break;
      }
      if (buffer.size() > 65536) return false;
      buffer.resize(buffer.size() * 2);
    }
    // Started by its \\?\ form, the path says so; the boxes show the
    // ordinary one, and file calls add the prefix again.
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      buffer.replace(0, 8, L"\\\\");
    } else if (buffer.rfind(L"\\\\?\\", 0) == 0 && buffer.size() > 6 && buffer[5] == L':') {
      buffer.erase(0, 4);
    }
    // A folder "A¥B" or "Café" has no exact cp932 form: refused.
    return Narrow(buffer, path);
  }

  bool FindFile(const std::string& path, std::uint32_t* attributes) override {
    std::wstring wide;
    WIN32_FIND_DATAW found;
    if (!Reach(path, &wide)) return false;
    HANDLE search = ::FindFirstFileW(wide.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    *attributes = found.dwFileAttributes;
    return true;
  }

  FileHandle OpenForRead(const std::string& path) override {
    std::wstring wide;
    if (!Reach(path, &wide)) return kNoFile;
    return FromHandle(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  // Created with the rights to be renamed and to take the user's file's
  // security; a new file grants its creator whatever it asks for. An
  // encrypted file's content never lies in plaintext beside it, and a
  // compressed one's is compressed too.
  FileHandle CreateNew(const std::string& path, const std::string& likePath, Takes takes) override {
    std::wstring wide, like;
    if (!Reach(path, &wide)) return kNoFile;
    if (!Reach(likePath, &like)) like.clear();
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool known =
        !like.empty() && ::GetFileAttributesExW(like.c_str(), GetFileExInfoStandard, &data);
    const bool encrypted = known && (data.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED);
    HANDLE file = ::CreateFileW(
        wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER, 0, nullptr,
        CREATE_NEW, encrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      // What only a passing lock or our own name's leftover explains is
      // tried again; anything else refuses an encrypted copy.
      if (encrypted && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
          error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION &&
          error != ERROR_LOCK_VIOLATION) {
        ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
      }
      return kNoFile;
    }
    TakeLiveMark(file);  // a file system without locks: unmarked
    BY_HANDLE_FILE_INFORMATION made;
    const bool protectedAsLike =
        (!encrypted || (::GetFileInformationByHandle(file, &made) &&
                        (made.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED))) &&
        TakeSecurity(file, like);
    if (!protectedAsLike) {
      Discard(file, wide);
      ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
      return kNoFile;
    }
    if (known && (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED)) {
      USHORT format = COMPRESSION_FORMAT_DEFAULT;
      DWORD done = 0;
      // Only how it is stored: a volume that does not compress still takes it.
      ::DeviceIoControl(file, FSCTL_SET_COMPRESSION, &format, sizeof format, nullptr, 0, &done,
                        nullptr);
    }
    if (known && takes == Takes::kAll) TakeLook(file, data);
    return FromHandle(file);
  }

  bool FileSize(FileHandle file, std::uint64_t* size) override {
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(ToHandle(file), &value) || value.QuadPart < 0) return false;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
  }

  bool ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) override {
    *got = 0;
    while (*got < size) {
      DWORD done = 0;
      if (!::ReadFile(ToHandle(file), buffer + *got, size - *got, &done, nullptr)) return false;
      if (done == 0) break;  // the end of the file
      *got += done;
    }
    return true;
  }

  bool WriteFile(FileHandle file, const char* data, std::uint32_t size,
                 std::uint32_t* written) override {
    DWORD done = 0;
    BOOL ok = ::WriteFile(ToHandle(file), data, size, &done, nullptr);
    *written = done;
    return ok != FALSE;
  }

  bool FlushFile(FileHandle file) override { return ::FlushFileBuffers(ToHandle(file)) != FALSE; }

  void CloseFile(FileHandle file) override { ::CloseHandle(ToHandle(file)); }

  std::uint32_t GetAttributes(const std::string& path) override {
    std::wstring wide;
    if (!Reach(path, &wide)) return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesW(wide.c_str());
  }

  bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
    std::wstring wide;
    return Reach(path, &wide) && ::SetFileAttributesW(wide.c_str(), attributes) != FALSE;
  }

  // The open handle itself is renamed. Nobody else can open our file while
  // we hold it (no sharing), but Wine lets a Unix program remove the name
  // and Wine renames by name: the entry must still be ours.
  bool PutInPlace(FileHandle file, const std::string& from, const std::string& to) override {
    std::wstring source, target;
    if (!Reach(from, &source) || !Reach(to, &target)) return false;
    Identity mine, named;
    if (!IdentityOf(ToHandle(file), &mine)) return false;
    if (!IdentityAt(source, Open::kEntry, &named) || !(named == mine)) {
      ::SetLastError(ERROR_FILE_INVALID);
      return false;
    }
    const std::size_t bytes = target.size() * sizeof(wchar_t);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(rename->FileName, target.c_str(), bytes + sizeof(wchar_t));
    // Until the rename is flushed a power loss can bring the old file
    // back, and the next run would take the new one for a leftover.
    return ::SetFileInformationByHandle(ToHandle(file), FileRenameInfo, rename,
                                        static_cast<DWORD>(buffer.size())) &&
           ::FlushFileBuffers(ToHandle(file));
  }

  // Covers left by a run that ended in the middle of a removal go too.
  bool RemoveFile(const std::string& path) override {
    std::wstring entry;
    if (!Reach(path, &entry)) return false;
    RemoveCoversOf(entry);
    return RemoveEntry(entry);
  }

  // A file of other names would part from them, replaced; a symbolic link
  // would be swapped for a plain file: both refused. Wine follows a Unix
  // symbolic link even when asked not to and shows no reparse point, but
  // names the file by its target's path.
  bool ReplaceTarget(const std::string& path, std::string* target) override {
    std::wstring wide;
    if (!Reach(path, &wide)) return false;
    HANDLE entry = OpenToAsk(wide, Open::kEntry);
    if (entry == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = ::GetFileInformationByHandle(entry, &info) != FALSE;
    const bool elsewhere = known && NamedElsewhere(entry, wide);
    KeptError kept;
    ::CloseHandle(entry);
    if (!known) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1 ||
        elsewhere) {
      ::SetLastError(ERROR_NOT_SUPPORTED);
      return false;
    }
    *target = path;
    return true;
  }

  bool ProbeWrite(const std::string& path) override {
    std::wstring wide;
    if (!Reach(path, &wide)) return false;
    HANDLE file = ::CreateFileW(wide.c_str(), FILE_WRITE_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
  }

  bool LeadsTo(const std::string& path, const std::string& entry) override {
    std::wstring file, at;
    Identity led, named;
    return Reach(path, &file) && Reach(entry, &at) && IdentityAt(file, Open::kLinkTarget, &led) &&
           IdentityAt(at, Open::kEntry, &named) && Distinct(led) && led == named;
  }

  // A mutex named after the folder's identity on its volume, so every path
  // to the folder finds the same one; the system lets it go when the
  // process ends, however it ends. The folder is held open without delete
  // sharing for the run: Windows then lets nobody rename or remove it (the
  // folders above it are not documented to be kept; Reach compares).
  FileHandle LockRun(const std::string& path) override {
    std::wstring folder;
    if (!Wide(path, &folder)) return kNoFile;
    folder.resize(folder.find_last_of(L'\\') + 1);
    HANDLE held = ::CreateFileW(LongForm(folder).c_str(),
                                FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (held == INVALID_HANDLE_VALUE) return kNoFile;
    Identity identity;
    if (!IdentityOf(held, &identity)) {
      KeptError kept;
      ::CloseHandle(held);
      return kNoFile;
    }
    HANDLE mutex =
        ::CreateMutexW(nullptr, FALSE, MutexName(identity, held, LongForm(folder)).c_str());
    // Another user's run made it: only while that run lives can it be there.
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED) ::SetLastError(ERROR_LOCK_VIOLATION);
    // Something else has its name (any user can make an object of another
    // kind there): no run lock, but the folder stays held. The folder's
    // handle is the token then.
    if (!mutex && ::GetLastError() != ERROR_LOCK_VIOLATION) {
      held_ = held;
      heldPath_ = folder;
      heldIdentity_ = identity;
      return FromHandle(held);
    }
    const DWORD waited = mutex ? ::WaitForSingleObject(mutex, 0) : WAIT_FAILED;
    // Abandoned: a run that died held it; it is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
      held_ = held;
      heldPath_ = folder;
      heldIdentity_ = identity;
      return FromHandle(mutex);
    }
    const DWORD error = mutex ? ERROR_LOCK_VIOLATION : ::GetLastError();
    if (mutex) ::CloseHandle(mutex);
    ::CloseHandle(held);
    ::SetLastError(error);
    return kNoFile;
  }

  void UnlockRun(FileHandle lock) override {
    if (ToHandle(lock) != held_) {
      ::ReleaseMutex(ToHandle(lock));
      ::CloseHandle(ToHandle(lock));
    }
    if (held_ != INVALID_HANDLE_VALUE) ::CloseHandle(held_);
    held_ = INVALID_HANDLE_VALUE;
    heldPath_.clear();
  }

  std::uint32_t LastError() override { return ::GetLastError(); }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  // Every text is cp932; one that somehow is not still shows, with the
  // bytes that are no character replaced.
  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    std::wstring wideText, wideCaption;
    ToWide(text, 0, &wideText);
    ToWide(caption, 0, &wideCaption);
    return ::MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), style);
  }

  char* AllocatePages(std::size_t size) override {
    return static_cast<char*>(
        ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }

  void FreePages(char* pages, std::size_t) override { ::VirtualFree(pages, 0, MEM_RELEASE); }

 private:
  // The path as UTF-16. A name in the held folder only while the folder at
  // that path is still the held one: Windows keeps it in place, but Wine
  // cannot stop a Unix program from swapping it.
  bool Reach(const std::string& path, std::wstring* wide) {
    std::wstring plain;
    if (!Wide(path, &plain)) return false;
    *wide = LongForm(plain);
    const std::size_t slash = plain.find_last_of(L'\\');
    if (held_ == INVALID_HANDLE_VALUE || slash == std::wstring::npos ||
        plain.compare(0, slash + 1, heldPath_) != 0 || slash + 1 != heldPath_.size()) {
      return true;
    }
    Identity now;
    if (IdentityAt(LongForm(heldPath_), Open::kFolder, &now) && now == heldIdentity_) return true;
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }

  HANDLE held_ = INVALID_HANDLE_VALUE;
  std::wstring heldPath_;  // with its trailing backslash
  Identity heldIdentity_;
};

}  // namespace

// Arguments are ignored, as they always were: the tool's own location
// decides everything.
Platform* SystemPlatform(int, char**, int*) {
  static Win32Platform platform;
  return &platform;
}
