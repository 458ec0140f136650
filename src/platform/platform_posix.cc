#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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
int OpenRegular(int folder, const std::string& name, int flags) {
  int fd = ::openat(folder, name.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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

// The mark a run's own file bears while the run writes it: a lock on one
// byte far past any board's end, which the Windows program's files bear
// too (Wine makes Windows locks Unix ones), so runs that share no run lock
// still see each other's files.
constexpr off_t kLiveMark = off_t{1} << 40;

struct flock LiveMark(short type) {
  struct flock mark {};
  mark.l_type = type;
  mark.l_whence = SEEK_SET;
  mark.l_start = kLiveMark;
  mark.l_len = 1;
  return mark;
}

// Whether the entry is a regular file another open file holds the live
// mark of. A link or anything else is no run's file.
bool IsLive(int folder, const std::string& name) {
  struct stat st;
  if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
    return false;
  }
  int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct flock mark = LiveMark(F_WRLCK);
  const bool live = ::fcntl(fd, F_OFD_GETLK, &mark) == 0 && mark.l_type != F_UNLCK;
  ::close(fd);
  return live;
}

// A file of our own under a name no entry has, not even a link, bearing the
// live mark. One that cannot even be looked at goes again at once.
int CreateOwn(int folder, const std::string& name, int access) {
  Track(folder, name);
  int fd = ::openat(folder, name.c_str(),
                    access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  struct stat st;
  if (fd >= 0 && ::fstat(fd, &st) != 0) {
    const int error = errno;
    ::unlinkat(folder, name.c_str(), 0);
    ::close(fd);
    errno = error;
    fd = -1;
  }
  if (fd < 0) {
    const int error = errno;
    Untrack(folder, name);
    errno = error;
    return -1;
  }
  struct flock mark = LiveMark(F_WRLCK);
  ::fcntl(fd, F_OFD_SETLK, &mark);  // a file system without locks: unmarked
  return fd;
}

// The value of extended attribute `name` of `fd`; false when it has none.
bool ReadAttribute(int fd, const char* name, std::string* value) {
  while (true) {
    const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
    if (size < 0) return false;
    value->assign(static_cast<std::size_t>(size), '\0');
    const ssize_t got = ::fgetxattr(fd, name, value->data(), value->size());
    if (got >= 0 && got <= size) {
      value->resize(static_cast<std::size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;  // grown meanwhile: again
  }
}

constexpr char kAccessAcl[] = "system.posix_acl_access";

// The rights of the owning group's own entry in an ACL (as mode bits
// 0-7), or 7 when the ACL names none.
mode_t GroupEntryOf(const std::string& acl) {
  // A 4-byte version, then entries of tag (2 bytes), rights (2), id (4),
  // little-endian.
  constexpr unsigned kGroupObj = 0x04;
  for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(acl[at + i]); };
    if ((byte(0) | byte(1) << 8) == kGroupObj) return (byte(2) | byte(3) << 8) & 7;
  }
  return 7;
}

// Who may do what with the file `like` (status `st`), given to `fd` as far
// as this process may: owner and group (only root gives a file away,
// others may still pass on a group they belong to), mode, ACL and the
// user's extended attributes. Never wider than `like`: with an ACL the
// mode's group bits are its mask, so until the ACL is set, and where the
// file system takes none, they grant no more than the owning group's own
// entry; a new file's ACL inherited from the folder goes.
void TakeAccessOf(int fd, int like, const struct stat& st) {
  if (::fchown(fd, st.st_uid, st.st_gid) != 0 && ::fchown(fd, -1, st.st_gid) != 0) {
    // Neither: the file stays the runner's, with the runner's group.
  }
  std::string acl;
  const bool hasAcl = like >= 0 && ReadAttribute(like, kAccessAcl, &acl);
  mode_t mode = st.st_mode & 07777;
  if (hasAcl) mode &= ~(070 & ~(GroupEntryOf(acl) << 3));
  ::fremovexattr(fd, kAccessAcl);
  ::fchmod(fd, mode);
  if (hasAcl) ::fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0);
  if (like < 0) return;
  std::string names(1024, '\0');
  ssize_t size;
  while ((size = ::flistxattr(like, names.data(), names.size())) < 0 && errno == ERANGE) {
    names.resize(names.size() * 2);
  }
  for (std::size_t at = 0; size > 0 && at < static_cast<std::size_t>(size);) {
    const char* name = names.c_str() + at;
    at += std::strlen(name) + 1;
    std::string value;
    if (std::strncmp(name, "user.", 5) == 0 && ReadAttribute(like, name, &value)) {
      ::fsetxattr(fd, name, value.data(), value.size(), 0);
    }
  }
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

// Who may do what is all a Linux file keeps of the kinds `Takes` names:
// both kinds take it.
FileHandle PosixPlatform::CreateNew(const std::string& path, const std::string& likePath, Takes) {
  Place place, like;
  if (!Locate(path, &place)) return NoFile(kErrorFileNotFound);
  int fd = CreateOwn(place.folder, place.name, O_RDWR);
  if (fd < 0) return NoFile(WindowsError(errno));
  struct stat st;
  if (Locate(likePath, &like) && ::fstatat(like.folder, like.name.c_str(), &st, 0) == 0) {
    const int likeFile = OpenRegular(like.folder, like.name, O_RDONLY);
    TakeAccessOf(fd, likeFile, st);
    if (likeFile >= 0) ::close(likeFile);
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
  // Another run's file, still being written: no leftover.
  if (IsLive(place.folder, place.name)) return Failed(kErrorSharingViolation);
  if (::unlinkat(place.folder, place.name.c_str(), 0) != 0) return Failed(errno);
  Untrack(place.folder, place.name);
  return true;
}

bool PosixPlatform::ReplaceTarget(const std::string& path, std::string* target) {
  Place place;
  struct stat st;
  if (!Locate(path, &place)) return Failed(kErrorFileNotFound);
  if (::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return Failed(errno);
  }
  if (!S_ISLNK(st.st_mode)) {
    if (st.st_nlink > 1) return Failed(kErrorCannotReplace);
    *target = path;
    return true;
  }
  // The link as it stands in the held folder, wherever that folder is now.
  const std::string link = place.folder == AT_FDCWD
                               ? place.host
                               : "/proc/self/fd/" + std::to_string(place.folder) + "/" + place.name;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(link.c_str(), nullptr),
                                                       &std::free);
  if (!resolved) return Failed(errno);
  if (::stat(resolved.get(), &st) != 0) return Failed(errno);
  // Replaced, a file of other names would part from them; a target that
  // has no exact name here cannot be named to replace it.
  if (st.st_nlink > 1 || !FromHostPath(resolved.get(), target)) {
    return Failed(kErrorCannotReplace);
  }
  return true;
}

bool PosixPlatform::ProbeWrite(const std::string& path) {
  Place place;
  if (!Locate(path, &place)) return Failed(kErrorFileNotFound);
  const int fd = OpenRegular(place.folder, place.name, O_WRONLY);
  if (fd < 0) return Failed(errno);
  ::close(fd);
  return true;
}

bool PosixPlatform::LeadsTo(const std::string& path, const std::string& entry) {
  Place file, at;
  struct stat led, named;
  if (!StatAt(path, &file, &led)) return false;
  if (!Locate(entry, &at)) return Failed(kErrorFileNotFound);
  if (::fstatat(at.folder, at.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) return Failed(errno);
  return led.st_dev == named.st_dev && led.st_ino == named.st_ino;
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
                 InertForTerminal(argv[0]).c_str());
    *status = 2;
    return nullptr;
  }
  static PosixPlatform platform;
  platform.StartedAs(argc > 0 ? argv[0] : nullptr);
  PrepareProcess();
  return &platform;
}
