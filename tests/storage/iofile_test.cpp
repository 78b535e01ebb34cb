#include "storage/iofile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "support/test_files.h"

namespace {

// Every line ReadLine hands out until it returns -1.
std::vector<std::string> ReadAll(IOFile& in) {
  std::vector<std::string> lines;
  char buf[IOFile::kLineBufferSize];
  for (int32_t n; (n = in.ReadLine(buf)) >= 0;) {
    EXPECT_EQ(static_cast<size_t>(n), std::string(buf).size());
    lines.emplace_back(buf, static_cast<size_t>(n));
  }
  EXPECT_STREQ(buf, "");  // the end hands out an empty line
  return lines;
}

class IOFileTest : public testing::Test {
 protected:
  // Writes `text` and opens a reader on it.
  IOFile& Open(const std::string& text, uint16_t buffer_size = IOFile::kBufferSize) {
    lumetra_test::WriteText(path_, text);
    err_.Clear();
    in_ = std::make_unique<IOFile>(path_.c_str(), err_, buffer_size);
    return *in_;
  }

  lumetra_test::ScopedTempDir dir_;
  std::string path_ = dir_.File("t.txt");
  QError err_;
  std::unique_ptr<IOFile> in_;
};

TEST_F(IOFileTest, MissingFileOrNoDelimiterInTheFirst512BytesFails) {
  for (const std::string& text : {std::string(512, 'x') + "\n", std::string()}) {
    IOFile& in = Open(text);
    EXPECT_TRUE(in.failed());
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(std::string(err_.detail()),
              "File does not have CR, LF, or CR/LF line delimiters.\n" + path_);
    EXPECT_TRUE(ReadAll(in).empty());
    EXPECT_TRUE(in.failed());
  }
  QError err;
  IOFile missing(dir_.File("none.txt").c_str(), err);
  EXPECT_TRUE(missing.failed());
  EXPECT_TRUE(missing.at_end());
  EXPECT_EQ(err.code(), ENOENT);
}

TEST_F(IOFileTest, CtrlZEndsTheInputRightAfterTheCharactersBeforeIt) {
  IOFile& in = Open(
      "ab\ncd\x1a"
      "ef\n");
  char buf[IOFile::kLineBufferSize];
  EXPECT_EQ(in.line_number(), 0u);
  EXPECT_EQ(in.ReadLine(buf), 2);
  EXPECT_EQ(in.line_number(), 1u);
  EXPECT_EQ(in.characters_read(), 3u);
  EXPECT_FALSE(in.at_end());
  EXPECT_EQ(in.ReadLine(buf), 2);
  EXPECT_STREQ(buf, "cd");
  EXPECT_TRUE(in.at_end());
  EXPECT_EQ(in.line_number(), 2u);
  EXPECT_EQ(in.ReadLine(buf), -1);
  EXPECT_FALSE(in.failed());
  EXPECT_EQ(in.ReadLine(nullptr), -1);  // a bad request
  EXPECT_EQ(err_.code(), 100);
}

TEST_F(IOFileTest, RandomTextMatchesASplitModel) {
  const unsigned seed = 777;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const char* const ends[] = {"\r", "\n", "\r\n"};
  for (int round = 0; round < 30; ++round) {
    const int kind = round % 3;
    std::vector<std::string> lines(1 + rng() % 200);
    std::string text;
    for (std::string& line : lines) {
      line.resize(rng() % 120);
      for (char& c : line) c = static_cast<char>('a' + rng() % 26);
      text += line + ends[kind];
    }
    const uint16_t size = static_cast<uint16_t>(1 + rng() % 700);
    IOFile& in = Open(text, size);
    ASSERT_EQ(static_cast<int>(in.line_end()), kind + 1);
    EXPECT_EQ(ReadAll(in), lines) << "round " << round << " buffer " << size;
    EXPECT_EQ(in.characters_read(), text.size());
    EXPECT_EQ(in.line_number(), lines.size() + 1);
  }
}

TEST_F(IOFileTest, FailuresNameTheFileAndLineAndLast) {
  const std::string too_long(2048, 'b');
  const struct {
    const char* what;
    std::string text;
    int good_lines;
    std::string detail;  // "%s" stands for the file name
  } rows[] = {
      {"bare LF in CRLF", "ab\r\ncd\nef\r\n", 1, "LF without CR in input file:\n%s\nLine: 2"},
      {"bare CR in CRLF", "ab\r\ncd\r\r\nxx\r\n", 1, "CR without LF in input file:\n%s\nLine: 2"},
      {"CR at the end of a CRLF file", "ab\r\ncd\r", 1,
       "CR without LF in input file:\n%s\nLine: 2"},
      {"2048 characters", "x\n" + std::string(2047, 'a') + "\n" + too_long + "\n", 2,
       "Maximum line length of 2047 is\nshorter than line 3. "},
      {"2048 characters without an end", "x\n" + too_long, 1,
       "Maximum line length of 2047 is\nshorter than line 2. "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    IOFile& in = Open(row.text, 64);
    char buf[IOFile::kLineBufferSize];
    for (int i = 0; i < row.good_lines; ++i) EXPECT_GE(in.ReadLine(buf), 0) << "line " << i + 1;
    EXPECT_EQ(err_.code(), -1);
    EXPECT_EQ(in.ReadLine(buf), -1);
    EXPECT_TRUE(in.failed());
    EXPECT_TRUE(in.at_end());
    EXPECT_LT(std::string(buf).size(), IOFile::kLineBufferSize);
    std::string detail = row.detail;
    const size_t at = detail.find("%s");
    if (at != std::string::npos) detail.replace(at, 2, path_);
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(std::string(err_.detail()), detail);
    EXPECT_EQ(in.ReadLine(buf), -1);  // the reader stays failed
    EXPECT_TRUE(in.failed());
  }
}

}  // namespace
