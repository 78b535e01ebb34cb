// The MIF/MID and BNA import as callers see it: the import options,
// openers on bad handles and missing files, and replaced readers.
#include <lumetra/pip_ext.h>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;
using lumetra_test::WriteText;

constexpr char kMif[] =
    "Version 300\n"
    "Charset \"Neutral\"\n"
    "Delimiter \",\"\n"
    "CoordSys Earth Projection 1, 104\n"
    "Columns 2\n"
    "  NAME Char(20)\n"
    "  CODE Char(5)\n"
    "Data\n"
    "\n"
    "Point -87.6298 41.8781\n"
    "    Symbol (35,0,12)\n"
    "Region 1\n"
    "  5\n"
    "-88 41\n-87 41\n-87 42\n-88 42\n-88 41\n"
    "    Brush (2,16777215,255)\n"
    "Ellipse -1 -1 1 1\n"
    "Pline 2\n"
    "-87.5 41.5\n-87.25 41.75\n"
    "    Pen (1,2,255)\n"
    "Region 2\n"
    "  4\n-80 30\n-79 30\n-79 31\n-80 30\n"
    "  4\n-70 20\n-69 20\n-69 21\n-70 20\n";
constexpr char kMid[] = "\"Chicago, IL\",CHI\nLake,L\nOval,O\nRoad,R\nTwin,T\n";

constexpr char kBna[] =
    "\"Chicago\",\"IL\",1\n-87.6298,41.8781\n"
    "\"Seg\",\"S\",2\n0,0\n1,1\n"
    "\"Road\",\"R\",-2\n-87.5,41.5\n-87.25,41.75\n"
    "\"Lake\",\"L\",10\n-88,41\n-87,41\n-87,42\n-88,42\n-88,41\n"
    "-87.75,41.25\n-87.25,41.25\n-87.5,41.75\n-87.75,41.25\n-88,41\n";

class TextImportCapi : public CapiTest {
 protected:
  void SetUp() override {
    CapiTest::SetUp();
    WriteText(Path("sample.mif"), kMif);
    WriteText(Path("sample.mid"), kMid);
    WriteText(Path("sample.bna"), kBna);
  }
  int Init(const std::string& file) { return StartImport(file, FileInfo(1000, 10, 1)); }

  // The name of the containing search's first hit at (x, y) ("" for none)
  // with its object record.
  std::string Hit(int file, int x, int y, pipObjectInfoStruct* info) {
    char name[PIP_NAME_SIZE] = "junk";
    const int rc = pipObjectFindFirstContaining(file, x, y, 0, name, sizeof name);
    if (rc > 0) {
      EXPECT_EQ(pipObjectGetInfo(file, info), 1);
    }
    return name;
  }
  // The object named `name` (exact), made current; its record.
  pipObjectInfoStruct Named(int file, const char* name) {
    pipObjectInfoStruct info;
    std::memset(&info, 0, sizeof info);
    char found[PIP_NAME_SIZE] = "";
    EXPECT_EQ(pipObjectFindFirstName(file, name, found, sizeof found), 1) << name;
    EXPECT_STREQ(found, name);
    EXPECT_EQ(pipObjectGetInfo(file, &info), 1) << name;
    return info;
  }
  pipObjectFileInfoStruct Query(int file) {
    pipObjectFileInfoStruct query;
    EXPECT_EQ(pipObjectHandleFileQuery(file, &query), 1);
    return query;
  }
};

