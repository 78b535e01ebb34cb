// Fault injection: each scenario -- import from every reader format, export
// to every writer (MIF also with attribute columns), the data library builder, and every search in
// descriptor and mapped mode -- runs once clean to count its file-layer calls (read, write, seek,
// map) and large allocations, then once for every N with call N failing.  Each run must end exactly
// as the clean run did (a failure the library recovered from) or fail with a recorded error,
// leaving nothing behind but its inputs; the sanitizer build, which compiles the hooks, also sees
// any leak.
#include "fault_injection.h"

#include <gtest/gtest.h>
#include <lumetra/datalib.h>
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "support/failing_new.h"
#include "support/test_files.h"

#ifndef LUMETRA_FAULT_INJECTION

TEST(FaultInjection, NeedsTheHooks) { GTEST_SKIP() << "built without LUMETRA_FAULT_INJECTION"; }

#else

// Large allocations of the library fail when the injected fault falls on
// them (through the replaced operator new); the rest of the process
// allocates as usual.
namespace {
// Set while the test itself allocates (reading back output files): those
// blocks are neither counted nor failed.
bool test_allocating = false;
bool LibraryAllocationFails(std::size_t n) {
  return !test_allocating && lumetra::FaultInjectedAllocation(n);
}
}  // namespace

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;

// Runs with more calls than this are sampled evenly.
constexpr std::uint64_t kMaxRunsPerScenario = 120;
constexpr int kCounties = 4;

// What one run ended with: success and its transcript (answers, or the
// bytes of the files written), or a failure and whether it was recorded.
struct Outcome {
  bool ok = false;
  bool recorded = false;
  std::string transcript;
};

struct Scenario {
  const char* name;
  std::vector<std::string> outputs;  // what a successful run leaves
  std::function<Outcome(int library)> run;
  // Shapefile and TAB exports ended without commit keep what they wrote
  // (their writers remove nothing); every other output is removed.
  bool removes_on_failure = true;
};

bool Recorded(int library) {
  char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
  return pipErrorGet(library, message, detail) != PIP_ERR_NONE;
}

std::string Files(const std::vector<std::string>& names) {
  test_allocating = true;
  std::string all;
  for (const std::string& n : names) {
    const std::vector<std::uint8_t> b = ReadBytes(n);
    all += n + ":" + std::string(b.begin(), b.end());
  }
  test_allocating = false;
  return all;
}

// Import of `open`'s reader into out.lmb, read to its end and committed.
Scenario Import(const char* name, std::function<int(int)> open) {
  return {name, {"out.lmb"}, [open](int lib) {
            Outcome o;
            int h = 0;
            pipObjectFileInfoStruct info{};
            info.maxPoints = 50000;
            info.maxParts = 100;
            info.coordType = PIP_COORD_GEOGRAPHIC;
            info.flags = PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED;
            if (pipImportInit(lib, "out.lmb", &info, &h) != 1)
              return Outcome{false, Recorded(lib), {}};
            int r = open(h);
            char object[PIP_NAME_SIZE];
            int percent, line;
            while (r == 1) r = pipImportRead(h, object, sizeof object, &percent, &line);
            if (r == -1) {
              o.recorded = Recorded(lib);
              pipImportTerm(h, 0);
              return o;
            }
            o.ok = pipImportTerm(h, 1) == 1;
            o.recorded = Recorded(lib);
            if (o.ok) o.transcript = Files({"out.lmb"});
            return o;
          }};
}

// Export of in.lmb through `init` (which creates the files) with export
// `options`, committed.
Scenario Export(const char* name, std::vector<std::string> outputs,
                std::function<int(int, int*)> init, int options = 0) {
  return {name, outputs, [init, outputs, options](int lib) {
            Outcome o;
            int h = 0;
            if (init(lib, &h) != 1) return Outcome{false, Recorded(lib), {}};
            bool ok = options == 0 || pipExportSetOptions(h, options) == 1;
            ok = ok && pipExportOpen(h, "in.lmb", 0) == 1;
            char object[PIP_NAME_SIZE];
            int percent = 0, count = 0;
            for (int i = 0; ok && i < kCounties; ++i) {
              ok = pipExportWrite(h, object, sizeof object, &percent, &count) == 1;
            }
            o.recorded = Recorded(lib);
            if (!ok) {
              pipExportTerm(h, 0);
              return o;
            }
            o.ok = pipExportTerm(h, 1) == 1;
            o.recorded = Recorded(lib);
            if (o.ok) o.transcript = Files(outputs);
            return o;
          }};
}

