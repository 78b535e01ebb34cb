#include "zip4/zip4_file_object.h"

#include <lumetra/pip.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/text_copy.h"
#include "search/object_file_object.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_search.h"
#include "storage/spatial_index.h"

namespace {

constexpr char kNegativeDistance[] = "pipZip4FindFirst: the distance must not be negative.";

std::int32_t Clamp32(std::int64_t v) {
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v < kMin ? kMin : v > kMax ? kMax : v);
}

// An area rectangle grown by `feet` on every side: dy = trunc(feet x
// 2.7448397013614403), dx = trunc(dy / cos(minimum y)), both in millionths
// of a degree.
lumetra::Rect Grown(const lumetra::Rect& r, std::int32_t feet) {
  if (feet == 0) return r;
  const double dy = std::trunc(feet * lumetra::kMicroDegreesPerFoot);
  const double dx = std::trunc(dy / std::cos(r.miny * lumetra::kRadiansPerMicroDegree));
  // A huge distance, or a latitude at or past a pole (where the cosine
  // vanishes or turns negative), grows past every i32.
  const auto by = [](double d) {
    return d >= 0 && d < 4e9 ? static_cast<std::int64_t>(d) : std::int64_t{4000000000};
  };
  const std::int64_t gx = by(dx);
  const std::int64_t gy = by(dy);
  return lumetra::Rect{Clamp32(std::int64_t{r.minx} - gx), Clamp32(std::int64_t{r.miny} - gy),
                       Clamp32(std::int64_t{r.maxx} + gx), Clamp32(std::int64_t{r.maxy} + gy)};
}

void WriteHit(const lumetra::Z9Record& r, const char* name, const Zip4Outputs& out) {
  std::snprintf(out.zip4, PIP_ZIP4_TEXT_SIZE, "%05d%04d", r.zip, r.add_on);
  std::snprintf(out.record_type, PIP_ZIP4_TYPE_SIZE, "%c", r.record_type);
  lumetra::CopyCutChecked(name, out.name, out.name_length);
}

}  // namespace

pipZip4FileObject::pipZip4FileObject(pipError& err, const char* file_name) : err_(err) {
  z9_ = std::make_unique<Z9Reader>(err, file_name);
  if (z9_->ready()) areas_ = std::make_unique<Z9AreaIndex>(err, file_name);
}

pipZip4FileObject::~pipZip4FileObject() { DropProbes(); }

void pipZip4FileObject::DropProbes() {
  // The object file may have been closed since: the probe must not hand its
  // enumerator back to that file's reader.
  if (centroid_probe_ != nullptr) centroid_probe_->ForgetReader();
  centroid_probe_.reset();
  area_probe_.reset();
}

bool pipZip4FileObject::ready() const { return areas_ != nullptr && areas_->ready(); }

int pipZip4FileObject::Fail() {
  zip_ = -1;
  return -1;
}

int pipZip4FileObject::FindFirst(pipObjectFileObject& objects, int object_handle,
                                 std::int32_t distance, const Zip4Outputs& out) {
  zip_ = 0;
  DropProbes();
  if (distance < 0) {
    err_.Set(PIP_ERR_INVALID_DATA, kNegativeDistance, QERR_HERE);
    return Fail();
  }
  objects_ = &objects;
  object_handle_ = object_handle;
  reader_ = &objects.reader();
  distance_ = distance;
  memo_valid_ = false;
  area_probe_ = reader_->spatial_index()->CreateEnum();
  centroid_probe_ = std::make_unique<PolySearchPointInPolygon>(*reader_, err_, 0, 0, distance_);
  if (area_probe_ == nullptr) return Fail();
  areas_->Restart();
  if (NextArea() < 0) return -1;
  return Continue(out);
}

int pipZip4FileObject::FindNext(const Zip4Outputs& out) {
  if (zip_ <= 0) return zip_;
  lumetra::HandleLease<pipObjectFileObject> objects(object_handle_, PIP_HANDLE_OBJECT_FILE);
  if (!objects || objects.get() != objects_ || &objects->reader() != reader_) {
    DropProbes();
    err_.Set(PIP_ERR_INVALID_DATA, kObjectFileGone, QERR_HERE);
    return Fail();
  }
  return Continue(out);
}

int pipZip4FileObject::Continue(const Zip4Outputs& out) {
  while (zip_ > 0) {
    const Z9Reader::Step step =
        new_area_ ? z9_->Seek(static_cast<std::uint32_t>(zip_) * 10000u) : z9_->Next();
    new_area_ = false;
    if (step == Z9Reader::Step::kFailed) return Fail();
    // Past the area's last key ("%05d9999"), or no record left: next area.
    if (step == Z9Reader::Step::kEnd || z9_->record().zip != zip_) {
      if (NextArea() < 0) return -1;
      continue;
    }
    ++stats_.records_read;
    const lumetra::Z9Record& record = z9_->record();
    const int contained = TestCentroid(record.X(), record.Y());
    if (contained < 0) return Fail();
    if (contained > 0) {
      WriteHit(record, memo_name_, out);
      return 1;  // the reader stays on this record for the next call
    }
  }
  return zip_;
}

int pipZip4FileObject::NextArea() {
  for (;;) {
    lumetra::Z9AreaEntry entry;
    const Z9AreaIndex::Step step = areas_->Next(&entry);
    if (step == Z9AreaIndex::Step::kEnd) {
      zip_ = 0;
      return 0;
    }
    if (step == Z9AreaIndex::Step::kFailed) return Fail();
    ++stats_.areas_read;
    // An entry that cannot name a ZIP Code names no records either.
    if (entry.zip < 1 || entry.zip > static_cast<std::uint32_t>(lumetra::kZ9MaxZip)) continue;
    std::uint64_t position = 0;
    if (!area_probe_->First(Grown(entry.Rectangle(), distance_), &position)) continue;
    ++stats_.areas_searched;
    zip_ = static_cast<std::int32_t>(entry.zip);
    new_area_ = true;
    return 1;
  }
}

int pipZip4FileObject::TestCentroid(std::int32_t x, std::int32_t y) {
  if (memo_valid_ && x == memo_x_ && y == memo_y_) return memo_contained_ ? 1 : 0;
  ++stats_.containment_tests;
  memo_valid_ = false;
  centroid_probe_->MoveTo(x, y);
  const int result = centroid_probe_->FindFirst(memo_name_, kNameSize);
  if (result < 0) return -1;
  memo_valid_ = true;
  memo_x_ = x;
  memo_y_ = y;
  memo_contained_ = result > 0;
  return memo_contained_ ? 1 : 0;
}
