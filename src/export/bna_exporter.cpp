#include "export/bna_exporter.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr char kHeaderWithName[] = "\"%s\",  \"%s\",  \"%s\", %ld\n";
constexpr char kHeaderWithoutName[] = "\"%s\",  \"%s\",  %ld\n";
constexpr char kPointX[] = "%11.6f, ";
constexpr char kPointY[] = "%11.6f \n";
constexpr char kClosingPoint[] = "%11.6f, %11.6f\n";

}  // namespace

CspaBNAExporter::CspaBNAExporter(pipLibraryContext& library) : CspaExporter(library) {}

CspaBNAExporter::~CspaBNAExporter() {
  // An output never closed through CloseFiles is unfinished.
  if (file_.is_open()) file_.Remove();
}

std::string CspaBNAExporter::OutputName(const std::string& base_name) {
  return lumetra::OutputFileName(base_name, ".bna", ".BNA", ".bna");
}

int CspaBNAExporter::CreateFilesEx(const char* base_name, long version, const char* delimiter) {
  (void)version;
  (void)delimiter;
  return CreateFiles(base_name);
}

int CspaBNAExporter::CreateFiles(const char* base_name) {
  if (base_name == nullptr) return -1;
  const std::string path = OutputName(base_name);
  if (path.size() + 1 > kFileNameSize) {
    ReportSystemError(ENAMETOOLONG, path);
    return -1;
  }
  if (!file_.Create(path)) {
    ReportSystemError(errno, path);
    return -1;
  }
  closed_ = false;
  return 1;
}

int CspaBNAExporter::CloseFiles() {
  if (closed_) return 1;
  closed_ = true;
  return file_.Close() ? 1 : -1;
}

int CspaBNAExporter::DeleteFiles() { return file_.Remove() ? 1 : -1; }

int CspaBNAExporter::WriteObject(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  return CspaExporter::WriteObject(name, object, points, part_counts, count);
}

bool CspaBNAExporter::WriteHeader(const char* name, const pipObjectInfoStruct& object, long count) {
  const std::string record_name = lumetra::CutText(object.name, sizeof object.name);
  const std::string second_name = lumetra::CutText(object.name2, sizeof object.name2);
  if (name != nullptr) {
    return file_.Print(kHeaderWithName, record_name.c_str(), second_name.c_str(), name, count);
  }
  return file_.Print(kHeaderWithoutName, record_name.c_str(), second_name.c_str(), count);
}

bool CspaBNAExporter::WritePointLine(const std::int32_t* point) {
  return file_.Print(kPointX, lumetra::ToOutputUnits(point[0])) &&
         file_.Print(kPointY, lumetra::ToOutputUnits(point[1]));
}

int CspaBNAExporter::WritePoint(const char* name, const pipObjectInfoStruct& object,
                                const std::int32_t* points, const std::int32_t* part_counts,
                                std::int32_t count) {
  (void)part_counts;
  if (object.type != PIP_OBJECT_POINT || points == nullptr || count < 1) return -1;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!WriteHeader(name, object, 1) || !WritePointLine(points + 2 * i)) return -1;
  }
  return 1;
}

int CspaBNAExporter::WriteLine(const char* name, const pipObjectInfoStruct& object,
                               const std::int32_t* points, const std::int32_t* part_counts,
                               std::int32_t count) {
  std::int64_t total = 0;
  if (!lumetra::PartsAccepted(object, PIP_OBJECT_LINE, points, part_counts, count, &total)) {
    return -1;
  }
  const std::int32_t* point = points;
  for (std::int32_t part = 0; part < count; ++part) {
    if (!WriteHeader(name, object, -static_cast<long>(part_counts[part]))) return -1;
    for (std::int32_t k = 0; k < part_counts[part]; ++k, point += 2) {
      if (!WritePointLine(point)) return -1;
    }
  }
  return 1;
}

