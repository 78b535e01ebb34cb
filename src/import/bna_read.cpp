#include "import/bna_read.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "frame/error.h"
#include "import/import_options.h"
#include "import/mif_read.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"
#include "objfile/object_header.h"

namespace {

constexpr char kBnaDelimiters[] = ",\t\n";

constexpr char kUnexpectedEnd[] = "Unexpected End of File.";
constexpr char kSyntaxError[] = "Syntax error.";
constexpr char kObjectTooLarge[] = "Object too large.";
constexpr char kMarkerMisplaced[] = "Marker in wrong place.\n";
constexpr char kTooFewInLast[] = "Too few points in last polygon created.\n";
constexpr char kTooFewForNew[] = "Too few points for new polygon.\n";
constexpr char kTooManyPolygons[] = "Too many polygons in object.";
constexpr char kUnclosed[] = "Ended with an unclosed polygon.";

constexpr int kFractionDigits = 6;

// Bound of the digit accumulator: far beyond the i32 range, far enough
// below the i64 range that one more digit or scale step cannot overflow.
constexpr std::int64_t kValueCap = 1000000000000000;  // 10^15

std::int64_t Saturate(std::int64_t v) { return std::clamp(v, -kValueCap, kValueCap); }

struct BnaPoint {
  std::int32_t x;
  std::int32_t y;
  bool operator==(const BnaPoint& o) const { return x == o.x && y == o.y; }
};

}  // namespace

BNARead::BNARead(ObjectFileBuild& build, const char* file_name, int name_position)
    : ImportRead(build), coordinate_type_(build.header().coordinate_type) {
  if (name_position < 1 || name_position > 3) {
    error().Report(106, "WARNING: Invalid nameField parameter. Parameter set to 1.", QERR_HERE);
    name_position = 1;
  }
  name_position_ = name_position;
  in_ = std::make_unique<ImportTextFile>(error(), file_name != nullptr ? file_name : "",
                                         kBnaDelimiters);
  if (!in_->success()) Fail();
}

BNARead::~BNARead() = default;

int BNARead::PercentDone() const { return in_->PercentDone(); }

std::int32_t BNARead::CurrentLine() const { return static_cast<std::int32_t>(in_->line_number()); }

