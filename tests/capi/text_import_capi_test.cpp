// The MIF/MID and BNA import as callers see it: pipImportOpenMIF,
// pipImportOpenMIF2 and pipImportOpenBNA on an import handle, pipImportRead
// to the end, then the object file read back through the object-file
// functions.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
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

class TextImportCapi : public ::testing::Test {
 protected:
  TextImportCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
    WriteText(dir_.File("sample.mif"), kMif);
    WriteText(dir_.File("sample.mid"), kMid);
    WriteText(dir_.File("sample.bna"), kBna);
  }
  void TearDown() override {
    for (int h : imports_) EXPECT_EQ(pipImportTerm(h, 0), -1) << "import handle " << h << " leaked";
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), -1) << "file handle " << h << " leaked";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  int Init(const std::string& file) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 1000;
    info.maxParts = 10;
    info.coordType = 1;
    int h = 0;
    if (pipImportInit(lib_, dir_.File(file).c_str(), &info, &h) != 1) return 0;
    imports_.insert(h);
    return h;
  }
  int Term(int h, int commit) {
    imports_.erase(h);
    return pipImportTerm(h, commit);
  }
  int OpenFile(const std::string& file) {
    int h = 0;
    if (pipObjectFileOpen(lib_, dir_.File(file).c_str(), 0, &h) != 1) return 0;
    files_.insert(h);
    return h;
  }
  int CloseFile(int h) {
    files_.erase(h);
    return pipObjectFileClose(h);
  }
  int ErrorCode(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }

  struct Read {
    int result;
    std::string name;
  };
  // pipImportRead until 0 or -1.
  std::vector<Read> ReadAll(int h, int* percent = nullptr) {
    std::vector<Read> out;
    for (int i = 0; i < 100; ++i) {
      char name[PIP_NAME_SIZE];
      int p = -1;
      int line = -1;
      const int rc = pipImportRead(h, name, sizeof name, &p, &line);
      out.push_back(Read{rc, name});
      if (percent != nullptr) *percent = p;
      if (rc <= 0) break;
    }
    return out;
  }

  // The containing search's first hit at (x, y) and its object record.
  int Containing(int file, int x, int y, std::string* name, pipObjectInfoStruct* info) {
    char buffer[PIP_NAME_SIZE] = "junk";
    const int rc = pipObjectFindFirstContaining(file, x, y, 0, buffer, sizeof buffer);
    *name = buffer;
    if (rc > 0) {
      EXPECT_EQ(pipObjectGetInfo(file, info), 1);
    }
    return rc;
  }

  struct Shape {
    std::vector<int> parts;
    std::vector<int> xy;
  };
  // The current object's coordinates.
  Shape Coords(int file) {
    Shape shape;
    int num_points = -1;
    int num_parts = -1;
    EXPECT_EQ(pipObjectGetNumCoords(file, &num_points, &num_parts), 1);
    if (num_points < 0 || num_parts < 0) return shape;
    shape.xy.assign(static_cast<std::size_t>(num_points) * 2 + 2, 0);
    shape.parts.assign(static_cast<std::size_t>(num_parts) + 1, 0);
    int parts = -1;
    EXPECT_EQ(pipObjectGetCoords(file, shape.xy.data(), num_points + 1, shape.parts.data(),
                                 num_parts + 1, &parts),
              1);
    shape.xy.resize(static_cast<std::size_t>(num_points) * 2);
    shape.parts.resize(static_cast<std::size_t>(parts < 0 ? 0 : parts));
    return shape;
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

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> imports_;
  std::set<int> files_;
};

