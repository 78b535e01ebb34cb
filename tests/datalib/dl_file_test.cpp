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
#include "support/core_bytes.h"
#include "support/test_files.h"

namespace {

std::uint16_t GetU16(const std::uint8_t* p) { return lumetra_test::Get16(p); }
std::uint32_t GetU32(const std::uint8_t* p) { return lumetra_test::Get32(p); }
std::uint64_t GetU64(const std::uint8_t* p) { return lumetra_test::Get64(p); }
std::int32_t GetI32(const std::uint8_t* p) { return static_cast<std::int32_t>(GetU32(p)); }
using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;
namespace fmt = lumetra::dlformat;

using Row = std::vector<std::string>;

constexpr std::uint32_t kSmallPage = 1024;

DlFieldSpec Field(const std::string& id, char type, int width, int decimals = 0) {
  DlFieldSpec f;
  f.id = id;
  f.section = id;
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

std::string Str(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(bytes.data()) + at, n);
  return s.substr(0, s.find('\0'));
}

// A temporary directory (also the working directory, for the tree
// builder's scratch files) with a context reading from it.
class DlFileTest : public ::testing::Test {
 protected:
  DlFileTest() : chdir_(dir_.path()), context_(dir_.path()) {}

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

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  QError err_;
  DlContext context_;
};

// ---- Pinned layouts -------------------------------------------------------------------

TEST(DlFormat, DefinitionHeaderLayoutIsPinned) {
  fmt::DlDefinitionHeader h;
  h.area_offset = 0x0102030405060708ULL;
  h.text_fields = 3;
  h.other_fields = 4;
  h.value_records = 5;
  h.key_type = 'N';
  h.flags = fmt::kFlagCleanedKey;
  h.attr0 = -6;
  h.attr2 = 7;
  h.attr5 = 8;
  h.key_field = "recid";
  h.text3 = "stamp";
  h.text4 = "title";
  std::vector<std::uint8_t> b(fmt::DlDefinitionHeader::kEncodedSize, 0xEE);
  h.EncodeTo(b.data());
  EXPECT_EQ(fmt::DlDefinitionHeader::kEncodedSize, 584u);
  EXPECT_EQ(GetU64(&b[0]), 0x0102030405060708ULL);
  EXPECT_EQ(GetU32(&b[8]), 3u);
  EXPECT_EQ(GetU32(&b[12]), 4u);
  EXPECT_EQ(GetU32(&b[16]), 5u);
  EXPECT_EQ(b[20], 'N');
  EXPECT_EQ(b[21], 0x01);
  EXPECT_EQ(GetU16(&b[22]), 0u);
  EXPECT_EQ(GetU32(&b[24]), 1u);
  EXPECT_EQ(GetI32(&b[28]), -6);
  EXPECT_EQ(GetI32(&b[32]), 7);
  EXPECT_EQ(GetI32(&b[36]), 8);
  EXPECT_EQ(Str(b, 40, 32), "recid");
  EXPECT_EQ(Str(b, 72, 256), "stamp");
  EXPECT_EQ(Str(b, 328, 256), "title");
  EXPECT_EQ(b[583], 0);
  fmt::DlDefinitionHeader back;
  ASSERT_TRUE(back.DecodeFrom(b.data(), b.size()));
  EXPECT_EQ(back.area_offset, h.area_offset);
  EXPECT_EQ(back.key_field, "recid");
  EXPECT_EQ(back.text4, "title");
  EXPECT_FALSE(back.DecodeFrom(b.data(), 583));
}

TEST(DlFormat, FieldAndValueRecordLayoutsArePinned) {
  fmt::DlFieldRecord f;
  f.id = "ABCDEFGHIJKL";  // 12 characters, no terminator needed
  f.section = "section";
  f.short_desc = "short";
  f.long_desc = "long";
  f.decimals = 2;
  f.width = 9;
  f.number = 4;
  f.mask = "mask";
  f.value_count = 6;
  f.type = 'N';
  std::vector<std::uint8_t> b(fmt::DlFieldRecord::kEncodedSize, 0xEE);
  f.EncodeTo(b.data());
  EXPECT_EQ(b.size(), 396u);
  EXPECT_EQ(Str(b, 0, 12), "ABCDEFGHIJKL");
  EXPECT_EQ(Str(b, 12, 32), "section");
  EXPECT_EQ(Str(b, 44, 32), "short");
  EXPECT_EQ(Str(b, 76, 256), "long");
  EXPECT_EQ(GetI32(&b[332]), 2);
  EXPECT_EQ(GetI32(&b[336]), 9);
  EXPECT_EQ(GetI32(&b[340]), 4);
  EXPECT_EQ(Str(b, 344, 32), "mask");
  EXPECT_EQ(GetI32(&b[380]), 6);
  EXPECT_EQ(GetI32(&b[384]), 'N');
  EXPECT_EQ(GetU32(&b[376]), 0u);
  EXPECT_EQ(GetU64(&b[388]), 0u);
  fmt::DlFieldRecord back;
  ASSERT_TRUE(back.DecodeFrom(b.data(), b.size()));
  EXPECT_EQ(back.id, "ABCDEFGHIJKL");
  EXPECT_EQ(back.mask, "mask");

  fmt::DlValueRecord v;
  v.field_id = "CODE";
  v.value = "R1";
  v.short_desc = "res";
  v.long_desc = "residential";
  std::vector<std::uint8_t> vb(fmt::DlValueRecord::kEncodedSize, 0xEE);
  v.EncodeTo(vb.data());
  EXPECT_EQ(vb.size(), 352u);
  EXPECT_EQ(Str(vb, 0, 32), "CODE");
  EXPECT_EQ(Str(vb, 32, 32), "R1");
  EXPECT_EQ(Str(vb, 64, 32), "res");
  EXPECT_EQ(Str(vb, 96, 256), "residential");
  EXPECT_EQ(vb[351], 0);
}

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

TEST(DlFileKeys, NumericKeysCompareAsDecimalNumbers) {
  struct Case {
    std::string a, b;
    int result;
  } cases[] = {{"17", "17", 0},  {"  17", "017", 0},       {"-5", "3", -1},
               {"100", "99", 1}, {"12abc", "12", 0},       {"+4", "4", 0},
               {"", "0", 0},     {"999999999999", "1", 1}, {"-99999999999", "0", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a + " vs " + c.b);
    EXPECT_EQ(DLFile::CompareNumber(Key(c.a).data(), Key(c.b).data()), c.result);
  }
}

TEST(DlFileKeys, SearchKeysAreBuiltLikeStoredKeys) {
  std::uint8_t key[12];
  ASSERT_TRUE(DLFile::MakeSearchKey('N', false, "  0042xyz", key));
  EXPECT_EQ(DLFile::KeyNumber(key), 42);
  ASSERT_TRUE(DLFile::MakeSearchKey('N', false, "-99999999999", key));
  EXPECT_EQ(DLFile::KeyNumber(key), -99999999999LL);
  EXPECT_FALSE(DLFile::MakeSearchKey('N', false, "1000000000000", key));
  EXPECT_FALSE(DLFile::MakeSearchKey('N', false, "-100000000000", key));
  ASSERT_TRUE(DLFile::MakeSearchKey('C', true, "a-b c.9/", key));
  EXPECT_EQ(Key("abc9"), std::vector<std::uint8_t>(key, key + 12));
  ASSERT_TRUE(DLFile::MakeSearchKey('C', false, "a-b", key));
  EXPECT_EQ(Key("a-b"), std::vector<std::uint8_t>(key, key + 12));
  EXPECT_EQ(DLFile::CleanKey("  x_y-Z 1 "), "xyZ1");
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

TEST_F(DlFileTest, DescriptionsAndValuesFollowTheFormatUnlessItIsUnusable) {
  BuildSample("desc.dld", 10);
  DlDataFile* file = Open("desc");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(file->Search("K004"), 1);  // T = "t1", N = 4.00
  FieldId* t = file->Field(2);
  FieldId* n = file->Field(1);
  struct Case {
    FieldId* field;
    const char* preset;  // buffer contents before the call
    const char* format;
    int size;
    const char* expected;
  } cases[] = {
      {t, "", nullptr, 64, "t1"},
      {t, "", "", 64, "t1"},
      {t, "t1", "SDESC", 64, "one"},  // found without regard to case
      {t, "T0 ", "sdesc", 64, "zero"},
      {t, "t1", "anything", 64, "one"},
      {t, "t1", "LDESC", 64, "the value one"},
      {t, "t1", "ldes", 64, "the value one"},
      {t, "t1", "LDESCRIPTION%d", 64, "the value one"},
      {t, "t1", "LDESC", 5, "the "},
      {t, "", "[%s]", 64, "[t1]"},
      {t, "", "%-4s|", 64, "t1  |"},
      {n, "", nullptr, 64, "400"},
      {n, "", "%d", 64, "400"},
      {n, "", "%06d", 64, "000400"},
      {n, "", "%x", 64, "190"},
      {n, "", "%ld items", 64, "400 items"},
      {n, "", "%.2f", 64, "4.00"},
      {n, "", "%s", 64, "400"},
      {n, "", "100%% of %d", 64, "100% of 400"},
      {n, "", "%d", 3, "40"},
      {n, "anything", "SDESC", 64, "hundredths"},  // a numeric field's first value record
      {n, "", "LDESC", 64, "numbers in hundredths"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format == nullptr ? "(null)" : c.format) + " size " +
                 std::to_string(c.size));
    char buffer[64];
    std::strcpy(buffer, c.preset);
    EXPECT_EQ(c.field->GetString(c.format, buffer, c.size), 1) << context_.error().detail();
    EXPECT_STREQ(buffer, c.expected);
  }
  EXPECT_EQ(t->GetNum(), -1);
  EXPECT_EQ(n->GetNum(), 400);
  for (const char* format : {"%n", "%d %d", "%*d", "%p", "%99999d", "%.99999f", "%", "%q"}) {
    SCOPED_TRACE(format);
    char buffer[32] = "";
    context_.error().Clear();
    EXPECT_EQ(n->GetString(format, buffer, sizeof buffer), 0);  // unusable formats
    EXPECT_EQ(context_.error().code(), 100);
  }
}

TEST(DlFieldAttributes, CodesSizesValueRecordsAndFieldsOfAnotherType) {
  fmt::DlFieldRecord record;
  record.id = "CODE";
  record.section = "Land use";
  record.short_desc = "use";
  record.long_desc = "land use code";
  record.mask = "XX";
  record.width = 4;
  record.decimals = 1;
  record.number = 3;
  record.value_count = 1;
  record.type = 'C';
  fmt::DlValueRecord value;
  value.field_id = "CODE";
  value.value = "R1";
  value.short_desc = "res";
  value.long_desc = "residential";
  FieldId field(record, {value});
  struct Case {
    int code;
    int size;
    int result;
    const char* text;
  } cases[] = {{0, 12, 1, "CODE"},   {1, 32, 1, "Land use"}, {1, 4, 1, "Land"},
               {5, 32, 1, "XX"},     {7, 32, 1, "use"},      {8, 256, 1, "land use code"},
               {8, 0, 1, ""},        {2, 0, 4, nullptr},     {3, 0, 1, nullptr},
               {4, 0, 3, nullptr},   {9, 0, 1, nullptr},     {10, 0, 'C', nullptr},
               {6, 10, -1, nullptr}, {11, 10, -1, nullptr},  {-1, 10, -1, nullptr},
               {0, -1, -1, nullptr}, {2, -1, -1, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE("code " + std::to_string(c.code) + " size " + std::to_string(c.size));
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(field.GetAttribute(c.code, buffer, c.size), c.result);
    if (c.text != nullptr) {
      EXPECT_STREQ(buffer, c.text);
    }
  }
  EXPECT_EQ(field.GetAttribute(0, nullptr, 10), -1);
  char buffer[300];
  EXPECT_EQ(field.GetValueAttribute(0, 0, buffer, 31), 1);
  EXPECT_STREQ(buffer, "R1");
  EXPECT_EQ(field.GetValueAttribute(0, 1, buffer, 31), 1);
  EXPECT_STREQ(buffer, "res");
  EXPECT_EQ(field.GetValueAttribute(0, 2, buffer, 3), 1);
  EXPECT_STREQ(buffer, "res");
  EXPECT_EQ(field.GetValueAttribute(1, 0, buffer, 31), -1);
  EXPECT_EQ(field.GetValueAttribute(-1, 0, buffer, 31), -1);
  EXPECT_EQ(field.GetValueAttribute(0, 3, buffer, 31), -1);
  EXPECT_EQ(field.GetValueAttribute(0, 0, buffer, -1), -1);
  // A field of another type writes nothing.
  record.type = 'L';
  FieldId odd(record, {});
  char keep[8] = "keep";
  EXPECT_EQ(odd.GetString(nullptr, keep, sizeof keep), 1);
  EXPECT_EQ(odd.GetString("SDESC", keep, sizeof keep), 1);
  EXPECT_STREQ(keep, "keep");
  EXPECT_EQ(odd.GetNum(), -1);
  EXPECT_EQ(odd.GetAttribute(10, nullptr, 0), 'L');
}

// ---- File names -----------------------------------------------------------------------

TEST(DlContextNames, ExtensionAddedOnlyWithoutOne) {
  const DlContext in_dir("/data/dl");
  const DlContext slash("/data/dl/");
  const DlContext none("");
  struct Case {
    const DlContext* context;
    const char* name;
    const char* path;
  } cases[] = {{&in_dir, "parcels", "/data/dl/parcels.dld"},
               {&in_dir, "parcels.dat", "/data/dl/parcels.dat"},
               {&slash, "parcels", "/data/dl/parcels.dld"},
               {&in_dir, "/abs/parcels", "/abs/parcels.dld"},
               {&in_dir, "sub.v2/parcels", "/data/dl/sub.v2/parcels.dld"},
               {&none, "parcels", "parcels.dld"},
               {&none, "x/y.DLD", "x/y.DLD"}};
  for (const Case& c : cases) EXPECT_EQ(c.context->ResolveName(c.name), c.path) << c.name;
}

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

TEST_F(DlFileTest, CorruptOrTruncatedFilesNeverCrash) {
  BuildSample("good.dld", 40);
  const std::vector<std::uint8_t> good = ReadBytes("good.dld");
  ASSERT_TRUE(Exercise(context_, dir_.File("copy.dld"), good));
  const std::uint32_t seed = 4242;
  std::printf("CorruptBytesNeverCrash seed %u, %zu bytes\n", static_cast<unsigned>(seed),
              good.size());
  std::mt19937 rng(seed);
  int opened = 0;
  for (std::size_t at = 0; at < good.size(); at += 19) {
    std::vector<std::uint8_t> bad = good;
    bad[at] ^= static_cast<std::uint8_t>(1 + rng() % 255);
    if (at + 1 < bad.size()) bad[at + 1] = static_cast<std::uint8_t>(rng());
    opened += Exercise(context_, dir_.File("bad.dld"), bad) ? 1 : 0;
  }
  EXPECT_GT(opened, 0);
  for (std::size_t length = 0; length < good.size(); length += 61) {
    const std::vector<std::uint8_t> cut(good.begin(),
                                        good.begin() + static_cast<std::ptrdiff_t>(length));
    Exercise(context_, dir_.File("cut.dld"), cut);
  }
  EXPECT_EQ(context_.open_files(), 0u);
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
