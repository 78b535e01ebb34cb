// Command-line arguments of one command: options ("--name", "--name VALUE",
// "--name=VALUE", or several values for options such as --rect) and the
// positional arguments around them.
#ifndef LUMETRA_TOOLS_LUMETRA_ARGS_H
#define LUMETRA_TOOLS_LUMETRA_ARGS_H

#include <map>
#include <string>
#include <vector>

namespace lumetra_cli {

// One option a command accepts: its long name without dashes and the
// number of values that follow it (0 for a flag).
struct OptionSpec {
  const char* name;
  int values;
};

// Parses argv of one command.  A word beginning with "--" is an option; a
// word that looks like a number ("-87.6", "-.5", "-1e3") or is "-" alone is
// positional, so negative coordinates need no quoting; "-h" is --help and
// "-x" is the option named "x" when there is one.
// "--" ends the options.  Throws UsageError for an unknown option, a
// missing value or an option given twice.
class Args {
 public:
  Args(int argc, char** argv, const std::vector<OptionSpec>& specs);

  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  // The option's first value; fallback when it was not given.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
  // Every value of the option (empty when not given).
  const std::vector<std::string>& Values(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }
  bool help() const { return help_; }

  // Throws UsageError unless there are between min and max positionals.
  void ExpectPositional(std::size_t min, std::size_t max) const;

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positional_;
  bool help_ = false;
};

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_ARGS_H