TEST_F(TextImportCapi, MifImportReadsBack) {
  const int imp = Init("mif.obj");
  ASSERT_GT(imp, 0);
  ASSERT_EQ(pipImportOpenMIF2(imp, dir_.File("sample.MIF").c_str(), "name", "CODE"), -1);
  ASSERT_EQ(pipImportOpenMIF2(imp, dir_.File("sample.mid").c_str(), "name", "CODE"), 1);
  int percent = -1;
  const auto reads = ReadAll(imp, &percent);
  const std::vector<int> results = {1, 1, 2, 1, 1, 0};
  const std::vector<std::string> names = {"Chicago, IL", "Lake", "Oval", "Road", "Twin", "Twin"};
  ASSERT_EQ(reads.size(), results.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].result, results[i]) << i;
    EXPECT_EQ(reads[i].name, names[i]) << i;
  }
  EXPECT_EQ(percent, 100);
  EXPECT_EQ(pipImportClose(imp), 1);
  ASSERT_EQ(Term(imp, 1), 1);

  const int file = OpenFile("mif.obj");
  ASSERT_GT(file, 0);
  pipObjectFileInfoStruct query;
  ASSERT_EQ(pipObjectHandleFileQuery(file, &query), 1);
  EXPECT_EQ(query.numPointObjects, 1);
  EXPECT_EQ(query.numLineObjects, 1);
  EXPECT_EQ(query.numRegionObjects, 2);
  EXPECT_EQ(query.coordType, 1);
  EXPECT_EQ(query.maxParts, 2);

  std::string name;
  pipObjectInfoStruct info;
  ASSERT_EQ(Containing(file, -87500000, 41250000, &name, &info), 1);
  EXPECT_EQ(name, "Lake");
  EXPECT_EQ(info.type, 0);
  EXPECT_STREQ(info.name2, "L");
  EXPECT_EQ(info.penColor, 2);  // the second object read
  EXPECT_EQ(info.brushPattern, 2);
  EXPECT_EQ(info.brushForeground, 16777215);
  EXPECT_EQ(info.brushBackground, 255);
  EXPECT_EQ(info.minX, -88000001);
  EXPECT_EQ(info.maxY, 42000001);
  EXPECT_EQ(info.x, -87500000);
  EXPECT_EQ(info.y, 41500000);
  char next[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindNext(file, next, sizeof next), 0);

  // Both rings of the second region contain points; nothing lies between.
  ASSERT_EQ(Containing(file, -79700000, 30200000, &name, &info), 1);
  EXPECT_EQ(name, "Twin");
  EXPECT_EQ(info.penColor, 4);
  ASSERT_EQ(Containing(file, -69700000, 20200000, &name, &info), 1);
  EXPECT_EQ(name, "Twin");
  EXPECT_EQ(Containing(file, -75000000, 25000000, &name, &info), 0);

  // Every object by name, with its coordinates.
  info = Named(file, "Chicago, IL");
  EXPECT_EQ(info.type, 2);
  EXPECT_EQ(info.x, -87629800);
  EXPECT_EQ(info.y, 41878100);
  EXPECT_EQ(info.penPattern, 35);  // symbol shape
  EXPECT_EQ(info.penWidth, 12);    // symbol size
  EXPECT_EQ(info.penColor, 0);     // the Symbol clause's colour
  info = Named(file, "Road");
  EXPECT_EQ(info.type, 1);
  EXPECT_STREQ(info.name2, "R");
  EXPECT_EQ(info.penWidth, 1);
  EXPECT_EQ(info.penPattern, 2);
  EXPECT_EQ(info.penColor, 255);
  Shape shape = Coords(file);
  EXPECT_EQ(shape.parts, std::vector<int>{2});
  EXPECT_EQ(shape.xy, (std::vector<int>{-87500000, 41500000, -87250000, 41750000}));
  Named(file, "Lake");
  shape = Coords(file);
  EXPECT_EQ(shape.parts, std::vector<int>{4});  // the closing copy dropped
  EXPECT_EQ(shape.xy, (std::vector<int>{-88000000, 41000000, -87000000, 41000000, -87000000,
                                        42000000, -88000000, 42000000}));
  Named(file, "Twin");
  shape = Coords(file);
  EXPECT_EQ(shape.parts, (std::vector<int>{3, 3}));
  EXPECT_EQ(shape.xy,
            (std::vector<int>{-80000000, 30000000, -79000000, 30000000, -79000000, 31000000,
                              -70000000, 20000000, -69000000, 20000000, -69000000, 21000000}));
  char none[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindFirstName(file, "Oval", none, sizeof none), 0);  // skipped
  EXPECT_EQ(CloseFile(file), 1);
}

