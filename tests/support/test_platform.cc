#include "support/test_platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

TestPlatform::TestPlatform() : RealPlatformHolder(""), PlatformWrapper(real) {
  real = PosixPlatform(folder_.path(), nullptr, nullptr);
  MakeFolder(HostPath("host/config"));
}

bool TestPlatform::Fails(const char* name) {
  calls.emplace_back(name);
  if (changeAt != 0 && static_cast<long>(calls.size()) == changeAt) change();
  if (dieAt != 0 && static_cast<long>(calls.size()) == dieAt) ::_exit(dieStatus);
  injected_ = false;
  if (failAt == 0 || (!failCall.empty() && failCall != name)) return false;
  ++matching_;
  injected_ = matching_ >= failAt && matching_ < failAt + failTimes;
  return injected_;
}

bool TestPlatform::ModuleFileName(std::string* path) {
  if (Fails("ModuleFileName") || !moduleAvailable) return false;
  *path = modulePath;
  return true;
}

bool TestPlatform::FindFile(const std::string& path, std::uint32_t* attributes) {
  return !Fails("FindFile") && target_.FindFile(path, attributes);
}

FileHandle TestPlatform::OpenForRead(const std::string& path) {
  return Fails("OpenForRead") ? kNoFile : target_.OpenForRead(path);
}

FileHandle TestPlatform::CreateNew(const std::string& path, const std::string& likePath,
                                   Takes takes) {
  return Fails("CreateNew") ? kNoFile : target_.CreateNew(path, likePath, takes);
}

bool TestPlatform::FileSize(FileHandle file, std::uint64_t* size) {
  return !Fails("FileSize") && target_.FileSize(file, size);
}

bool TestPlatform::ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  if (Fails("ReadFile")) {
    target_.ReadFile(file, buffer, size / 2, got);
    return false;
  }
  return target_.ReadFile(file, buffer, size, got);
}

bool TestPlatform::WriteFile(FileHandle file, const char* data, std::uint32_t size,
                             std::uint32_t* written) {
  if (Fails("WriteFile")) {
    // A disk that fills up.
    target_.WriteFile(file, data, size / 2, written);
    return failError == 0;
  }
  return target_.WriteFile(file, data, size, written);
}

bool TestPlatform::FlushFile(FileHandle file) {
  return !Fails("FlushFile") && target_.FlushFile(file);
}

void TestPlatform::CloseFile(FileHandle file) {
  Fails("CloseFile");  // closing cannot fail, but the process may end here
  target_.CloseFile(file);
}

std::uint32_t TestPlatform::GetAttributes(const std::string& path) {
  return Fails("GetAttributes") ? kInvalidAttributes : target_.GetAttributes(path);
}

bool TestPlatform::SetAttributes(const std::string& path, std::uint32_t attributes) {
  return !Fails("SetAttributes") && target_.SetAttributes(path, attributes);
}

bool TestPlatform::PutInPlace(FileHandle file, const std::string& from, const std::string& to) {
  return !Fails("PutInPlace") && target_.PutInPlace(file, from, to);
}

bool TestPlatform::RemoveFile(const std::string& path) {
  return !Fails("RemoveFile") && target_.RemoveFile(path);
}

bool TestPlatform::ProbeWrite(const std::string& path) {
  return !Fails("ProbeWrite") && target_.ProbeWrite(path);
}

bool TestPlatform::LeadsTo(const std::string& path, const std::string& entry) {
  return !Fails("LeadsTo") && target_.LeadsTo(path, entry);
}

FileHandle TestPlatform::LockRun(const std::string& path) {
  return Fails("LockRun") ? kNoFile : target_.LockRun(path);
}

void TestPlatform::UnlockRun(FileHandle lock) {
  Fails("UnlockRun");  // cannot fail, but the process may end here
  target_.UnlockRun(lock);
}

std::uint32_t TestPlatform::LastError() { return injected_ ? failError : target_.LastError(); }

void TestPlatform::Sleep(std::uint32_t milliseconds) { slept += milliseconds; }

int TestPlatform::ShowBox(const std::string& text, const std::string& caption,
                          std::uint32_t style) {
  if (Fails("ShowBox")) return 0;  // a box that cannot be shown
  boxes.push_back({text, caption, style});
  if ((style & kBoxButtons) == kBoxOk) return kIdOk;
  if (answers.empty()) return 0;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

char* TestPlatform::AllocatePages(std::size_t size) {
  return Fails("AllocatePages") ? nullptr : target_.AllocatePages(size);
}

void TestPlatform::FreePages(char* pages, std::size_t size) {
  Fails("FreePages");  // giving back cannot fail, but the process may end here
  target_.FreePages(pages, size);
}

LineList TextLines(Platform& platform, std::string_view bytes) {
  PageBlock block(platform, bytes.size());
  std::memcpy(block.data(), bytes.data(), bytes.size());
  return LineList(std::move(block), bytes.size());
}

LineList LinesOf(Platform& platform, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) (bytes += line) += "\r\n";
  return TextLines(platform, bytes);
}

std::string WrittenOut(const LineList& lines, std::size_t room) {
  std::string buffer(room, '\0');
  std::string out;
  WrittenBytes bytes(lines);
  for (auto piece = bytes.Next(buffer); !piece.empty(); piece = bytes.Next(buffer)) {
    EXPECT_TRUE(piece.data() != buffer.data() || piece.size() <= room) << "past the buffer";
    out += piece;
  }
  return out;
}

std::vector<std::string> LinesWritten(const LineList& lines) {
  std::string out = WrittenOut(lines);
  out.resize(out.size() - lines.tail().size());
  std::vector<std::string> result;
  for (std::size_t start = 0; start < out.size();) {
    const std::size_t end = out.find("\r\n", start);
    result.push_back(out.substr(start, end - start));
    start = end + 2;
  }
  return result;
}
