#include "args.h"

#include <cctype>

#include "cli_common.h"

namespace lumetra_cli {
namespace {

bool LooksNumeric(const std::string& word) {
  if (word.size() < 2 || word[0] != '-') return false;
  const unsigned char c = static_cast<unsigned char>(word[1]);
  return std::isdigit(c) || c == '.';
}

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

}  // namespace

Args::Args(int argc, char** argv, const std::vector<OptionSpec>& specs) {
  bool options_done = false;
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    if (options_done || word == "-" || LooksNumeric(word) || word.empty() || word[0] != '-') {
      positional_.push_back(word);
      continue;
    }
    if (word == "--") {
      options_done = true;
      continue;
    }
    if (word == "-h" || word == "--help") {
      help_ = true;
      continue;
    }
    // "-x" is the one-letter option x when the command has one.
    const bool short_form = word.size() == 2 && word[1] != '-';
    if (!short_form && word.compare(0, 2, "--") != 0) {
      throw UsageError("unknown option '" + word + "'");
    }
    std::string name = word.substr(short_form ? 1 : 2);
    std::vector<std::string> inline_value;
    const std::size_t equals = name.find('=');
    if (equals != std::string::npos) {
      inline_value.push_back(name.substr(equals + 1));
      name = name.substr(0, equals);
    }
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) throw UsageError("unknown option '" + word + "'");
    if (values_.count(name) != 0) throw UsageError("option '--" + name + "' given twice");
    std::vector<std::string>& values = values_[name];
    if (!inline_value.empty()) {
      if (spec->values != 1) throw UsageError("option '--" + name + "' takes no '=' value");
      values = inline_value;
      continue;
    }
    for (int k = 0; k < spec->values; ++k) {
      if (i + 1 >= argc) {
        throw UsageError("option '--" + name + "' needs " + std::to_string(spec->values) +
                         (spec->values == 1 ? " value" : " values"));
      }
      values.push_back(argv[++i]);
    }
  }
}

std::string Args::Value(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  if (it == values_.end() || it->second.empty()) return fallback;
  return it->second.front();
}

const std::vector<std::string>& Args::Values(const std::string& name) const {
  static const std::vector<std::string> kNone;
  const auto it = values_.find(name);
  return it == values_.end() ? kNone : it->second;
}

void Args::ExpectPositional(std::size_t min, std::size_t max) const {
  if (positional_.size() < min) throw UsageError("missing arguments");
  if (positional_.size() > max) {
    throw UsageError("unexpected argument '" + positional_[max] + "'");
  }
}

}  // namespace lumetra_cli