// The import options: refused when unknown or late, kept otherwise; with
// them the MIF ordinals are the MID rows (the skipped ellipse counts, the
// Pen clause does not replace it) and a coordinate that is no number fails
// the read at its line.
TEST_F(TextImportCapi, ImportOptionsAreCheckedAndApplied) {
  const int imp = Init("opt.obj");
  ASSERT_GT(imp, 0);
  int flags = -1;
  EXPECT_EQ(pipImportSetOptions(imp, 0x100), -1);
  EXPECT_EQ(Code(), 106);
  ASSERT_EQ(pipImportSetOptions(imp, PIP_IMPORT_OPT_ALL), 1);
  EXPECT_EQ(pipImportGetOptions(imp, &flags), 1);
  EXPECT_EQ(flags, PIP_IMPORT_OPT_ALL);
  ASSERT_EQ(pipImportOpenMIF(imp, Path("sample.mif").c_str(), "NAME"), 1);
  EXPECT_EQ(pipImportSetOptions(imp, 0), -1);
  EXPECT_EQ(Code(), 100);
  EXPECT_EQ(ReadAll(imp).back().second, 0);
  ASSERT_EQ(Term(imp, 1), 1);
  const int file = Open("opt.obj");
  ASSERT_GT(file, 0);
  EXPECT_EQ(Named(file, "Lake").penColor, 2);
  EXPECT_EQ(Named(file, "Road").penColor, 4);  // not the Pen clause's 255
  EXPECT_EQ(Named(file, "Twin").penColor, 5);
  pipObjectFileExtraInfoStruct extra;
  EXPECT_EQ(pipObjectHandleFileQueryEx(file, &extra), -1) << "no extension block, no stamp";
  EXPECT_EQ(Close(file), 1);

  WriteText(Path("nan.mif"), "Version 300\nData\nPoint 1 2\nPoint nan 2\n");
  WriteText(Path("nan.mid"), "a\nb\n");
  const int strict = Init("nan.obj");
  ASSERT_EQ(pipImportSetOptions(strict, PIP_IMPORT_OPT_STRICT), 1);
  ASSERT_EQ(pipImportOpenMIF(strict, Path("nan.mif").c_str(), ""), 1);
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipImportRead(strict, name, sizeof name, nullptr, nullptr), 1);
  EXPECT_EQ(pipImportRead(strict, name, sizeof name, nullptr, nullptr), -1);
  ExpectError(100, "Error: Invalid coordinate 'nan'.\nFile: " + Path("nan.mif") + "\nLine: 4");
  EXPECT_EQ(Term(strict, 0), 1);
}

TEST_F(TextImportCapi, OpenersRefuseBadHandlesAndMissingFiles) {
  EXPECT_EQ(pipImportOpenMIF(0, "sample.mif", "NAME"), -1);
  EXPECT_EQ(pipImportOpenMIF2(lib_, "sample.mif", "NAME", "CODE"), -1);  // not an import handle
  EXPECT_EQ(pipImportOpenBNA(12345, "sample.bna", 1), -1);
  const int imp = Init("x.obj");
  ASSERT_GT(imp, 0);
  EXPECT_EQ(pipImportOpenMIF(imp, "missing.mif", "NAME"), -1);
  EXPECT_GT(Code(), 0);
  EXPECT_LT(Code(), 100) << "the system's error number";
  EXPECT_EQ(pipImportOpenBNA(imp, nullptr, 1), -1);
  EXPECT_EQ(pipImportOpenMIF(imp, nullptr, "NAME"), -1);
}

// A new reader replaces the old one, whose pending object is lost.
TEST_F(TextImportCapi, OpeningAnotherReaderDropsThePendingObject) {
  const int imp = Init("swap.obj");
  ASSERT_GT(imp, 0);
  ASSERT_EQ(pipImportOpenMIF(imp, "sample.mif", "NAME"), 1);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipImportRead(imp, name, sizeof name, nullptr, nullptr), 1);  // the point, pending
  ASSERT_EQ(pipImportOpenBNA(imp, "sample.bna", 1), 1);
  EXPECT_EQ(ReadAll(imp).back().second, 0);
  ASSERT_EQ(Term(imp, 1), 1);
  const int file = Open("swap.obj");
  ASSERT_GT(file, 0);
  const pipObjectFileInfoStruct query = Query(file);
  EXPECT_EQ(query.numPointObjects, 1) << "the BNA point only";
  EXPECT_EQ(query.numRegionObjects, 1);
}

}  // namespace