TEST_F(TextImportCapi, BnaImportReadsBack) {
  const int imp = Init("bna.obj");
  ASSERT_GT(imp, 0);
  ASSERT_EQ(pipImportOpenBNA(imp, dir_.File("sample.bna").c_str(), 2), 1);
  const auto reads = ReadAll(imp);
  const std::vector<int> results = {1, 2, 1, 1, 0};
  const std::vector<std::string> names = {"IL", "S", "R", "L", "L"};
  ASSERT_EQ(reads.size(), results.size());
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_EQ(reads[i].result, results[i]) << i;
    EXPECT_EQ(reads[i].name, names[i]) << i;
  }
  ASSERT_EQ(Term(imp, 1), 1);

  const int file = OpenFile("bna.obj");
  ASSERT_GT(file, 0);
  pipObjectFileInfoStruct query;
  ASSERT_EQ(pipObjectHandleFileQuery(file, &query), 1);
  EXPECT_EQ(query.numPointObjects, 1);
  EXPECT_EQ(query.numLineObjects, 1);
  EXPECT_EQ(query.numRegionObjects, 1);
  EXPECT_EQ(query.maxPoints, 7);  // 4 + 3: closing points and the marker dropped

  std::string name;
  pipObjectInfoStruct info;
  ASSERT_EQ(Containing(file, -87900000, 41900000, &name, &info), 1);
  EXPECT_EQ(name, "L");
  EXPECT_EQ(info.type, 0);
  EXPECT_EQ(info.penColor, 0);  // BNA objects carry colour 0
  EXPECT_STREQ(info.name2, "");
  // Inside the second ring, the hole, is outside the region.
  EXPECT_EQ(Containing(file, -87500000, 41400000, &name, &info), 0);

  Named(file, "L");
  Shape shape = Coords(file);
  EXPECT_EQ(shape.parts, (std::vector<int>{4, 3}));
  EXPECT_EQ(shape.xy, (std::vector<int>{-88000000, 41000000, -87000000, 41000000, -87000000,
                                        42000000, -88000000, 42000000, -87750000, 41250000,
                                        -87250000, 41250000, -87500000, 41750000}));
  info = Named(file, "IL");
  EXPECT_EQ(info.type, 2);
  EXPECT_EQ(info.x, -87629800);  // converted from the text, no rounding on the way
  EXPECT_EQ(info.y, 41878100);
  info = Named(file, "R");
  EXPECT_EQ(info.type, 1);
  shape = Coords(file);
  EXPECT_EQ(shape.xy, (std::vector<int>{-87500000, 41500000, -87250000, 41750000}));
  char none[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindFirstName(file, "S", none, sizeof none), 0);  // skipped
  EXPECT_EQ(CloseFile(file), 1);
}

TEST_F(TextImportCapi, OpenersRefuseBadHandlesAndMissingFiles) {
  EXPECT_EQ(pipImportOpenMIF(0, "sample.mif", "NAME"), -1);
  EXPECT_EQ(pipImportOpenMIF2(lib_, "sample.mif", "NAME", "CODE"), -1);  // not an import handle
  EXPECT_EQ(pipImportOpenBNA(12345, "sample.bna", 1), -1);
  const int imp = Init("x.obj");
  ASSERT_GT(imp, 0);
  EXPECT_EQ(pipImportOpenMIF(imp, dir_.File("missing.mif").c_str(), "NAME"), -1);
  EXPECT_GT(ErrorCode(), 0);
  EXPECT_LT(ErrorCode(), 100);
  EXPECT_EQ(pipImportRead(imp, nullptr, 0, nullptr, nullptr), -1);  // no reader
  EXPECT_EQ(pipImportOpenBNA(imp, nullptr, 1), -1);
  EXPECT_EQ(pipImportOpenMIF(imp, nullptr, "NAME"), -1);
  EXPECT_EQ(Term(imp, 0), 1);
}

