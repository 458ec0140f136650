#pragma once

#include "platform/platform.h"

// Forwards every call to another platform. Derive from it and override the
// calls to watch or break, the rest stay real.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}

  bool ModuleFileName(std::string* path) override { return target_.ModuleFileName(path); }
  bool FindFile(const std::string& path, std::uint32_t* attributes) override {
    return target_.FindFile(path, attributes);
  }
  FileHandle OpenForRead(const std::string& path) override { return target_.OpenForRead(path); }
  FileHandle CreateNew(const std::string& path, const std::string& likePath, Takes takes) override {
    return target_.CreateNew(path, likePath, takes);
  }
  bool FileSize(FileHandle file, std::uint64_t* size) override {
    return target_.FileSize(file, size);
  }
  bool ReadFile(FileHandle file, char* buffer, std::uint32_t size, std::uint32_t* got) override {
    return target_.ReadFile(file, buffer, size, got);
  }
  bool WriteFile(FileHandle file, const char* data, std::uint32_t size,
                 std::uint32_t* written) override {
    return target_.WriteFile(file, data, size, written);
  }
  bool FlushFile(FileHandle file) override { return target_.FlushFile(file); }
  void CloseFile(FileHandle file) override { target_.CloseFile(file); }
  std::uint32_t GetAttributes(const std::string& path) override {
    return target_.GetAttributes(path);
  }
  bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
    return target_.SetAttributes(path, attributes);
  }
  bool PutInPlace(FileHandle file, const std::string& from, const std::string& to) override {
    return target_.PutInPlace(file, from, to);
  }
  bool RemoveFile(const std::string& path) override { return target_.RemoveFile(path); }
  bool ReplaceTarget(const std::string& path, std::string* target) override {
    return target_.ReplaceTarget(path, target);
  }
  bool ProbeWrite(const std::string& path) override { return target_.ProbeWrite(path); }
  bool LeadsTo(const std::string& path, const std::string& entry) override {
    return target_.LeadsTo(path, entry);
  }
  FileHandle LockRun(const std::string& path) override { return target_.LockRun(path); }
  void UnlockRun(FileHandle lock) override { target_.UnlockRun(lock); }
  std::uint32_t LastError() override { return target_.LastError(); }
  void Sleep(std::uint32_t milliseconds) override { target_.Sleep(milliseconds); }
  int ShowBox(const std::string& text, const std::string& caption, std::uint32_t style) override {
    return target_.ShowBox(text, caption, style);
  }
  char* AllocatePages(std::size_t size) override { return target_.AllocatePages(size); }
  void FreePages(char* pages, std::size_t size) override { target_.FreePages(pages, size); }

 protected:
  Platform& target_;
};
