// The Dl* functions as callers see them: only <lumetra/datalib.h> and the
// shared library.
#include <gtest/gtest.h>
#include <lumetra/datalib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;

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

class DatalibCapi : public lumetra_test::ScratchDirTest {
 protected:
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

  DlContext* context_ = nullptr;
};

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

}  // namespace
