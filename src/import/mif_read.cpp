#include "import/mif_read.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/import_options.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"

namespace {

// Delimiter sets: the MIF file's own (coordinates, keywords), the header's
// (keywords, column names), the MID file's, and the style clauses'.
constexpr char kMifDelimiters[] = " \t\n";
constexpr char kHeaderDelimiters[] = "( ,\t\n";
constexpr char kMidDelimiters[] = ",\t\n";
constexpr char kStyleFirst[] = "( ,\t\n";
constexpr char kStyleMiddle[] = " ,\t\n";
constexpr char kStyleLast[] = ") ,\t\n";

constexpr char kUnexpectedEnd[] = "Unexpected End of File.";
constexpr char kBlankColumn[] = "Blank line in columns section.";
constexpr char kColumnsSyntax[] = "Syntax error in columns section.";
constexpr char kBlankObjectLine[] = "Blank line in object.";
constexpr char kObjectSyntax[] = "Syntax error in object.";
constexpr char kObjectTooLarge[] = "Object too large";
constexpr char kTooManyPolygons[] = "Too many polygons in object.";

// Saturation bound of ParseTextInteger: far beyond any count or i32 value,
// far below the i64 range, so one more digit never overflows.
constexpr std::int64_t kIntegerCap = 100000000000000000;  // 10^17

enum class Keyword {
  kPoint,
  kLine,
  kPline,
  kRegion,
  kCenter,
  kPen,
  kBrush,
  kSymbol,
  kUnsupported,
  kOther
};

bool EqualsIgnoreCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::toupper(static_cast<unsigned char>(*a)) !=
        std::toupper(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

Keyword Classify(const char* token) {
  struct Entry {
    const char* text;
    Keyword keyword;
  };
  static const Entry kTable[] = {
      {"POINT", Keyword::kPoint},         {"LINE", Keyword::kLine},
      {"PLINE", Keyword::kPline},         {"REGION", Keyword::kRegion},
      {"CENTER", Keyword::kCenter},       {"PEN", Keyword::kPen},
      {"BRUSH", Keyword::kBrush},         {"SYMBOL", Keyword::kSymbol},
      {"RECT", Keyword::kUnsupported},    {"ROUNDRECT", Keyword::kUnsupported},
      {"ELLIPSE", Keyword::kUnsupported}, {"ARC", Keyword::kUnsupported},
      {"TEXT", Keyword::kUnsupported},    {"NONE", Keyword::kUnsupported},
  };
  for (const Entry& e : kTable) {
    if (EqualsIgnoreCase(token, e.text)) return e.keyword;
  }
  return Keyword::kOther;
}

// A MIF number as the C library's atof reads a token: the longest prefix
// that forms a decimal or exponent number (an optional leading '+'
// allowed); anything else gives 0.  Independent of the process locale.  A
// number beyond the double range reads as the largest double of its sign
// (ToFileUnits then saturates), one too small for it (a negative exponent)
// as 0.
double ParseNumber(const char* token) {
  if (token == nullptr) return 0.0;
  const char* p = token;
  if (*p == '+' && p[1] != '-' && p[1] != '+') ++p;
  double value = 0.0;
  const auto parsed = std::from_chars(p, p + std::strlen(p), value);
  if (parsed.ec == std::errc::result_out_of_range) {
    const char* e = std::find_if(p, parsed.ptr, [](char c) { return c == 'e' || c == 'E'; });
    if (e + 1 < parsed.ptr && e[1] == '-') return 0.0;
    const double huge = std::numeric_limits<double>::max();
    return *p == '-' ? -huge : huge;
  }
  return parsed.ec == std::errc() ? value : 0.0;
}

std::int32_t ParseStyleNumber(const char* token) {
  const std::int64_t v = ParseTextInteger(token);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t LowByte(std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

std::string CutName(const std::string& text) {
  return TrimWhiteSpace(text.substr(0, ImportRead::kMaxNameLength));
}

}  // namespace

std::int64_t ParseTextInteger(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  std::int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (value < kIntegerCap) value = value * 10 + (*p - '0');
  }
  return negative ? -value : value;
}

// ---------------------------------------------------------------------------
// Opening

MIFRead::MIFRead(ObjectFileBuild& build, const char* file_name, const char* name_field,
                 const char* name_field2)
    : ImportRead(build) {
  const std::string base = lumetra::CutText(file_name, ImportTextFile::kMaxFileName);
  if (!OpenMif(base)) return;
  if (name_field == nullptr) {
    error().Report(106, "WARNING: Invalid nameField parameter. Parameter set to first column.",
                   QERR_HERE);
  }
  bool name_found = false;
  bool name2_found = false;
  if (!ReadHeader(name_field, name_field2, &name_found, &name2_found)) return;
  if (name_field != nullptr && name_field[0] != '\0' && !name_found) {
    error().Report(
        106, "WARNING: nameField parameter not found. Parameter set to first column by default.",
        QERR_HERE);
  }
  if (name_field2 != nullptr && name_field2[0] != '\0' && !name2_found) {
    error().Report(
        106,
        "WARNING: nameField2 parameter specified not found. No secondary name will be written.",
        QERR_HERE);
  }
  OpenMid(base);
}

MIFRead::~MIFRead() = default;

std::string MIFRead::ApplyExtension(const std::string& file_name, const char* extension) {
  const std::size_t separator = file_name.find_last_of("\\/:");
  const std::size_t name_start = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || dot < name_start) return file_name + extension;
  bool has_lower = false;
  bool has_upper = false;
  for (std::size_t i = dot + 1; i < file_name.size(); ++i) {
    const auto c = static_cast<unsigned char>(file_name[i]);
    has_lower = has_lower || std::islower(c) != 0;
    has_upper = has_upper || std::isupper(c) != 0;
  }
  std::string new_extension(extension);
  for (char& c : new_extension) {
    const auto u = static_cast<unsigned char>(c);
    if (!has_lower) {
      c = static_cast<char>(std::toupper(u));
    } else if (!has_upper) {
      c = static_cast<char>(std::tolower(u));
    }
  }
  return file_name.substr(0, dot) + new_extension;
}

bool MIFRead::OpenMif(const std::string& file_name) {
  const std::string name = file_name.empty() ? file_name : ApplyExtension(file_name, ".MIF");
  mif_ = std::make_unique<ImportTextFile>(error(), name.c_str(), kMifDelimiters);
  if (!mif_->success()) Fail();
  return success();
}

bool MIFRead::OpenMid(const std::string& file_name) {
  const std::string name = ApplyExtension(file_name, ".MID");
  mid_ = std::make_unique<ImportTextFile>(error(), name.c_str(), kMidDelimiters);
  if (!mid_->success()) Fail();
  return success();
}

// Header lines up to "Data": only "Columns" is interpreted; Version,
// Charset, Delimiter, CoordSys, Index and the like are skipped.
bool MIFRead::ReadHeader(const char* name_field, const char* name_field2, bool* name_found,
                         bool* name2_found) {
  for (;;) {
    if (!mif_->ReadLine()) {
      if (mif_->failed()) {
        Fail();
        return false;
      }
      return DataError(*mif_, kUnexpectedEnd);
    }
    const char* keyword = mif_->NextToken(kHeaderDelimiters);
    if (keyword == nullptr) continue;
    if (EqualsIgnoreCase(keyword, "DATA")) return true;
    if (EqualsIgnoreCase(keyword, "COLUMNS") &&
        !ReadColumns(name_field, name_field2, name_found, name2_found)) {
      return false;
    }
  }
}

// The count lines after "Columns n", each starting with its column's name.
// Nothing is kept but the matching column numbers, so a hostile count costs
// lines read, never memory.
bool MIFRead::ReadColumns(const char* name_field, const char* name_field2, bool* name_found,
                          bool* name2_found) {
  const char* count_text = mif_->NextToken(kHeaderDelimiters);
  if (count_text == nullptr) return DataError(*mif_, kColumnsSyntax);
  const std::int64_t count = ParseTextInteger(count_text);
  const bool by_name = name_field != nullptr && name_field[0] != '\0';
  const bool by_name2 = name_field2 != nullptr && name_field2[0] != '\0';
  for (std::int64_t column = 1; column <= count; ++column) {
    if (!mif_->ReadLine()) {
      if (mif_->failed()) {
        Fail();
        return false;
      }
      return DataError(*mif_, kUnexpectedEnd);
    }
    const char* column_name = mif_->NextToken(kHeaderDelimiters);
    if (column_name == nullptr) return DataError(*mif_, kBlankColumn);
    const int number = static_cast<int>(std::min<std::int64_t>(column, 0x7FFFFFFF));
    if (by_name && EqualsIgnoreCase(column_name, name_field)) {
      name_column_ = number;
      *name_found = true;
    }
    if (by_name2 && EqualsIgnoreCase(column_name, name_field2)) {
      name2_column_ = number;
      *name2_found = true;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Reading

int MIFRead::PercentDone() const { return mif_ != nullptr ? mif_->PercentDone() : 0; }

std::int32_t MIFRead::CurrentLine() const {
  return mif_ != nullptr ? static_cast<std::int32_t>(mif_->line_number()) : 0;
}

bool MIFRead::DataError(ImportTextFile& in, const char* message) {
  error().ReportF(100, QERR_HERE, "Error: %s\nFile: %s\nLine: %ld", message, in.file_name(),
                  static_cast<long>(in.line_number()));
  in.SetFailed();
  Fail();
  return false;
}

bool MIFRead::ReadObject() {
  if (!success()) return false;
  set_result(kResultError);
  while (mif_->ReadLine()) {
    const char* keyword = mif_->NextToken(kMifDelimiters);
    if (keyword == nullptr) continue;
    switch (Classify(keyword)) {
      case Keyword::kPoint:
        return ReadPointObject();
      case Keyword::kLine:
        return ReadLineObject();
      case Keyword::kPline:
        return ReadPlineObject();
      case Keyword::kRegion:
        return ReadRegionObject();
      case Keyword::kUnsupported:
        return SkipObject();
      case Keyword::kCenter:
        if (!ApplyCenter()) return false;
        break;
      case Keyword::kPen:
        ApplyPen();
        break;
      case Keyword::kBrush:
        ApplyBrush();
        break;
      case Keyword::kSymbol:
        ApplySymbol();
        break;
      case Keyword::kOther:
        break;  // coordinates of skipped objects, Smooth, sections, ...
    }
  }
  if (mif_->failed()) {
    Fail();  // reported by the line reader
    return false;
  }
  if (!WritePending()) return false;
  set_result(kResultEnd);
  return true;
}

bool MIFRead::ReadMidRow() {
  if (!mid_->ReadLine()) {
    if (mid_->failed()) {
      Fail();
      return false;
    }
    return DataError(*mid_, kUnexpectedEnd);
  }
  ++mid_rows_;
  std::string name;
  std::string name2;
  std::int32_t id = 0;
  const int last_column = std::max(name_column_, name2_column_);
  std::string field;
  for (int column = 1; column <= last_column; ++column) {
    if (!mid_->NextField(&field)) {
      id = -1;  // a short row: the names found so far stay
      break;
    }
    if (column == name_column_) name = CutName(field);
    if (column == name2_column_) name2 = CutName(field);
  }
  set_name(name.c_str());
  set_name2(name2.c_str());
  set_id(id);
  return true;
}

std::int32_t MIFRead::StartObject() {
  if (!WritePending()) return 0;
  if (!ReadMidRow()) return 0;
  CountObject();
  return build().options().source_ordinals() ? mid_rows_ : objects_read();
}

bool MIFRead::NextPair(std::int32_t* x, std::int32_t* y) {
  const char* x_text = mif_->NextToken();
  const char* y_text = x_text != nullptr ? mif_->NextToken() : nullptr;
  if (y_text == nullptr) return false;
  return TakePair(x_text, y_text, x, y);
}

bool MIFRead::TakePair(const char* x_text, const char* y_text, std::int32_t* x, std::int32_t* y) {
  const lumetra::ImportOptions& options = build().options();
  double vx = 0.0;
  double vy = 0.0;
  if (!options.strict()) {
    vx = ParseNumber(x_text);
    vy = ParseNumber(y_text);
  } else {
    for (const char* text : {x_text, y_text}) {
      double& v = text == x_text ? vx : vy;
      if (!lumetra::ParseStrictNumber(text, std::strlen(text), &v)) {
        const std::string message = "Invalid coordinate '" + std::string(text) + "'.";
        return DataError(*mif_, message.c_str());
      }
    }
    const bool scaled = !options.file_units() || build().geographic();
    const std::string problem = lumetra::CoordinateProblem(vx, vy, build().geographic(), scaled);
    if (!problem.empty()) {
      const std::string message = "Coordinate " + problem + ".";
      return DataError(*mif_, message.c_str());
    }
  }
  if (options.file_units()) {
    *x = lumetra::ImportOptions::FileUnits(vx, build().geographic());
    *y = lumetra::ImportOptions::FileUnits(vy, build().geographic());
  } else {
    *x = ToFileUnits(vx);
    *y = ToFileUnits(vy);
  }
  return true;
}

bool MIFRead::TakeCount(const char* text, std::int64_t* count) {
  if (!build().options().strict()) {
    *count = ParseTextInteger(text);
    return true;
  }
  if (text != nullptr && EqualsIgnoreCase(text, "MULTIPLE")) {
    return DataError(*mif_, "Multiple-section Pline objects are not supported.");
  }
  if (!lumetra::ParseStrictCount(text, count) || *count < 0) {
    const std::string message = "Invalid count '" + std::string(text != nullptr ? text : "") + "'.";
    return DataError(*mif_, message.c_str());
  }
  return true;
}

bool MIFRead::ReadPointObject() {
  const std::int32_t ordinal = StartObject();
  if (ordinal == 0) return false;
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (!NextPair(&x, &y)) return success() ? DataError(*mif_, kObjectSyntax) : false;
  auto point = std::make_unique<QPolygonPoint>(build(), name().c_str(), name2().c_str(),
                                               LowByte(id()), x, y);
  point->set_symbol(0, 0, ordinal);
  SetPending(std::move(point));
  set_result(kResultObject);
  return true;
}

bool MIFRead::ReadLineObject() {
  const std::int32_t ordinal = StartObject();
  if (ordinal == 0) return false;
  std::int32_t x1 = 0;
  std::int32_t y1 = 0;
  std::int32_t x2 = 0;
  std::int32_t y2 = 0;
  if (!NextPair(&x1, &y1) || !NextPair(&x2, &y2)) {
    return success() ? DataError(*mif_, kObjectSyntax) : false;
  }
  auto line = std::make_unique<QPolygonSingleLine>(build(), name().c_str(), name2().c_str(),
                                                   LowByte(id()), x1, y1, x2, y2);
  line->set_pen(0, 0, ordinal);
  SetPending(std::move(line));
  set_result(kResultObject);
  return true;
}

bool MIFRead::ReadPlineObject() {
  const std::int32_t ordinal = StartObject();
  if (ordinal == 0) return false;
  // "Pline Multiple n" reads its count from "Multiple": 0 points.
  std::int64_t count = 0;
  if (!TakeCount(mif_->NextToken(), &count)) return false;
  auto line =
      std::make_unique<QPolygonLine>(build(), name().c_str(), name2().c_str(), LowByte(id()));
  for (std::int64_t i = 0; i < count; ++i) {
    if (!ReadPointLine(*line)) return false;
  }
  line->set_pen(0, 0, ordinal);
  SetPending(std::move(line));
  set_result(kResultObject);
  return true;
}

bool MIFRead::ReadRegionObject() {
  const std::int32_t ordinal = StartObject();
  if (ordinal == 0) return false;
  std::int64_t rings = 0;
  if (!TakeCount(mif_->NextToken(), &rings)) return false;
  auto region =
      std::make_unique<QPolygonRegion>(build(), name().c_str(), name2().c_str(), LowByte(id()));
  for (std::int64_t ring = 0; ring < rings; ++ring) {
    if (ring > 0 && !CloseRing(*region)) return false;
    if (!NextObjectLine()) return false;
    const char* count_text = mif_->NextToken();
    if (count_text == nullptr) return DataError(*mif_, kBlankObjectLine);
    std::int64_t count = 0;
    if (!TakeCount(count_text, &count)) return false;
    for (std::int64_t i = 0; i < count; ++i) {
      if (!ReadPointLine(*region)) return false;
    }
  }
  region->set_pen(0, 0, ordinal);
  SetPending(std::move(region));
  set_result(kResultObject);
  return true;
}

bool MIFRead::SkipObject() {
  if (!WritePending()) return false;
  set_result(kResultSkipped);
  return ReadMidRow();  // the skipped object's name becomes the current one
}

bool MIFRead::NextObjectLine() {
  if (mif_->ReadLine()) return true;
  if (mif_->failed()) {
    Fail();  // reported by the line reader
    return false;
  }
  return DataError(*mif_, kUnexpectedEnd);
}

bool MIFRead::ReadPointLine(QPolygonLine& object) {
  if (!NextObjectLine()) return false;
  const char* x_text = mif_->NextToken();
  if (x_text == nullptr) return DataError(*mif_, kBlankObjectLine);
  const char* y_text = mif_->NextToken();
  if (y_text == nullptr) return DataError(*mif_, kObjectSyntax);
  // Checked here so that the reader's own message is the one recorded.
  if (object.point_count() >= build().PointLimit()) return DataError(*mif_, kObjectTooLarge);
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (!TakePair(x_text, y_text, &x, &y)) return false;
  if (!object.AddPoint(x, y)) {
    Fail();  // reported by the object
    return false;
  }
  return true;
}

bool MIFRead::CloseRing(QPolygonLine& region) {
  const bool counts = region.open_part_points() > 0;
  if ((counts && region.part_count() >= build().PolygonLimit()) || !region.ClosePart()) {
    return DataError(*mif_, kTooManyPolygons);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Style clauses: each applies to the pending object of its kind only.

bool MIFRead::ApplyCenter() {
  QPolygonObject* object = pending();
  if (object == nullptr || object->Type() == QPolygonObject::kPoint) return true;
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (!NextPair(&x, &y)) return success() ? DataError(*mif_, kObjectSyntax) : false;
  static_cast<QPolygonLine*>(object)->set_label(x, y);
  return true;
}

void MIFRead::ApplyPen() {
  QPolygonObject* object = pending();
  if (object == nullptr || object->Type() == QPolygonObject::kPoint) return;
  const std::int32_t width = ParseStyleNumber(mif_->NextToken(kStyleFirst));
  const std::int32_t pattern = ParseStyleNumber(mif_->NextToken(kStyleLast));
  const std::int32_t colour = ParseStyleNumber(mif_->NextToken(kStyleLast));
  auto* line = static_cast<QPolygonLine*>(object);
  // With source ordinals the colour field stays the ordinal.
  const bool keep = build().options().source_ordinals();
  line->set_pen(LowByte(width), LowByte(pattern), keep ? line->pen_colour() : colour);
}

void MIFRead::ApplyBrush() {
  QPolygonObject* object = pending();
  if (object == nullptr || object->Type() != QPolygonObject::kRegion) return;
  const std::int32_t pattern = ParseStyleNumber(mif_->NextToken(kStyleFirst));
  const std::int32_t foreground = ParseStyleNumber(mif_->NextToken(kStyleLast));
  const std::int32_t background = ParseStyleNumber(mif_->NextToken(kStyleLast));
  static_cast<QPolygonLine*>(object)->set_brush(pattern, foreground, background);
}

void MIFRead::ApplySymbol() {
  QPolygonObject* object = pending();
  if (object == nullptr || object->Type() != QPolygonObject::kPoint) return;
  const std::int32_t shape = ParseStyleNumber(mif_->NextToken(kStyleFirst));
  const std::int32_t colour = ParseStyleNumber(mif_->NextToken(kStyleMiddle));
  const std::int32_t size = ParseStyleNumber(mif_->NextToken(kStyleLast));
  auto* point = static_cast<QPolygonPoint*>(object);
  const bool keep = build().options().source_ordinals();
  point->set_symbol(LowByte(shape), LowByte(size), keep ? point->colour() : colour);
}
