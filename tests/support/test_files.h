// File helpers shared by the tests.
#ifndef LUMETRA_TESTS_SUPPORT_TEST_FILES_H
#define LUMETRA_TESTS_SUPPORT_TEST_FILES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra_test {

// A fresh directory under the system temporary directory, removed with all
// its contents when the object goes away.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

// Changes the working directory for the object's life (scratch files of the
// tree builder go to the current directory).
class ScopedChdir {
 public:
  explicit ScopedChdir(const std::string& dir);
  ~ScopedChdir();
  ScopedChdir(const ScopedChdir&) = delete;
  ScopedChdir& operator=(const ScopedChdir&) = delete;

 private:
  std::string old_;
};

// A scratch directory per test that is also the working directory.
class ScratchDirTest : public ::testing::Test {
 protected:
  ScratchDirTest() : chdir_(dir_.path()) {}
  std::string Path(const std::string& file) const { return dir_.File(file); }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
};

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
bool FileExists(const std::string& path);
// Names of the entries of a directory (without "." and "..").
std::vector<std::string> ListDir(const std::string& dir);

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_TEST_FILES_H