std::int32_t BNARead::ConvertCoordinate(const std::string& text, std::uint16_t coordinate_type) {
  std::int64_t value = 0;
  bool negative = false;
  bool in_fraction = false;
  int fraction_digits = 0;
  for (const char c : text) {
    if (in_fraction && fraction_digits == kFractionDigits) break;  // the rest is ignored
    if (c == ' ') continue;
    if (c == '-') {
      negative = true;
      continue;
    }
    if (c == '.') {
      if (coordinate_type == 0) break;  // the integer part, fraction dropped
      in_fraction = true;
      continue;
    }
    if (in_fraction) ++fraction_digits;
    value = Saturate(value * 10 + (static_cast<unsigned char>(c) - '0'));
  }
  if (coordinate_type == lumetra::ObjectHeader::kGeographic) {
    for (int i = fraction_digits; i < kFractionDigits; ++i) value = Saturate(value * 10);
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

bool BNARead::DataError(const char* message) {
  error().ReportF(100, QERR_HERE, "Error: %s\nFile: %s\nLine: %ld", message, in_->file_name(),
                  static_cast<long>(in_->line_number()));
  in_->SetFailed();
  Fail();
  return false;
}

bool BNARead::ReadObject() {
  if (!success()) return false;
  set_result(kResultError);
  std::string name;
  std::int64_t count = 0;
  if (!FindHeader(&name, &count)) {
    if (in_->failed() || !success()) {
      Fail();  // reported by the line reader or the strict header check
      return false;
    }
    set_result(kResultEnd);
    return true;
  }
  ++headers_read_;
  set_name(name.c_str());
  if (count == 1) return ReadPointObject();
  if (count == 2) return SkipObject();
  if (count < 0) return ReadLineObject(-count);
  return ReadRegionObject(count);
}

// A header is any line with a field at the name position and at least one
// field after it; other lines (blank ones too) are passed over.
bool BNARead::FindHeader(std::string* name, std::int64_t* count) {
  std::string field;
  std::string last;
  while (in_->ReadLine()) {
    int index = 0;
    bool has_name = false;
    bool has_count = false;
    while (in_->NextField(&field)) {
      ++index;
      if (index == name_position_) {
        *name = field;
        has_name = true;
      } else if (index > name_position_) {
        last = field;
        has_count = true;
      }
    }
    if (has_name && has_count) return TakeCount(last, count);
    if (build().options().strict() && !TrimWhiteSpace(in_->line()).empty()) {
      char message[160];
      std::snprintf(message, sizeof message,
                    "Expected an object header: a name in field %d and a point count after it.",
                    name_position_);
      return DataError(message);
    }
  }
  return false;
}

bool BNARead::TakeCount(const std::string& text, std::int64_t* count) {
  if (!build().options().strict()) {
    *count = ParseTextInteger(text.c_str());
    return true;
  }
  const std::string trimmed = TrimWhiteSpace(text);
  if (!lumetra::ParseStrictCount(trimmed.c_str(), count)) {
    const std::string message = "Invalid point count '" + text + "'.";
    return DataError(message.c_str());
  }
  return true;
}

bool BNARead::TakeCoordinate(const std::string& text, double* value, std::int32_t* units) {
  const lumetra::ImportOptions& options = build().options();
  // With file units every non-geographic file reads as type 0.
  const std::uint16_t type =
      options.file_units() && coordinate_type_ != lumetra::ObjectHeader::kGeographic
          ? 0
          : coordinate_type_;
  if (!options.strict()) {
    *units = ConvertCoordinate(text, type);
    return true;
  }
  const std::string trimmed = TrimWhiteSpace(text);
  if (!lumetra::ParseStrictNumber(trimmed, value)) {
    const std::string message = "Invalid coordinate '" + text + "'.";
    return DataError(message.c_str());
  }
  // Plain decimals convert digit by digit (exact); exponent forms through
  // the double read.
  const bool exponent = trimmed.find_first_of("eE") != std::string::npos;
  const bool geographic = type == lumetra::ObjectHeader::kGeographic;
  *units = exponent ? lumetra::ImportOptions::FileUnits(*value, geographic)
                    : ConvertCoordinate(trimmed, type);
  return true;
}

bool BNARead::ReadCoordinateLine(std::int32_t* x, std::int32_t* y) {
  if (!in_->ReadLine()) {
    if (in_->failed()) {
      Fail();  // reported by the line reader
      return false;
    }
    return DataError(kUnexpectedEnd);
  }
  std::string x_text;
  std::string y_text;
  if (!in_->NextField(&x_text) || !in_->NextField(&y_text)) return DataError(kSyntaxError);
  double vx = 0.0;
  double vy = 0.0;
  if (!TakeCoordinate(x_text, &vx, x) || !TakeCoordinate(y_text, &vy, y)) return false;
  if (build().options().strict()) {
    const bool geographic = coordinate_type_ == lumetra::ObjectHeader::kGeographic;
    const std::string problem = lumetra::CoordinateProblem(vx, vy, geographic, geographic);
    if (!problem.empty()) return DataError(("Coordinate " + problem + ".").c_str());
  }
  return true;
}

bool BNARead::AddObjectPoint(QPolygonLine& object, std::int32_t x, std::int32_t y) {
  // Checked here so that the reader's own message is the one recorded.
  if (object.point_count() >= build().PointLimit()) return DataError(kObjectTooLarge);
  if (!object.AddPoint(x, y)) {
    Fail();  // reported by the object
    return false;
  }
  return true;
}

bool BNARead::CloseRing(QPolygonLine& region) {
  const bool counts = region.open_part_points() > 0;
  if ((counts && region.part_count() >= build().PolygonLimit()) || !region.ClosePart()) {
    return DataError(kTooManyPolygons);
  }
  return true;
}

bool BNARead::Finish(QPolygonObject& object) {
  if (build().options().source_ordinals()) {
    // The ordinal is the object's position among the headers read.
    if (object.Type() == QPolygonObject::kPoint) {
      static_cast<QPolygonPoint&>(object).set_symbol(0, 0, headers_read_);
    } else {
      static_cast<QPolygonLine&>(object).set_pen(0, 0, headers_read_);
    }
  }
  if (!object.Write()) return false;  // reported; the next object may still go in
  CountObject();
  set_result(kResultObject);
  return true;
}

bool BNARead::ReadPointObject() {
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (!ReadCoordinateLine(&x, &y)) return false;
  QPolygonPoint point(build(), name().c_str(), "", 0, x, y);
  return Finish(point);
}

bool BNARead::SkipObject() {
  for (int i = 0; i < 2; ++i) {
    if (!in_->ReadLine()) {
      if (in_->failed()) {
        Fail();
        return false;
      }
      return DataError(kUnexpectedEnd);
    }
  }
  set_result(kResultSkipped);
  return true;
}

bool BNARead::ReadLineObject(std::int64_t count) {
  QPolygonLine line(build(), name().c_str(), "", 0);
  for (std::int64_t i = 0; i < count; ++i) {
    std::int32_t x = 0;
    std::int32_t y = 0;
    if (!ReadCoordinateLine(&x, &y) || !AddObjectPoint(line, x, y)) return false;
  }
  return Finish(line);
}

// Ring rules (see the file comment): a point equal to the current ring's
// start closes the ring; after a closed ring, a return to the object's first
// point is a marker, and any other point starts the next ring.  Closing
// points and markers are not added.
bool BNARead::ReadRegionObject(std::int64_t count) {
  QPolygonRegion region(build(), name().c_str(), "", 0);
  BnaPoint p{0, 0};
  if (!ReadCoordinateLine(&p.x, &p.y) || !AddObjectPoint(region, p.x, p.y)) return false;
  const BnaPoint first = p;
  BnaPoint ring_start = p;
  BnaPoint previous = p;
  std::int64_t ring_points = 1;
  bool closed = false;
  bool closure_just_before = false;
  for (std::int64_t i = 2; i <= count; ++i) {
    if (!ReadCoordinateLine(&p.x, &p.y)) return false;
    if (p == first && previous == ring_start && closed) {
      if (!closure_just_before) return DataError(kMarkerMisplaced);
      closure_just_before = false;  // the marker uses the closure up
    } else if (p == ring_start) {
      if (ring_points < 3) return DataError(kTooFewInLast);
      closed = true;
      closure_just_before = true;
    } else {
      if (closed) {
        if (count - i + 1 < 3) return DataError(kTooFewForNew);
        if (!CloseRing(region)) return false;
        ring_start = p;
        ring_points = 0;
        closed = false;
      }
      if (!AddObjectPoint(region, p.x, p.y)) return false;
      ++ring_points;
      closure_just_before = false;
    }
    previous = p;
  }
  if (!closed) return DataError(kUnclosed);
  return Finish(region);
}
