// The Dl* functions as callers see them: only <lumetra/datalib.h> and the
// shared library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lumetra/datalib.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;

struct ErrorText {
  int code;
  std::string message;
  std::string detail;
};

ErrorText LastError(DlContext* context) {
  char message[DL_ERROR_TEXT_SIZE];
  char detail[DL_ERROR_TEXT_SIZE];
  std::memset(message, 'x', sizeof message);
  std::memset(detail, 'x', sizeof detail);
  const int code = DlErrorGet(context, message, detail);
  return {code, message, detail};
}

// Leaves something other than the null-value text in the process-wide
// record, so that each null case proves it recorded anew.
void RecordOtherProcessError() {
  EXPECT_EQ(DlBuilderCreate("x.dld", 'X', "K", ""), nullptr);
  EXPECT_NE(LastError(nullptr).detail, "Null value passed.");
}

// Builds parcels.dld: numeric keys (recid), a text field with value
// descriptions, a numeric field with 2 decimals; recid 2 appears twice.
void BuildParcels(const std::string& name) {
  DlBuilder* b = DlBuilderCreate(name.c_str(), 'N', "recid", "Mon Mar  2 10:00:00 2026");
  ASSERT_NE(b, nullptr) << LastError(nullptr).detail;
  ASSERT_EQ(DlBuilderAddField(b, "recid", "recid", 'N', 10, 0, "Record", "Record number"), 1);
  ASSERT_EQ(DlBuilderAddField(b, "USE", "Land use", 'C', 4, 0, "Use", "Land use code"), 1);
  ASSERT_EQ(DlBuilderAddField(b, "AREA", "Area", 'N', 9, 2, "Acres", nullptr), 1);
  ASSERT_EQ(DlBuilderAddValue(b, "use", "RES", "Residential", "Residential parcel"), 1);
  ASSERT_EQ(DlBuilderAddValue(b, "USE", "COM", "Commercial", "Commercial parcel"), 1);
  const char* rows[][3] = {{"3", "COM", "0.5"},
                           {"1", "RES", "12.25"},
                           {"2", "res", "1"},
                           {"2", "AGRI", "99.99"},
                           {"10", "", "-3.1"}};
  for (auto& row : rows) ASSERT_EQ(DlBuilderAddRecord(b, row), 1) << LastError(nullptr).detail;
  ASSERT_EQ(DlBuilderFinish(b), 1) << LastError(nullptr).detail;
}

class DatalibCapi : public ::testing::Test {
 protected:
  DatalibCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    context_ = DlInit(dir_.path().c_str());
    ASSERT_NE(context_, nullptr);
  }
  void TearDown() override { EXPECT_EQ(DlTerm(context_), 1); }

  std::string Get(DlField* field, const char* format = nullptr) {
    char buffer[300];
    if (DlFieldGetString(field, format, buffer, sizeof buffer) != 1) return "<fail>";
    return buffer;
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;  // the tree builder's scratch files
  DlContext* context_ = nullptr;
};

TEST(DatalibCapiExports, EveryFunctionIsExportedAndHelpersAreNot) {
  std::istringstream names(
      "DlInit DlTerm DlFileOpen DlFileClose DlFileSearch DlFileSearchInt DlFileSearchNext "
      "DlFileSearchNextInt DlFileNumFields DlFieldGetN DlFieldGet DlFieldGetString DlFieldGetNum "
      "DlFieldGetAttribute DlFieldGetValueAttribute DlFileGetAttribute DlErrorGet DlGetVersion "
      "DlBuilderCreate DlBuilderAddField DlBuilderAddValue DlBuilderAddRecord DlBuilderFinish "
      "DlBuilderAbort");
  for (std::string name; names >> name;) {
    EXPECT_NE(dlsym(RTLD_DEFAULT, name.c_str()), nullptr) << name;
  }
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "DlRecordNullValue"), nullptr);
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "_Z17DlRecordNullValuev"), nullptr);
}

