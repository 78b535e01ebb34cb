#include "tab/tab_table_writer.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "frame/byte_order.h"
#include "tab/tab_error.h"

namespace lumetra::tab {
namespace {

// Most points or sections one inserted object may carry.
constexpr std::int64_t kMaxObjectPoints = 100000000;

TabField FieldFrom(const TXFieldDef& def, const std::string& path) {
  TabField f;
  f.name.assign(def.name, strnlen(def.name, sizeof def.name));
  f.type = def.type;
  const int fixed = FixedWidth(def.type);
  f.width = fixed != 0 ? fixed : def.width;
  f.decimals = def.type == kTXDecimal ? def.decimals : 0;
  const bool sized = def.type == kTXChar || def.type == kTXDecimal;
  bool name_ok = !f.name.empty() && f.name.size() <= 31;
  for (char c : f.name)
    name_ok = name_ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (!name_ok || (fixed == 0 && !sized) || f.width < 1 || f.width > kMaxCharWidth ||
      (def.type == kTXDecimal && f.decimals >= f.width) || def.type == kTXTime ||
      def.type == kTXDateTime) {
    ThrowTabError(kTXErrArgument, "%s: column \"%s\" (type %d, width %d) cannot be created",
                  path.c_str(), f.name.c_str(), def.type, def.width);
  }
  return f;
}

}  // namespace

TabTableWriter::TabTableWriter(const std::string& path, const TXFieldDef* defs, int num_fields,
                               const TXTableInfo& info)
    : path_(path) {
  try {
    Create(defs, num_fields, info);
  } catch (...) {
    dat_.Abandon();
    map_.Abandon();
    RemoveFiles();
    finished_ = true;
    throw;
  }
}

void TabTableWriter::Create(const TXFieldDef* defs, int num_fields, const TXTableInfo& info) {
  if (num_fields < 1 || num_fields > kMaxFields) {
    ThrowTabError(kTXErrArgument, "%s: %d columns (1 to %d allowed)", path_.c_str(), num_fields,
                  kMaxFields);
  }
  for (int i = 0; i < num_fields; ++i) fields_.push_back(FieldFrom(defs[i], path_));
  TabFile tab;
  tab.Open(path_, TabFile::Mode::kCreate);
  const std::string text = FormatTabDefinition(fields_);
  tab.Append(text.data(), text.size());
  tab.Close();
  dat_.Create(MemberPath(path_, ".dat"), fields_);
  has_map_ = info.has_map != 0;
  if (has_map_) {
    map_.Create(MemberPath(path_, ".map"), info);
    id_.Open(MemberPath(path_, ".id"), TabFile::Mode::kCreate);
  }
}

TabTableWriter::~TabTableWriter() {
  if (!finished_) {
    dat_.Abandon();
    map_.Abandon();
  }
}

void TabTableWriter::RemoveFiles() const {
  for (const char* ext : {".dat", ".map", ".id"}) std::remove(MemberPath(path_, ext).c_str());
  std::remove(path_.c_str());
}

std::vector<std::string> TabTableWriter::SplitValues(const char* text) const {
  std::vector<std::string> values;
  if (text == nullptr || text[0] == '\0') return values;
  const char* start = text;
  for (const char* p = text;; ++p) {
    if (*p == '\t' || *p == '\0') {
      values.emplace_back(start, p);
      if (*p == '\0') break;
      start = p + 1;
    }
  }
  if (values.size() > fields_.size()) {
    ThrowTabError(kTXErrArgument, "%s: row %u has %zu values for %zu columns", path_.c_str(),
                  dat_.rows() + 1, values.size(), fields_.size());
  }
  return values;
}

bool TabTableWriter::ToMapObject(const TXObject* object, MapObject* out) const {
  out->Clear();
  if (object == nullptr || object->type == kTXNoObject) return false;
  out->type = object->type;
  const auto add_section = [&](std::int32_t n, const double* points) {
    if (n < 0 || n > kMaxObjectPoints || (n > 0 && points == nullptr) ||
        static_cast<std::int64_t>(out->xy.size() / 2) + n > kMaxObjectPoints) {
      ThrowTabError(kTXErrObject, "%s: row %u: section of %d points without usable points",
                    path_.c_str(), dat_.rows() + 1, n);
    }
    out->xy.insert(out->xy.end(), points, points + 2 * static_cast<std::size_t>(n));
    out->counts.push_back(n);
  };
  const auto add_sections = [&](std::int32_t n, const TXSection* list) {
    if (n < 0 || n > kMaxObjectPoints || (n > 0 && list == nullptr)) {
      ThrowTabError(kTXErrObject, "%s: row %u: %d sections without a section list", path_.c_str(),
                    dat_.rows() + 1, n);
    }
    for (std::int32_t i = 0; i < n; ++i) add_section(list[i].num_points, list[i].points);
  };
  switch (object->type) {
    case kTXPoint:
      out->xy = {object->u.point.x, object->u.point.y};
      out->counts = {1};
      return true;
    case kTXLine: {
      const TXObject::Line& l = object->u.line;
      out->xy = {l.x1, l.y1, l.x2, l.y2};
      out->counts = {2};
      return true;
    }
    case kTXPolyline:
      add_section(object->u.polyline.num_points, object->u.polyline.points);
      return true;
    case kTXMultiPolyline:
      add_sections(object->u.multi.num_sections, object->u.multi.sections);
      return true;
    case kTXRegion:
      add_sections(object->u.region.num_rings, object->u.region.rings);
      return true;
    default:
      ThrowTabError(kTXErrObject, "%s: row %u: objects of type %d cannot be written", path_.c_str(),
                    dat_.rows() + 1, object->type);
  }
}

std::uint32_t TabTableWriter::Insert(const char* text, const TXObject* object) {
  if (finished_) ThrowTabError(kTXErrNotWritable, "%s: the table is finished", path_.c_str());
  const std::vector<std::uint8_t> record = dat_.EncodeRow(SplitValues(text));
  const bool has_object = ToMapObject(object, &scratch_);
  if (has_object && !has_map_) {
    ThrowTabError(kTXErrObject, "%s: row %u has an object but the table has no .map file",
                  path_.c_str(), dat_.rows() + 1);
  }
  const std::int32_t row = static_cast<std::int32_t>(dat_.rows() + 1);
  std::uint8_t entry[4] = {0, 0, 0, 0};
  if (has_object) PutU32(entry, map_.Write(scratch_, row));
  if (has_map_) id_.Append(entry, sizeof entry);
  dat_.AppendRow(record);
  return dat_.rows();
}

void TabTableWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  dat_.Finish();
  if (has_map_) {
    map_.Finish();
    id_.Close();
  }
}

}  // namespace lumetra::tab
