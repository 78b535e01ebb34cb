#include "frame/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

TEST(QError, CodeTableMessages) {
  const struct {
    int code;
    const char* message;
  } rows[] = {
      {100, ""},
      {101, "Unknown error."},
      {102, "Invalid file signature."},
      {103, "Internal table overflow."},
      {104, "Insufficient memory."},
      {105, "File not found."},
      {106, "Invalid data passed to function."},
      {111, "Invalid checksum or file size."},
      {107, "Unknown error code."},
      {109, "Unknown error code."},
      {250, "Unknown error code."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    QError e;
    EXPECT_EQ(e.Set(row.code, "d", "mod.cpp", 7), row.code);
    EXPECT_EQ(e.code(), row.code);
    EXPECT_STREQ(e.message(), row.message);
    EXPECT_STREQ(e.detail(), "d");
    EXPECT_STREQ(e.location(), "Error recorded in: mod.cpp, (7).");
  }
}

TEST(QError, SystemCodeTakesCurrentErrnoText) {
  QError e;
  errno = ENOENT;
  e.Set(5, "x", "f", 1);
  EXPECT_EQ(e.code(), 5);
  EXPECT_STREQ(e.message(), std::strerror(ENOENT));
  EXPECT_EQ(std::strchr(e.message(), '\n'), nullptr);
}

TEST(QError, LongTextsAreCutAndNullDetailIsEmpty) {
  QError e;
  const std::string detail(300, 'd');
  const std::string file(200, 'f');
  e.Set(100, detail.c_str(), file.c_str(), 12345);
  EXPECT_EQ(std::string(e.detail()), detail.substr(0, 255));
  EXPECT_EQ(std::strlen(e.location()), 127u);
  e.Set(101, nullptr, "f", 1);
  EXPECT_STREQ(e.detail(), "");
}

TEST(PipError, ModeOnePrintsFourLines) {
  pipError e;
  e.set_display_mode(1);
  testing::internal::CaptureStdout();
  e.Report(103, "Too many handles in use!\n", "pipmain.cpp", 42);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Error: 103\nInternal table overflow.\nToo many handles in use!\n\n"
            "Error recorded in: pipmain.cpp, (42).");
}

TEST(PipError, ModeZeroReportAndSetOnlyRecord) {
  pipError quiet;
  pipError loud;
  loud.set_display_mode(1);
  testing::internal::CaptureStdout();
  quiet.Report(106, "bad", "f", 1);
  loud.Set(100, "quiet", "f", 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(quiet.code(), 106);
  EXPECT_EQ(loud.code(), 100);
}

std::string g_box_text;
std::string g_box_caption;
void RecordBox(const char* text, const char* caption) {
  g_box_text = text;
  g_box_caption = caption;
}

TEST(PipError, ModeTwoGoesToTheMessageBoxHook) {
  lumetra::MessageBoxHook old = lumetra::SetMessageBoxHook(&RecordBox);
  pipError e;
  e.set_display_mode(2);
  e.Report(105, "no file", "exporter.cpp", 5);
  lumetra::SetMessageBoxHook(old);
  EXPECT_EQ(g_box_caption, "Error");
  EXPECT_EQ(g_box_text, "Error: 105\nFile not found.\nno file\nError recorded in: exporter.cpp, (5).");
}

}  // namespace
