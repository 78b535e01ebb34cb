// ZIP+4 centroid search at scale: generated centroids inside real
// boundaries (zip4gen), searched against the object file of the same
// boundaries, checked against a brute-force containing search of every
// centroid, then timed.
//
//   zip4_search POLYGONS.shp [--records N] [--seed S] [--rounds R] [--distance FEET]
//               [--work DIR]
//
// The polygons are imported with the shapefile reader (names from the NAME
// column; with --distance also with segment records), opened in mode 3,
// and the centroids written with pipZip4FileWrite.  Each round runs one
// whole search (pipZip4FindFirst, then pipZip4FindNext until it answers 0);
// the best round's CPU time is reported, with the records of the file per
// second ("centroids tested", the area pre-filter counting as a test) and
// what the search did (areas read and searched, records read, containing
// searches run).  The brute-force pass (pipObjectFindFirstContaining for
// every centroid) is timed too, as the rate without pre-filter and memo.
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "frame/handle_table.h"
#include "shape_regions.h"
#include "zip4/zip4_file_object.h"
#include "zip4_generator.h"

namespace {

struct Options {
  std::string polygons;
  std::size_t records = 200000;
  std::uint32_t seed = 1;
  int rounds = 5;
  int distance = 0;
  std::string work = ".";
};

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

[[noreturn]] void Fail(int lib, const char* what) {
  char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
  pipErrorGet(lib, message, detail);
  std::fprintf(stderr, "zip4_search: %s: %s %s\n", what, message, detail);
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--records")
      o.records = std::strtoull(v, nullptr, 10), ++i;
    else if (a == "--seed")
      o.seed = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10)), ++i;
    else if (a == "--rounds")
      o.rounds = std::atoi(v), ++i;
    else if (a == "--distance")
      o.distance = std::atoi(v), ++i;
    else if (a == "--work")
      o.work = v, ++i;
    else
      o.polygons = a;
  }
  if (o.polygons.empty() || o.rounds < 1) {
    std::fputs(
        "usage: zip4_search POLYGONS.shp [--records N] [--seed S] [--rounds R] "
        "[--distance FEET] [--work DIR]\n",
        stderr);
    std::exit(2);
  }
  return o;
}

int ImportPolygons(int lib, const Options& o, const std::string& file) {
  pipObjectFileInfoStruct info{};
  info.maxPoints = 1000000;
  info.maxParts = 16383;
  info.coordType = PIP_COORD_GEOGRAPHIC;
  info.flags = o.distance > 0 ? PIP_FILE_SEGMENTS : 0;
  int imp = 0;
  if (pipImportInit(lib, file.c_str(), &info, &imp) != 1 ||
      pipImportOpenSHP(imp, o.polygons.c_str(), "NAME", nullptr) != 1) {
    Fail(lib, "import");
  }
  char name[PIP_NAME_SIZE];
  int percent = 0, line = 0, rc = 0;
  while ((rc = pipImportRead(imp, name, sizeof name, &percent, &line)) > 0) {
  }
  if (rc < 0 || pipImportClose(imp) != 1 || pipImportTerm(imp, 1) != 1) Fail(lib, "import");
  int h = 0;
  if (pipObjectFileOpen(lib, file.c_str(), PIP_OPEN_CACHE_100MB, &h) != 1) Fail(lib, "open");
  return h;
}

// One whole search: the hits as "ZIP+4 name" lines.
std::vector<std::string> Search(int lib, int z, int objects, int distance) {
  std::vector<std::string> hits;
  char zip4[PIP_ZIP4_TEXT_SIZE], type[PIP_ZIP4_TYPE_SIZE], name[PIP_NAME_SIZE];
  int r = pipZip4FindFirst(z, objects, distance, zip4, type, name, sizeof name);
  for (; r == 1; r = pipZip4FindNext(z, zip4, type, name, sizeof name)) {
    hits.push_back(std::string(zip4) + " " + name);
  }
  if (r < 0) Fail(lib, "search");
  return hits;
}

std::vector<std::string> BruteForce(int lib, const std::vector<pipZip4Record>& records, int objects,
                                    int distance) {
  std::vector<std::string> hits;
  char name[PIP_NAME_SIZE], zip4[16];
  for (const pipZip4Record& r : records) {
    const int found = pipObjectFindFirstContaining(objects, -100 * r.longitude, 100 * r.latitude,
                                                   distance, name, sizeof name);
    if (found < 0) Fail(lib, "containing search");
    std::snprintf(zip4, sizeof zip4, "%05d%04d", r.zipCode, r.addOn);
    if (found > 0) hits.push_back(std::string(zip4) + " " + name);
  }
  return hits;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  std::vector<zip4gen::Region> regions;
  if (!zip4gen::ReadShapeRegions(o.polygons, &regions)) {
    std::fprintf(stderr, "zip4_search: cannot read %s\n", o.polygons.c_str());
    return 2;
  }
  zip4gen::Options g;
  g.records = o.records;
  g.seed = o.seed;
  const std::vector<pipZip4Record> records = zip4gen::Generate(regions, g);
  const int lib = pipInit(0, nullptr);
  const std::string z9 = o.work + "/zip4_search.z9";
  const double write_start = CpuSeconds();
  if (pipZip4FileWrite(lib, z9.c_str(), records.data(), static_cast<int>(records.size())) != 1) {
    Fail(lib, "write");
  }
  const double write_time = CpuSeconds() - write_start;
  const int objects = ImportPolygons(lib, o, o.work + "/zip4_search.lmb");
  int z = 0;
  if (pipZip4FileOpen(lib, z9.c_str(), &z) != 1) Fail(lib, "open centroids");

  double brute_start = CpuSeconds();
  const std::vector<std::string> expected = BruteForce(lib, records, objects, o.distance);
  const double brute_time = CpuSeconds() - brute_start;
  if (Search(lib, z, objects, o.distance) != expected) {
    std::fprintf(stderr, "zip4_search: the search disagrees with the brute-force pass\n");
    return 1;
  }
  double best = 1e300;
  for (int round = 0; round < o.rounds; ++round) {
    const double start = CpuSeconds();
    Search(lib, z, objects, o.distance);
    best = std::min(best, CpuSeconds() - start);
  }
  Zip4SearchStats stats;
  {
    lumetra::HandleLease<pipZip4FileObject> lease(z, PIP_HANDLE_ZIP4_FILE);
    stats = lease->stats();
  }
  const double n = static_cast<double>(records.size());
  std::printf("%s: %zu polygons, %zu centroid records, distance %d feet\n", o.polygons.c_str(),
              regions.size(), records.size(), o.distance);
  std::printf("  write (sort + blocks): %.3f s, %.0f records/s\n", write_time, n / write_time);
  std::printf("  search: %.4f s best of %d, %.0f centroids tested/s, %zu hits (= brute force)\n",
              best, o.rounds, n / best, expected.size());
  const double per = 1.0 + o.rounds;
  std::printf(
      "  per search: %.0f areas read, %.0f searched, %.0f records read, %.0f containing "
      "searches\n",
      stats.areas_read / per, stats.areas_searched / per, stats.records_read / per,
      stats.containment_tests / per);
  std::printf("  brute force (one containing search per record): %.4f s, %.0f records/s\n",
              brute_time, n / brute_time);
  pipZip4FileClose(z);
  pipObjectFileClose(objects);
  pipTerm(lib);
  return 0;
}
