// The TAB table library: seeded random tables written and read back; the
// same tables as GDAL's ogrinfo reads them; files GDAL writes read as GDAL
// reads them; damaged tables refused with a message naming the file.
#include "tab/tab_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/io_tools.h"
#include "support/test_files.h"

namespace {

using lumetra_test::Bytes;

// One row as the test knows it: the row text TXFetchRow must give and the
// object's type and sections (closed rings for regions).
struct ModelRow {
  std::string insert_text;
  std::string fetch_text;
  std::int16_t type = kTXNoObject;
  std::vector<std::vector<double>> sections;
};

TXFieldDef Field(const char* name, std::uint8_t type, int width = 0, int decimals = 0) {
  TXFieldDef f;
  std::memset(&f, 0, sizeof f);
  std::snprintf(f.name, sizeof f.name, "%s", name);
  f.type = type;
  f.width = static_cast<std::uint8_t>(width);
  f.decimals = static_cast<std::uint8_t>(decimals);
  return f;
}

const std::vector<TXFieldDef> kFields = {Field("NAME", kTXChar, 20), Field("N", kTXInteger),
                                         Field("F", kTXFloat),       Field("D", kTXDecimal, 10, 2),
                                         Field("DT", kTXDate),       Field("L", kTXLogical)};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  ModelRow Row(int index) {
    ModelRow row;
    const std::string name = "r" + std::to_string(index) + (Int(0, 1) ? " x" : "");
    const int n = Int(-100000, 100000);
    const double f = Int(-1000000, 1000000) / 64.0;
    const int cents = Int(-99999, 99999);
    char d[32], date[16];
    std::snprintf(d, sizeof d, "%.2f", cents / 100.0);
    std::snprintf(date, sizeof date, "%04d%02d%02d", Int(1900, 2100), Int(1, 12), Int(1, 28));
    const char* logical = Int(0, 1) ? "T" : "F";
    char fs[64];
    std::snprintf(fs, sizeof fs, "%.15g", f);
    row.insert_text =
        name + "\t" + std::to_string(n) + "\t" + fs + "\t" + d + "\t" + date + "\t" + logical;
    row.fetch_text = "\"" + name + "\"\t" + std::to_string(n) + "\t" + fs + "\t" + d + "\t\"" +
                     date + "\"\t\"" + logical + "\"";
    MakeObject(&row);
    return row;
  }

 private:
  int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
  // Degrees in thousandths, so the table's millionth grid holds them exactly.
  int Milli(int limit) { return Int(-limit * 1000, limit * 1000); }
  static double Deg(int milli) { return milli / 1000.0; }
  static std::vector<double> Square(int x, int y, int size, bool close) {
    std::vector<double> r = {Deg(x),        Deg(y),        Deg(x + size), Deg(y),
                             Deg(x + size), Deg(y + size), Deg(x),        Deg(y + size)};
    if (close) r.insert(r.end(), {Deg(x), Deg(y)});
    return r;
  }
  void MakeObject(ModelRow* row) {
    const int kind = Int(0, 5);
    const int x = Milli(170), y = Milli(80);
    if (kind == 1) row->type = kTXPoint, row->sections = {{Deg(x), Deg(y)}};
    if (kind == 2)
      row->type = kTXLine, row->sections = {{Deg(x), Deg(y), Deg(Milli(170)), Deg(Milli(80))}};
    for (int s = 0, n = kind == 3 ? 1 : kind == 4 ? Int(2, 4) : 0; s < n; ++s) {
      std::vector<double> line;
      for (int k = Int(2, 40); k > 0; --k)
        line.insert(line.end(), {Deg(Milli(170)), Deg(Milli(80))});
      row->type = n == 1 ? kTXPolyline : kTXMultiPolyline;
      row->sections.push_back(line);
    }
    if (kind == 5) {  // an outer square, maybe a hole in it, maybe a separate island
      row->type = kTXRegion;
      row->sections.push_back(Square(x, y, 4000, Int(0, 1)));
      if (Int(0, 1)) row->sections.push_back(Square(x + 1000, y + 1000, 1000, Int(0, 1)));
      if (Int(0, 1)) row->sections.push_back(Square(x + 5000, y, 500, Int(0, 1)));
    }
  }

  std::mt19937 rng_;
};

std::vector<double> Closed(std::vector<double> ring) {
  if (ring[0] != ring[ring.size() - 2] || ring[1] != ring.back()) {
    ring.insert(ring.end(), {ring[0], ring[1]});
  }
  return ring;
}

// The object in the form the table stores it: rings closed, sorted.
std::vector<std::vector<double>> Stored(std::int16_t type,
                                        std::vector<std::vector<double>> sections) {
  if (type != kTXRegion) return sections;
  for (auto& s : sections) s = Closed(s);
  std::sort(sections.begin(), sections.end());
  return sections;
}