TEST(DatalibCapiExports, VersionText) {
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(DlGetVersion(buffer), 1);
  EXPECT_STREQ(buffer, "Varnisk v41.04");
  EXPECT_STREQ(buffer, DL_VERSION_TEXT);
  EXPECT_EQ(buffer[15], 'x');
}

struct NullCase {
  const char* call;
  std::function<long()> run;
  long result;
};
// A call and its result; pointer results count as 0 (null) or 1.
#define LUMETRA_CALL(expr, result)                         \
  NullCase {                                               \
#expr, [&] { return static_cast<long>(expr); }, result \
  }
#define LUMETRA_POINTER_CALL(expr)                        \
  NullCase {                                              \
#expr, [&] { return (expr) == nullptr ? 0L : 1L; }, 0 \
  }

TEST_F(DatalibCapi, NullArgumentsAreRecordedProcessWide) {
  BuildParcels("parcels.dld");
  DlDataFile* file = DlFileOpen(context_, "parcels");
  ASSERT_NE(file, nullptr);
  DlField* field = DlFieldGetN(file, 1);
  ASSERT_NE(field, nullptr);
  char buf[64];
  const NullCase cases[] = {
      LUMETRA_POINTER_CALL(DlInit(nullptr)),
      LUMETRA_CALL(DlTerm(nullptr), 0),
      LUMETRA_POINTER_CALL(DlFileOpen(nullptr, "x")),
      LUMETRA_POINTER_CALL(DlFileOpen(context_, nullptr)),
      LUMETRA_CALL(DlFileClose(nullptr), 0),
      LUMETRA_CALL(DlFileSearch(nullptr, "1"), 0),
      LUMETRA_CALL(DlFileSearch(file, nullptr), 0),
      LUMETRA_CALL(DlFileSearchInt(nullptr, 1), 0),
      LUMETRA_CALL(DlFileSearchInt(file, 0), 0),
      LUMETRA_CALL(DlFileSearchNext(nullptr, "1"), 0),
      LUMETRA_CALL(DlFileSearchNext(file, nullptr), 0),
      LUMETRA_CALL(DlFileSearchNextInt(nullptr, 1), 0),
      LUMETRA_CALL(DlFileSearchNextInt(file, 0), 0),
      LUMETRA_CALL(DlFileNumFields(nullptr), -1),
      LUMETRA_POINTER_CALL(DlFieldGetN(nullptr, 0)),
      LUMETRA_POINTER_CALL(DlFieldGet(nullptr, "USE")),
      LUMETRA_POINTER_CALL(DlFieldGet(file, nullptr)),
      LUMETRA_CALL(DlFieldGetString(nullptr, nullptr, buf, 64), 0),
      LUMETRA_CALL(DlFieldGetString(field, nullptr, nullptr, 64), 0),
      LUMETRA_CALL(DlFieldGetNum(nullptr), 0),
      LUMETRA_CALL(DlFieldGetAttribute(nullptr, 0, buf, 10), -1),
      LUMETRA_CALL(DlFieldGetValueAttribute(nullptr, 0, 0, buf, 10), -1),
      LUMETRA_CALL(DlFieldGetValueAttribute(field, 0, 0, nullptr, 10), -1),
      LUMETRA_CALL(DlFileGetAttribute(nullptr, 1, buf, 10), -1),
      LUMETRA_CALL(DlGetVersion(nullptr), 0),
      LUMETRA_POINTER_CALL(DlBuilderCreate(nullptr, 'C', "K", "")),
      LUMETRA_POINTER_CALL(DlBuilderCreate("a.dld", 'C', nullptr, "")),
      LUMETRA_CALL(DlBuilderAddField(nullptr, "A", "", 'C', 1, 0, "", ""), 0),
      LUMETRA_CALL(DlBuilderAddValue(nullptr, "A", "v", "", ""), 0),
      LUMETRA_CALL(DlBuilderAddRecord(nullptr, nullptr), 0),
      LUMETRA_CALL(DlBuilderFinish(nullptr), 0),
      LUMETRA_CALL((DlBuilderAbort(nullptr), 0), 0),
  };
#undef LUMETRA_CALL
#undef LUMETRA_POINTER_CALL
  for (const NullCase& c : cases) {
    SCOPED_TRACE(c.call);
    RecordOtherProcessError();
    EXPECT_EQ(c.run(), c.result);
    const ErrorText e = LastError(nullptr);
    EXPECT_EQ(e.code, 100);
    EXPECT_EQ(e.message, "");
    EXPECT_EQ(e.detail, "Null value passed.");
  }
  EXPECT_FALSE(FileExists("a.dld"));
  EXPECT_EQ(DlFileClose(file), 1);
}

