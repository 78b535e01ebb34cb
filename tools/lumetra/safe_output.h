// SafeOutput: the files one command writes, written under temporary names
// beside their targets and renamed over them only when the whole command
// has succeeded, so that no command deletes or half-writes a file the user
// did not ask it to replace.
//
// Rules, checked when a target is added (before anything is written):
//  - a target that is one of the command's inputs -- the same file by
//    device and inode, or the same resolved path -- is refused;
//  - a target that exists is refused unless the command runs with
//    --overwrite;
//  - a target in a directory that is missing or not writable is refused.
// The temporary of "dir/name" is "dir/.~<token>.name": same directory (so
// the rename is atomic), same ending (so the library's naming rules --
// extensions, the attribute file's final 'a' -- still apply), hidden.
// Commit renames every temporary that was written over its target (giving
// it the replaced file's permissions; new files keep the 0666-under-umask
// mode they were created with) and removes targets of the set for which
// nothing was written (a stale companion such as an old .prj).  Whatever
// was not committed is removed when the object goes away.
//
// Usage:
//   SafeOutput out(args.Has("overwrite"));
//   out.AddInput(in_path);                        // and its companions
//   const std::string tmp = out.Add("out.lmb");   // write tmp, not out.lmb
//   ... write tmp ...
//   out.Commit();                                 // out.lmb replaced now
//
// Throws CliError (UsageError for the refusals).  One thread.
#ifndef LUMETRA_TOOLS_LUMETRA_SAFE_OUTPUT_H
#define LUMETRA_TOOLS_LUMETRA_SAFE_OUTPUT_H

#include <string>
#include <vector>

namespace lumetra_cli {

class SafeOutput {
 public:
  explicit SafeOutput(bool overwrite);
  // Removes every temporary not committed.
  ~SafeOutput();
  SafeOutput(const SafeOutput&) = delete;
  SafeOutput& operator=(const SafeOutput&) = delete;

  // Registers an input file; a missing one is remembered by its path only.
  void AddInput(const std::string& path);
  // Registers the input `stem` + each of `endings` (the members of a
  // shapefile or MIF/MID pair).
  void AddInputGroup(const std::string& stem, const std::vector<std::string>& endings);

  // Adds the target `path` and returns the temporary to write instead.
  std::string Add(const std::string& path);
  // Adds the targets `stem` + each ending and returns the temporary stem:
  // the temporary of stem + e is the returned stem + e.
  std::string AddGroup(const std::string& stem, const std::vector<std::string>& endings);

  // Renames the written temporaries over their targets and removes the
  // targets nothing was written for.  Throws CliError when a rename fails
  // (the targets renamed before it stay replaced).
  void Commit();

  // `text` (a message) with every temporary name replaced by its target's,
  // so that failures name the files the user asked for.
  std::string ShowTargets(std::string text) const;

  // The temporary name of `path` (exposed for tests).
  std::string TemporaryOf(const std::string& path) const;

 private:
  struct Identity {
    std::string resolved;  // absolute path with the directory resolved
    bool exists = false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
  };
  struct Target {
    std::string path;
    std::string temporary;
  };
  static Identity Identify(const std::string& path);
  void CheckTarget(const std::string& path) const;

  bool overwrite_;
  std::string token_;
  std::vector<std::pair<std::string, Identity>> inputs_;
  std::vector<Target> targets_;
  bool committed_ = false;
};

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_SAFE_OUTPUT_H
