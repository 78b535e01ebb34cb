#include "tab/tab_table_reader.h"

#include <sys/stat.h>

#include "frame/byte_order.h"
#include "tab/tab_error.h"

namespace lumetra::tab {
namespace {

// A .tab header is a page of text; anything far larger is not one.
constexpr std::uint64_t kMaxDefinitionSize = 1 << 20;

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string ReadDefinition(const std::string& path) {
  TabFile file;
  file.Open(path, TabFile::Mode::kRead);
  if (file.size() > kMaxDefinitionSize) {
    ThrowTabError(kTXErrFormat, "%s: %llu bytes is too large for a table header", path.c_str(),
                  static_cast<unsigned long long>(file.size()));
  }
  std::string text(static_cast<std::size_t>(file.size()), '\0');
  file.ReadAt(0, text.data(), text.size(), "table header");
  return text;
}

}  // namespace

TabTableReader::TabTableReader(const std::string& path) : path_(path) {
  fields_ = ParseTabDefinition(ReadDefinition(path), path);
  dat_.Open(MemberPath(path, ".dat"), fields_);
  const std::string map = MemberPath(path, ".map");
  const std::string id = MemberPath(path, ".id");
  const bool has_map = Exists(map);
  if (has_map != Exists(id)) {
    ThrowTabError(kTXErrOpen, "%s: %s is missing (objects need both .map and .id files)",
                  path.c_str(), has_map ? id.c_str() : map.c_str());
  }
  if (!has_map) return;
  map_.Open(map);
  id_.Open(id, TabFile::Mode::kRead);
  const std::uint64_t entries = id_.size() / 4;
  if (entries < static_cast<std::uint64_t>(dat_.rows())) {
    ThrowTabError(kTXErrFormat, "%s: holds %llu object positions for %d rows", id.c_str(),
                  static_cast<unsigned long long>(entries), dat_.rows());
  }
  has_map_ = true;
}

void TabTableReader::ObjectCounts(std::int32_t* points, std::int32_t* lines, std::int32_t* regions,
                                  std::int32_t* others) const {
  const MapHeader empty;
  const MapHeader& h = has_map_ ? map_.header() : empty;
  *points = has_map_ ? h.num_points : 0;
  *lines = has_map_ ? h.num_lines : 0;
  *regions = has_map_ ? h.num_regions : 0;
  *others = has_map_ ? h.num_texts : 0;
}

void TabTableReader::Fetch(std::int32_t row, std::string* text, TXObject* object) {
  *object = TXObject();
  current_.Clear();
  if (row < 1 || row > dat_.rows()) {
    ThrowTabError(kTXErrRow, "%s: row %d is outside rows 1 to %d", path_.c_str(), row, dat_.rows());
  }
  if (!dat_.RowText(row, text) || !has_map_) return;
  std::uint8_t entry[4];
  id_.ReadAt(static_cast<std::uint64_t>(row - 1) * 4, entry, sizeof entry, "object position");
  map_.ReadObject(GetU32(entry), row, &current_);
  FillObject(object);
}

void TabTableReader::CheckRow(std::int32_t row) const {
  if (row < 1 || row > dat_.rows()) {
    ThrowTabError(kTXErrRow, "%s: row %d is outside rows 1 to %d", path_.c_str(), row, dat_.rows());
  }
}

bool TabTableReader::Values(std::int32_t row, std::vector<std::string>* values) {
  CheckRow(row);
  std::vector<bool> quoted;
  return dat_.RowValues(row, values, &quoted);
}

void TabTableReader::FillObject(TXObject* object) {
  object->type = current_.type;
  const std::vector<double>& xy = current_.xy;
  switch (current_.type) {
    case kTXPoint:
    case kTXFontPoint:
    case kTXCustomPoint:
      object->u.point = {xy[0], xy[1]};
      return;
    case kTXLine:
      object->u.line = {xy[0], xy[1], xy[2], xy[3]};
      return;
    case kTXPolyline:
      object->u.polyline.num_points = current_.counts[0];
      object->u.polyline.points = xy.data();
      return;
    case kTXMultiPolyline:
    case kTXRegion: {
      sections_.clear();
      std::size_t at = 0;
      for (std::int32_t n : current_.counts) {
        sections_.push_back({n, 0, xy.data() + at});
        at += 2 * static_cast<std::size_t>(n);
      }
      const auto count = static_cast<std::int32_t>(sections_.size());
      if (current_.type == kTXRegion) {
        object->u.region.num_rings = count;
        object->u.region.rings = sections_.data();
      } else {
        object->u.multi.num_sections = count;
        object->u.multi.sections = sections_.data();
      }
      return;
    }
    default:
      return;
  }
}

}  // namespace lumetra::tab