std::vector<std::vector<double>> Sections(const TXObject& o) {
  switch (o.type) {
    case kTXPoint:
      return {{o.u.point.x, o.u.point.y}};
    case kTXLine:
      return {{o.u.line.x1, o.u.line.y1, o.u.line.x2, o.u.line.y2}};
    case kTXPolyline:
      return {std::vector<double>(o.u.polyline.points,
                                  o.u.polyline.points + 2 * o.u.polyline.num_points)};
    case kTXMultiPolyline:
    case kTXRegion: {
      const bool region = o.type == kTXRegion;
      const TXSection* s = region ? o.u.region.rings : o.u.multi.sections;
      std::vector<std::vector<double>> out;
      for (int i = 0; i < (region ? o.u.region.num_rings : o.u.multi.num_sections); ++i) {
        out.emplace_back(s[i].points, s[i].points + 2 * s[i].num_points);
      }
      return out;
    }
    default:
      return {};
  }
}

void WriteTable(const std::string& path, const std::vector<ModelRow>& rows) {
  TXTableInfo info;
  std::memset(&info, 0, sizeof info);
  info.has_map = 1;
  ASSERT_TRUE(TXSetCoordSys(0, &info.coordsys));
  info.min_x = info.min_y = -1000;
  info.max_x = info.max_y = 1000;
  const int table = TXCreateTable(path.c_str(), kFields.data(), static_cast<int>(kFields.size()),
                                  &info, kTXCreateReplace);
  ASSERT_GT(table, 0) << TXGetLastErrorText();
  for (const ModelRow& row : rows) {
    TXObject o;
    std::vector<TXSection> list;
    o.type = row.type;
    if (row.type == kTXPoint) o.u.point = {row.sections[0][0], row.sections[0][1]};
    if (row.type == kTXLine) {
      const auto& p = row.sections[0];
      o.u.line = {p[0], p[1], p[2], p[3]};
    }
    for (const auto& s : row.sections) {
      list.push_back({static_cast<std::int32_t>(s.size() / 2), 0, s.data()});
    }
    const auto n = static_cast<std::int32_t>(list.size());
    if (row.type == kTXPolyline) o.u.polyline = {list[0].num_points, {}, list[0].points};
    if (row.type == kTXMultiPolyline) o.u.multi = {n, {}, list.data()};
    if (row.type == kTXRegion) o.u.region = {n, {}, list.data()};
    std::uint32_t number = 0;
    ASSERT_TRUE(TXInsertRow(table, row.insert_text.c_str(), &o, &number)) << TXGetLastErrorText();
  }
  ASSERT_TRUE(TXCloseTable(table)) << TXGetLastErrorText();
}

// Opens and fetches every row; false (with the library's text in *why) at
// the first failure.
bool ReadAll(const std::string& path, std::string* why) {
  const int table = TXOpenTable(path.c_str(), kTXOpenRead);
  std::int32_t rows = 0;
  bool ok = table > 0 && TXGetRowCount(table, &rows);
  std::string text;
  TXObject o;
  for (std::int32_t r = 1; ok && r <= rows; ++r) ok = TXFetchRow(table, r, &text, &o);
  if (!ok) *why = TXGetLastErrorText();
  if (table > 0) TXCloseTable(table);
  return ok;
}

