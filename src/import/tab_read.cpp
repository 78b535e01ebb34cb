#include "import/tab_read.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"
#include "import/shp_read.h"
#include "import/table_columns.h"
#include "storage/trace.h"

namespace {

constexpr char kNullColumnWarning[] =
    "WARNING: id parameter was NULL. Parameter set to first column in .tab file.";
constexpr char kMissingColumnWarning[] =
    "WARNING: Specified id parameter could not be found. Parameter set to first column in .tab "
    "file.";
constexpr char kInvalidRecord[] = "Error: Invalid data record in input file";

enum PartsKind { kPolyline, kMultiPolyline, kRegion };

// Trace lines go to the file layer's trace stream, when one is set.
void TraceF(const char* format, ...) __attribute__((format(printf, 1, 2)));
void TraceF(const char* format, ...) {
  std::FILE* stream = lumetra::TraceStream();
  if (stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
}

void TakeValue(std::string* accumulated, std::vector<std::string>* values) {
  std::string value;
  for (char c : *accumulated) {
    if (c != '"') value += c;
  }
  values->push_back(value.substr(0, TABRead::kValueSize));
  accumulated->clear();
}

}  // namespace

bool SplitTabRowText(const std::string& text, std::size_t max_values,
                     std::vector<std::string>* values) {
  values->clear();
  std::string accumulated;
  std::size_t start = 0;
  bool first = true;
  while (start <= text.size()) {
    std::size_t end = text.find('\t', start);
    if (end == std::string::npos) end = text.size();
    accumulated += text.substr(start, end - start);
    const char last = accumulated.empty() ? '\0' : accumulated.back();
    if (first || last == '"' || (last >= '0' && last <= '9')) {
      if (values->size() == max_values) return false;
      TakeValue(&accumulated, values);
      first = false;
    }
    start = end + 1;
  }
  // A value the text never closed is still the row's.
  if (!accumulated.empty()) {
    if (values->size() == max_values) return false;
    TakeValue(&accumulated, values);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Opening

TABRead::TABRead(ObjectFileBuild& build, const char* file_name, const char* name_column,
                 const char* name_column2)
    : ImportRead(build) {
  if (file_name == nullptr || file_name[0] == '\0') {
    error().Report(100, "NULL file name on TAB table open", QERR_HERE);
    Fail();
    return;
  }
  file_name_ = file_name;
  if (!Open(file_name) || !ReadFieldDefs()) {
    Fail();
    return;
  }
  ChooseColumns(name_column, name_column2);
}

TABRead::~TABRead() {
  if (table_ > 0) TXCloseTable(table_);
  if (library_started_) TXTerminate();
}

bool TABRead::Open(const char* file_name) {
  library_started_ = TXInitialize(kTXInterfaceVersion);
  table_ = TXOpenTable(file_name, kTXOpenRead);
  if (table_ <= 0) {
    TraceF("\nOPEN:\tcan not open %s.\n\t%s\n", file_name, TXGetLastErrorText());
    error().ReportF(100, QERR_HERE, "Can not open table %s: %s", file_name, TXGetLastErrorText());
    return false;
  }
  if (!TXGetRowCount(table_, &rows_)) {
    TraceF("\nUPDATE:\tcan not get number of rows.\n\tError #%d.\n", TXGetLastError());
    error().ReportF(100, QERR_HERE, "\nUPDATE:\tcan not get number of rows.\n\tError #%d.\n",
                    TXGetLastError());
    return false;
  }
  if (!TXGetFieldCount(table_, &fields_)) {
    TraceF("\nUPDATE:\tcan not get number of fields.\n\tError #%d.\n", TXGetLastError());
    error().ReportF(100, QERR_HERE, "\nUPDATE:\tcan not get number of fields.\n\tError #%d.\n",
                    TXGetLastError());
    return false;
  }
  TraceF("number of rows     = %d\n", rows_);
  TraceF("number of fields   = %d\n", fields_);
  std::int32_t points = 0, lines = 0, regions = 0, others = 0;
  if (TXGetObjectCounts(table_, &points, &lines, &regions, &others)) {
    TraceF("Number of Points   = %d\n", points);
    TraceF("Number of Lines    = %d\n", lines);
    TraceF("Number of Polygons = %d\n\n", regions);
  }
  return true;
}

bool TABRead::ReadFieldDefs() {
  try {
    defs_.resize(static_cast<std::size_t>(fields_));
    values_.reserve(static_cast<std::size_t>(fields_));
  } catch (const std::bad_alloc&) {
    TraceF("\nSEARCH:\tmemory allocation error.\n");
    error().Report(104, "\nSEARCH:\tmemory allocation error.\n", QERR_HERE);
    return false;
  }
  TXGetFieldDefs(table_, defs_.data());
  for (std::int32_t i = 0; i < fields_; ++i) {
    TraceF("field %d name : %s\n", i,
           lumetra::CutText(defs_[i].name, sizeof defs_[i].name).c_str());
  }
  return true;
}

void TABRead::ChooseColumns(const char* name_column, const char* name_column2) {
  std::vector<std::string> names;
  for (const TXFieldDef& def : defs_) names.push_back(lumetra::CutText(def.name, sizeof def.name));
  const NameColumns columns = ChooseNameColumns(error(), names, name_column, name_column2,
                                                kNullColumnWarning, kMissingColumnWarning);
  name_column_ = columns.name;
  name_column2_ = columns.name2;
}

std::string TABRead::ColumnText(int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= values_.size()) return std::string();
  return TrimWhiteSpace(values_[column].substr(0, kMaxNameLength));
}

// ---------------------------------------------------------------------------
// Reading

int TABRead::PercentDone() const { return RecordsPercent(records_read_, rows_); }

bool TABRead::ReadObject() {
  set_result(kResultError);
  if (!success()) return false;
  if (next_row_ > rows_) {
    set_result(kResultEnd);
    return true;
  }
  const std::int32_t row = next_row_++;
  // Every row counts, fetched or not, so each object's colour stays its
  // row number.
  records_read_ = row;
  TXObject object;
  if (!TXFetchRow(table_, row, &row_text_, &object)) {
    TraceF("\nFETCH:\t%s\n", TXGetLastErrorText());
    error().ReportF(106, QERR_HERE, "FETCH: Can't fetch row #%d. Error #%d.", row,
                    TXGetLastError());
    set_result(kResultEnd);
    return false;
  }
  values_.clear();
  if (!row_text_.empty() && !SplitTabRowText(row_text_, defs_.size(), &values_)) {
    error().Report(106, kInvalidRecord, QERR_HERE);
    return false;
  }
  set_name(ColumnText(name_column_).c_str());
  set_name2(ColumnText(name_column2_).c_str());
  set_result(kResultSkipped);
  if (!WriteRowObject(object, row)) {
    set_result(kResultError);
    return false;
  }
  return true;
}

bool TABRead::WriteRowObject(const TXObject& object, std::int32_t colour) {
  switch (object.type) {
    case kTXPoint:
    case kTXFontPoint:
    case kTXCustomPoint:
      return WritePoint(object.u.point.x, object.u.point.y, colour);
    case kTXLine:
      return WriteTwoPointLine(object.u.line, colour);
    case kTXPolyline: {
      const TXSection part{object.u.polyline.num_points, 0, object.u.polyline.points};
      return WriteParts(kPolyline, &part, 1, colour);
    }
    case kTXMultiPolyline:
      return WriteParts(kMultiPolyline, object.u.multi.sections, object.u.multi.num_sections,
                        colour);
    case kTXRegion:
      return WriteParts(kRegion, object.u.region.rings, object.u.region.num_rings, colour);
    default:
      return true;  // skipped
  }
}

bool TABRead::WritePoint(double x, double y, std::int32_t colour) {
  const double xy[2] = {x, y};
  if (!CheckCoordinates(xy, 1)) return false;
  if (!WriteImportPoint(build(), name(), name2(), x, y, colour)) return false;
  set_result(kResultObject);
  return true;
}

bool TABRead::WriteTwoPointLine(const TXObject::Line& l, std::int32_t colour) {
  const double xy[4] = {l.x1, l.y1, l.x2, l.y2};
  if (!CheckCoordinates(xy, 2)) return false;
  ShapePoint p1 = ImportPoint(build(), l.x1, l.y1);
  ShapePoint p2 = ImportPoint(build(), l.x2, l.y2);
  if (!build().options().file_units() && !TwoPointRule(l.x1, l.y1, l.x2, l.y2, &p1, &p2)) {
    error().ReportF(100, QERR_HERE,
                    "Row %d of table %s: the two-point line with y values %g and %g is in "
                    "neither degrees nor file units.",
                    records_read_, file_name_.c_str(), l.y1, l.y2);
    return false;
  }
  QPolygonSingleLine line(build(), name().c_str(), name2().c_str(), 0, p1.x, p1.y, p2.x, p2.y);
  line.set_pen(0, 0, colour);
  if (!line.Write()) return false;
  set_result(kResultObject);
  return true;
}

bool TABRead::CheckCoordinates(const double* xy, std::int64_t count) const {
  const std::string problem = CoordinatesProblem(build(), xy, count);
  if (problem.empty()) return true;
  error().ReportF(100, QERR_HERE, "Row %d of table %s: %s.", records_read_, file_name_.c_str(),
                  problem.c_str());
  return false;
}

bool TABRead::CheckLimits(const TXSection* sections, std::int32_t count) const {
  std::int64_t parts = 0;
  std::int64_t points = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    if (sections[i].num_points > 0) ++parts;
    points += sections[i].num_points;
  }
  return WithinImportLimits(build(), error(), parts, points);
}

bool TABRead::WriteParts(int kind, const TXSection* sections, std::int32_t count,
                         std::int32_t colour) {
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < count; ++i) total += sections[i].num_points;
  if (total <= 0) return true;  // nothing to place: skipped
  if (!CheckLimits(sections, count)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!CheckCoordinates(sections[i].points, sections[i].num_points)) return false;
  }
  std::unique_ptr<QPolygonLine> object;
  if (kind == kRegion) {
    object = std::make_unique<QPolygonRegion>(build(), name().c_str(), name2().c_str(), 0);
  } else if (kind == kMultiPolyline) {
    object = std::make_unique<QPolygonMultiPline>(build(), name().c_str(), name2().c_str(), 0);
  } else {
    object = std::make_unique<QPolygonLine>(build(), name().c_str(), name2().c_str(), 0);
  }
  for (std::int32_t i = 0; i < count; ++i) {
    if (!AddImportPart(build(), *object, sections[i].points, sections[i].num_points)) {
      return false;
    }
  }
  object->set_pen(0, 0, colour);
  object->set_brush(0, 0, 0);
  if (!object->Write()) return false;
  set_result(kResultObject);
  return true;
}
