#include "storage/iofile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteText;

// Every line ReadLine hands out until it returns -1.
std::vector<std::string> ReadAll(IOFile& in) {
  std::vector<std::string> lines;
  char buf[IOFile::kLineBufferSize];
  for (int32_t n; (n = in.ReadLine(buf)) >= 0;) {
    EXPECT_EQ(static_cast<size_t>(n), std::string(buf).size());
    lines.emplace_back(buf, static_cast<size_t>(n));
  }
  return lines;
}

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == 26) {
      out += "^Z";
    } else {
      out += c;
    }
  }
  return out;
}

TEST(IOFileLineEnd, DecidedByTheFirstCrAndLf) {
  struct Row {
    std::string text;
    IOFile::LineEnd kind;
  };
  const Row rows[] = {
      {"a\rb", IOFile::LineEnd::kCR},
      {"a\nb", IOFile::LineEnd::kLF},
      {"a\r\nb", IOFile::LineEnd::kCRLF},
      {"\r\n", IOFile::LineEnd::kCRLF},
      {"a\n\rb", IOFile::LineEnd::kLF},
      {"a\rb\r\n", IOFile::LineEnd::kCR},
      {"a\nb\r\n", IOFile::LineEnd::kLF},
      {std::string(511, 'x') + "\r", IOFile::LineEnd::kCR},
      {std::string(510, 'x') + "\r\n", IOFile::LineEnd::kCRLF},
      {std::string(511, 'x') + "\r\n", IOFile::LineEnd::kCR},  // LF beyond the probe
  };
  ScopedTempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(Printable(row.text.substr(row.text.size() > 8 ? row.text.size() - 8 : 0)));
    WriteText(dir.File("t.txt"), row.text);
    QError err;
    IOFile in(dir.File("t.txt").c_str(), err);
    EXPECT_FALSE(in.failed());
    EXPECT_EQ(in.line_end(), row.kind);
  }
}

TEST(IOFileLineEnd, NoDelimiterInTheFirst512BytesIsRejected) {
  ScopedTempDir dir;
  for (const std::string& text : {std::string(512, 'x') + "\n", std::string()}) {
    const std::string path = dir.File("t.txt");
    WriteText(path, text);
    QError err;
    IOFile in(path.c_str(), err);
    EXPECT_TRUE(in.failed());
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(err.code(), 100);
    EXPECT_EQ(std::string(err.detail()),
              "File does not have CR, LF, or CR/LF line delimiters.\n" + path);
    char buf[IOFile::kLineBufferSize];
    EXPECT_EQ(in.ReadLine(buf), -1);
    EXPECT_STREQ(buf, "");
    EXPECT_TRUE(in.failed());
  }
}

TEST(IOFileOpen, MissingFileFails) {
  ScopedTempDir dir;
  QError err;
  IOFile in(dir.File("none.txt").c_str(), err);
  EXPECT_TRUE(in.failed());
  EXPECT_TRUE(in.at_end());
  EXPECT_EQ(err.code(), ENOENT);
}

struct LinesRow {
  const char* what;
  std::string text;
  std::vector<std::string> lines;
};

std::vector<LinesRow> LineRows() {
  return {
      {"LF", "ab\ncd\n", {"ab", "cd"}},
      {"LF without final end", "ab\ncd", {"ab", "cd"}},
      {"LF empty lines", "\n\nab\n\n", {"", "", "ab", ""}},
      {"CR stored in LF files", "x\na\rb\n", {"x", "a\rb"}},
      {"CR", "ab\rcd\r", {"ab", "cd"}},
      {"LF stored in CR files", "x\ra\nb\r", {"x", "a\nb"}},
      {"CRLF", "ab\r\ncd\r\n\r\nef", {"ab", "cd", "", "ef"}},
      {"Ctrl-Z ends the input",
       "ab\ncd\x1a"
       "ef\ngh\n",
       {"ab", "cd"}},
      {"Ctrl-Z at a line start",
       "ab\n\x1a"
       "cd\n",
       {"ab"}},
      {"Ctrl-Z after CRLF", "ab\r\n\x1a", {"ab"}},
  };
}

TEST(IOFileReadLine, SplitsLinesByTheirKind) {
  ScopedTempDir dir;
  for (const LinesRow& row : LineRows()) {
    SCOPED_TRACE(std::string(row.what) + ": " + Printable(row.text));
    WriteText(dir.File("t.txt"), row.text);
    QError err;
    IOFile in(dir.File("t.txt").c_str(), err);
    EXPECT_EQ(ReadAll(in), row.lines);
    EXPECT_FALSE(in.failed());
    EXPECT_TRUE(in.at_end());
    EXPECT_EQ(err.code(), -1);
  }
}

TEST(IOFileReadLine, TinyBuffersGiveTheSameLines) {
  ScopedTempDir dir;
  for (uint16_t size : {1, 2, 3, 5}) {
    for (const LinesRow& row : LineRows()) {
      SCOPED_TRACE(std::string(row.what) + ", buffer " + std::to_string(size));
      WriteText(dir.File("t.txt"), row.text);
      QError err;
      IOFile in(dir.File("t.txt").c_str(), err, size);
      EXPECT_EQ(ReadAll(in), row.lines);
      EXPECT_FALSE(in.failed());
    }
  }
}