struct MessageCase {
  const char* what;
  std::function<int()> run;
  int result;
  std::string detail;
};

TEST_F(DatalibCapi, FailuresRecordTheirMessagesInTheContext) {
  BuildParcels("parcels.dld");
  lumetra_test::WriteText(dir_.File("junk.dld"), "this is no data library file at all");
  DlDataFile* file = DlFileOpen(context_, "parcels");
  ASSERT_NE(file, nullptr);
  DlField* use = DlFieldGet(file, "use");
  DlField* area = DlFieldGet(file, "AREA");
  DlField* recid = DlFieldGet(file, "RECID");
  ASSERT_NE(use, nullptr);
  ASSERT_NE(area, nullptr);
  ASSERT_NE(recid, nullptr);
  char buf[64];
  const MessageCase cases[] = {
      {"missing file", [&] { return DlFileOpen(context_, "nothere") == nullptr ? 0 : 1; }, 0,
       "File " + dir_.path() + "/nothere.dld Not Found"},
      {"missing file with extension",
       [&] { return DlFileOpen(context_, "nothere.dat") == nullptr ? 0 : 1; }, 0,
       "File " + dir_.path() + "/nothere.dat Not Found"},
      {"not a data library file", [&] { return DlFileOpen(context_, "junk") == nullptr ? 0 : 1; },
       0, "Error opening DLD file"},
      {"text after a failed search",
       [&] {
         DlFileSearchInt(file, 77);
         return DlFieldGetString(use, nullptr, buf, 64);
       },
       0, "Must perform a valid DlFileSearch before retrieving data."},
      {"number after a failed search",
       [&] {
         DlFileSearch(file, "77");
         return DlFieldGetNum(area);
       },
       0, "Must perform a valid DlFileSearch before retrieving data."},
      {"key field after a failed search",
       [&] {
         DlFileSearch(file, "-4");
         return DlFieldGetString(recid, "%d", buf, 64);
       },
       0, "Must perform a valid DlFileSearch before retrieving data."},
      {"no descriptions", [&] { return DlFieldGetString(recid, "SDESC", buf, 64); }, 0,
       "There are no descriptions for this field"},
      {"no such value",
       [&] {
         std::strcpy(buf, "IND");
         return DlFieldGetString(use, "LDESC", buf, 64);
       },
       0, "Value information not found"},
  };
  for (const MessageCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.run(), c.result);
    const ErrorText e = LastError(context_);
    EXPECT_EQ(e.code, 100);
    EXPECT_EQ(e.detail, c.detail);
  }
  EXPECT_EQ(DlFileClose(file), 1);
}

