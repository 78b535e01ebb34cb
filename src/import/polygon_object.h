// QPolygonObject and its family: one object on its way into an object file.
//
// A reader (or the insert path) creates the object, fills it -- names, id,
// points and parts, style -- and calls Write, which appends the object's
// record to the file its ObjectFileBuild is building.  Coordinates are i32
// file units (millionths of a degree in geographic files).
//
//   QPolygonPoint       type 2, one position
//   QPolygonLine        type 1, parts kept as given
//   QPolygonRegion      type 0, closed parts stored open (a part whose last
//                       point repeats its first loses the copy)
//   QPolygonSingleLine  type 1, exactly two points as one part
//   QPolygonMultiPline  type 1, several line pieces (TAB reader)
//
// Ownership: an object refers to its builder (which must outlive it) and
// reports failures into the builder's error record.  The point and part
// arrays of the line family belong to the builder, so only one line-family
// object of a builder can be filled at a time: creating a new one takes the
// arrays over, and an object whose arrays were taken over refuses further
// points and its Write fails (reported).  Thread rule: one thread at a time,
// as for the builder.
//
// Usage:
//   QPolygonRegion region(build, "Lake", "", 0);
//   region.AddPoint(0, 0); region.AddPoint(10, 0); region.AddPoint(10, 10);
//   region.set_pen(1, 2, ordinal);
//   if (!region.Write()) return false;  // reported
#ifndef LUMETRA_IMPORT_POLYGON_OBJECT_H
#define LUMETRA_IMPORT_POLYGON_OBJECT_H

#include <cstdint>
#include <string>
#include <vector>

#include "objfile/object_record.h"
#include "storage/spatial_index.h"  // lumetra::Rect

class ObjectFileBuild;

// Rounds v to the nearest multiple of 100, halves away from zero (tax
// boundary files): 123450 -> 123500, -123449 -> -123400.
std::int32_t RoundToHundred(std::int32_t v);

// Copies text without its leading and trailing white space.
std::string TrimWhiteSpace(const std::string& text);

// Fills record.segments with one segment record per segment of each ring of
// record (points and ring_counts), a closed ring (closed_parts) also
// counting the segment from its last point back to its first.  Values are
// offsets from the record's origin (bounds' minimum corner), in feet for
// geographic files -- 0.36432 per unit in y and 0.36432 x cos(origin
// latitude) in x -- and in coordinate units otherwise, rounded to the
// nearest integer.  Each segment runs from its smaller x (smaller y among
// equal x) to its larger; start x carries the flag when it starts at its
// maximum y; length rounded, direction as the unit vector x 10^7.
void ComputeSegmentRecords(lumetra::PolyRecord& record, bool closed_parts, bool geographic);

class QPolygonObject {
 public:
  // Names longer than kMaxNameLength characters are cut.
  static constexpr std::size_t kMaxNameLength = 127;

  // Object type codes.
  static constexpr int kRegion = 0;
  static constexpr int kLine = 1;
  static constexpr int kPoint = 2;

  virtual ~QPolygonObject();
  QPolygonObject(const QPolygonObject&) = delete;
  QPolygonObject& operator=(const QPolygonObject&) = delete;

  // Appends the object to the file being built.  False after a reported
  // failure (limits, I/O); the object is then not in the file.
  virtual bool Write() = 0;
  // 0 region, 1 line, 2 point.
  virtual int Type() const = 0;

  void set_name(const char* name);
  void set_name2(const char* name2);
  // Removes leading and trailing white space from the second name.
  void TrimName2();
  void set_id(std::uint8_t id) { id_ = id; }

  const std::string& name() const { return name_; }
  const std::string& name2() const { return name2_; }
  std::uint8_t id() const { return id_; }

 protected:
  QPolygonObject(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id);

  ObjectFileBuild& build_;

 private:
  std::string name_;
  std::string name2_;
  std::uint8_t id_;
};

class QPolygonPoint : public QPolygonObject {
 public:
  QPolygonPoint(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id,
                std::int32_t x, std::int32_t y);

  // Record: 24-byte fixed part and the names block; the file rectangle is
  // widened by the position itself (not grown by one unit).
  bool Write() override;
  int Type() const override { return kPoint; }

  void set_position(std::int32_t x, std::int32_t y) {
    x_ = x;
    y_ = y;
  }
  void set_symbol(std::uint8_t shape, std::uint8_t size, std::int32_t colour) {
    shape_ = shape;
    size_ = size;
    colour_ = colour;
  }
  std::int32_t x() const { return x_; }
  std::int32_t y() const { return y_; }
  std::int32_t colour() const { return colour_; }

