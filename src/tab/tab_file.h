// TabFile: one member file of a table (.tab, .dat, .map, .id), opened for
// reading or created for writing, with positioned reads and writes that
// either complete or throw TabError naming the file, the position and the
// size involved.
//
// Ownership: owns the stream; closes it when destroyed (without reporting:
// call Close to learn whether buffered data reached the disk).  Thread
// rule: one thread at a time.
#ifndef LUMETRA_TAB_TAB_FILE_H
#define LUMETRA_TAB_TAB_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lumetra::tab {

class TabFile {
 public:
  enum class Mode { kRead, kCreate };

  TabFile() = default;
  ~TabFile();
  TabFile(const TabFile&) = delete;
  TabFile& operator=(const TabFile&) = delete;

  // Opens `path` for reading (its size is taken now) or creates it
  // (truncating any file of that name).  Throws kTXErrOpen.
  void Open(const std::string& path, Mode mode);
  // Reads exactly `size` bytes at `offset`; throws kTXErrFormat when the
  // file ends first (`what` names the structure being read).
  void ReadAt(std::uint64_t offset, void* data, std::size_t size, const char* what);
  // Reads up to `size` bytes at `offset`; returns how many there were.
  // Small reads are served from a window of the file kept in memory, so
  // reading a table row by row costs few system calls.
  std::size_t ReadSome(std::uint64_t offset, void* data, std::size_t size);
  // Writes `size` bytes at `offset` (growing the file); throws kTXErrWrite.
  void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  // Writes at the end of what was written so far.
  void Append(const void* data, std::size_t size);
  // Flushes and closes; throws kTXErrWrite when data could not be written.
  void Close();
  // Closes without reporting (a file being dropped).
  void CloseQuietly();

  bool is_open() const { return stream_ != nullptr; }
  // Size of the file: when opened (reading) or written so far (creating).
  std::uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }

 private:
  void SeekTo(std::uint64_t offset, int failure_code);
  std::size_t ReadDirect(std::uint64_t offset, void* data, std::size_t size);

  static constexpr std::size_t kWindowSize = 64 * 1024;

  std::FILE* stream_ = nullptr;
  std::string path_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = UINT64_MAX;  // stream position, when known
  std::vector<std::uint8_t> window_;     // file bytes from window_start_
  std::uint64_t window_start_ = 0;
};

// `path` with its extension (after the last '.' of the last component)
// replaced by `extension` (".dat"), keeping the case of the original
// extension's first letter ("A.TAB" -> "A.DAT").
std::string MemberPath(const std::string& path, const char* extension);

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_TAB_FILE_H
