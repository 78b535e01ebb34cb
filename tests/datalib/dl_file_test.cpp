// The reader side of data library files: pinned layouts, key order,
// record locators, the field calls' messages and formats, file names, and
// corrupt files.
#include "datalib/dl_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "datalib/dl_file_builder.h"
#include "datalib/dl_format.h"
#include "datalib/dllist.h"
#include "datalib/fieldid.h"
#include "frame/error.h"
#include "objfile/column_codec.h"
#include "support/attribute_files.h"
#include "support/core_bytes.h"
#include "support/test_files.h"

namespace {

std::uint16_t GetU16(const std::uint8_t* p) { return lumetra_test::Get16(p); }
std::uint32_t GetU32(const std::uint8_t* p) { return lumetra_test::Get32(p); }
std::uint64_t GetU64(const std::uint8_t* p) { return lumetra_test::Get64(p); }
using attribute_test::Field;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;
namespace fmt = lumetra::dlformat;

using Row = std::vector<std::string>;

constexpr std::uint32_t kSmallPage = 1024;

std::string Str(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(bytes.data()) + at, n);
  return s.substr(0, s.find('\0'));
}

// A temporary directory (also the working directory, for the tree
// builder's scratch files) with a context reading from it.
class DlFileTest : public lumetra_test::ScratchDirTest {
 protected:
  DlFileTest() : context_(dir_.path()) {}

  // Writes `name` with fields K (text key, width 6), N (numeric, 2
  // decimals) and T (text, width 8, with value descriptions), one record
  // per key "K000", "K001", ... with N = i and T = "t" + i % 3.
  void BuildSample(const std::string& name, int records, std::uint32_t page_size = kSmallPage) {
    DlBuilderOptions options;
    options.key_type = 'C';
    options.key_field = "K";
    options.stamp = "stamp text";
    options.page_size = page_size;
    DlFileBuilder builder(err_, options);
    ASSERT_TRUE(builder.Create(name.c_str()));
    ASSERT_TRUE(builder.AddField(Field("K", 'C', 6)));
    ASSERT_TRUE(builder.AddField(Field("N", 'N', 8, 2)));
    ASSERT_TRUE(builder.AddField(Field("T", 'C', 8)));
    ASSERT_TRUE(builder.AddValue("T", "t0", "zero", "the value zero"));
    ASSERT_TRUE(builder.AddValue("T", "T1", "one", "the value one"));
    ASSERT_TRUE(builder.AddValue("N", "0", "hundredths", "numbers in hundredths"));
    for (int i = 0; i < records; ++i) {
      char key[16];
      std::snprintf(key, sizeof key, "K%03d", i);
      const std::string n = std::to_string(i) + ".00";
      const std::string t = "t" + std::to_string(i % 3);
      const char* row[] = {key, n.c_str(), t.c_str()};
      ASSERT_TRUE(builder.AddRecord(row));
    }
    ASSERT_TRUE(builder.Finish()) << err_.detail();
  }

  DlDataFile* Open(const std::string& name) { return context_.Open(name.c_str()); }

  QError err_;
  DlContext context_;
};

// ---- Pinned layouts -------------------------------------------------------------------

