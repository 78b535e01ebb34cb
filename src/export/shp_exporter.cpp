#include "export/shp_exporter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr char kWrongType[] = "An incorrect type was attempted to be written.";
constexpr char kFieldMemory[] = "Could not allocate dbase field.\n";
constexpr char kPointsMemory[] = "Could not allocate points array.\n";
constexpr char kLinesMemory[] = "Could not allocate lines array.\n";
constexpr int kMaxTextWidth = 254;
constexpr std::size_t kMaxFieldName = 10;
// The .prj of a geographic export: WGS 84 longitude/latitude in degrees, in
// the ESRI form shapefile readers expect.
constexpr char kWgs84Prj[] =
    "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,"
    "298.257223563]],PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]]";

// A dBase field name: `label` cut to 10 characters, made unique (without
// regard to case) among `used` by a "_2", "_3", ... ending.
std::string UniqueFieldName(const std::string& label, std::set<std::string>* used) {
  const auto upper = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string base = label.substr(0, kMaxFieldName);
  std::string name = base;
  for (int n = 2; used->count(upper(name)) != 0; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    name = base.substr(0, kMaxFieldName - suffix.size()) + suffix;
  }
  used->insert(upper(name));
  return name;
}

void SetCharacterField(dbField* field, const char* name) {
  std::memset(field, 0, sizeof *field);
  std::snprintf(field->name, sizeof field->name, "%s", name);
  field->type = 'C';
  field->length = CspaSHPExporter::kNameLength;
  field->decimals = 0;
}

// Copies a record's name field into a 'C' value (at most the field's
// length, terminated).
void SetText(dbField* field, const char* text, std::size_t text_size) {
  const std::string value = lumetra::CutText(text, text_size);
  std::snprintf(field->value.text, sizeof field->value.text, "%.*s", CspaSHPExporter::kNameLength,
                value.c_str());
}

}  // namespace

CspaSHPExporter::CspaSHPExporter(pipLibraryContext& library, int object_type)
    : CspaExporter(library), object_type_(object_type) {}

CspaSHPExporter::~CspaSHPExporter() { CloseFiles(); }

std::string CspaSHPExporter::BaseName(const std::string& file_name) {
  const std::size_t slash = file_name.find_last_of("/\\");
  const std::size_t component = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = file_name.find_last_of('.');
  if (dot == std::string::npos || dot <= component) return file_name;
  return file_name.substr(0, dot);
}

int CspaSHPExporter::CreateFilesEx(const char* base_name, long version, const char* delimiter) {
  (void)version;
  (void)delimiter;
  return CreateFiles(base_name);
}

int CspaSHPExporter::CreateFiles(const char* base_name) {
  if (base_name == nullptr) return -1;
  try {
    fields_.resize(2);
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kFieldMemory, QERR_HERE);
    return -1;
  }
  SetCharacterField(&fields_[0], "NAME");
  SetCharacterField(&fields_[1], "NAME2");
  const std::string base(base_name);
  base_name_ = base;
  if (ShapeCreate(&shape_, base_name) != 0) {
    ReportSystemError(errno, base + ".shp");
    return -1;
  }
  shape_open_ = true;
  table_ = dbTable{};
  table_.numFields = 2;
  table_.fields = fields_.data();
  if (dbCreate(&table_, base_name) != 0) {
    const int saved = errno;
    // The table's own creation cleaned up after itself; the shapefile just
    // made is of no use without it.
    ShapeClose(&shape_);
    shape_open_ = false;
    std::remove((base + ".shp").c_str());
    std::remove((base + ".shx").c_str());
    ReportSystemError(saved, base + ".dbf");
    return -1;
  }
  table_open_ = true;
  return 1;
}

int CspaSHPExporter::CloseFiles() {
  bool ok = true;
  if ((options() & PIP_EXPORT_OPT_CRS) != 0 && (shape_open_ || table_open_)) {
    ok = WriteMember(".cpg", all_utf8_ ? "UTF-8\n" : "ISO-8859-1\n");
  }
  if (shape_open_) {
    shape_open_ = false;
    ok = ShapeClose(&shape_) == 0;
  }
  if (table_open_) {
    table_open_ = false;
    ok = dbClose(&table_) == 0 && ok;
  }
  return ok ? 1 : -1;
}

int CspaSHPExporter::DeleteFiles() { return 1; }

int CspaSHPExporter::WriteObject(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  if (object.type != object_type_) {
    error().Report(PIP_ERR_GENERAL, kWrongType, QERR_HERE);
    return -1;
  }
  return CspaExporter::WriteObject(name, object, points, part_counts, count);
}

bool CspaSHPExporter::WriteTableRecord(const pipObjectInfoStruct& object) {
  if (options() == 0) {
    SetText(&fields_[0], object.name, sizeof object.name);
    SetText(&fields_[1], object.name2, sizeof object.name2);
    return dbWrite(&table_) == 0;
  }
  const std::vector<std::string> values = columns_.Values(CurrentAttributes(), object);
  if (!AttributesReadable()) return false;
  for (std::size_t i = 0; i < values.size() && i < fields_.size(); ++i) {
    dbField& field = fields_[i];
    if (field.type == 'N') {
      field.value.number = std::strtod(values[i].c_str(), nullptr);
    } else {
      all_utf8_ = all_utf8_ && lumetra::IsUtf8(values[i]);
      std::snprintf(field.value.text, sizeof field.value.text, "%.*s",
                    static_cast<int>(field.length), values[i].c_str());
    }
  }
  return dbWrite(&table_) == 0;
}