TEST_F(DatalibCapi, BuiltFileAnswersSearchesAndAttributes) {
  BuildParcels("parcels.dld");
  DlDataFile* file = DlFileOpen(context_, "parcels");
  ASSERT_NE(file, nullptr) << LastError(context_).detail;
  EXPECT_EQ(DlFileNumFields(file), 3);
  EXPECT_EQ(DlFileGetAttribute(file, DL_FILE_ATTR_NUM_FIELDS, nullptr, 0), 3);
  EXPECT_EQ(DlFileGetAttribute(file, 0, nullptr, 0), 5);
  char text[300];
  EXPECT_EQ(DlFileGetAttribute(file, DL_FILE_ATTR_STAMP, text, 35), 1);
  EXPECT_STREQ(text, "Mon Mar  2 10:00:00 2026");
  EXPECT_EQ(DlFileGetAttribute(file, 6, text, 35), -1);
  EXPECT_EQ(DlFileGetAttribute(file, 3, text, -1), -1);

  DlField* use = DlFieldGetN(file, 1);
  DlField* area = DlFieldGetN(file, 2);
  EXPECT_EQ(DlFieldGetN(file, 3), nullptr);
  EXPECT_EQ(DlFieldGetN(file, -1), nullptr);
  EXPECT_EQ(DlFieldGet(file, "Area"), area);
  EXPECT_EQ(DlFieldGet(file, "AREAS"), nullptr);
  EXPECT_EQ(DlFieldGetAttribute(use, DL_FIELD_ATTR_ID, text, 12), 1);
  EXPECT_STREQ(text, "USE");
  EXPECT_EQ(DlFieldGetAttribute(use, DL_FIELD_ATTR_SECTION, text, 31), 1);
  EXPECT_STREQ(text, "Land use");
  EXPECT_EQ(DlFieldGetAttribute(use, DL_FIELD_ATTR_WIDTH, nullptr, 0), 4);
  EXPECT_EQ(DlFieldGetAttribute(area, DL_FIELD_ATTR_DECIMALS, nullptr, 0), 2);
  EXPECT_EQ(DlFieldGetAttribute(use, DL_FIELD_ATTR_VALUE_COUNT, nullptr, 0), 2);
  EXPECT_EQ(DlFieldGetAttribute(area, DL_FIELD_ATTR_TYPE, nullptr, 0), 'N');
  EXPECT_EQ(DlFieldGetAttribute(use, 7, text, 31), 1);
  EXPECT_STREQ(text, "Use");
  EXPECT_EQ(DlFieldGetAttribute(use, 8, text, 255), 1);
  EXPECT_STREQ(text, "Land use code");
  EXPECT_EQ(DlFieldGetAttribute(use, 12, text, 10), -1);
  EXPECT_EQ(DlFieldGetAttribute(use, 0, text, -1), -1);
  EXPECT_EQ(DlFieldGetValueAttribute(use, 1, DL_VALUE_TEXT, text, 31), 1);
  EXPECT_STREQ(text, "COM");
  EXPECT_EQ(DlFieldGetValueAttribute(use, 1, DL_VALUE_SHORT_DESC, text, 31), 1);
  EXPECT_STREQ(text, "Commercial");
  EXPECT_EQ(DlFieldGetValueAttribute(use, 0, DL_VALUE_LONG_DESC, text, 255), 1);
  EXPECT_STREQ(text, "Residential parcel");
  EXPECT_EQ(DlFieldGetValueAttribute(use, 2, 0, text, 31), -1);
  EXPECT_EQ(DlFieldGetValueAttribute(use, 0, 3, text, 31), -1);

  ASSERT_EQ(DlFileSearchInt(file, 1), 1);
  EXPECT_EQ(Get(use), "RES");
  EXPECT_EQ(DlFieldGetNum(area), 1225);
  EXPECT_EQ(Get(area, "%.2f"), "12.25");
  EXPECT_EQ(DlFieldGetNum(use), -1);
  std::strcpy(text, "RES");
  EXPECT_EQ(DlFieldGetString(use, "SDESC", text, 300), 1);
  EXPECT_STREQ(text, "Residential");
  EXPECT_EQ(Get(area, "SDESC"), "<fail>");  // AREA has no value records

  // recid 2 twice, in the order added; the search continues behind each.
  ASSERT_EQ(DlFileSearch(file, "2"), 1);
  EXPECT_EQ(Get(use), "res");
  std::strcpy(text, "res");
  EXPECT_EQ(DlFieldGetString(use, "ldescription", text, 300), 1);
  EXPECT_STREQ(text, "Residential parcel");
  ASSERT_EQ(DlFileSearchNext(file, "2"), 1);
  EXPECT_EQ(Get(use), "AGRI");
  EXPECT_EQ(DlFieldGetNum(area), 9999);
  EXPECT_EQ(DlFileSearchNextInt(file, 2), 0);
  ASSERT_EQ(DlFileSearchInt(file, 10), 1);
  EXPECT_EQ(Get(use), "");
  EXPECT_EQ(DlFieldGetNum(area), -310);
  EXPECT_EQ(DlFileSearchInt(file, 4), 0);
  EXPECT_EQ(DlFileClose(file), 1);
}

