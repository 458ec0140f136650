#include <windows.h>

#include <cstdio>
#include <limits>

#include "platform/platform.h"

// The seam on Windows: every call passes straight to the *A function of the
// same job. Paths and texts stay the ANSI code page bytes they came as.

namespace {

// A path in the ANSI code page as Windows itself reads it.
bool Wide(const std::string& path, std::wstring* wide) {
  if (path.empty() || path.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const int size = static_cast<int>(path.size());
  const int length =
      ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide->assign(static_cast<std::size_t>(length), L'\0');
  return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), size, wide->data(),
                               length) == length;
}

// The whole module path, growing the buffer until it fits: a cut path would
// name another folder.
template <typename Char, typename Get>
bool WholeModulePath(Get get, std::basic_string<Char>* path) {
  std::basic_string<Char> buffer(MAX_PATH + 1, Char{});
  while (buffer.size() <= 65536) {
    DWORD size = static_cast<DWORD>(buffer.size());
    DWORD length = get(buffer.data(), size);
    if (length == 0) return false;
    if (length < size) {
      buffer.resize(length);
      *path = std::move(buffer);
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
  return false;
}

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// CompareStringA takes int lengths; longer texts cannot be compared whole.
bool FitsInt(std::string_view s) { return s.size() <= std::numeric_limits<int>::max(); }

class Win32Platform final : public Platform {
 public:
  bool ModuleFileName(std::string* path) override {
    std::string ansi;
    std::wstring wide, back;
    if (!WholeModulePath<char>([](char* b, DWORD n) { return ::GetModuleFileNameA(nullptr, b, n); },
                               &ansi) ||
        !WholeModulePath<wchar_t>(
            [](wchar_t* b, DWORD n) { return ::GetModuleFileNameW(nullptr, b, n); }, &wide)) {
      return false;
    }
    // The ANSI path is the real one put into the code page with a "best fit":
    // a folder "A¥B" comes out as "A\B", "Café" as "Cafe". Only a path that
    // converts back to the real one is ours.
    if (!Wide(ansi, &back) || back != wide) {
      ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return false;
    }
    *path = std::move(ansi);
    return true;
  }

  bool FindFile(const std::string& path, std::uint32_t* attributes) override {
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    ::FindClose(search);
    *attributes = found.dwFileAttributes;
    return true;
  }

  CodePageInfo AnsiCodePage() override {
    CodePageInfo result;
    CPINFO info;
    if (!::GetCPInfo(CP_ACP, &info)) return result;
    // Pairs of inclusive bounds, ended by a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
      result.leadByteRanges.emplace_back(info.LeadByte[i], info.LeadByte[i + 1]);
    }
    return result;
  }

  bool SameText(std::string_view a, std::string_view b) override {
    if (!FitsInt(a) || !FitsInt(b)) return false;
    return ::CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
  }

  FileHandle OpenForRead(const std::string& path) override {
    return FromHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  // The new file gets the folder's inherited permissions, as Windows gives
  // them; `likePath` has no owner or mode to pass on here.
  FileHandle CreateNew(const std::string& path, const std::string&) override {
    return FromHandle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  bool FileSize(FileHandle file, std::uint64_t* size) override {
    LARGE_INTEGER value;
    if (!::GetFileSizeEx(ToHandle(file), &value) || value.QuadPart < 0) return false;
    *size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
  }

  bool ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) override {
    DWORD done = 0;
    BOOL ok = ::ReadFile(ToHandle(file), buffer, size, &done, nullptr);
    *got = done;
    return ok != FALSE;
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
    return ::GetFileAttributesA(path.c_str());
  }

  bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
    return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
  }

  bool CopyToNew(const std::string& from, const std::string& to) override {
    if (!::CopyFileA(from.c_str(), to.c_str(), TRUE)) return false;
    // The copy must be on the disk before it takes an earlier backup's place.
    HANDLE copy = ::CreateFileA(to.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy == INVALID_HANDLE_VALUE) return false;
    const BOOL flushed = ::FlushFileBuffers(copy);
    const DWORD error = ::GetLastError();
    ::CloseHandle(copy);
    ::SetLastError(error);
    return flushed != FALSE;
  }

  bool MoveReplacing(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }

  // Windows deletes a link itself, but Wine follows a Unix symbolic link
  // even to delete, and removes the file it points to. A move replaces a
  // link itself on both: the entry is first covered by an empty file of
  // this process, and that file is what is deleted.
  bool RemoveFile(const std::string& path) override {
    std::wstring entry;
    if (!Wide(path, &entry)) return false;
    const std::wstring cover = entry + L"~" + std::to_wstring(::GetCurrentProcessId());
    HANDLE file = ::CreateFileW(cover.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    if (!::MoveFileExW(cover.c_str(), entry.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      const DWORD error = ::GetLastError();
      ::DeleteFileW(cover.c_str());
      ::SetLastError(error);
      return false;
    }
    return ::DeleteFileW(entry.c_str()) != FALSE;
  }

  // Windows replaces a link itself, as it replaces any file.
  std::string ReplaceTarget(const std::string& path) override { return path; }

  // A mutex named after the folder's identity on its volume, so every path to
  // the folder finds the same one. The system lets it go when the process
  // ends, however it ends.
  FileHandle LockRun(const std::string& path) override {
    std::wstring folder;
    if (!Wide(path, &folder)) return kNoFile;
    folder.resize(folder.find_last_of(L'\\') + 1);
    HANDLE handle =
        ::CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return kNoFile;
    BY_HANDLE_FILE_INFORMATION identity;
    const BOOL known = ::GetFileInformationByHandle(handle, &identity);
    ::CloseHandle(handle);
    if (!known) return kNoFile;
    char name[64];
    std::snprintf(name, sizeof name, "Global\\Quenlit-run-%08lX-%08lX%08lX",
                  identity.dwVolumeSerialNumber, identity.nFileIndexHigh, identity.nFileIndexLow);
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name);
    // Another user's run made it: only while that run lives can it be there.
    if (!mutex && ::GetLastError() == ERROR_ACCESS_DENIED) ::SetLastError(ERROR_LOCK_VIOLATION);
    if (!mutex) return kNoFile;
    const DWORD waited = ::WaitForSingleObject(mutex, 0);
    // Abandoned: a run that died held it; it is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return FromHandle(mutex);
    ::CloseHandle(mutex);
    ::SetLastError(ERROR_LOCK_VIOLATION);
    return kNoFile;
  }

  void UnlockRun(FileHandle lock) override {
    ::ReleaseMutex(ToHandle(lock));
    ::CloseHandle(ToHandle(lock));
  }

  std::uint32_t LastError() override { return ::GetLastError(); }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
  }

  char* AllocatePages(std::size_t size) override {
    return static_cast<char*>(
        ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }

  void FreePages(char* pages, std::size_t) override { ::VirtualFree(pages, 0, MEM_RELEASE); }
};

}  // namespace

// Arguments are ignored, as they always were: the tool's own location
// decides everything.
Platform* SystemPlatform(int, char**, int*) {
  static Win32Platform platform;
  return &platform;
}
