// TAB tables through the table library: the input is the .tab header, then
// (after member separators) the .map, .id and .dat members; missing members
// are missing files.  The table's counts, column definitions and every row
// (capped) are read; a failure leaves a code and a text; and each row read a
// second time reads the same text and object.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tab/tab_library.h"

namespace {

constexpr std::int32_t kMaxRows = 300;

void AddSections(const TXSection* sections, std::int32_t count, std::vector<double>* v) {
  FUZZ_CHECK(count >= 0 && (count == 0 || sections != nullptr));
  for (std::int32_t s = 0; s < count; ++s) {
    FUZZ_CHECK(sections[s].num_points >= 0);
    v->push_back(sections[s].num_points);
    v->insert(v->end(), sections[s].points, sections[s].points + 2 * sections[s].num_points);
  }
}

std::vector<double> ObjectValues(const TXObject& o) {
  std::vector<double> v = {static_cast<double>(o.type)};
  switch (o.type) {
    case kTXPoint:
    case kTXFontPoint:
    case kTXCustomPoint:
      v.insert(v.end(), {o.u.point.x, o.u.point.y});
      break;
    case kTXLine:
      v.insert(v.end(), {o.u.line.x1, o.u.line.y1, o.u.line.x2, o.u.line.y2});
      break;
    case kTXPolyline: {
      const TXSection one{o.u.polyline.num_points, 0, o.u.polyline.points};
      AddSections(&one, 1, &v);
      break;
    }
    case kTXMultiPolyline:
      AddSections(o.u.multi.sections, o.u.multi.num_sections, &v);
      break;
    case kTXRegion:
      AddSections(o.u.region.rings, o.u.region.num_rings, &v);
      break;
    default:
      break;
  }
  return v;
}

// Every row of the table (capped), as its text and object values.
void ReadRows(int table, std::int32_t rows) {
  std::string text, again;
  TXObject object;
  for (std::int32_t row = 1; row <= rows && row <= kMaxRows; ++row) {
    if (!TXFetchRow(table, row, &text, &object)) {
      FUZZ_CHECK(TXGetLastError() != kTXErrNone && *TXGetLastErrorText() != '\0');
      continue;
    }
    const std::vector<double> values = ObjectValues(object);
    FUZZ_CHECK(TXFetchRow(table, row, &again, &object));
    FUZZ_CHECK(again == text && lumetra_fuzz::SameBits(ObjectValues(object), values));
  }
  FUZZ_CHECK(!TXFetchRow(table, rows + 1, &text, &object));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool initialized = TXInitialize(kTXInterfaceVersion);
  FUZZ_CHECK(initialized);
  static const char* const kNames[] = {"fuzz.tab", "fuzz.map", "fuzz.id", "fuzz.dat"};
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 4);
  for (std::size_t i = 0; i < 4; ++i) {
    if (i < members.size()) {
      lumetra_fuzz::WriteFile(kNames[i], members[i]);
    } else {
      lumetra_fuzz::RemoveFile(kNames[i]);
    }
  }
  const std::string path = lumetra_fuzz::ScratchDir() + "/fuzz.tab";
  const int table = TXOpenTable(path.c_str(), kTXOpenRead);
  if (table == 0) {
    FUZZ_CHECK(TXGetLastError() != kTXErrNone);
    return 0;
  }
  std::int32_t rows = -1, fields = -1, points, lines, regions, others;
  FUZZ_CHECK(TXGetRowCount(table, &rows) && rows >= 0);
  FUZZ_CHECK(TXGetFieldCount(table, &fields) && fields >= 0);
  FUZZ_CHECK(TXGetObjectCounts(table, &points, &lines, &regions, &others));
  std::vector<TXFieldDef> defs(static_cast<std::size_t>(fields) + 1);
  FUZZ_CHECK(TXGetFieldDefs(table, defs.data()));
  for (std::int32_t i = 0; i < fields; ++i) {
    FUZZ_CHECK(lumetra_fuzz::Terminated(defs[i].name, sizeof defs[i].name));
  }
  ReadRows(table, rows);
  FUZZ_CHECK(TXCloseTable(table));
  return 0;
}