Outcome BuildDataLibrary(int) {
  DlBuilder* b = DlBuilderCreate("out.dld", 'N', "RECID", nullptr);
  if (b == nullptr) return Outcome{false, DlErrorGet(nullptr, nullptr, nullptr) != -1, {}};
  bool ok = DlBuilderAddField(b, "RECID", "", 'N', 6, 0, "record", "") == 1 &&
            DlBuilderAddField(b, "NAME", "", 'C', 20, 0, "name", "") == 1 &&
            DlBuilderAddValue(b, "NAME", "COOK", "Cook County", "") == 1;
  for (int i = 1; ok && i <= 300; ++i) {
    const std::string id = std::to_string(i), name = "NAME" + std::to_string(i * 7919 % 300);
    const char* values[] = {id.c_str(), name.c_str()};
    ok = DlBuilderAddRecord(b, values) == 1;
  }
  if (!ok) {
    DlBuilderAbort(b);
    return Outcome{false, DlErrorGet(nullptr, nullptr, nullptr) != -1, {}};
  }
  Outcome o;
  o.ok = DlBuilderFinish(b) == 1;
  o.recorded = DlErrorGet(nullptr, nullptr, nullptr) != -1;
  if (o.ok) o.transcript = Files({"out.dld"});
  return o;
}

// Every search of the object file interface over in.lmb (with its
// attribute file in.lma) in open mode `mode`: the answers in order, up to
// the first failure.
Scenario Searches(const char* name, int mode) {
  return {name, {}, [mode](int lib) {
            Outcome o;
            int h = 0;
            if (pipObjectFileOpen(lib, "in.lmb", mode, &h) != 1)
              return Outcome{false, Recorded(lib), {}};
            pipObjectFileInfoStruct f;
            pipObjectHandleFileQuery(h, &f);
            const int x = f.minX / 2 + f.maxX / 2, y = f.minY / 2 + f.maxY / 2;
            // The file's box as a search polygon: it overlaps every object.
            const int box[] = {f.minX, f.minY, f.maxX, f.minY, f.maxX, f.maxY, f.minX, f.maxY};
            const int parts[] = {4};
            char n[PIP_NAME_SIZE] = "";
            double percent;
            int nx, ny, count;
            pipAttributeInfoStruct a;
            const std::vector<std::function<int()> > calls = {
                [&] { return pipObjectFindFirstRect(h, f.minX, f.minY, f.maxX, f.maxY, n, 128); },
                [&] { return pipObjectGetAttributeInfoByNumber(h, 0, &a); },
                [&] { return pipObjectFindNext(h, n, 128); },
                [&] { return pipObjectFindFirstName(h, "*", n, 128); },
                [&] { return pipObjectFindNext(h, n, 128); },
                [&] { return pipObjectFindFirstContaining(h, x, y, 0, n, 128); },
                [&] { return pipObjectFindFirstContaining(h, x, y, 20000, n, 128); },
                [&] { return pipObjectFindFirstContainingEx(h, x, y, 20000, n, 128); },
                [&] { return pipObjectFindFirstNearest(h, x, y, 2, n, 128); },
                [&] { return pipObjectFindFirstNearestEx(h, x, y, 2, "NAME <> 'X'", n, 128); },
                [&] { return pipObjectFindFirstPolygonEx(h, box, parts, 1, n, 128, 4, &percent); },
                [&] { return pipObjectFindNextEx(h, n, 128, 4, &percent); },
                [&] { return pipObjectDistanceToBorderEx(h, x, y, &nx, &ny); },
                [&] { return pipObjectGetAttributeCount(h, &count); },
                [&] { return pipObjectValidateFilterCriteria(h, "NAME = 'A'"); },
            };
            o.ok = true;
            for (const auto& call : calls) {
              const int r = call();
              o.transcript += std::to_string(r) + n + ";";
              if (r == -1) {
                o.ok = false;
                o.recorded = Recorded(lib);
                break;
              }
            }
            EXPECT_EQ(pipObjectFileClose(h), 1);
            return o;
          }};
}

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    lumetra_test::SetAllocationFilter(LibraryAllocationFails);
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
    MakeInputs();
    inputs_ = Listing();
  }
  void TearDown() override {
    pipTerm(lib_);
    lumetra_test::SetAllocationFilter(nullptr);
  }

  // in.lmb (the first counties of the committed extract, with segment
  // records and compressed columns), its attribute file in.lma, and the
  // same objects as BNA, MIF/MID, shapefile and TAB files.
  void MakeInputs() {
    const std::string shp = std::string(LUMETRA_SOURCE_DIR) + "/tests/data/counties_il_ak.shp";
    pipObjectFileInfoStruct info{};
    info.maxPoints = 50000;
    info.maxParts = 100;
    info.coordType = PIP_COORD_GEOGRAPHIC;
    info.flags = PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED;
    int h = 0;
    ASSERT_EQ(pipImportInit(lib_, "in.lmb", &info, &h), 1);
    ASSERT_EQ(pipImportOpenSHP(h, shp.c_str(), "NAME", "FIPS"), 1);
    char name[PIP_NAME_SIZE];
    int percent, line;
    for (int i = 0; i <= kCounties; ++i) ASSERT_EQ(pipImportRead(h, name, 128, &percent, &line), 1);
    ASSERT_EQ(pipImportTerm(h, 1), 1);  // the last object read stays pending, unwritten
    ASSERT_EQ(BuildDataLibrary(0).ok, true);
    ASSERT_EQ(std::rename("out.dld", "in.lma"), 0);
    for (const Scenario& s : Exports()) {
      ASSERT_TRUE(s.run(lib_).ok) << s.name;
      for (const std::string& out : s.outputs) {
        ASSERT_EQ(std::rename(out.c_str(), ("in" + out.substr(3)).c_str()), 0);
      }
    }
  }

  static std::vector<Scenario> Exports() {
    return {Export("export BNA", {"out.bna"},
                   [](int lib, int* h) { return pipExportInitBNA(lib, "out.bna", h); }),
            Export("export MIF", {"out.mid", "out.mif"},
                   [](int lib, int* h) { return pipExportInitMIF(lib, "out.mif", h); }),
            Export("export SHP", {"out.dbf", "out.shp", "out.shx"},
                   [](int lib, int* h) {
                     return pipExportInitSHP(lib, "out.shp", h, PIP_OBJECT_REGION);
                   }),
            Export("export TAB", {"out.dat", "out.id", "out.map", "out.tab"},
                   [](int lib, int* h) { return pipExportInitTAB(lib, "out.tab", h, 205); })};
  }

  std::vector<std::string> Listing() const {
    std::vector<std::string> names = lumetra_test::ListDir(dir_.path());
    std::sort(names.begin(), names.end());
    return names;
  }

  // One run of `s` with call `fail_at` failing (0: none); checks what it
  // left behind and returns its outcome.
  Outcome RunOnce(const Scenario& s, std::uint64_t fail_at, std::uint64_t* calls) {
    const int lib = pipInit(0, nullptr);
    lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, fail_at);
    const Outcome o = s.run(lib);
    *calls = lumetra::DisarmFaultsForTest();
    pipTerm(lib);
    std::vector<std::string> expected = inputs_;
    if (o.ok) expected.insert(expected.end(), s.outputs.begin(), s.outputs.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listing = Listing();
    if (!o.ok && !s.removes_on_failure) {
      for (const std::string& out : s.outputs) {
        listing.erase(std::remove(listing.begin(), listing.end(), out), listing.end());
      }
    }
    EXPECT_EQ(listing, expected) << s.name << ", call " << fail_at << " failing";
    for (const std::string& out : s.outputs) std::remove(out.c_str());
    return o;
  }

  ScopedTempDir dir_;
  ScopedChdir in_dir_{dir_.path()};
  int lib_ = 0;
  std::vector<std::string> inputs_;
};

