// The data side of the oracle benchmark: polygons read with GDAL, object
// files built from them with pipImportInsert, and the small helpers every
// pass shares.
#ifndef LUMETRA_BENCH_ORACLE_ORACLE_DATA_H
#define LUMETRA_BENCH_ORACLE_ORACLE_DATA_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

struct Ring {
  std::vector<int> xy;  // x, y pairs in millionths of a degree, open
};

// One polygon of a feature: its shell, then its holes.
struct Polygon {
  std::vector<Ring> rings;
};

struct Feature {
  std::string name;
  std::vector<Polygon> polygons;
  std::size_t RingCount() const;
};

struct DataStats {
  std::size_t polygons = 0;
  std::size_t rings = 0;
  std::size_t points = 0;
};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point a, Clock::time_point b);

[[noreturn]] void Die(const char* format, ...);
// Degrees to millionths of a degree as the importer makes them (truncated).
int ToUnits(double degrees);
// Dies with the library's error record unless `result` is 1.
void CheckPip(int lib, int result, const char* what);

// Every feature with at least one ring, its name from the NAME (or name,
// ADMIN, A3) field.  Rings are opened (a repeated first point dropped) and
// rings of fewer than 3 points dropped.
std::vector<Feature> ReadFeatures(const std::string& path);
DataStats Stats(const std::vector<Feature>& features);

// An object file of `features` (regions, geographic), written with
// pipImportInsert and the PIP_FILE_* `flags`.  A feature with more rings
// than an object may hold is written as several objects: whole polygons
// (shell and holes) grouped within the limit, and a single polygon with
// more holes than that as its shell with the first holes followed by
// objects of the other holes' bare rings.  The feature then contains a
// point when an odd number of its objects do: the even-odd rule over all
// its rings, as one object would apply it (a point on a border shared by
// two of its objects is the exception: inside for one object, outside
// here).  Returns, per object ordinal (1, 2, ...), its feature: entry 0 is
// unused.
std::vector<int> ImportFeatures(int lib, const std::vector<Feature>& features,
                                const std::string& path, int flags, double* seconds);

// The features containing a point, given the objects that do (ordinals).
std::vector<int> FeaturesOf(const std::vector<int>& ordinals, const std::vector<int>& feature_of);

// A planar object file of point objects "N<i>" at `xy` (x, y pairs).
void ImportPoints(int lib, const std::vector<int>& xy, const std::string& path);

}  // namespace oracle

#endif  // LUMETRA_BENCH_ORACLE_ORACLE_DATA_H