TEST(IOFileReadLine, RandomTextMatchesASplitModel) {
  const unsigned seed = 777;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const char* const ends[] = {"\r", "\n", "\r\n"};
  ScopedTempDir dir;
  for (int round = 0; round < 30; ++round) {
    const int kind = round % 3;
    std::vector<std::string> lines(1 + rng() % 200);
    std::string text;
    for (std::string& line : lines) {
      line.resize(rng() % 120);
      for (char& c : line) c = static_cast<char>('a' + rng() % 26);
      text += line + ends[kind];
    }
    WriteText(dir.File("r.txt"), text);
    const uint16_t size = static_cast<uint16_t>(1 + rng() % 700);
    QError err;
    IOFile in(dir.File("r.txt").c_str(), err, size);
    ASSERT_EQ(static_cast<int>(in.line_end()), kind + 1);
    EXPECT_EQ(ReadAll(in), lines) << "round " << round << " buffer " << size;
    EXPECT_EQ(in.characters_read(), text.size());
    EXPECT_EQ(in.line_number(), lines.size() + 1);
  }
}

TEST(IOFileReadLine, CtrlZReturnsTheCharactersBeforeIt) {
  ScopedTempDir dir;
  WriteText(dir.File("z.txt"),
            "ab\ncd\x1a"
            "ef\n");
  QError err;
  IOFile in(dir.File("z.txt").c_str(), err);
  char buf[IOFile::kLineBufferSize];
  EXPECT_EQ(in.ReadLine(buf), 2);
  EXPECT_EQ(in.ReadLine(buf), 2);
  EXPECT_STREQ(buf, "cd");
  EXPECT_TRUE(in.at_end());
  EXPECT_EQ(in.ReadLine(buf), -1);
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(in.failed());
}

struct FailureRow {
  const char* what;
  std::string text;
  int good_lines;
  std::string detail;  // "%s" stands for the file name
};

TEST(IOFileReadLine, FailuresNameTheFileAndLine) {
  const std::string long_ok(2047, 'a');
  const std::string too_long(2048, 'b');
  const FailureRow rows[] = {
      {"bare LF in CRLF", "ab\r\ncd\nef\r\n", 1, "LF without CR in input file:\n%s\nLine: 2"},
      {"bare CR in CRLF", "ab\r\ncd\r\r\nxx\r\n", 1, "CR without LF in input file:\n%s\nLine: 2"},
      {"CR at the end of a CRLF file", "ab\r\ncd\r", 1,
       "CR without LF in input file:\n%s\nLine: 2"},
      {"2048 characters", "x\n" + long_ok + "\n" + too_long + "\n", 2,
       "Maximum line length of 2047 is\nshorter than line 3. "},
      {"2048 characters without an end", "x\n" + too_long, 1,
       "Maximum line length of 2047 is\nshorter than line 2. "},
  };
  ScopedTempDir dir;
  const std::string path = dir.File("f.txt");
  for (const FailureRow& row : rows) {
    SCOPED_TRACE(row.what);
    WriteText(path, row.text);
    QError err;
    IOFile in(path.c_str(), err, 64);
    char buf[IOFile::kLineBufferSize];
    for (int i = 0; i < row.good_lines; ++i) {
      EXPECT_GE(in.ReadLine(buf), 0) << "line " << i + 1;
    }
    EXPECT_EQ(err.code(), -1);
    EXPECT_EQ(in.ReadLine(buf), -1);
    EXPECT_TRUE(in.failed());
    EXPECT_TRUE(in.at_end());
    EXPECT_LT(std::string(buf).size(), IOFile::kLineBufferSize);
    std::string detail = row.detail;
    const size_t at = detail.find("%s");
    if (at != std::string::npos) detail.replace(at, 2, path);
    EXPECT_EQ(err.code(), 100);
    EXPECT_EQ(std::string(err.detail()), detail);
    // The reader stays failed.
    EXPECT_EQ(in.ReadLine(buf), -1);
    EXPECT_TRUE(in.failed());
  }
}

TEST(IOFileReadLine, LineOf2047CharactersIsRead) {
  ScopedTempDir dir;
  const std::string line(2047, 'q');
  WriteText(dir.File("l.txt"), "x\r\n" + line + "\r\n" + line);
  QError err;
  IOFile in(dir.File("l.txt").c_str(), err);
  char buf[IOFile::kLineBufferSize];
  EXPECT_EQ(in.ReadLine(buf), 1);
  EXPECT_EQ(in.ReadLine(buf), 2047);
  EXPECT_EQ(std::string(buf), line);
  EXPECT_EQ(in.ReadLine(buf), 2047);
  EXPECT_EQ(in.ReadLine(buf), -1);
  EXPECT_FALSE(in.failed());
}

TEST(IOFileReadLine, NullDestinationIsABadRequest) {
  ScopedTempDir dir;
  WriteText(dir.File("n.txt"), "a\n");
  QError err;
  IOFile in(dir.File("n.txt").c_str(), err);
  EXPECT_EQ(in.ReadLine(nullptr), -1);
  EXPECT_EQ(err.code(), 100);
}

TEST(IOFileReadLine, LineNumbersCountReadLines) {
  ScopedTempDir dir;
  WriteText(dir.File("n.txt"), "a\nb\nc\n");
  QError err;
  IOFile in(dir.File("n.txt").c_str(), err);
  char buf[IOFile::kLineBufferSize];
  EXPECT_EQ(in.line_number(), 0u);
  in.ReadLine(buf);
  in.ReadLine(buf);
  EXPECT_EQ(in.line_number(), 2u);
  EXPECT_EQ(in.characters_read(), 4u);
}

}  // namespace