TEST_F(FaultInjection, EveryFailureIsRecordedAndLeavesNoPartialOutput) {
  std::vector<Scenario> scenarios = {
      Import("import SHP", [](int h) { return pipImportOpenSHP(h, "in.shp", "NAME", nullptr); }),
      Import("import MIF", [](int h) { return pipImportOpenMIF(h, "in.mif", ""); }),
      Import("import BNA", [](int h) { return pipImportOpenBNA(h, "in.bna", 1); }),
      Import("import TAB", [](int h) { return pipImportOpenTAB(h, "in.tab", "NAME", nullptr); }),
      {"data library builder", {"out.dld"}, BuildDataLibrary},
      Searches("searches, descriptor reads", 0),
      Searches("searches, mapped file", 4),
      // Attribute columns: the attribute file is read for every object.
      Export(
          "export MIF with attributes", {"out.mid", "out.mif"},
          [](int lib, int* h) { return pipExportInitMIF(lib, "out.mif", h); },
          PIP_EXPORT_OPT_ATTRIBUTES)};
  for (Scenario& s : Exports()) {
    s.removes_on_failure = s.outputs.size() <= 2;  // BNA and MIF, not SHP and TAB
    scenarios.push_back(s);
  }
  for (const Scenario& s : scenarios) {
    std::uint64_t calls = 0;
    const Outcome clean = RunOnce(s, 0, &calls);
    ASSERT_TRUE(clean.ok) << s.name << ": " << clean.transcript;
    ASSERT_GT(calls, 0u) << s.name;
    const std::uint64_t step = (calls + kMaxRunsPerScenario - 1) / kMaxRunsPerScenario;
    int unnoticed = 0, unrecorded = 0;
    for (std::uint64_t n = 1; n <= calls; n += step) {
      std::uint64_t made = 0;
      const Outcome o = RunOnce(s, n, &made);
      if (o.ok) {
        unnoticed += o.transcript != clean.transcript;
        EXPECT_EQ(o.transcript, clean.transcript)
            << s.name << ": call " << n << " failed unnoticed";
      } else {
        unrecorded += !o.recorded;
        EXPECT_TRUE(o.recorded) << s.name << ": call " << n << " failed without an error record";
        if (!s.outputs.empty()) continue;
        // A search that fails agrees with the clean run up to its failure.
        const std::size_t cut = o.transcript.rfind(";", o.transcript.size() - 2) + 1;
        EXPECT_EQ(o.transcript.compare(0, cut, clean.transcript, 0, cut), 0) << s.name << " " << n;
      }
    }
    std::printf("%s: %llu calls, every %llu failed once: %d unnoticed, %d unrecorded\n", s.name,
                static_cast<unsigned long long>(calls), static_cast<unsigned long long>(step),
                unnoticed, unrecorded);
  }
}

}  // namespace

#endif  // LUMETRA_FAULT_INJECTION
