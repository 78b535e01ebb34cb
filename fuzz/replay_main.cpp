// The driver of the fuzz targets in builds without libFuzzer: runs
// LLVMFuzzerTestOneInput once on every file named on the command line and on
// every file of the directories named there (sorted; names beginning with
// '.' skipped), so ctest replays the seed corpus and the saved regressions.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

void CollectInputs(const std::string& path, std::vector<std::string>* inputs) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    std::fprintf(stderr, "replay: no such input %s\n", path.c_str());
    return;
  }
  if (!S_ISDIR(st.st_mode)) {
    char* full = realpath(path.c_str(), nullptr);  // the targets change directory
    inputs->push_back(full != nullptr ? full : path);
    std::free(full);
    return;
  }
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) CollectInputs(path + "/" + name, inputs);
}

bool ReadInput(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    bytes->insert(bytes->end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) CollectInputs(argv[i], &inputs);
  for (const std::string& path : inputs) {
    std::vector<std::uint8_t> bytes;
    if (!ReadInput(path, &bytes)) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 1;
    }
    std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::fprintf(stderr, "replay: %zu inputs passed\n", inputs.size());
  return 0;
}
