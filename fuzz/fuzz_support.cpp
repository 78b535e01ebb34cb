#include "fuzz_support.h"

#include <dirent.h>
#include <lumetra/pip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" void __sanitizer_report_error_summary(const char* text) __attribute__((weak));

namespace lumetra_fuzz {
namespace {

std::string* scratch_dir = nullptr;

void RemoveScratchDir() {
  if (scratch_dir == nullptr) return;
  if (DIR* dir = opendir(scratch_dir->c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      std::remove((*scratch_dir + "/" + entry->d_name).c_str());
    }
    closedir(dir);
  }
  rmdir(scratch_dir->c_str());
}

}  // namespace

void InvariantFailed(const char* condition, const char* file, int line) {
  char text[512];
  std::snprintf(text, sizeof text, "fuzz invariant failed: %s (%s:%d)", condition, file, line);
  std::fprintf(stderr, "%s\n", text);
  // Also where the engine keeps its reports when the target's output is closed.
  if (&__sanitizer_report_error_summary != nullptr) __sanitizer_report_error_summary(text);
  std::abort();
}

std::vector<std::string> SplitMembers(const std::uint8_t* data, std::size_t size,
                                      std::size_t max_members) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string separator(kMemberSeparator);
  std::vector<std::string> members;
  std::size_t begin = 0;
  while (members.size() + 1 < max_members) {
    const std::size_t at = input.find(separator, begin);
    if (at == std::string::npos) break;
    members.push_back(input.substr(begin, at - begin));
    begin = at + separator.size();
  }
  members.push_back(input.substr(begin));
  return members;
}

const std::string& ScratchDir() {
  if (scratch_dir == nullptr) {
    struct stat st;
    const char* base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/lumetra-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    scratch_dir = new std::string(pattern);
    setenv("TEMP", scratch_dir->c_str(), 1);
    setenv("TMP", scratch_dir->c_str(), 1);
    // The tree builder's scratch files go to the working directory.
    if (chdir(scratch_dir->c_str()) != 0) {
      std::perror("chdir");
      std::abort();
    }
    std::atexit(RemoveScratchDir);
  }
  return *scratch_dir;
}

std::string WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const std::string path = ScratchDir() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  return path;
}

std::string WriteFile(const std::string& name, const std::string& bytes) {
  return WriteFile(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void RemoveFile(const std::string& name) { std::remove((ScratchDir() + "/" + name).c_str()); }

bool ScratchHoldsOnly(const std::vector<std::string>& names) {
  bool only = true;
  if (DIR* dir = opendir(ScratchDir().c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      if (std::find(names.begin(), names.end(), name) == names.end()) {
        std::fprintf(stderr, "left behind: %s\n", name.c_str());
        only = false;
      }
    }
    closedir(dir);
  }
  return only;
}

namespace {
int library_handle = 0;
void TerminateLibrary() { pipTerm(library_handle); }
}  // namespace

int LibraryHandle() {
  if (library_handle == 0) {
    library_handle = pipInit(0, nullptr);
    FUZZ_CHECK(library_handle > 0);
    std::atexit(TerminateLibrary);  // runs before the leak check at exit
  }
  return library_handle;
}

std::uint8_t Choices::Byte() {
  if (size_ == 0) return 0;
  --size_;
  return *data_++;
}

std::uint16_t Choices::U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }

std::uint32_t Choices::U32() { return U16() | static_cast<std::uint32_t>(U16()) << 16; }

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool Terminated(const char* buffer, std::size_t size) {
  return std::memchr(buffer, '\0', size) != nullptr;
}

}  // namespace lumetra_fuzz
