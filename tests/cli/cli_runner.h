// Running the lumetra tool in the CLI tests as a user runs it: a child
// process with arguments, standard input and the exit status, and rows of
// runs (arguments, input, status, what the output holds) run in order in
// one directory, so that a row may use the files an earlier row wrote.
#ifndef LUMETRA_TESTS_CLI_CLI_RUNNER_H
#define LUMETRA_TESTS_CLI_CLI_RUNNER_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace cli_test {

using lumetra_test::FileExists;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteText;

inline const std::string kTool = LUMETRA_CLI_PATH;
inline const std::string kData = LUMETRA_DATA_DIR;
inline const std::string kStates = kData + "/us_states.shp";
inline const std::vector<std::string> kCommands = {
    "import",   "info",   "lookup", "nearest",  "find",  "distance", "export",
    "validate", "render", "rings",  "thiessen", "hulls", "zip4"};

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Runs the tool with `args` in directory `dir`, feeding `input` to its
// standard input; output and errors go through files in `dir`.
inline RunResult RunTool(const std::string& dir, const std::vector<std::string>& args,
                         const std::string& input = "") {
  const std::string in_path = dir + "/.stdin";
  const std::string out_path = dir + "/.stdout";
  const std::string err_path = dir + "/.stderr";
  WriteText(in_path, input);
  std::vector<std::string> words = {kTool};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(kTool.c_str(), argv.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

// One run of the tool and what it must give.  Texts in `out` and `err`
// must each appear in standard output or error; one starting with '^' must
// begin it, and one starting with '=' must be all of it.
struct Step {
  std::vector<std::string> args;
  int status;
  std::vector<std::string> out = {};
  std::vector<std::string> err = {};
  std::string input = "";
  std::string absent = "";   // a file that must not exist afterwards
  int lines = -1;            // the number of output lines, when not -1
  std::string present = "";  // a file that must exist afterwards
  std::string not_err = "";  // a text standard error must not hold
};

inline void ExpectText(const std::string& text, const std::vector<std::string>& wanted,
                       const char* stream) {
  for (const std::string& w : wanted) {
    if (!w.empty() && w[0] == '=') {
      EXPECT_EQ(text, w.substr(1)) << stream;
    } else if (!w.empty() && w[0] == '^') {
      EXPECT_EQ(text.rfind(w.substr(1), 0), 0u) << stream << " begins with " << w << "\n" << text;
    } else {
      EXPECT_TRUE(Contains(text, w)) << stream << " holds " << w << "\n" << text;
    }
  }
}

inline void RunAll(const std::string& dir, const std::vector<Step>& runs) {
  for (const Step& run : runs) {
    std::string joined;
    for (const std::string& a : run.args) joined += a + " ";
    SCOPED_TRACE("lumetra " + joined);
    const RunResult r = RunTool(dir, run.args, run.input);
    EXPECT_EQ(r.status, run.status) << "--- stdout\n" << r.out << "--- stderr\n" << r.err;
    ExpectText(r.out, run.out, "stdout");
    ExpectText(r.err, run.err, "stderr");
    if (run.lines >= 0) {
      EXPECT_EQ(Lines(r.out).size(), static_cast<std::size_t>(run.lines)) << r.out;
    }
    if (!run.absent.empty()) {
      EXPECT_FALSE(FileExists(dir + "/" + run.absent)) << run.absent;
    }
    if (!run.present.empty()) {
      EXPECT_TRUE(FileExists(dir + "/" + run.present)) << run.present;
    }
    if (!run.not_err.empty()) {
      EXPECT_FALSE(Contains(r.err, run.not_err)) << r.err;
    }
  }
}

}  // namespace cli_test

#endif  // LUMETRA_TESTS_CLI_CLI_RUNNER_H