TEST(TabLibrary, RandomTablesReadBackAsWritten) {
  const unsigned seed = 20240611;
  SCOPED_TRACE("seed " + std::to_string(seed));
  Generator gen(seed);
  std::vector<ModelRow> rows;
  for (int i = 1; i <= 400; ++i) rows.push_back(gen.Row(i));
  lumetra_test::ScopedTempDir dir;
  const std::string path = dir.File("random.tab");
  ASSERT_TRUE(TXInitialize(kTXInterfaceVersion));
  WriteTable(path, rows);
  // Our writer refuses year 0; other writers store it, and a read must keep it.
  Bytes dat = lumetra_test::ReadBytes(dir.File("random.dat"));
  std::size_t at = (dat[8] | dat[9] << 8) + 1u;  // row 1, past its flag byte
  for (std::size_t f = 32; dat[f] != 0x0D && std::memcmp(&dat[f], "DT", 3) != 0; f += 32) {
    at += dat[f + 16];
  }
  dat[at] = dat[at + 1] = 0;
  lumetra_test::WriteBytes(dir.File("random.dat"), dat);
  std::string& text0 = rows[0].fetch_text;
  std::size_t date = 0;
  for (int tab = 0; tab < 4; ++tab) date = text0.find('\t', date) + 1;
  text0.replace(date + 1, 4, "0000");  // past the opening quote

  const int table = TXOpenTable(path.c_str(), kTXOpenRead);
  ASSERT_GT(table, 0) << TXGetLastErrorText();
  std::int32_t count = 0, fields = 0;
  ASSERT_TRUE(TXGetRowCount(table, &count) && TXGetFieldCount(table, &fields));
  EXPECT_EQ(count, 400);
  std::vector<TXFieldDef> defs(static_cast<std::size_t>(fields));
  ASSERT_TRUE(TXGetFieldDefs(table, defs.data()));
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    EXPECT_STREQ(defs[i].name, kFields[i].name);
    EXPECT_EQ(defs[i].type, kFields[i].type);
  }
  std::string text;
  TXObject o;
  for (std::int32_t r = 1; r <= count; ++r) {
    ASSERT_TRUE(TXFetchRow(table, r, &text, &o)) << TXGetLastErrorText();
    const ModelRow& want = rows[static_cast<std::size_t>(r - 1)];
    EXPECT_EQ(text, want.fetch_text) << "row " << r;
    EXPECT_EQ(o.type, want.type) << "row " << r;
    EXPECT_EQ(Stored(o.type, Sections(o)), Stored(want.type, want.sections)) << "row " << r;
  }
  EXPECT_FALSE(TXFetchRow(table, count + 1, &text, &o));
  EXPECT_EQ(TXGetLastError(), kTXErrRow);
  EXPECT_TRUE(TXCloseTable(table));
  EXPECT_FALSE(TXCloseTable(table));
  EXPECT_EQ(TXGetLastError(), kTXErrBadHandle);

  // GDAL reads the same rows, names and points (rings in any order).
  if (!lumetra_test::HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) not installed";
  const auto features =
      lumetra_test::ParseOgrinfo(lumetra_test::RunTool("ogrinfo -ro -al -q '" + path + "'"));
  ASSERT_EQ(features.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(features[i].fields.at("NAME"),
              rows[i].insert_text.substr(0, rows[i].insert_text.find('\t')));
    std::vector<double> want;
    for (const auto& s : Stored(rows[i].type, rows[i].sections))
      want.insert(want.end(), s.begin(), s.end());
    std::vector<double> got = features[i].numbers;
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), want.size()) << "row " << i + 1 << " " << features[i].geometry;
    for (std::size_t k = 0; k < got.size(); ++k)
      EXPECT_NEAR(got[k], want[k], 1e-9) << "row " << i + 1;
  }
  EXPECT_EQ(TXTerminate(), 0);
}

TEST(TabLibrary, HolesFollowTheirOuterRingForGdal) {
  lumetra_test::ScopedTempDir dir;
  const std::string path = dir.File("holes.tab");
  ModelRow row;
  row.insert_text = "holes";
  row.type = kTXRegion;
  // Stored hole first, then its outer ring, then an island inside the hole.
  row.sections = {{2, 2, 8, 2, 8, 8, 2, 8}, {0, 0, 10, 0, 10, 10, 0, 10}, {4, 4, 6, 4, 6, 6}};
  WriteTable(path, {row});
  if (!lumetra_test::HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) not installed";
  const auto features =
      lumetra_test::ParseOgrinfo(lumetra_test::RunTool("ogrinfo -ro -al -q '" + path + "'"));
  ASSERT_EQ(features.size(), 1u);
  EXPECT_EQ(features[0].geometry, "MULTIPOLYGON");
  const std::vector<double> want = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0, 2, 2, 8, 2,
                                    8, 8, 2,  8, 2,  2,  4, 4,  6, 4, 6, 6, 4, 4};
  EXPECT_EQ(features[0].numbers, want);
}

// Every truncation and many byte changes of each member: the table opens
// and reads, or the failure names a member file -- never a crash.
TEST(TabLibrary, DamagedTablesFailWithTheFileNamed) {
  lumetra_test::ScopedTempDir dir;
  const std::string path = dir.File("d.tab");
  Generator gen(7);
  std::vector<ModelRow> rows;
  for (int i = 1; i <= 6; ++i) rows.push_back(gen.Row(i));
  WriteTable(path, rows);
  std::string why;
  ASSERT_TRUE(ReadAll(path, &why)) << why;
  int failures = 0;
  for (const char* ext : {".tab", ".dat", ".map", ".id"}) {
    const std::string member = path.substr(0, path.size() - 4) + ext;
    const Bytes original = lumetra_test::ReadBytes(member);
    const auto check = [&](const Bytes& bytes, std::size_t at) {
      lumetra_test::WriteBytes(member, bytes);
      std::string reason;
      if (ReadAll(path, &reason)) return;
      ++failures;
      EXPECT_NE(reason.find(dir.path()), std::string::npos)
          << ext << " at " << at << ": " << reason;
    };
    const std::size_t stride = std::max<std::size_t>(1, original.size() / 60);
    for (std::size_t n = 0; n < original.size(); n += stride) {
      check(Bytes(original.begin(), original.begin() + static_cast<long>(n)), n);
    }
    lumetra_test::ForEachByteChange(original, {0x00, 0xFF, 0x80}, 3 * stride + 2, check);
    lumetra_test::WriteBytes(member, original);
    std::remove(member.c_str());
    EXPECT_FALSE(ReadAll(path, &why)) << ext << " missing";
    EXPECT_NE(why.find(ext == std::string(".tab") ? path : member), std::string::npos) << why;
    lumetra_test::WriteBytes(member, original);
  }
  EXPECT_GT(failures, 100);
}

}  // namespace
