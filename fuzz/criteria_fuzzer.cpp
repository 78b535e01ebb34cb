// The filter criteria parser and matcher: the input is a criteria text,
// optionally followed by a member separator and field values, one a line.
// Parsing is deterministic, other field types never match, and a criteria
// and its complement (= and <>, > and <=, < and >=, made by swapping the
// operator in the text) give opposite answers for every value they can
// both judge.  Values of numeric fields are taken to be decimal texts.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "search/criteria.h"

namespace {

constexpr std::size_t kMaxValues = 16;

// The text with its operator (the first run of "<", ">", "=" and the
// spaces between them) replaced by the complementary one; empty when the
// operator has none.
std::string Complement(const std::string& text, CriteriaOperator op) {
  const char* other = nullptr;
  switch (op) {
    case CriteriaOperator::kEqual:
      other = "<>";
      break;
    case CriteriaOperator::kNotEqual:
      other = "=";
      break;
    case CriteriaOperator::kGreater:
      other = "<=";
      break;
    case CriteriaOperator::kLessOrEqual:
      other = ">";
      break;
    case CriteriaOperator::kLess:
      other = ">=";
      break;
    case CriteriaOperator::kGreaterOrEqual:
      other = "<";
      break;
    default:
      return "";
  }
  const std::size_t begin = text.find_first_of("<>=");
  if (begin == std::string::npos) return "";
  std::size_t end = begin + 1;
  for (std::size_t i = end; i < text.size() && (text[i] == ' ' || std::strchr("<>=", text[i]));
       ++i) {
    if (text[i] != ' ') end = i + 1;
  }
  return text.substr(0, begin) + other + text.substr(end);
}

// True when both criteria have the value a field of `type` is compared
// with, so each gives a definite answer.
bool Judges(const Criteria& c, char type, const std::string& value) {
  if (type == 'C') {
    return c.op() == CriteriaOperator::kEqual || c.op() == CriteriaOperator::kNotEqual;
  }
  // Field values of numeric fields are decimal texts.
  if (value.find_first_not_of("0123456789+-. ") != std::string::npos) return false;
  if (value.find('.') != std::string::npos) return c.floating_value() != Criteria::kNoFloating;
  return c.integer_value() != Criteria::kNoInteger;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 2);
  const std::string text(members[0].c_str());  // up to the first NUL, as a C caller passes it
  std::vector<std::string> values;
  if (members.size() > 1) {
    std::size_t begin = 0;
    while (values.size() < kMaxValues && begin <= members[1].size()) {
      std::size_t end = members[1].find('\n', begin);
      if (end == std::string::npos) end = members[1].size();
      values.push_back(std::string(members[1].c_str() + begin, end - begin).c_str());
      begin = end + 1;
    }
  }
  values.push_back("");
  Criteria criteria;
  const bool parsed = criteria.Parse(text.c_str());
  FUZZ_CHECK(parsed == criteria.parsed());
  FUZZ_CHECK(std::strlen(criteria.message()) < Criteria::kMessageSize);
  Criteria again;
  FUZZ_CHECK(again.Parse(text.c_str()) == parsed);
  FUZZ_CHECK(std::strcmp(again.message(), criteria.message()) == 0);
  if (!parsed) {
    for (const std::string& v : values) FUZZ_CHECK(!criteria.MatchesValue('N', v.c_str()));
    return 0;
  }
  FUZZ_CHECK(again.field_name() == criteria.field_name() && again.value() == criteria.value());
  const std::string complement_text = Complement(text, criteria.op());
  Criteria complement;
  const bool has_complement = !complement_text.empty() && complement.Parse(complement_text.c_str());
  for (const std::string& v : values) {
    FUZZ_CHECK(!criteria.MatchesValue('D', v.c_str()));
    for (char type : {'C', 'N'}) {
      const bool match = criteria.MatchesValue(type, v.c_str());
      FUZZ_CHECK(match == again.MatchesValue(type, v.c_str()));
      if (has_complement && Judges(criteria, type, v) && Judges(complement, type, v)) {
        FUZZ_CHECK(match != complement.MatchesValue(type, v.c_str()));
      }
    }
  }
  return 0;
}