 private:
  std::int32_t x_;
  std::int32_t y_;
  std::int32_t colour_ = 0;
  std::uint8_t size_ = 0;
  std::uint8_t shape_ = 0;
};

class QPolygonLine : public QPolygonObject {
 public:
  // Takes over the builder's point and part arrays (see the file comment).
  QPolygonLine(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id);
  ~QPolygonLine() override;

  // Appends a point to the open part.  One point beyond the point limit
  // reports code 100 "Too many points." and fails.
  bool AddPoint(std::int32_t x, std::int32_t y);
  // Ends the open part.  A part without points is not counted.  One part
  // beyond the polygon limit reports code 100 "Too many polygons." and fails.
  bool ClosePart();
  // Adds num_parts parts, part i holding counts[i] points taken one after
  // another from xy (x, y pairs).  Checks first that the parts and the
  // points fit the limits ("Too many polygons.", "Too many points.", code
  // 100); with round_to_hundred every coordinate goes through
  // RoundToHundred.  A negative count or a null array holding points is
  // refused with code 106.
  bool AddParts(const std::int32_t* xy, const std::int32_t* counts, std::int32_t num_parts,
                bool round_to_hundred = false);

  // Closes the open part, grows the rectangle by one unit, places a (0, 0)
  // label point at the rectangle's centre and appends the record: names
  // block, part counts, coordinates (compressed when the file asks for it
  // and every column fits) and segment records when the file carries them.
  bool Write() override;
  int Type() const override { return kLine; }

  void set_label(std::int32_t x, std::int32_t y) {
    label_x_ = x;
    label_y_ = y;
  }
  void set_pen(std::uint8_t width, std::uint8_t pattern, std::int32_t colour) {
    pen_width_ = width;
    pen_pattern_ = pattern;
    pen_colour_ = colour;
  }
  void set_brush(std::int32_t pattern, std::int32_t foreground, std::int32_t background) {
    brush_pattern_ = pattern;
    brush_foreground_ = foreground;
    brush_background_ = background;
  }

  std::int32_t part_count() const { return part_count_; }
  std::int32_t point_count() const { return point_count_; }
  // Points of the open part (not yet counted in part_count()).
  std::int32_t open_part_points() const { return point_count_ - part_start_; }
  const lumetra::Rect& rect() const { return rect_; }
  std::int32_t label_x() const { return label_x_; }
  std::int32_t label_y() const { return label_y_; }
  std::int32_t pen_colour() const { return pen_colour_; }

 protected:
  // Whether a closed part drops a last point equal to its first.
  virtual bool DropsClosingPoint() const { return false; }
  // Whether each part's segment list includes the closing segment from the
  // last point back to the first.
  virtual bool HasClosingSegment() const { return false; }

 private:
  bool CheckOwnership();

  std::uint8_t object_flags_;
  std::int32_t label_x_ = 0;
  std::int32_t label_y_ = 0;
  std::uint8_t pen_width_ = 0;
  std::uint8_t pen_pattern_ = 0;
  std::int32_t pen_colour_ = 0;
  std::int32_t brush_pattern_ = 0;
  std::int32_t brush_foreground_ = 0;
  std::int32_t brush_background_ = 0;
  lumetra::Rect rect_;
  std::int32_t part_count_ = 0;
  std::int32_t point_count_ = 0;
  std::int32_t part_start_ = 0;  // index of the open part's first point
  std::uint64_t claim_ = 0;      // the builder's array claim this object holds
};

class QPolygonRegion : public QPolygonLine {
 public:
  QPolygonRegion(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id)
      : QPolygonLine(build, name, name2, id) {}
  int Type() const override { return kRegion; }

 protected:
  bool DropsClosingPoint() const override { return true; }
  bool HasClosingSegment() const override { return true; }
};

// A line made of exactly two points, as one part.  If the points cannot be
// added (a point limit below 2) the failure is reported and Write fails.
class QPolygonSingleLine : public QPolygonLine {
 public:
  QPolygonSingleLine(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id,
                     std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
  bool Write() override;

 private:
  bool added_;
};

// A line of several pieces: each piece is added as points and ended with
// ClosePart, like the parts of any line.
class QPolygonMultiPline : public QPolygonLine {
 public:
  QPolygonMultiPline(ObjectFileBuild& build, const char* name, const char* name2, std::uint8_t id)
      : QPolygonLine(build, name, name2, id) {}
};

#endif  // LUMETRA_IMPORT_POLYGON_OBJECT_H
