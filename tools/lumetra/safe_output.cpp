#include "safe_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "cli_common.h"

namespace lumetra_cli {
namespace {

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string RandomToken() {
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string token;
  for (int i = 0; i < 8; ++i) token += kDigits[random() % (sizeof kDigits - 1)];
  return token;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

SafeOutput::SafeOutput(bool overwrite) : overwrite_(overwrite), token_(RandomToken()) {}

SafeOutput::~SafeOutput() {
  if (committed_) return;
  for (const Target& t : targets_) ::unlink(t.temporary.c_str());
}

SafeOutput::Identity SafeOutput::Identify(const std::string& path) {
  Identity id;
  char resolved[PATH_MAX];
  const std::string dir = DirectoryOf(path);
  id.resolved = ::realpath(dir.c_str(), resolved) != nullptr
                    ? std::string(resolved) + "/" + BaseName(path)
                    : path;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.device = static_cast<unsigned long long>(st.st_dev);
    id.inode = static_cast<unsigned long long>(st.st_ino);
  }
  return id;
}

void SafeOutput::AddInput(const std::string& path) { inputs_.push_back({path, Identify(path)}); }

void SafeOutput::AddInputGroup(const std::string& stem, const std::vector<std::string>& endings) {
  for (const std::string& e : endings) AddInput(stem + e);
}

std::string SafeOutput::TemporaryOf(const std::string& path) const {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return dir + ".~" + token_ + "." + BaseName(path);
}

void SafeOutput::CheckTarget(const std::string& path) const {
  const Identity target = Identify(path);
  for (const auto& [input, id] : inputs_) {
    const bool same_file =
        target.exists && id.exists && target.device == id.device && target.inode == id.inode;
    if (same_file || target.resolved == id.resolved) {
      throw UsageError("the output " + path + " is an input of this command (" + input +
                       "); choose another output name");
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw UsageError("the output " + path + " is a directory");
  }
  if (Exists(path) && !overwrite_) {
    throw UsageError(path + " exists; add --overwrite to replace it");
  }
  if (::access(DirectoryOf(path).c_str(), W_OK) != 0) {
    throw CliError("cannot write " + path + ": " + DirectoryOf(path) + ": " + std::strerror(errno));
  }
}

std::string SafeOutput::ShowTargets(std::string text) const {
  for (const Target& t : targets_) {
    const std::string stem = StemOf(t.temporary);
    for (std::size_t at = text.find(stem); at != std::string::npos; at = text.find(stem, at)) {
      text.replace(at, stem.size(), StemOf(t.path));
      at += StemOf(t.path).size();
    }
  }
  return text;
}

std::string SafeOutput::Add(const std::string& path) {
  if (path.empty()) throw UsageError("empty output file name");
  CheckTarget(path);
  targets_.push_back({path, TemporaryOf(path)});
  return targets_.back().temporary;
}

std::string SafeOutput::AddGroup(const std::string& stem, const std::vector<std::string>& endings) {
  for (const std::string& e : endings) Add(stem + e);
  return TemporaryOf(stem);
}

void SafeOutput::Commit() {
  for (const Target& t : targets_) {
    if (!Exists(t.temporary)) {
      // Nothing of this kind was written: a file of the target's name
      // would describe something else now.
      if (Exists(t.path) && ::unlink(t.path.c_str()) != 0) {
        throw CliError("cannot remove the old " + t.path + ": " + std::strerror(errno));
      }
      continue;
    }
    struct stat old {};
    if (::stat(t.path.c_str(), &old) == 0) ::chmod(t.temporary.c_str(), old.st_mode & 07777);
    if (std::rename(t.temporary.c_str(), t.path.c_str()) != 0) {
      throw CliError("cannot replace " + t.path + ": " + std::strerror(errno));
    }
  }
  committed_ = true;
}

}  // namespace lumetra_cli
