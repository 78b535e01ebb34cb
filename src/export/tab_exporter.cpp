#include "export/tab_exporter.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr char kFieldMemory[] = "Memory allocation error for TAB field definitions.";
// The bounds that put the table's integer grid at one millionth.
constexpr double kBound = 1000.0;

void SetCharacterField(TXFieldDef* field, const char* name) {
  std::memset(field, 0, sizeof *field);
  std::snprintf(field->name, sizeof field->name, "%s", name);
  field->type = kTXChar;
  field->width = CspaTABExporter::kNameLength;
}

}  // namespace

CspaTABExporter::CspaTABExporter(pipLibraryContext& library, int type_code)
    : CspaExporter(library), type_code_(type_code) {}

CspaTABExporter::~CspaTABExporter() { CloseFiles(); }

int CspaTABExporter::CreateFilesEx(const char* base_name, long version, const char* delimiter) {
  (void)version;
  (void)delimiter;
  return CreateFiles(base_name);
}

int CspaTABExporter::CreateFiles(const char* base_name) {
  if (base_name == nullptr) return -1;
  library_started_ = TXInitialize(kTXInterfaceVersion);
  TXTableInfo info;
  std::memset(&info, 0, sizeof info);
  info.has_map = 1;
  TXSetCoordSys(0, &info.coordsys);
  info.min_x = -kBound;
  info.min_y = -kBound;
  info.max_x = kBound;
  info.max_y = kBound;
  SetCharacterField(&fields_[0], "NAME");
  SetCharacterField(&fields_[1], "NAME2");
  table_ = TXCreateTable(base_name, fields_, 2, &info, kTXCreateReplace);
  if (table_ <= 0) {
    NoteFailure(std::string("Unable to create table ") + base_name + "!", TXGetLastErrorText());
    error().ReportF(PIP_ERR_GENERAL, QERR_HERE, "Unable to create table %s!", base_name);
    table_ = 0;
    return -1;
  }
  try {
    points_.reserve(2 * 32768);
    parts_.reserve(2730);
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_GENERAL, kFieldMemory, QERR_HERE);
    return -1;
  }
  return 1;
}

int CspaTABExporter::CloseFiles() {
  bool ok = true;
  if (table_ > 0) {
    if (!TXCloseTable(table_)) {
      error().ReportF(PIP_ERR_GENERAL, QERR_HERE, "Unable to finish the table: %s",
                      TXGetLastErrorText());
      ok = false;
    }
    table_ = 0;
  }
  points_.clear();
  parts_.clear();
  if (library_started_) {
    library_started_ = false;
    ok = TXTerminate() == 0 && ok;
  }
  return ok ? 1 : -1;
}

int CspaTABExporter::DeleteFiles() { return 1; }

int CspaTABExporter::WriteObject(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  return CspaExporter::WriteObject(name, object, points, part_counts, count);
}

int CspaTABExporter::InsertRow(const pipObjectInfoStruct& object) {
  const std::string text = lumetra::CutText(object.name, sizeof object.name) + "\t" +
                           lumetra::CutText(object.name2, sizeof object.name2);
  type_code_ = record_.type;
  ++row_counter_;
  if (TXInsertRow(table_, text.c_str(), &record_, &row_counter_)) return 1;
  char message[96];
  std::snprintf(message, sizeof message, "TXInsertRow (row=%lu) failed, reason = %u!",
                static_cast<unsigned long>(row_counter_), static_cast<unsigned>(TXGetLastError()));
  --row_counter_;
  NoteFailure(message, TXGetLastErrorText());
  error().Report(PIP_ERR_GENERAL, message, QERR_HERE);
  return -1;
}

bool CspaTABExporter::FillSections(const std::int32_t* points, const std::int32_t* part_counts,
                                   std::int32_t count, bool close) {
  std::int64_t total = 0;
  if (points == nullptr || !lumetra::SumParts(part_counts, count, &total)) return false;
  points_.clear();
  parts_.clear();
  points_.reserve(2 * static_cast<std::size_t>(total + (close ? count : 0)));
  const std::int32_t* in = points;
  std::vector<std::size_t> starts;
  for (std::int32_t part = 0; part < count; ++part) {
    starts.push_back(points_.size());
    const std::int32_t n = part_counts[part];
    for (std::int32_t k = 0; k < n; ++k, in += 2) {
      points_.push_back(lumetra::ToOutputUnits(in[0]));
      points_.push_back(lumetra::ToOutputUnits(in[1]));
    }
    if (close) {
      points_.push_back(points_[starts.back()]);
      points_.push_back(points_[starts.back() + 1]);
    }
    parts_.push_back({n + (close ? 1 : 0), 0, nullptr});
  }
  // The point buffer no longer moves: point the parts into it.
  for (std::size_t i = 0; i < parts_.size(); ++i) parts_[i].points = points_.data() + starts[i];
  return true;
}

int CspaTABExporter::WritePoint(const char* name, const pipObjectInfoStruct& object,
                                const std::int32_t* points, const std::int32_t* part_counts,
                                std::int32_t count) {
  (void)name;
  (void)part_counts;
  if (object.type != PIP_OBJECT_POINT || points == nullptr || count < 1 || table_ <= 0) return -1;
  record_ = TXObject();
  record_.type = kTXPoint;
  record_.u.point = {lumetra::ToOutputUnits(points[0]), lumetra::ToOutputUnits(points[1])};
  return InsertRow(object);
}

int CspaTABExporter::WriteLine(const char* name, const pipObjectInfoStruct& object,
                               const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count) {
  (void)name;
  if (object.type != PIP_OBJECT_LINE || table_ <= 0) return -1;
  if (!FillSections(points, part_counts, count, false)) return -1;
  record_ = TXObject();
  if (count > 1) {
    record_.type = kTXMultiPolyline;
    record_.u.multi.num_sections = count;
    record_.u.multi.sections = parts_.data();
  } else if (parts_[0].num_points == 2) {
    record_.type = kTXLine;
    record_.u.line = {points_[0], points_[1], points_[2], points_[3]};
  } else {
    record_.type = kTXPolyline;
    record_.u.polyline.num_points = parts_[0].num_points;
    record_.u.polyline.points = points_.data();
  }
  return InsertRow(object);
}

int CspaTABExporter::WriteRegion(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  (void)name;
  if (object.type != PIP_OBJECT_REGION || table_ <= 0) return -1;
  if (!FillSections(points, part_counts, count, count == 1)) return -1;
  record_ = TXObject();
  record_.type = kTXRegion;
  record_.u.region.num_rings = count;
  record_.u.region.rings = parts_.data();
  return InsertRow(object);
}
