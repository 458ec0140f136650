#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>

#include "platform/encoding.h"
#include "platform/posix_platform.h"

namespace {

std::uint32_t AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return kAttrDirectory;
  return (st.st_mode & S_IWUSR) ? kAttrNormal : kAttrReadOnly;
}

bool IsReadOnly(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

// Opens a regular file only: FIFOs, sockets and devices fail at once instead
// of blocking.
int OpenRegular(const std::string& hostPath, int flags, mode_t mode = 0) {
  int fd = ::open(hostPath.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size, std::size_t* written) {
  *written = 0;
  while (*written < size) {
    ssize_t n = ::write(fd, data + *written, size - *written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    *written += static_cast<std::size_t>(n);
  }
  return true;
}

// From the current offset of `in` to its end. The kernel copies by itself
// where it can, which spares passing every byte through this process.
bool CopyContent(int in, int out) {
  bool inKernel = true;
  char buffer[1 << 16];
  while (true) {
    ssize_t n;
    if (inKernel) {
      n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        inKernel = false;  // not between these files: copy by hand from where it stopped
        continue;
      }
    } else {
      n = ::read(in, buffer, sizeof buffer);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    if (!inKernel) {
      std::size_t written = 0;
      if (!WriteAll(out, buffer, static_cast<std::size_t>(n), &written)) return false;
    }
  }
}

void SyncDirectoryOf(const std::string& hostPath) {
  std::size_t slash = hostPath.find_last_of('/');
  std::string folder =
      slash == std::string::npos ? std::string(".") : hostPath.substr(0, slash + 1);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Where a replace must land: the target of a symbolic link, so the link stays.
std::string ReplaceTarget(const std::string& hostPath) {
  struct stat st;
  if (::lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(hostPath.c_str(), nullptr),
                                                         &std::free);
    if (resolved) return resolved.get();
  }
  return hostPath;
}

// Under AddressSanitizer blocks come from the heap, where every access to
// them is checked; mapped pages are outside its view.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCheckedHeap = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCheckedHeap = true;
#else
constexpr bool kCheckedHeap = false;
#endif
#else
constexpr bool kCheckedHeap = false;
#endif

// Blocks lie on huge pages where the system allows: one fault and one TLB
// entry per 2 MiB instead of per 4 KiB, which decides how fast a file is
// read and gone through. Below 64 KiB a few small pages cost less than
// clearing a huge one.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHugeFrom = std::size_t{64} << 10;

std::size_t MappedSize(std::size_t size) {
  const std::size_t unit =
      size >= kHugeFrom ? kHugePage : static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return (size + unit - 1) / unit * unit;
}

}  // namespace

PosixPlatform::PosixPlatform(std::string root, std::FILE* in, std::FILE* out)
    : root_(std::move(root)), in_(in), out_(out) {
  while (!root_.empty() && root_.back() == '/') root_.pop_back();
}

bool PosixPlatform::ToHostPath(const std::string& windowsPath, std::string* hostPath) const {
  if (windowsPath.size() < 2 || (windowsPath[0] != 'Z' && windowsPath[0] != 'z') ||
      windowsPath[1] != ':') {
    return false;
  }
  // Convert first: byte 0x5C inside a double-byte character is no separator.
  std::string rest;
  if (!Cp932ToUtf8(std::string_view(windowsPath).substr(2), &rest)) return false;
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  std::string joined = root_;
  if (rest.empty() || rest[0] != '/') joined.push_back('/');
  joined.append(rest);
  *hostPath = std::move(joined);
  return true;
}

bool PosixPlatform::FromHostPath(const std::string& hostPath, std::string* windowsPath) const {
  if (hostPath.compare(0, root_.size(), root_) != 0) return false;
  std::string rest = hostPath.substr(root_.size());
  if (rest.empty() || rest[0] != '/' || rest.find('\\') != std::string::npos) return false;
  for (char& c : rest) {
    if (c == '/') c = '\\';
  }
  std::string converted;
  if (!Utf8ToCp932(rest, &converted)) return false;
  *windowsPath = "Z:" + converted;
  return true;
}

bool PosixPlatform::ModuleFileName(std::string* path) {
  // Grow until the link's whole target fits: a cut path would name another file.
  std::string buffer(256, '\0');
  while (true) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      break;
    }
    if (buffer.size() > (1u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
  return FromHostPath(buffer, path);
}

bool PosixPlatform::FindFile(const std::string& path, std::uint32_t* attributes) {
  std::string host;
  struct stat st;
  if (!ToHostPath(path, &host) || ::stat(host.c_str(), &st) != 0) return false;
  *attributes = AttributesOf(st);
  return true;
}

CodePageInfo PosixPlatform::AnsiCodePage() { return {true, {{0x81, 0x9F}, {0xE0, 0xFC}}}; }

bool PosixPlatform::SameText(std::string_view a, std::string_view b) { return a == b; }

FileHandle PosixPlatform::OpenForRead(const std::string& path) {
  std::string host;
  if (!ToHostPath(path, &host)) return kNoFile;
  int fd = OpenRegular(host, O_RDONLY);
  return fd < 0 ? kNoFile : fd;
}

FileHandle PosixPlatform::CreateForWrite(const std::string& path) {
  std::string host;
  if (!ToHostPath(path, &host)) return kNoFile;
  struct stat st;
  if (::stat(host.c_str(), &st) == 0 && IsReadOnly(st)) return kNoFile;
  int fd = OpenRegular(host, O_RDWR | O_CREAT | O_TRUNC, 0666);
  return fd < 0 ? kNoFile : fd;
}

bool PosixPlatform::FileSize(FileHandle file, std::uint64_t* size) {
  struct stat st;
  if (::fstat(static_cast<int>(file), &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool PosixPlatform::ReadFile(FileHandle file, char* buffer, std::uint32_t size,
                             std::uint32_t* got) {
  *got = 0;
  while (*got < size) {
    ssize_t n = ::read(static_cast<int>(file), buffer + *got, size - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    *got += static_cast<std::uint32_t>(n);
  }
  return true;
}

bool PosixPlatform::WriteFile(FileHandle file, const char* data, std::uint32_t size,
                              std::uint32_t* written) {
  std::size_t done = 0;
  bool ok = WriteAll(static_cast<int>(file), data, size, &done);
  *written = static_cast<std::uint32_t>(done);
  return ok;
}

bool PosixPlatform::FlushFile(FileHandle file) { return ::fsync(static_cast<int>(file)) == 0; }

void PosixPlatform::CloseFile(FileHandle file) { ::close(static_cast<int>(file)); }

std::uint32_t PosixPlatform::GetAttributes(const std::string& path) {
  std::string host;
  struct stat st;
  if (!ToHostPath(path, &host) || ::stat(host.c_str(), &st) != 0) return kInvalidAttributes;
  return AttributesOf(st);
}

bool PosixPlatform::SetAttributes(const std::string& path, std::uint32_t attributes) {
  std::string host;
  struct stat st;
  if (!ToHostPath(path, &host) || ::stat(host.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  return ::chmod(host.c_str(), mode) == 0;
}

bool PosixPlatform::CopyWholeFile(const std::string& from, const std::string& to,
                                  bool failIfExists) {
  std::string source, target;
  if (!ToHostPath(from, &source) || !ToHostPath(to, &target)) return false;
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 &&
      (failIfExists || !S_ISREG(existing.st_mode) || IsReadOnly(existing))) {
    return false;
  }
  // The copy is made beside the target and takes its place only when whole:
  // a copy cut short (a full disk) must not destroy an earlier good backup.
  target = ReplaceTarget(target);
  const std::string partial = target + "_QlTemp";
  ::unlink(partial.c_str());  // left by a run that ended here
  int in = OpenRegular(source, O_RDONLY);
  if (in < 0) return false;
  struct stat st;
  int out = -1;
  if (::fstat(in, &st) == 0)
    out = OpenRegular(partial, O_WRONLY | O_CREAT | O_EXCL, st.st_mode & 0777);
  bool ok = out >= 0 && CopyContent(in, out);
  // The backup is what the user falls back on: make it durable.
  if (ok) ok = ::fchmod(out, st.st_mode & 07777) == 0 && ::fsync(out) == 0;
  if (out >= 0) ::close(out);
  ::close(in);
  if (ok) ok = ::rename(partial.c_str(), target.c_str()) == 0;
  if (!ok && out >= 0) ::unlink(partial.c_str());
  if (ok) SyncDirectoryOf(target);
  return ok;
}

bool PosixPlatform::MoveReplacing(const std::string& from, const std::string& to) {
  std::string source, target;
  if (!ToHostPath(from, &source) || !ToHostPath(to, &target)) return false;
  target = ReplaceTarget(target);
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (IsReadOnly(st)) return false;  // as Windows refuses to replace a read-only file
    // The new file takes the old one's permissions and, where allowed, owner.
    ::chmod(source.c_str(), st.st_mode & 07777);
    if (::chown(source.c_str(), st.st_uid, st.st_gid) != 0) {
      // Only root may give a file away; an ordinary user keeps their own.
    }
  }
  if (::rename(source.c_str(), target.c_str()) != 0) return false;
  // The file already holds the new bytes: a folder that cannot be synced
  // does not make that a failure.
  SyncDirectoryOf(target);
  return true;
}

bool PosixPlatform::RemoveFile(const std::string& path) {
  std::string host;
  return ToHostPath(path, &host) && ::unlink(host.c_str()) == 0;
}

int PosixPlatform::ShowBox(const std::string& text, const std::string& caption,
                           std::uint32_t style) {
  return TerminalBox(in_, out_, text, caption, style);
}

char* PosixPlatform::AllocatePages(std::size_t size) {
  if (size == 0) size = 1;
  if (kCheckedHeap) return new (std::nothrow) char[size];
  const std::size_t mapped = MappedSize(size);
  if (mapped < size) return nullptr;  // the rounding overflowed
  // A huge page needs a 2 MiB boundary: map one more, then cut to the boundary.
  const std::size_t slack = size >= kHugeFrom ? kHugePage : 0;
  if (mapped + slack < mapped) return nullptr;
  void* area =
      ::mmap(nullptr, mapped + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return nullptr;
  char* start = static_cast<char*>(area);
  if (slack != 0) {
    const std::size_t offset =
        (kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage;
    if (offset != 0) ::munmap(start, offset);
    if (slack - offset != 0) ::munmap(start + offset + mapped, slack - offset);
    start += offset;
    ::madvise(start, mapped, MADV_HUGEPAGE);  // only advice: without it the pages are small
  }
  return start;
}

void PosixPlatform::FreePages(char* pages, std::size_t size) {
  if (size == 0) size = 1;
  if (kCheckedHeap) {
    delete[] pages;
    return;
  }
  ::munmap(pages, MappedSize(size));
}

Platform& SystemPlatform() {
  static PosixPlatform platform;
  return platform;
}
