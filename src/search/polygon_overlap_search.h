// PolySearchPolygonOverlap: the regions of an object file that overlap a
// caller's polygon, with how they overlap.
//
// The caller's parts become region A of an overlap checker
// (lumetra::OverlapCheck); the candidates are the objects whose indexed
// rectangles meet the bounding box of the caller's points (a rectangle
// search).  Objects that are not regions are skipped; each region is copied
// into the search's buffers -- part counts and points, sized once from the
// file's (bounded) most rings and most points -- and becomes region B.
// The check's result is the answer: 3 the caller's polygon lies within the
// region, 4 the region within the polygon, 5 partial overlap, 6 equal;
// result 2 (apart) moves on to the next candidate.  The Ex forms also ask
// the checker for the share of the polygon's area that the region covers,
// sampled by `resolution` scan lines (-1.0 for a resolution below 1 where
// a share is computed).  A percentage is only written when a region is
// answered.
//
// Failures: a region too large for the buffers records code 104 ("ZON file
// polygon exceeds the maximum size."), a check that cannot get its working
// storage records code 104 through the checker; both answer -1.  Continuing
// after the search ended records code 100 (the PIP_NOT_FOUND message).
//
// Ownership and threads: as PolygonSearchEnum.  The caller's arrays are
// copied by the constructor.
#ifndef LUMETRA_SEARCH_POLYGON_OVERLAP_SEARCH_H
#define LUMETRA_SEARCH_POLYGON_OVERLAP_SEARCH_H

#include <cstdint>
#include <vector>

#include "clip/overlap_check.h"
#include "search/rect_search.h"

class pipError;

class PolySearchPolygonOverlap : public PolySearchInRectangle {
 public:
  // The caller's polygon: `num_parts` parts, part i taking the next
  // part_counts[i] of the x, y pairs in `points`.  REQUIRES: ValidInput.
  PolySearchPolygonOverlap(PolygonSearch& reader, pipError& err, const int* points,
                           const int* part_counts, int num_parts);
  ~PolySearchPolygonOverlap() override;

  // The first overlapping region: 3..6; 0 none; -1.  No percentage.
  int FindFirst(char* name, int name_length) override;
  int FindNext(char* name, int name_length) override;
  // As above, with the percentage of the overlap check.
  int FindFirstEx(char* name, int name_length, int resolution, double* percent) override;
  int FindNextEx(char* name, int name_length, int resolution, double* percent) override;

  // True when the arguments describe a polygon: num_parts >= 0, no
  // negative part count, arrays present when there are parts (points when
  // there are points).  *total receives the number of points.
  static bool ValidInput(const int* points, const int* part_counts, int num_parts,
                         std::int64_t* total);

  const lumetra::OverlapCheck& check() const { return check_; }

 private:
  PolySearchPolygonOverlap(PolygonSearch& reader, pipError& err, const int* points,
                           const int* part_counts, int num_parts, const lumetra::Rect& box);
  // The bounding box of the caller's points (0, 0, 0, 0 when there are
  // none).
  static lumetra::Rect BoundingBox(const int* points, const int* part_counts, int num_parts);
  // The next overlapping candidate, as FindNextEx answers.
  int Next(char* name, int name_length, bool with_percent, int resolution, double* percent);
  // Region B := the region `object`; false (code 104) when it does not fit.
  bool LoadRegionB(const PolygonObject& object);

  pipError& error_;
  lumetra::OverlapCheck check_;
  std::vector<int> part_counts_;  // one region's part counts
  std::vector<int> points_;       // one region's x, y pairs
  bool empty_ = false;            // the caller gave no points
};

#endif  // LUMETRA_SEARCH_POLYGON_OVERLAP_SEARCH_H