TEST_F(DlFileTest, DataPageLayoutIsPinned) {
  DlBuilderOptions options;
  options.key_type = 'C';
  options.key_field = "K";
  options.page_size = kSmallPage;
  DlFileBuilder builder(err_, options);
  ASSERT_TRUE(builder.Create("pin.dld"));
  ASSERT_TRUE(builder.AddField(Field("K", 'C', 3)));
  ASSERT_TRUE(builder.AddField(Field("N", 'N', 4)));
  const char* rows[3][2] = {{"b", "2"}, {"c", "3"}, {"a", "1"}};
  for (auto& row : rows) ASSERT_TRUE(builder.AddRecord(row));
  ASSERT_TRUE(builder.Finish());
  const std::vector<std::uint8_t> file = ReadBytes("pin.dld");
  // Header page: kind, page count (definition page + 1 data page), sizes,
  // key and value lengths, tree root.
  EXPECT_EQ(Str(file, 0, 256), "Varnisk data library file\r\n\x1A");
  EXPECT_EQ(GetU32(&file[256]), 0x1100AAAAu);
  EXPECT_EQ(GetU32(&file[260]), 2u);
  EXPECT_EQ(GetU16(&file[264]), 512u);
  EXPECT_EQ(GetU16(&file[266]), kSmallPage);
  EXPECT_EQ(GetU32(&file[288]), 12u);
  EXPECT_EQ(GetU32(&file[292]), 8u);
  const std::uint64_t root = GetU64(&file[296]);
  EXPECT_EQ(root % fmt::kTreePageSize, 0u);
  // Definition page 0.
  const std::size_t def = 512;
  EXPECT_EQ(GetU32(&file[def + 8]), 1u);   // text fields
  EXPECT_EQ(GetU32(&file[def + 12]), 1u);  // numeric fields
  EXPECT_EQ(GetU32(&file[def + 16]), 0u);  // value records
  EXPECT_EQ(file[def + 20], 'C');
  EXPECT_EQ(Str(file, def + 40, 32), "K");
  const std::uint64_t area = GetU64(&file[def]);
  EXPECT_EQ(area, 512u + 2 * kSmallPage);  // right behind the data page
  EXPECT_EQ(Str(file, area, 12), "K");
  EXPECT_EQ(Str(file, area + 396, 12), "N");
  // Data page 1: head, offset table, heap "abc", column 1, 2, 3.
  const std::size_t p = 512 + kSmallPage;
  EXPECT_EQ(GetU32(&file[p]), kSmallPage - 2);
  EXPECT_EQ(GetU32(&file[p + 4]), 3u);
  EXPECT_EQ(GetU32(&file[p + 8]), 12u);        // text block behind the 3-entry table
  EXPECT_EQ(GetU32(&file[p + 12]), 12u + 11);  // numeric block behind 4 offsets + "abc"
  const std::uint32_t end = GetU32(&file[p + 16]);
  const std::vector<std::uint16_t> heap = {GetU16(&file[p + 20]), GetU16(&file[p + 22]),
                                           GetU16(&file[p + 24]), GetU16(&file[p + 26])};
  EXPECT_EQ(heap, (std::vector<std::uint16_t>{8, 9, 10, 11}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[p + 28]), 3), "abc");
  lumetra::ColumnReader column;
  ASSERT_TRUE(column.Open(&file[p + 8 + 23], end - 23, 3));
  for (std::int32_t i = 0; i < 3; ++i) {
    std::int32_t v = 0;
    ASSERT_TRUE(column.Get(static_cast<std::uint32_t>(i), &v));
    EXPECT_EQ(v, i + 1);
  }
  // Records from the page end down: slot s holds key s and locator 1 << 18 | s.
  for (std::uint32_t s = 0; s < 3; ++s) {
    const std::size_t r = p + kSmallPage - 2 - (s + 1) * 20;
    EXPECT_EQ(file[r], 'a' + s);
    EXPECT_EQ(GetU32(&file[r + 12]), (1u << 18) | s);
    EXPECT_EQ(GetU32(&file[r + 16]), 0u);
  }
}

// ---- Key order ------------------------------------------------------------------------

std::vector<std::uint8_t> Key(const std::string& text) {
  std::vector<std::uint8_t> key(12, 0);
  std::memcpy(key.data(), text.data(), std::min<std::size_t>(text.size(), 12));
  return key;
}

