// Helpers shared by the fuzz targets: invariant checks, a private scratch
// directory for the files a reader opens, splitting an input into the members
// of a multi-file format, a reader of choice bytes, and the process's library
// handle.
//
// Every target is an LLVMFuzzerTestOneInput over one input; with libFuzzer
// (LUMETRA_FUZZ=ON) the engine drives it, otherwise replay_main.cpp runs it
// over the seed corpus and the saved regressions.
#ifndef LUMETRA_FUZZ_FUZZ_SUPPORT_H
#define LUMETRA_FUZZ_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Aborts with the failed condition when an invariant does not hold, so the
// engine keeps the input as a finding (and a replay fails).
#define FUZZ_CHECK(cond)                                                     \
  do {                                                                       \
    if (!(cond)) ::lumetra_fuzz::InvariantFailed(#cond, __FILE__, __LINE__); \
  } while (0)

namespace lumetra_fuzz {

[[noreturn]] void InvariantFailed(const char* condition, const char* file, int line);

// The separator between the members of a multi-file input (each target's
// dictionary holds it).
inline constexpr char kMemberSeparator[] = "\n~~member~~\n";

// The input cut at each separator into at most max_members members; the last
// member keeps any further separators.
std::vector<std::string> SplitMembers(const std::uint8_t* data, std::size_t size,
                                      std::size_t max_members);

// A directory of this process's own (in memory under /dev/shm when it
// exists), removed with its contents at exit.  Made on first use, it becomes
// TEMP, TMP and the working directory, so every scratch file of the library
// lands there: paths handed to a fuzzer (corpus, artifacts) must be absolute.
const std::string& ScratchDir();
// Writes bytes to ScratchDir()/name and returns the path.
std::string WriteFile(const std::string& name, const std::string& bytes);
std::string WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size);
// Removes ScratchDir()/name (no error when it does not exist).
void RemoveFile(const std::string& name);
// True when no entry of ScratchDir() other than the named ones exists.
bool ScratchHoldsOnly(const std::vector<std::string>& names);

// The library handle (pipInit) of the process, made once.
int LibraryHandle();

// Takes choice values from the front of an input; past its end every value
// is 0.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte();
  std::uint16_t U16();
  std::uint32_t U32();
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  // The unread rest.
  const std::uint8_t* rest() const { return data_; }
  std::size_t rest_size() const { return size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Doubles compared by their bits (NaN equals itself).
bool SameBits(const std::vector<double>& a, const std::vector<double>& b);

// A NUL-terminated buffer of `size` bytes stays terminated within its size.
bool Terminated(const char* buffer, std::size_t size);

}  // namespace lumetra_fuzz

#endif  // LUMETRA_FUZZ_FUZZ_SUPPORT_H
