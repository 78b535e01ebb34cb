#include "export/mif_exporter.h"

#include <cerrno>
#include <new>

#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr char kFileNameMemory[] = "Could not allocate filename buffer.\n";
constexpr char kDelimiterMemory[] = "Could not allocate delimiter buffer.\n";

constexpr char kX[] = "%11.6f ";

// A MID text in double quotes, inner quotes doubled.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}
constexpr char kY[] = "%11.6f \n";

}  // namespace

CspaMIFExporter::CspaMIFExporter(pipLibraryContext& library) : CspaExporter(library) {}

CspaMIFExporter::~CspaMIFExporter() {
  // Outputs never closed through CloseFiles are unfinished.
  if (mif_.is_open() || mid_.is_open()) {
    mif_.Remove();
    mid_.Remove();
  }
}

std::string CspaMIFExporter::MifName(const std::string& base_name) {
  return lumetra::OutputFileName(base_name, ".mif", ".MIF", ".mif");
}

std::string CspaMIFExporter::MidName(const std::string& base_name) {
  return lumetra::OutputFileName(base_name, ".mif", ".MIF", ".mid");
}

int CspaMIFExporter::CreateFiles(const char* base_name) {
  if (base_name == nullptr) return -1;
  std::string mif_path;
  std::string mid_path;
  try {
    mif_path = MifName(base_name);
    mid_path = MidName(base_name);
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kFileNameMemory, QERR_HERE);
    return -1;
  }
  return Create(mif_path, mid_path, kDefaultVersion, kDefaultDelimiter);
}

int CspaMIFExporter::CreateFilesEx(const char* base_name, long version, const char* delimiter) {
  if (base_name == nullptr) return -1;
  std::string mif_path;
  std::string mid_path;
  try {
    mif_path = std::string(base_name) + ".MIF";
    mid_path = std::string(base_name) + ".MID";
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kFileNameMemory, QERR_HERE);
    return -1;
  }
  return Create(mif_path, mid_path, version, delimiter != nullptr ? delimiter : kDefaultDelimiter);
}

int CspaMIFExporter::Create(const std::string& mif_path, const std::string& mid_path, long version,
                            const char* delimiter) {
  try {
    delimiter_ = delimiter;
  } catch (const std::bad_alloc&) {
    error().Report(PIP_ERR_NO_MEMORY, kDelimiterMemory, QERR_HERE);
    return -1;
  }
  for (const std::string* path : {&mif_path, &mid_path}) {
    if (path->size() + 1 > kFileNameSize) {
      ReportSystemError(ENAMETOOLONG, *path);
      return -1;
    }
  }
  if (!mif_.Create(mif_path)) {
    ReportSystemError(errno, mif_path);
    return -1;
  }
  if (!mid_.Create(mid_path)) {
    const int saved = errno;
    mif_.Remove();
    ReportSystemError(saved, mid_path);
    return -1;
  }
  closed_ = false;
  version_ = version;
  if (!WriteHeader(version)) {
    ReportSystemError(errno, mif_path);
    return -1;
  }
  return 1;
}

bool CspaMIFExporter::WriteHeader(long version) {
  return mif_.Print("Version %ld\n", version) &&
         mif_.Print("Delimiter \"%s\"\n", delimiter_.c_str()) && mif_.Print("Index 1\n") &&
         mif_.Print("Columns 2\n") && mif_.Print("  Name  Char(128)\n") &&
         mif_.Print("  Name2 Char(128)\n") && mif_.Print("Data\n\n");
}

int CspaMIFExporter::CloseFiles() {
  if (closed_) return 1;
  closed_ = true;
  const bool mif_closed = mif_.Close();
  const bool mid_closed = mid_.Close();
  return mif_closed && mid_closed ? 1 : -1;
}

int CspaMIFExporter::DeleteFiles() {
  const bool mif_removed = mif_.Remove();
  const bool mid_removed = mid_.Remove();
  return mif_removed && mid_removed ? 1 : -1;
}

int CspaMIFExporter::WriteObject(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  return CspaExporter::WriteObject(name, object, points, part_counts, count);
}

bool CspaMIFExporter::WriteMidRow(const char* name, const pipObjectInfoStruct& object) {
  if (options() != 0) {
    const std::vector<std::string> values = columns_.Values(CurrentAttributes(), object);
    if (!AttributesReadable()) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const bool number = columns_.columns()[i].type == 'N';
      const char* separator = i == 0 ? "" : delimiter_.c_str();
      if (!mid_.Print("%s%s", separator, number ? values[i].c_str() : Quoted(values[i]).c_str())) {
        return false;
      }
    }
    return mid_.Print("\n");
  }
  const std::string row_name =
      name != nullptr ? std::string(name) : lumetra::CutText(object.name, sizeof object.name);
  const std::string second_name = lumetra::CutText(object.name2, sizeof object.name2);
  return mid_.Print("\"%s\"%s", row_name.c_str(), delimiter_.c_str()) &&
         mid_.Print("\"%s\"", second_name.c_str()) && mid_.Print("\n");
}