int CspaSHPExporter::ApplyOptions(int flags) {
  (void)flags;
  return 1;
}

int CspaSHPExporter::BeginTable(const AttributeSearch* attributes, bool geographic) {
  columns_ = lumetra::ExportColumns::Plan(attributes, "NAME", "NAME2");
  if (RecreateTable() != 1) return -1;
  if ((options() & PIP_EXPORT_OPT_CRS) != 0 && geographic && !WriteMember(".prj", kWgs84Prj)) {
    return -1;
  }
  return 1;
}

int CspaSHPExporter::RecreateTable() {
  std::vector<dbField> fields;
  std::set<std::string> used;
  for (const lumetra::ExportColumn& column : columns_.columns()) {
    dbField field;
    std::memset(&field, 0, sizeof field);
    const std::string name = UniqueFieldName(column.label, &used);
    std::snprintf(field.name, sizeof field.name, "%s", name.c_str());
    field.type = column.type;
    field.length = static_cast<unsigned char>(std::min(std::max(column.width, 1), kMaxTextWidth));
    field.decimals = static_cast<unsigned char>(column.type == 'N' ? column.decimals : 0);
    fields.push_back(field);
  }
  if (table_open_) {
    table_open_ = false;
    dbClose(&table_);
  }
  fields_ = std::move(fields);
  table_ = dbTable{};
  table_.numFields = static_cast<int>(fields_.size());
  table_.fields = fields_.data();
  if (dbCreate(&table_, base_name_.c_str()) != 0) {
    ReportSystemError(errno, base_name_ + ".dbf");
    return -1;
  }
  table_open_ = true;
  return 1;
}

bool CspaSHPExporter::WriteMember(const char* extension, const char* text) {
  const std::string path = base_name_ + extension;
  lumetra::ExportTextFile file;
  if (!file.Create(path) || !file.Print("%s", text) || !file.Close()) {
    ReportSystemError(errno, path);
    return false;
  }
  return true;
}

int CspaSHPExporter::WritePoint(const char* name, const pipObjectInfoStruct& object,
                                const std::int32_t* points, const std::int32_t* part_counts,
                                std::int32_t count) {
  (void)name;
  (void)part_counts;
  if (object.type != PIP_OBJECT_POINT || points == nullptr || count < 1 || !shape_open_) return -1;
  const double xy[2] = {lumetra::ToOutputUnits(points[0]), lumetra::ToOutputUnits(points[1])};
  if (ShapeWritePoint(&shape_, xy) != 0) return -1;
  return WriteTableRecord(object) ? 1 : -1;
}

int CspaSHPExporter::WriteLine(const char* name, const pipObjectInfoStruct& object,
                               const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count) {
  (void)name;
  if (object.type != PIP_OBJECT_LINE) return -1;
  if (WritePoly(points, part_counts, count, SHP_POLYLINE, false) != 1) return -1;
  return WriteTableRecord(object) ? 1 : -1;
}

int CspaSHPExporter::WriteRegion(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  (void)name;
  if (object.type != PIP_OBJECT_REGION) return -1;
  if (WritePoly(points, part_counts, count, SHP_POLYGON, true) != 1) return -1;
  return WriteTableRecord(object) ? 1 : -1;
}

int CspaSHPExporter::WritePoly(const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count, int shape_type, bool close_rings) {
  std::int64_t total = 0;
  if (points == nullptr || !shape_open_ || !lumetra::SumParts(part_counts, count, &total)) {
    return -1;
  }
  const std::int64_t written = total + (close_rings ? count : 0);
  std::vector<double> coordinates;
  std::vector<shpPart> parts;
  try {
    coordinates.resize(2 * static_cast<std::size_t>(written));
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kPointsMemory, QERR_HERE);
    return -1;
  }
  try {
    parts.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kLinesMemory, QERR_HERE);
    return -1;
  }
  std::size_t out = 0;
  const std::int32_t* in = points;
  for (std::int32_t part = 0; part < count; ++part) {
    const std::int32_t n = part_counts[part];
    double* start = coordinates.data() + out;
    for (std::int32_t k = 0; k < n; ++k, in += 2) {
      coordinates[out++] = lumetra::ToOutputUnits(in[0]);
      coordinates[out++] = lumetra::ToOutputUnits(in[1]);
    }
    if (close_rings) {
      coordinates[out] = start[0];
      coordinates[out + 1] = start[1];
      out += 2;
    }
    parts[part].numPoints = n + (close_rings ? 1 : 0);
    parts[part].points = start;
  }
  shpPartList list;
  list.numParts = count;
  list.parts = parts.data();
  return ShapeWritePoly(&shape_, &list, shape_type) == 0 ? 1 : -1;
}
