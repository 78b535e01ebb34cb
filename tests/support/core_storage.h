// Helpers for tests of the storage layer and above: capture of the file
// layer's trace lines, and environment variables set for a scope.
#ifndef LUMETRA_TESTS_SUPPORT_CORE_STORAGE_H
#define LUMETRA_TESTS_SUPPORT_CORE_STORAGE_H

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "storage/trace.h"

namespace lumetra_test {

// Collects the trace lines the file layer writes while it lives.
class TraceCapture {
 public:
  TraceCapture() : file_(std::tmpfile()) { previous_ = lumetra::SetTraceStream(file_); }
  ~TraceCapture() {
    lumetra::SetTraceStream(previous_);
    std::fclose(file_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::string Text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    return text;
  }
  // The lines, each with its '\n'.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    const std::string text = Text();
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      const std::size_t next = end == std::string::npos ? text.size() : end + 1;
      lines.push_back(text.substr(at, next - at));
      at = next;
    }
    return lines;
  }
  // The lines starting with `prefix` ("Read(").
  std::vector<std::string> LinesStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }

 private:
  std::FILE* file_;
  std::FILE* previous_;
};

// Sets (or with nullopt unsets) an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_CORE_STORAGE_H