bool CspaMIFExporter::WritePoints(const std::int32_t* points, long n) {
  for (long k = 0; k < n; ++k) {
    if (!mif_.Print(kX, lumetra::ToOutputUnits(points[2 * k])) ||
        !mif_.Print(kY, lumetra::ToOutputUnits(points[2 * k + 1]))) {
      return false;
    }
  }
  return true;
}

bool CspaMIFExporter::WritePen(const pipObjectInfoStruct& object) {
  return mif_.Print("    Pen (%ld,%ld,%ld)\n", static_cast<long>(object.penWidth),
                    static_cast<long>(object.penPattern), static_cast<long>(object.penColor));
}

int CspaMIFExporter::WritePoint(const char* name, const pipObjectInfoStruct& object,
                                const std::int32_t* points, const std::int32_t* part_counts,
                                std::int32_t count) {
  (void)part_counts;
  if (object.type != PIP_OBJECT_POINT || points == nullptr || count < 1) return -1;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!WriteMidRow(name, object) || !mif_.Print("POINT  ") || !WritePoints(points + 2 * i, 1)) {
      return -1;
    }
  }
  // Symbol: shape, colour, size.
  const bool written =
      mif_.Print("    Symbol (%ld,%ld,%ld)\n", static_cast<long>(object.penPattern),
                 static_cast<long>(object.penColor), static_cast<long>(object.penWidth));
  return written ? 1 : -1;
}

int CspaMIFExporter::WriteLine(const char* name, const pipObjectInfoStruct& object,
                               const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count) {
  std::int64_t total = 0;
  if (!lumetra::PartsAccepted(object, PIP_OBJECT_LINE, points, part_counts, count, &total)) {
    return -1;
  }
  const std::int32_t* part_points = points;
  for (std::int32_t part = 0; part < count; ++part) {
    const long n = part_counts[part];
    if (!WriteMidRow(name, object) || !mif_.Print("PLINE   %ld\n", n) ||
        !WritePoints(part_points, n) || !WritePen(object)) {
      return -1;
    }
    part_points += 2 * n;
  }
  return 1;
}

int CspaMIFExporter::WriteRegion(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  std::int64_t total = 0;
  if (!lumetra::PartsAccepted(object, PIP_OBJECT_REGION, points, part_counts, count, &total)) {
    return -1;
  }
  if (!WriteMidRow(name, object) || !mif_.Print("REGION  %ld\n", static_cast<long>(count))) {
    return -1;
  }
  const std::int32_t* part_points = points;
  for (std::int32_t part = 0; part < count; ++part) {
    const long n = part_counts[part];
    if (!mif_.Print("%ld\n", n) || !WritePoints(part_points, n)) return -1;
    part_points += 2 * n;
  }
  const bool written =
      WritePen(object) &&
      mif_.Print("    Brush (%ld, %ld, %ld)\n", static_cast<long>(object.brushPattern),
                 static_cast<long>(object.brushForeground),
                 static_cast<long>(object.brushBackground)) &&
      mif_.Print("    Center ") &&
      mif_.Print("%11.6f  %11.6f\n\n", lumetra::ToOutputUnits(object.x),
                 lumetra::ToOutputUnits(object.y));
  return written ? 1 : -1;
}

int CspaMIFExporter::ApplyOptions(int flags) {
  (void)flags;
  // The classic header is taken back; BeginTable writes the new one.
  if (!mif_.Rewind()) {
    ReportSystemError(errno, mif_.path());
    return -1;
  }
  return 1;
}

int CspaMIFExporter::BeginTable(const AttributeSearch* attributes, bool geographic) {
  columns_ = lumetra::ExportColumns::Plan(attributes, "Name", "Name2");
  if (!WriteColumnsHeader(geographic && (options() & PIP_EXPORT_OPT_CRS) != 0)) {
    ReportSystemError(errno, mif_.path());
    return -1;
  }
  return 1;
}

bool CspaMIFExporter::WriteColumnsHeader(bool geographic) {
  if (!mif_.Print("Version %ld\n", version_) ||
      !mif_.Print("Delimiter \"%s\"\n", delimiter_.c_str())) {
    return false;
  }
  if (geographic && !mif_.Print("CoordSys Earth Projection 1, 104\n")) return false;
  if (!mif_.Print("Columns %zu\n", columns_.columns().size())) return false;
  for (const lumetra::ExportColumn& column : columns_.columns()) {
    bool ok = false;
    if (column.type != 'N') {
      ok = mif_.Print("  %s Char(%d)\n", column.label.c_str(), column.width);
    } else if (column.decimals == 0) {
      ok = mif_.Print("  %s Integer\n", column.label.c_str());
    } else {
      ok = mif_.Print("  %s Decimal(%d,%d)\n", column.label.c_str(), column.width, column.decimals);
    }
    if (!ok) return false;
  }
  return mif_.Print("Data\n\n");
}