TEST_F(DatalibCapi, ExtensionIsAddedOnlyWithoutOne) {
  BuildParcels("parcels.dld");
  BuildParcels("parcels.dat");
  BuildParcels("plain");
  DlDataFile* a = DlFileOpen(context_, "parcels");
  DlDataFile* b = DlFileOpen(context_, "parcels.dat");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(DlFileOpen(context_, "plain"), nullptr);  // looks for plain.dld
  EXPECT_EQ(LastError(context_).detail, "File " + dir_.path() + "/plain.dld Not Found");
  DlContext* no_dir = DlInit("");
  ASSERT_NE(no_dir, nullptr);
  EXPECT_NE(DlFileOpen(no_dir, "parcels"), nullptr);  // relative to the working directory
  EXPECT_NE(DlFileOpen(no_dir, dir_.File("parcels.dat").c_str()), nullptr);
  EXPECT_EQ(DlTerm(no_dir), 1);  // closes both files (a leak would show in the sanitizer build)
  EXPECT_EQ(DlFileClose(a), 1);
  EXPECT_EQ(DlFileClose(b), 1);
}

TEST_F(DatalibCapi, BuilderFailuresAreReadableProcessWide) {
  EXPECT_EQ(DlBuilderCreate("no/such/dir/x.dld", 'C', "K", ""), nullptr);
  EXPECT_NE(LastError(nullptr).code, -1);
  EXPECT_EQ(DlBuilderCreate("x.dld", 'C', "K", std::string(256, 's').c_str()), nullptr);
  EXPECT_EQ(LastError(nullptr).detail, "The stamp and the title hold at most 255 characters");

  DlBuilder* b = DlBuilderCreate("fail.dld", 'C', "KEY", "");
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(FileExists("fail.dld"));
  ASSERT_EQ(DlBuilderAddField(b, "NAME", "", 'C', 8, 0, nullptr, nullptr), 1);
  EXPECT_EQ(DlBuilderAddField(b, "name", "", 'C', 8, 0, nullptr, nullptr), 0);
  EXPECT_EQ(LastError(nullptr).detail, "The field identifier is already used");
  EXPECT_EQ(DlBuilderAddField(b, "N2", "", 'D', 8, 0, nullptr, nullptr), 0);
  EXPECT_EQ(LastError(nullptr).detail, "The field type must be 'C' or 'N'");
  EXPECT_EQ(DlBuilderFinish(b), 0);  // no key field
  EXPECT_EQ(LastError(nullptr).detail, "The key field has not been added");
  EXPECT_FALSE(FileExists("fail.dld"));

  b = DlBuilderCreate("abort.dld", 'N', "ID", "");
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(DlBuilderAddField(b, "ID", "", 'N', 5, 0, nullptr, nullptr), 1);
  const char* bad[] = {"x1"};
  EXPECT_EQ(DlBuilderAddRecord(b, bad), 0);
  EXPECT_EQ(LastError(nullptr).detail, "Value x1 of field ID is not a number");
  DlBuilderAbort(b);
  EXPECT_FALSE(FileExists("abort.dld"));
}

}  // namespace