TEST(DlFileKeys, TextKeysCompareTwelveCharactersWithoutCase) {
  struct Case {
    std::string a, b;
    int sign;
  } cases[] = {{"abc", "ABC", 0}, {"AB", "abc", -1}, {"abd", "ABC", 1},
               {"", "A", -1},     {"Zz", "zZ", 0},   {"ABCDEFGHIJKL", "abcdefghijkl", 0},
               {"a-1", "A-1", 0}, {"a", "B", -1},    {"_", "a", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    const int r = DLFile::CompareText(Key(c.a).data(), Key(c.b).data());
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
  // Keys are 12 bytes: a 13th character never takes part.
  std::uint8_t search[12];
  DLFile::MakeSearchKey('C', false, "abcdefghijklMORE", search);
  EXPECT_EQ(DLFile::CompareText(search, Key("ABCDEFGHIJKL").data()), 0);
}

// ---- Record locators ------------------------------------------------------------------

TEST_F(DlFileTest, LocatorOfFiveReadsPageOneAndSearchesSetTheRecordsOwnLocator) {
  BuildSample("loc.dld", 300);
  DlDataFile* file = Open("loc");
  ASSERT_NE(file, nullptr);
  FieldId* key = file->Field(0);
  FieldId* n = file->Field(1);
  // A hand-made locator: page bits 0, entry 5.
  key->SetPosition(5);
  n->SetPosition(5);
  char text[16];
  ASSERT_EQ(key->GetString(nullptr, text, sizeof text), 1) << context_.error().detail();
  EXPECT_STREQ(text, "K005");
  EXPECT_EQ(n->GetNum(), 500);
  EXPECT_EQ(file->file()->page()->page_number(), 1u);
  const std::uint32_t on_page_one = file->file()->page()->count();
  ASSERT_GT(on_page_one, 5u);
  ASSERT_LT(on_page_one, 300u);
  // The same entry named with page 1 explicitly, and the first entry of page 2.
  key->SetPosition(fmt::MakeLocator(1, 5));
  ASSERT_EQ(key->GetString(nullptr, text, sizeof text), 1);
  EXPECT_STREQ(text, "K005");
  key->SetPosition(fmt::MakeLocator(2, 0));
  ASSERT_EQ(key->GetString(nullptr, text, sizeof text), 1);
  char expected[16];
  std::snprintf(expected, sizeof expected, "K%03u", static_cast<unsigned>(on_page_one));
  EXPECT_STREQ(text, expected);
  // An entry past the page's records, and a page past the file.
  key->SetPosition(fmt::MakeLocator(1, on_page_one));
  EXPECT_EQ(key->GetString(nullptr, text, sizeof text), 0);
  EXPECT_EQ(context_.error().code(), 100);
  key->SetPosition(fmt::MakeLocator(9000, 0));
  EXPECT_EQ(key->GetString(nullptr, text, sizeof text), 0);
  EXPECT_EQ(context_.error().code(), 111);
  // A search gives every field its record's own locator.
  for (int i = 0; i < 300; i += 13) {
    std::snprintf(text, sizeof text, "k%03d", i);
    ASSERT_EQ(file->Search(text), 1);
    const std::uint32_t id = file->record_id();
    EXPECT_EQ(file->Field(2)->locator(),
              fmt::MakeLocator(QIndexedFile::PageOf(id), QIndexedFile::SlotOf(id)));
    EXPECT_EQ(n->GetNum(), i * 100);
  }
}

// ---- Field calls ----------------------------------------------------------------------

struct MessageCase {
  const char* what;
  std::function<int(DlDataFile*, char*, int)> call;
  int result;
  const char* detail;
};

TEST_F(DlFileTest, FailedSearchInvalidatesTheFieldsWhoseCallsRecordTheirMessages) {
  BuildSample("msg.dld", 10);
  DlDataFile* file = Open("msg");
  ASSERT_NE(file, nullptr);
  const MessageCase cases[] = {
      {"text value without a search",
       [](DlDataFile* f, char* b, int n) { return f->Field(0)->GetString(nullptr, b, n); }, 0,
       "Must perform a valid DlFileSearch before retrieving data."},
      {"number without a search", [](DlDataFile* f, char*, int) { return f->Field(1)->GetNum(); },
       0, "Must perform a valid DlFileSearch before retrieving data."},
      {"printf format without a search",
       [](DlDataFile* f, char* b, int n) { return f->Field(1)->GetString("%d", b, n); }, 0,
       "Must perform a valid DlFileSearch before retrieving data."},
      {"third field's text without a search",
       [](DlDataFile* f, char* b, int n) { return f->Field(2)->GetString(nullptr, b, n); }, 0,
       "Must perform a valid DlFileSearch before retrieving data."},
      {"descriptions of a field without value records",
       [](DlDataFile* f, char* b, int n) { return f->Field(0)->GetString("SDESC", b, n); }, 0,
       "There are no descriptions for this field"},
      {"long descriptions of a field without value records",
       [](DlDataFile* f, char* b, int n) { return f->Field(0)->GetString("ldesc", b, n); }, 0,
       "There are no descriptions for this field"},
      {"a text no value record holds",
       [](DlDataFile* f, char* b, int n) {
         std::strcpy(b, "t2");
         return f->Field(2)->GetString("SDESC", b, n);
       },
       0, "Value information not found"},
  };
  // A failed search invalidates every field, and there is no run to continue.
  ASSERT_EQ(file->Search("K003"), 1);
  for (int i = 0; i < file->field_count(); ++i) EXPECT_TRUE(file->Field(i)->valid());
  EXPECT_EQ(file->Search("K999"), 0);
  for (int i = 0; i < file->field_count(); ++i) EXPECT_FALSE(file->Field(i)->valid()) << i;
  EXPECT_EQ(file->SearchNext("K003"), 0);
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.what);
    file->Search("no such key");
    context_.error().Clear();
    char buffer[64] = "";
    EXPECT_EQ(c.call(file, buffer, sizeof buffer), c.result);
    EXPECT_EQ(context_.error().code(), 100);
    EXPECT_STREQ(context_.error().detail(), c.detail);
  }
}

