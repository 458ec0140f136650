// The POSIX backup copy on real files: whole, to a new file only, also
// between two file systems where the kernel cannot copy by itself.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/posix_platform.h"
#include "support/temp_folder.h"

namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
  return bytes;
}

TEST(BackupCopy, IsWholeAndNeverGoesThroughALink) {
  TempFolder folder;
  PosixPlatform platform(folder.path(), nullptr, nullptr);
  const std::string bytes = Pattern(3 << 20);  // several kernel and buffer rounds
  WriteBytes(folder / "board", bytes);
  ASSERT_TRUE(platform.CopyToNew("Z:\\board", "Z:\\backup"));
  EXPECT_EQ(ReadBytes(folder / "backup"), bytes);

  WriteBytes(folder / "victim", "not ours");
  ASSERT_EQ(::symlink((folder / "victim").c_str(), (folder / "link").c_str()), 0);
  EXPECT_FALSE(platform.CopyToNew("Z:\\board", "Z:\\link"));
  EXPECT_EQ(ReadBytes(folder / "victim"), "not ours");
}

TEST(BackupCopy, WorksBetweenFileSystems) {
  TempFolder onDisk;
  if (::access("/dev/shm", W_OK) != 0 ||
      std::filesystem::space("/dev/shm").available < (16u << 20)) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  char memoryFolder[] = "/dev/shm/quenlit-copy-XXXXXX";
  ASSERT_NE(::mkdtemp(memoryFolder), nullptr);
  PosixPlatform platform("/", nullptr, nullptr);
  const std::string bytes = Pattern(1 << 20);
  const std::string source = std::string(memoryFolder) + "/board";
  WriteBytes(source, bytes);
  std::string from, to;
  ASSERT_TRUE(platform.FromHostPath(source, &from));
  ASSERT_TRUE(platform.FromHostPath(onDisk / "backup", &to));
  EXPECT_TRUE(platform.CopyToNew(from, to));
  EXPECT_EQ(ReadBytes(onDisk / "backup"), bytes);
  std::filesystem::remove_all(memoryFolder);
}

}  // namespace
