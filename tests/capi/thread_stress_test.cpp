// Threads sharing the library: 8 threads, each for a fixed number of rounds,
// initialise a library handle, open two shared files in the mapped mode 4
// (one view per file for the whole process) and once in descriptor mode,
// search them, and close and terminate everything again; on its first round
// each thread also holds extra handles, so the handle table grows while
// the others look handles up.  Every answer must equal the one computed on
// one thread beforehand.  CI runs this under ThreadSanitizer.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;

constexpr int kThreads = 8;
constexpr int kRounds = 12;
constexpr int kExtraHandles = 16;

struct Probe {
  int x, y;
};

// The answers for one file: the containing search at each probe (result
// and name), and the number of names beginning with "C".
std::string Answers(int h, const std::vector<Probe>& probes) {
  std::string out;
  char name[PIP_NAME_SIZE];
  for (const Probe& p : probes) {
    const int r = pipObjectFindFirstContaining(h, p.x, p.y, 0, name, sizeof name);
    out += std::to_string(r) + (r > 0 ? name : "") + ";";
  }
  int count = 0;
  for (int r = pipObjectFindFirstName(h, "C*", name, sizeof name); r == 1;
       r = pipObjectFindNext(h, name, sizeof name)) {
    ++count;
  }
  return out + std::to_string(count);
}

class ThreadStress : public CapiTest {
 protected:
  void SetUp() override {
    CapiTest::SetUp();
    const std::string shp = std::string(LUMETRA_SOURCE_DIR) + "/tests/data/counties_il_ak.shp";
    pipObjectFileInfoStruct info = FileInfo(100000, 500, PIP_COORD_GEOGRAPHIC, 0);
    const int h = StartImport(Path("counties.lmb"), info);
    ASSERT_EQ(pipImportOpenSHP(h, shp.c_str(), "NAME", nullptr), 1);
    char name[PIP_NAME_SIZE];
    int percent, line, r;
    while ((r = pipImportRead(h, name, sizeof name, &percent, &line)) == 1) {
    }
    ASSERT_EQ(r, 0);
    ASSERT_EQ(Term(h, 1), 1);
    std::vector<TestObject> grid;
    for (int i = 0; i < 100; ++i) {
      const int x = -90000000 + (i % 10) * 100000, y = 40000000 + (i / 10) * 100000;
      grid.push_back(Region("Cell" + std::to_string(i), {Box(x, y, x + 100000, y + 100000)}));
    }
    Build(Path("grid.lmb"), grid, BuildOptions());
    for (int i = 0; i < 40; ++i) {
      probes_.push_back({-90000000 + i * 25013, 40000000 + i * 24989});   // grid cells
      probes_.push_back({-89900000 + i * 137, 41000000 + i * 17000});     // Illinois counties
      probes_.push_back({-155500000 + i * 50000, 19600000 + i * 20000});  // Hawaii
    }
    for (const char* file : {"counties.lmb", "grid.lmb"}) {
      const int fh = Open(Path(file), 4);
      expected_.push_back(Answers(fh, probes_));
      Close(fh);
    }
  }

  // One thread's rounds; mismatches are counted, not asserted, to keep the
  // report short.
  void Rounds(int thread) {
    for (int round = 0; round < kRounds; ++round) {
      const int lib = pipInit(0, nullptr);
      if (lib <= 0) {
        ++failures_;
        continue;
      }
      std::vector<int> extra;
      for (int i = 0; round == 0 && i < kExtraHandles; ++i) {
        int h = 0;
        if (pipObjectFileOpen(lib, Path("grid.lmb").c_str(), 4, &h) == 1) extra.push_back(h);
      }
      const char* files[] = {"counties.lmb", "grid.lmb"};
      for (int f = 0; f < 2; ++f) {
        const int mode = (round + thread + f) % 3 == 0 ? PIP_OPEN_CACHE_5MB : 4;
        int h = 0;
        if (pipObjectFileOpen(lib, Path(files[f]).c_str(), mode, &h) != 1) {
          ++failures_;
          continue;
        }
        if (Answers(h, probes_) != expected_[f]) ++failures_;
        if (pipObjectFileClose(h) != 1) ++failures_;
      }
      for (int h : extra) pipObjectFileClose(h);
      if (extra.size() != (round == 0 ? kExtraHandles : 0u)) ++failures_;
      if (pipTerm(lib) != 1) ++failures_;
    }
  }

  std::vector<Probe> probes_;
  std::vector<std::string> expected_;
  std::atomic<int> failures_{0};
};

TEST_F(ThreadStress, SharedMappedFilesAndHandlesAcrossThreads) {
  ASSERT_NE(expected_[0].find("1"), std::string::npos);  // the probes hit counties
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([this, t] { Rounds(t); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures_.load(), 0);
}

}  // namespace
