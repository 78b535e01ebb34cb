// ZIP+4 centroid files: the input is a Z9 file.  The keyed reader walks the
// records in key order (a sought key is never passed, keys never go down),
// seeking a record's key again finds a record equal to the first of that
// key, the area index reads the same twice, and the C interface's search
// against a fixed object file (one region over the covered area) answers
// terminated texts of nine digits.
#include <lumetra/pip.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "zip4/z9_area_index.h"
#include "zip4/z9_reader.h"

namespace {

constexpr int kMaxRecords = 2000;
constexpr int kMaxAreas = 2000;
constexpr int kMaxFound = 100;

bool SameRecord(const lumetra::Z9Record& a, const lumetra::Z9Record& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckReader(const char* path) {
  QError err;
  Z9Reader z9(err, path);
  if (!z9.ready()) {
    FUZZ_CHECK(err.code() != -1);
    return;
  }
  std::vector<lumetra::Z9Record> walk;
  for (Z9Reader::Step s = z9.Seek(0); s == Z9Reader::Step::kRecord && walk.size() < kMaxRecords;
       s = z9.Next()) {
    if (!walk.empty()) FUZZ_CHECK(walk.back().NineDigitKey() <= z9.record().NineDigitKey());
    walk.push_back(z9.record());
  }
  for (std::size_t i = 0; i < walk.size(); i += 7) {
    const std::uint32_t key = walk[i].NineDigitKey();
    std::size_t first = i;
    while (first > 0 && walk[first - 1].NineDigitKey() == key) --first;
    FUZZ_CHECK(z9.Seek(key) == Z9Reader::Step::kRecord);
    FUZZ_CHECK(SameRecord(z9.record(), walk[first]));
    if (key < 0xFFFFFFFFu && z9.Seek(key + 1) == Z9Reader::Step::kRecord) {
      FUZZ_CHECK(z9.record().NineDigitKey() > key);
    }
  }
}

void CheckAreas(const char* path) {
  QError err;
  Z9AreaIndex areas(err, path);
  if (!areas.ready()) return;
  std::vector<std::uint32_t> first, second;
  for (std::vector<std::uint32_t>* pass : {&first, &second}) {
    areas.Restart();
    lumetra::Z9AreaEntry entry;
    Z9AreaIndex::Step s;
    while (pass->size() < kMaxAreas && (s = areas.Next(&entry)) == Z9AreaIndex::Step::kEntry) {
      pass->push_back(entry.zip);
      for (std::uint16_t b : entry.bounds) pass->push_back(b);
    }
  }
  FUZZ_CHECK(first == second);
}

// The object file the searches run against: one region over the area the
// centroid files cover.
int ObjectFile() {
  static int handle = [] {
    const int lib = lumetra_fuzz::LibraryHandle();
    const std::string path = lumetra_fuzz::ScratchDir() + "/region.lmb";
    pipObjectFileInfoStruct info{};
    info.maxPoints = 100;
    info.maxParts = 10;
    info.coordType = PIP_COORD_GEOGRAPHIC;
    int import = 0;
    FUZZ_CHECK(pipImportInit(lib, path.c_str(), &info, &import) == 1);
    pipObjectInfoStruct object{};
    std::strcpy(object.name, "COVERED");
    object.type = PIP_OBJECT_REGION;
    const int points[] = {-180000000, 0, -60000000, 0, -60000000, 90000000, -180000000, 90000000};
    const int parts[] = {4};
    FUZZ_CHECK(pipImportInsert(import, &object, points, parts, 1) == 1);
    FUZZ_CHECK(pipImportTerm(import, 1) == 1);
    static int h = 0;
    FUZZ_CHECK(pipObjectFileOpen(lib, path.c_str(), 0, &h) == 1);
    std::atexit([] { pipObjectFileClose(h); });
    return h;
  }();
  return handle;
}

void CheckSearch(const char* path, int distance) {
  const int objects = ObjectFile();
  int z = 0;
  if (pipZip4FileOpen(lumetra_fuzz::LibraryHandle(), path, &z) != 1) return;
  char zip4[PIP_ZIP4_TEXT_SIZE], type[PIP_ZIP4_TYPE_SIZE], name[PIP_NAME_SIZE];
  int r = pipZip4FindFirst(z, objects, distance, zip4, type, name, sizeof name);
  for (int n = 0; n < kMaxFound && r == 1; ++n) {
    FUZZ_CHECK(lumetra_fuzz::Terminated(zip4, sizeof zip4) && std::strlen(zip4) == 9);
    FUZZ_CHECK(lumetra_fuzz::Terminated(type, sizeof type));
    FUZZ_CHECK(std::strcmp(name, "COVERED") == 0);
    r = pipZip4FindNext(z, zip4, type, name, sizeof name);
  }
  FUZZ_CHECK(r >= -1 && r <= 1);
  FUZZ_CHECK(pipZip4FileClose(z) == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = lumetra_fuzz::WriteFile("fuzz.z9", data, size);
  CheckReader(path.c_str());
  CheckAreas(path.c_str());
  CheckSearch(path.c_str(), static_cast<int>(size % 3) * 1000);
  return 0;
}