long CspaBNAExporter::RegionStartPoint(const std::int32_t* points, const std::int32_t* part_counts,
                                       std::int32_t count) {
  // Every ring's first point with its index, sorted for lookups.
  std::vector<std::pair<std::pair<std::int32_t, std::int32_t>, long>> firsts;
  long total = 0;
  for (std::int32_t part = 0; part < count; ++part) {
    firsts.push_back({{points[2 * total], points[2 * total + 1]}, total});
    total += part_counts[part];
  }
  std::sort(firsts.begin(), firsts.end());
  for (long k = 0; k < total; ++k) {
    const std::pair<std::int32_t, std::int32_t> p{points[2 * k], points[2 * k + 1]};
    auto range = std::equal_range(firsts.begin(), firsts.end(), std::make_pair(p, 0L),
                                  [](const auto& a, const auto& b) { return a.first < b.first; });
    const bool taken = std::any_of(range.first, range.second,
                                   [k](const auto& entry) { return entry.second != k; });
    if (!taken) return k;
  }
  return -1;
}

long CspaBNAExporter::ReadableStart(const std::int32_t* ring, long n, long preferred,
                                    const std::int32_t* avoid1, const std::int32_t* avoid2) {
  using Point = std::pair<std::int32_t, std::int32_t>;
  std::vector<Point> sorted(static_cast<std::size_t>(n));
  for (long k = 0; k < n; ++k) sorted[k] = {ring[2 * k], ring[2 * k + 1]};
  std::sort(sorted.begin(), sorted.end());
  const auto equals = [](const Point& p, const std::int32_t* q) {
    return q != nullptr && p.first == q[0] && p.second == q[1];
  };
  for (long step = 0; step < n; ++step) {
    const long k = (preferred + step) % n;
    const Point p{ring[2 * k], ring[2 * k + 1]};
    if (equals(p, avoid1) || equals(p, avoid2)) continue;
    const auto range = std::equal_range(sorted.begin(), sorted.end(), p);
    if (range.second - range.first == 1) return k;
  }
  return -1;
}

int CspaBNAExporter::WriteRegion(const char* name, const pipObjectInfoStruct& object,
                                 const std::int32_t* points, const std::int32_t* part_counts,
                                 std::int32_t count) {
  std::int64_t total = 0;
  if (!lumetra::PartsAccepted(object, PIP_OBJECT_REGION, points, part_counts, count, &total)) {
    return -1;
  }
  const long start = RegionStartPoint(points, part_counts, count);
  if (start < 0) return -1;
  // Ring offsets, and the ring holding the start point.
  std::vector<long> offsets(static_cast<std::size_t>(count));
  std::int32_t start_part = 0;
  long at = 0;
  for (std::int32_t part = 0; part < count; ++part) {
    offsets[part] = at;
    if (start >= at && start < at + part_counts[part]) start_part = part;
    at += part_counts[part];
  }
  // Each ring's start, in writing order, kept readable (see the header).
  std::vector<long> rotation(static_cast<std::size_t>(count));
  const std::int32_t* first = nullptr;
  const std::int32_t* previous = nullptr;
  for (std::int32_t step = 0; step < count; ++step) {
    const std::int32_t part = (start_part + step) % count;
    const std::int32_t* ring = points + 2 * offsets[part];
    const long preferred = part == start_part ? start - offsets[part] : 0;
    rotation[part] = ReadableStart(ring, part_counts[part], preferred, first, previous);
    if (rotation[part] < 0) return -1;
    previous = ring + 2 * rotation[part];
    if (step == 0) first = previous;
  }
  if (!WriteHeader(name, object, static_cast<long>(total + count))) return -1;
  for (std::int32_t step = 0; step < count; ++step) {
    const std::int32_t part = (start_part + step) % count;
    const long n = part_counts[part];
    for (long k = 0; k < n; ++k) {
      if (!WritePointLine(points + 2 * (offsets[part] + (rotation[part] + k) % n))) return -1;
    }
    const std::int32_t* ring_start = points + 2 * (offsets[part] + rotation[part]);
    if (!file_.Print(kClosingPoint, lumetra::ToOutputUnits(ring_start[0]),
                     lumetra::ToOutputUnits(ring_start[1]))) {
      return -1;
    }
  }
  return 1;
}