// ---- File names -----------------------------------------------------------------------

TEST_F(DlFileTest, OpenRecordsMissingAndUnusableFilesAndTheContextOwnsTheRest) {
  EXPECT_EQ(Open("missing"), nullptr);
  EXPECT_EQ(context_.error().code(), 100);
  EXPECT_EQ(std::string(context_.error().detail()),
            "File " + dir_.path() + "/missing.dld Not Found");
  lumetra_test::WriteText(dir_.File("junk.dld"), "not a data library file");
  EXPECT_EQ(Open("junk"), nullptr);
  EXPECT_STREQ(context_.error().detail(), "Error opening DLD file");
  EXPECT_EQ(Open(std::string(300, 'a')), nullptr);
  EXPECT_STREQ(context_.error().detail(), "Error opening DLD file");
  EXPECT_EQ(context_.open_files(), 0u);
  // The context owns what it opens, once per Open, until Close.
  BuildSample("own.dld", 3);
  DlDataFile* a = Open("own");
  DlDataFile* b = Open("own");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(context_.open_files(), 2u);
  EXPECT_TRUE(context_.Close(a));
  EXPECT_FALSE(context_.Close(a));
  EXPECT_EQ(context_.open_files(), 1u);
  EXPECT_EQ(b->Search("K002"), 1);
}

// ---- Corrupt files --------------------------------------------------------------------

// Opens `bytes` as a data library file and, when it opens, runs every
// search and field call over it.  Reports whether it opened.
bool Exercise(DlContext& context, const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteBytes(path, bytes);
  DlDataFile* file = context.Open(path.c_str());
  if (file == nullptr) {
    EXPECT_STREQ(context.error().detail(), "Error opening DLD file");
    return false;
  }
  char buffer[300];
  for (const char* key : {"K000", "K001", "K007", "K019", "ZZZ", ""}) {
    for (int found = file->Search(key), guard = 0; found == 1 && guard < 50;
         found = file->SearchNext(key), ++guard) {
      for (int i = 0; i < file->field_count(); ++i) {
        FieldId* f = file->Field(i);
        f->GetString(nullptr, buffer, sizeof buffer);
        f->GetString("SDESC", buffer, sizeof buffer);
        f->GetString("%d", buffer, sizeof buffer);
        f->GetNum();
        f->GetAttribute(8, buffer, 255);
        if (f->values().size() > 0) f->GetValueAttribute(0, 2, buffer, 255);
      }
    }
  }
  file->GetAttribute(3, buffer, 255);
  context.Close(file);
  return true;
}

