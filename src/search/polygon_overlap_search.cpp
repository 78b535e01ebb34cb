#include "search/polygon_overlap_search.h"

#include <algorithm>

#include "frame/error.h"
#include "search/object_coords.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace {

constexpr char kRegionTooLarge[] = "ZON file polygon exceeds the maximum size.";

}  // namespace

PolySearchPolygonOverlap::PolySearchPolygonOverlap(PolygonSearch& reader, pipError& err,
                                                   const int* points, const int* part_counts,
                                                   int num_parts)
    : PolySearchPolygonOverlap(reader, err, points, part_counts, num_parts,
                               BoundingBox(points, part_counts, num_parts)) {}

PolySearchPolygonOverlap::PolySearchPolygonOverlap(PolygonSearch& reader, pipError& err,
                                                   const int* points, const int* part_counts,
                                                   int num_parts, const lumetra::Rect& box)
    : PolySearchInRectangle(reader, err, box.minx, box.miny, box.maxx, box.maxy),
      error_(err),
      check_(err) {
  std::int64_t total = 0;
  ValidInput(points, part_counts, num_parts, &total);
  empty_ = total == 0;
  const int* next = points;
  for (int i = 0; i < num_parts; ++i) {
    if (part_counts[i] > 0) check_.AddPolygon(lumetra::OverlapRegion::kA, part_counts[i], next);
    next += 2 * static_cast<std::ptrdiff_t>(part_counts[i]);
  }
  part_counts_.resize(reader.limits().max_ring_count);
  points_.resize(2 * static_cast<std::size_t>(reader.limits().max_point_count));
}

PolySearchPolygonOverlap::~PolySearchPolygonOverlap() = default;

bool PolySearchPolygonOverlap::ValidInput(const int* points, const int* part_counts, int num_parts,
                                          std::int64_t* total) {
  *total = 0;
  if (num_parts < 0) return false;
  if (num_parts > 0 && part_counts == nullptr) return false;
  for (int i = 0; i < num_parts; ++i) {
    if (part_counts[i] < 0) return false;
    *total += part_counts[i];
  }
  return *total == 0 || points != nullptr;
}

lumetra::Rect PolySearchPolygonOverlap::BoundingBox(const int* points, const int* part_counts,
                                                    int num_parts) {
  std::int64_t total = 0;
  if (!ValidInput(points, part_counts, num_parts, &total) || total == 0) return lumetra::Rect{};
  lumetra::Rect box{points[0], points[1], points[0], points[1]};
  for (std::int64_t i = 1; i < total; ++i) {
    const std::int32_t x = points[2 * i];
    const std::int32_t y = points[2 * i + 1];
    box.Include(lumetra::Rect{x, y, x, y});
  }
  return box;
}

int PolySearchPolygonOverlap::FindFirst(char* name, int name_length) {
  Restart();
  return Next(name, name_length, false, 0, nullptr);
}

int PolySearchPolygonOverlap::FindNext(char* name, int name_length) {
  if (RefuseContinuation()) return -1;
  return Next(name, name_length, false, 0, nullptr);
}

int PolySearchPolygonOverlap::FindFirstEx(char* name, int name_length, int resolution,
                                          double* percent) {
  Restart();
  return Next(name, name_length, true, resolution, percent);
}

int PolySearchPolygonOverlap::FindNextEx(char* name, int name_length, int resolution,
                                         double* percent) {
  if (RefuseContinuation()) return -1;
  return Next(name, name_length, true, resolution, percent);
}

bool PolySearchPolygonOverlap::LoadRegionB(const PolygonObject& object) {
  std::size_t parts = 0;
  const lumetra::CoordsCopy copied = lumetra::CopyObjectCoords(
      object, points_.data(), points_.size() / 2, part_counts_.data(), part_counts_.size(), &parts);
  if (copied != lumetra::CoordsCopy::kDone) {
    error_.Set(104, kRegionTooLarge, QERR_HERE);
    return false;
  }
  check_.ClearRegion(lumetra::OverlapRegion::kB);
  const int* next = points_.data();
  for (std::size_t i = 0; i < parts; ++i) {
    if (part_counts_[i] > 0) check_.AddPolygon(lumetra::OverlapRegion::kB, part_counts_[i], next);
    next += 2 * static_cast<std::ptrdiff_t>(part_counts_[i]);
  }
  return true;
}

int PolySearchPolygonOverlap::Next(char* name, int name_length, bool with_percent, int resolution,
                                   double* percent) {
  if (empty_) {
    first_call_ = false;
    ClearCurrent();
    return 0;
  }
  std::uint64_t position = 0;
  PolygonObject* object = nullptr;
  for (;;) {
    const int found = NextCandidate(&position, &object);
    if (found <= 0) {
      ClearCurrent();
      return found;
    }
    if (object->kind() != lumetra::ObjectKind::kRegion) continue;
    if (!LoadRegionB(*object)) {
      ClearCurrent();
      return -1;
    }
    double share = 0.0;
    const int result = with_percent ? check_.CheckEx(resolution, &share) : check_.Check();
    if (result < 0) {
      ClearCurrent();
      return -1;
    }
    if (result == static_cast<int>(lumetra::OverlapResult::kApart)) continue;
    if (with_percent && percent != nullptr) *percent = share;
    SetCurrent(position, object);
    CopyCurrentName(name, name_length);
    return result;
  }
}