TEST_F(TextImportCapi, WarningsLeaveTheOpenStanding) {
  const int imp = Init("w.obj");
  ASSERT_GT(imp, 0);
  std::string detail;
  ASSERT_EQ(pipImportOpenMIF(imp, dir_.File("sample.mif").c_str(), nullptr), 1);
  EXPECT_EQ(ErrorCode(&detail), 106);
  EXPECT_EQ(detail, "WARNING: Invalid nameField parameter. Parameter set to first column.");
  ASSERT_EQ(pipImportOpenMIF2(imp, dir_.File("sample").c_str(), "NAME", "POP"), -1);  // .MIF
  ASSERT_EQ(pipImportOpenMIF2(imp, dir_.File("sample.mif").c_str(), "NAME", "POP"), 1);
  EXPECT_EQ(ErrorCode(&detail), 106);
  EXPECT_EQ(
      detail,
      "WARNING: nameField2 parameter specified not found. No secondary name will be written.");
  ASSERT_EQ(pipImportOpenBNA(imp, dir_.File("sample.bna").c_str(), 7), 1);
  EXPECT_EQ(ErrorCode(&detail), 106);
  EXPECT_EQ(detail, "WARNING: Invalid nameField parameter. Parameter set to 1.");
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipImportRead(imp, name, sizeof name, nullptr, nullptr), 1);
  EXPECT_STREQ(name, "Chicago");
  EXPECT_EQ(Term(imp, 0), 1);
}

TEST_F(TextImportCapi, DataErrorFailsTheRead) {
  WriteText(dir_.File("bad.mif"), "Version 300\nData\nPoint 1 2\nPline 2\n1 2\n3\n");
  WriteText(dir_.File("bad.mid"), "a\nb\n");
  const int imp = Init("bad.obj");
  ASSERT_GT(imp, 0);
  ASSERT_EQ(pipImportOpenMIF(imp, dir_.File("bad.mif").c_str(), ""), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int line = 0;
  EXPECT_EQ(pipImportRead(imp, name, sizeof name, &percent, &line), 1);
  EXPECT_EQ(line, 3);
  EXPECT_EQ(pipImportRead(imp, name, sizeof name, &percent, &line), -1);
  EXPECT_STREQ(name, "");
  std::string detail;
  EXPECT_EQ(ErrorCode(&detail), 100);
  EXPECT_EQ(detail, "Error: Syntax error in object.\nFile: " + dir_.File("bad.mif") + "\nLine: 6");
  EXPECT_EQ(pipImportRead(imp, name, sizeof name, &percent, &line), -1);
  EXPECT_EQ(Term(imp, 0), 1);
}

// A new reader replaces the old one, whose pending object is lost.
TEST_F(TextImportCapi, OpeningAnotherReaderDropsThePendingObject) {
  const int imp = Init("swap.obj");
  ASSERT_GT(imp, 0);
  ASSERT_EQ(pipImportOpenMIF(imp, dir_.File("sample.mif").c_str(), "NAME"), 1);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipImportRead(imp, name, sizeof name, nullptr, nullptr), 1);  // the point, pending
  ASSERT_EQ(pipImportOpenBNA(imp, dir_.File("sample.bna").c_str(), 1), 1);
  const auto reads = ReadAll(imp);
  EXPECT_EQ(reads.back().result, 0);
  ASSERT_EQ(Term(imp, 1), 1);
  const int file = OpenFile("swap.obj");
  ASSERT_GT(file, 0);
  pipObjectFileInfoStruct query;
  ASSERT_EQ(pipObjectHandleFileQuery(file, &query), 1);
  EXPECT_EQ(query.numPointObjects, 1);  // the BNA point only
  EXPECT_EQ(query.numRegionObjects, 1);
  EXPECT_EQ(CloseFile(file), 1);
}

}  // namespace
