#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Host file helpers for tests (paths are Linux paths).
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
void SetWritable(const std::string& path, bool writable);
bool IsWritable(const std::string& path);

// Expected texts are written in UTF-8 in the tests and turned into the
// tool's cp932 bytes here, independently of the tool's own byte literals.
std::string Sjis(const std::string& utf8);
