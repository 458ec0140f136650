#include <windows.h>

#include <limits>

#include "platform/platform.h"

// The seam on Windows: every call passes straight to the *A function of the
// same job. Paths and texts stay the ANSI code page bytes they came as.

namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

// CompareStringA takes int lengths; longer texts cannot be compared whole.
bool FitsInt(std::string_view s) { return s.size() <= std::numeric_limits<int>::max(); }

class Win32Platform final : public Platform {
 public:
  bool ModuleFileName(std::string* path) override {
    // A cut path would name another folder: grow until the whole path fits.
    std::string buffer(MAX_PATH + 1, '\0');
    while (buffer.size() <= 65536) {
      DWORD size = static_cast<DWORD>(buffer.size());
      DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), size);
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
    result.dbcsEnabled = ::GetSystemMetrics(SM_DBCSENABLED) != 0;
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
    return ::CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()),
                            b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
  }

  FileHandle OpenForRead(const std::string& path) override {
    return FromHandle(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  FileHandle CreateForWrite(const std::string& path) override {
    return FromHandle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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

  bool CopyWholeFile(const std::string& from, const std::string& to, bool failIfExists) override {
    return ::CopyFileA(from.c_str(), to.c_str(), failIfExists) != FALSE;
  }

  bool MoveReplacing(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }

  bool RemoveFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != FALSE; }

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

Platform& SystemPlatform() {
  static Win32Platform platform;
  return platform;
}
