#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// The code Windows gives for the same cause; the run decides which codes
// are worth waiting for.
std::uint32_t WindowsError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorFileNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case EWOULDBLOCK:
      return kErrorLockViolation;
    default:
      return kErrorGenFailure;
  }
}

// Temporary files this process has made and not yet put in place or
// removed: a signal that ends the process removes them first. Plain arrays,
// as the signal handler may only read what it finds.
struct PendingFile {
  int folder;
  char name[PATH_MAX];
  std::atomic<bool> used;
};
PendingFile pendingFiles[4];

void Track(int folder, const std::string& name) {
  if (name.size() >= PATH_MAX) return;
  for (PendingFile& pending : pendingFiles) {
    if (pending.used.load()) continue;
    pending.folder = folder;
    std::memcpy(pending.name, name.c_str(), name.size() + 1);
    pending.used.store(true);
    return;
  }
}

void Untrack(int folder, const std::string& name) {
  for (PendingFile& pending : pendingFiles) {
    if (pending.used.load() && pending.folder == folder && name == pending.name) {
      pending.used.store(false);
    }
  }
}

extern "C" void RemovePendingAndEnd(int signal) {
  for (PendingFile& pending : pendingFiles) {
    if (pending.used.load()) ::unlinkat(pending.folder, pending.name, 0);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void PrepareProcess() {
  // A size limit or a closed pipe fails the write instead of ending the
  // process, so the run reports it and cleans up.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = RemovePendingAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(signal, &action, nullptr);
}

// Opens a regular file only: FIFOs, sockets and devices fail at once instead
// of blocking.
int OpenRegular(int folder, const std::string& name, int flags, mode_t mode = 0) {
  int fd = ::openat(folder, name.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;  // no file to read, and no lock that will pass
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

// A file of our own under a name no entry has, not even a link.
int CreateOwn(int folder, const std::string& name, int access) {
  Track(folder, name);
  int fd = OpenRegular(folder, name, access | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (fd < 0) {
    int error = errno;
    Untrack(folder, name);
    errno = error;
  }
  return fd;
}

// The file's owner, group and mode for `fd`, as far as this process may
// give them: only root gives a file away, others may still pass on a group
// they belong to.
void TakePermissionsOf(int fd, const struct stat& like) {
  if (::fchown(fd, like.st_uid, like.st_gid) != 0 && ::fchown(fd, -1, like.st_gid) != 0) {
    // Neither: the file stays the runner's, with the runner's group.
  }
  ::fchmod(fd, like.st_mode & 07777);
}

bool WriteAll(int fd, const char* data, std::size_t size, std::size_t* written) {
  *written = 0;
  while (*written < size) {
    ssize_t n = ::write(fd, data + *written, size - *written);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    *written += static_cast<std::size_t>(n);
  }
  return true;
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

bool PosixPlatform::Failed(int error) { return Failed(WindowsError(error)); }

bool PosixPlatform::Failed(std::uint32_t windowsError) {
  lastError_ = windowsError;
  return false;
}

FileHandle PosixPlatform::NoFile(std::uint32_t windowsError) {
  lastError_ = windowsError;
  return kNoFile;
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

namespace {

// A link's whole target, the buffer grown until it fits: a cut path would
// name another file. False with errno set.
bool ReadWholeLink(const char* link, std::string* target) {
  std::string buffer(256, '\0');
  while (true) {
    ssize_t n = ::readlink(link, buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      *target = std::move(buffer);
      return true;
    }
    if (buffer.size() > (1u << 20)) {
      errno = ENAMETOOLONG;
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

void PosixPlatform::StartedAs(const char* calledBy) {
  startedAs_.clear();
  startedAsError_ = 0;
  const char* slash = calledBy ? std::strrchr(calledBy, '/') : nullptr;
  if (!slash) return;
  const std::string folder(calledBy, slash == calledBy ? 1 : slash - calledBy);
  const char* name = slash + 1;
  // The folder is opened, not taken as written: the kernel resolves '.',
  // '..' and linked folders, and its path comes back absolute.
  int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  // A starter may pass any argv[0]: only a name that leads to this very
  // program tells where the user started it.
  struct stat called, self;
  if (::fstatat(dir, name, &called, 0) == 0 && ::stat("/proc/self/exe", &self) == 0 &&
      called.st_dev == self.st_dev && called.st_ino == self.st_ino) {
    std::string resolved;
    if (ReadWholeLink(("/proc/self/fd/" + std::to_string(dir)).c_str(), &resolved)) {
      if (resolved != "/") resolved += '/';
      startedAs_ = resolved + name;
    } else {
      startedAsError_ = WindowsError(errno);
    }
  }
  ::close(dir);
}

bool PosixPlatform::ModuleFileName(std::string* path) {
  if (startedAsError_ != 0) return Failed(startedAsError_);
  std::string hostPath = startedAs_;
  if (hostPath.empty() && !ReadWholeLink("/proc/self/exe", &hostPath)) return Failed(errno);
  return FromHostPath(hostPath, path) || Failed(kErrorGenFailure);
}

bool PosixPlatform::Locate(const std::string& windowsPath, Place* place) const {
  if (!ToHostPath(windowsPath, &place->host)) return false;
  const std::size_t slash = place->host.find_last_of('/');
  // A name in the held folder is reached through the folder itself, so a
  // folder renamed or replaced by a link meanwhile is never followed.
  if (heldFolder_ >= 0 && slash + 1 == heldPath_.size() &&
      place->host.compare(0, heldPath_.size(), heldPath_) == 0) {
    place->folder = heldFolder_;
    place->name = place->host.substr(slash + 1);
  } else {
    place->folder = AT_FDCWD;
    place->name = place->host;
  }
  return true;
}

bool PosixPlatform::StatAt(const std::string& windowsPath, Place* place, struct stat* st) {
  if (!Locate(windowsPath, place)) return Failed(kErrorFileNotFound);
  return ::fstatat(place->folder, place->name.c_str(), st, 0) == 0 || Failed(errno);
}

bool PosixPlatform::FindFile(const std::string& path, std::uint32_t* attributes) {
  Place place;
  struct stat st;
  if (!StatAt(path, &place, &st)) return false;
  *attributes = AttributesOf(st);
  return true;
}

FileHandle PosixPlatform::OpenForRead(const std::string& path) {
  Place place;
  if (!Locate(path, &place)) return NoFile(kErrorFileNotFound);
  int fd = OpenRegular(place.folder, place.name, O_RDONLY);
  return fd < 0 ? NoFile(WindowsError(errno)) : fd;
}

// Owner, group and mode are all a Linux file keeps of the kinds `Takes`
// names: both kinds take them.
FileHandle PosixPlatform::CreateNew(const std::string& path, const std::string& likePath, Takes) {
  Place place, like;
  if (!Locate(path, &place)) return NoFile(kErrorFileNotFound);
  int fd = CreateOwn(place.folder, place.name, O_RDWR);
  if (fd < 0) return NoFile(WindowsError(errno));
  struct stat st;
  if (Locate(likePath, &like) && ::fstatat(like.folder, like.name.c_str(), &st, 0) == 0) {
    TakePermissionsOf(fd, st);
  }
  return fd;
}

bool PosixPlatform::FileSize(FileHandle file, std::uint64_t* size) {
  struct stat st;
  if (::fstat(static_cast<int>(file), &st) != 0) return Failed(errno);
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool PosixPlatform::ReadFile(FileHandle file, char* buffer, std::uint32_t size,
                             std::uint32_t* got) {
  *got = 0;
  while (*got < size) {
    ssize_t n = ::read(static_cast<int>(file), buffer + *got, size - *got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failed(errno);
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
  return ok || Failed(errno);
}

bool PosixPlatform::FlushFile(FileHandle file) {
  return ::fsync(static_cast<int>(file)) == 0 || Failed(errno);
}

void PosixPlatform::CloseFile(FileHandle file) { ::close(static_cast<int>(file)); }

std::uint32_t PosixPlatform::GetAttributes(const std::string& path) {
  Place place;
  struct stat st;
  return StatAt(path, &place, &st) ? AttributesOf(st) : kInvalidAttributes;
}

bool PosixPlatform::SetAttributes(const std::string& path, std::uint32_t attributes) {
  Place place;
  struct stat st;
  if (!StatAt(path, &place, &st)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & kAttrReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  return ::fchmodat(place.folder, place.name.c_str(), mode, 0) == 0 || Failed(errno);
}

bool PosixPlatform::PutInPlace(FileHandle file, const std::string& from, const std::string& to) {
  Place source, target;
  if (!Locate(from, &source) || !Locate(to, &target)) return Failed(kErrorFileNotFound);
  struct stat mine, named, st;
  if (::fstat(static_cast<int>(file), &mine) != 0) return Failed(errno);
  // Another run may have removed our file and made its own under the name:
  // only the file this run wrote may take the place.
  if (::fstatat(source.folder, source.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    return Failed(errno == ENOENT ? kErrorFileChanged : WindowsError(errno));
  }
  if (named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
    return Failed(kErrorFileChanged);
  }
  // As Windows, a read-only file is not replaced; a link in the way is.
  if (::fstatat(target.folder, target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      IsReadOnly(st) && !S_ISLNK(st.st_mode)) {
    return Failed(kErrorAccessDenied);
  }
  if (::renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) != 0) {
    return Failed(errno);
  }
  Untrack(source.folder, source.name);
  // The file already holds the new bytes: a folder that cannot be synced
  // does not make that a failure.
  if (target.folder != AT_FDCWD) {
    ::fsync(target.folder);
  } else {
    const std::size_t slash = target.host.find_last_of('/');
    int folder =
        ::open(target.host.substr(0, slash + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  return true;
}

bool PosixPlatform::RemoveFile(const std::string& path) {
  Place place;
  if (!Locate(path, &place)) return Failed(kErrorFileNotFound);
  if (::unlinkat(place.folder, place.name.c_str(), 0) != 0) return Failed(errno);
  Untrack(place.folder, place.name);
  return true;
}

std::string PosixPlatform::ReplaceTarget(const std::string& path) {
  Place place;
  std::string windows;
  struct stat st;
  if (!Locate(path, &place) ||
      ::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(st.st_mode)) {
    return path;
  }
  // The link as it stands in the held folder, wherever that folder is now.
  const std::string link = place.folder == AT_FDCWD
                               ? place.host
                               : "/proc/self/fd/" + std::to_string(place.folder) + "/" + place.name;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(link.c_str(), nullptr),
                                                       &std::free);
  // A target that has no exact name here: the link itself is replaced.
  return resolved && FromHostPath(resolved.get(), &windows) ? windows : path;
}

FileHandle PosixPlatform::LockRun(const std::string& path) {
  std::string host;
  if (!ToHostPath(path, &host)) return NoFile(kErrorFileNotFound);
  host.resize(host.find_last_of('/') + 1);
  int fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return NoFile(WindowsError(errno));
  // A file system without flock still gets its folder held: only another
  // run's lock makes this fail.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return NoFile(kErrorLockViolation);
  }
  heldFolder_ = fd;
  heldPath_ = host;
  return fd;
}

void PosixPlatform::UnlockRun(FileHandle lock) {
  if (lock == heldFolder_) {
    heldFolder_ = -1;
    heldPath_.clear();
  }
  ::close(static_cast<int>(lock));
}

std::uint32_t PosixPlatform::LastError() { return lastError_; }

void PosixPlatform::Sleep(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
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

Platform* SystemPlatform(int argc, char** argv, int* status) {
  if (argc > 1) {
    std::fprintf(stderr,
                 "usage: %s   (no arguments: it fixes config/board.2ch in its own folder)\n",
                 argv[0]);
    *status = 2;
    return nullptr;
  }
  static PosixPlatform platform;
  platform.StartedAs(argc > 0 ? argv[0] : nullptr);
  PrepareProcess();
  return &platform;
}