struct Patch {
  const char* what;
  std::function<void(std::vector<std::uint8_t>&, std::size_t data_page)> apply;
  bool opens;
};

void PutU32At(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  lumetra_test::Put32(b, at, v);
}

TEST_F(DlFileTest, NamedCorruptionsAreRefusedOrReported) {
  BuildSample("good.dld", 20);
  const std::vector<std::uint8_t> good = ReadBytes("good.dld");
  const std::size_t def = fmt::kHeaderPageSize;
  const std::size_t page1 = fmt::kHeaderPageSize + kSmallPage;
  const Patch patches[] = {
      {"kind", [](auto& b, std::size_t) { PutU32At(b, 256, 0x1100AAAB); }, false},
      {"key length", [](auto& b, std::size_t) { PutU32At(b, 288, 8); }, false},
      {"value length", [](auto& b, std::size_t) { PutU32At(b, 292, 4); }, false},
      {"tree root", [](auto& b, std::size_t) { PutU32At(b, 296, 12345); }, false},
      {"definition version", [def](auto& b, std::size_t) { PutU32At(b, def + 24, 2); }, false},
      {"key type", [def](auto& b, std::size_t) { b[def + 20] = 'X'; }, false},
      {"field count beyond the limit",
       [def](auto& b, std::size_t) { PutU32At(b, def + 8, 0xFFFFFFFF); }, false},
      {"value count larger than the file",
       [def](auto& b, std::size_t) { PutU32At(b, def + 16, 900000); }, false},
      {"definition area past the end", [def](auto& b, std::size_t) { PutU32At(b, def + 4, 0x10); },
       false},
      {"value counts not adding up", [def](auto& b, std::size_t) { PutU32At(b, def + 16, 2); },
       false},
      {"field types not matching the counts",
       [def](auto& b, std::size_t) {
         const std::size_t area = static_cast<std::size_t>(GetU64(&b[def]));
         PutU32At(b, area + 384, 'N');  // field K becomes numeric
       },
       false},
      {"offset table out of order", [page1](auto& b, std::size_t) { PutU32At(b, page1 + 12, 13); },
       true},
      {"offset table past the records",
       [page1](auto& b, std::size_t) { PutU32At(b, page1 + 20, 0xFFFF); }, true},
      {"heap offset past its block",
       [page1](auto& b, std::size_t) {
         const std::uint32_t heap = GetU32(&b[page1 + 8]);
         lumetra_test::Put16(b, page1 + 8 + heap + 2, 0xFFF0);
       },
       true},
      {"record count larger than the page",
       [page1](auto& b, std::size_t) { PutU32At(b, page1 + 4, 0x3FFF); }, true},
      {"locator beyond the pages",
       [page1](auto& b, std::size_t) {
         PutU32At(b, page1 + kSmallPage - 2 - 20 + 12, fmt::MakeLocator(5000, 0));
       },
       true},
  };
  for (const Patch& p : patches) {
    SCOPED_TRACE(p.what);
    std::vector<std::uint8_t> bad = good;
    p.apply(bad, page1);
    EXPECT_EQ(Exercise(context_, dir_.File("patched.dld"), bad), p.opens);
  }
  // The damaged first record cannot be read; the error says why.
  std::vector<std::uint8_t> bad = good;
  PutU32At(bad, page1 + 12, 13);
  WriteBytes(dir_.File("order.dld"), bad);
  DlDataFile* file = Open("order");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Search("K000"), 0);
  EXPECT_EQ(context_.error().code(), 111);
}

}  // namespace
