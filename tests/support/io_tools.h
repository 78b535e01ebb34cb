// Helpers of the file-format tests: running the independent readers (GDAL's
// ogrinfo/ogr2ogr, shapelib's shpdump/dbfdump) and parsing what they print,
// silencing or capturing standard error, byte encoders, hand-made shapefile
// members and damage sweeps over a file's bytes.  Standard library and
// GoogleTest only.
#ifndef LUMETRA_TESTS_SUPPORT_IO_TOOLS_H
#define LUMETRA_TESTS_SUPPORT_IO_TOOLS_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lumetra_test {

using Bytes = std::vector<std::uint8_t>;

// --- independent readers ---

// True when `tool` is found on the PATH.
bool HaveTool(const char* tool);
// Runs a shell command and returns its standard output.
std::string RunTool(const std::string& command);
// A path below the root of the source tree ("data/us_states").
std::string SourcePath(const std::string& relative);

// One feature as `ogrinfo -al` prints it.
struct OgrFeature {
  std::map<std::string, std::string> fields;  // "(String)" fields only
  std::string geometry;                       // POINT, LINESTRING, POLYGON, MULTIPOLYGON, ...
  std::vector<double> numbers;                // every coordinate of the geometry, in order
};
std::vector<OgrFeature> ParseOgrinfo(const std::string& text);
// The "Feature Count: N" of ogrinfo's summary, or -1.
long OgrFeatureCount(const std::string& text);

// --- standard error ---

// Standard error sent to /dev/null for the object's life (the db* and
// Shape* routines print every failure there).
class QuietStderr {
 public:
  QuietStderr();
  ~QuietStderr();
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_;
};

// What `call` printed to standard error.
template <typename Call>
std::string StderrOf(Call call) {
  testing::internal::CaptureStderr();
  call();
  return testing::internal::GetCapturedStderr();
}

inline bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Expects `call` to return -1 and to print `text` to standard error: the
// whole output, or its beginning when `prefix_only`.
template <typename Call>
void ExpectFailureText(Call call, const std::string& text, bool prefix_only = false) {
  int result = 0;
  const std::string printed = StderrOf([&] { result = call(); });
  EXPECT_EQ(result, -1) << text;
  if (prefix_only) {
    EXPECT_TRUE(StartsWith(printed, text)) << printed;
  } else {
    EXPECT_EQ(printed, text);
  }
}

// --- bytes ---

void AppendBe32(Bytes* b, std::uint32_t v);
void AppendLe32(Bytes* b, std::uint32_t v);
void AppendLeDouble(Bytes* b, double v);
std::uint32_t ReadBe32(const Bytes& b, std::size_t at);

// Calls `run` with every proper prefix of `original` (length 0 to size - 1).
void ForEachTruncation(const Bytes& original,
                       const std::function<void(const Bytes& cut, std::size_t length)>& run);
// Calls `run` for every `stride`-th offset of `original` with the byte there
// replaced by each of `values`, or inverted when `values` is empty.
void ForEachByteChange(const Bytes& original, const std::vector<std::uint8_t>& values,
                       std::size_t stride,
                       const std::function<void(const Bytes& changed, std::size_t offset)>& run);

// --- hand-made shapefiles: any record type and any damage ---

// A 100-byte main header: file code 9994, length, version 1000, type, box.
Bytes ShpMainHeader(std::uint32_t length_words, int type, const double box[4]);
Bytes ShpPointContent(double x, double y);
Bytes ShpNullContent();
// A poly record of `type` with counts and part starts taken from `parts`
// (x, y pairs each) and the box {0, 0, 1, 1}.
Bytes ShpPolyContent(int type, const std::vector<std::vector<double>>& parts);
// A polygon record with the counts and starts given (which may lie).
Bytes ShpRawPolyContent(int parts, int points, const std::vector<int>& starts,
                        const std::vector<double>& xy);
Bytes ShpMultiPointContent(const std::vector<double>& xy);

// The .shp and .shx members of a file of hand-made record contents.
class ShapefileBytes {
 public:
  void Add(const Bytes& content);
  // Writes base.shp and base.shx with the main header type `type`.
  void Save(const std::string& base, int type) const;

  Bytes shp_records;  // record headers and contents, after the main header
  Bytes shx_records;

 private:
  int next_ = 1;
};

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_IO_TOOLS_H
