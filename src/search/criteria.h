// Criteria: one filter condition -- field, operator, value -- parsed from a
// caller's criteria text, and the test of a field value against it.
//
// Grammar (one condition; no AND, OR or grouping):
//   criteria := field op value          (surrounding white space ignored)
//   field    := letter { letter | digit | "_" }
//   op       := "=" | "<>" | ">" | "<" | ">=" | "<=" | "IN" (IN in any case;
//               spaces between the characters are skipped)
//   value    := { letter | digit | " " | "*" | "," | "-" | "." | "'" }
//               with "(" dropped for IN and ")" always dropped
// The text must begin with a letter and end with a letter, a digit, ")" or
// "'".  Quoted values ('Smith') are character values and go with "=", "<>"
// and IN only; unquoted ones are numbers ("1,000" reads 1000).  A single
// "*" at the end of a quoted "=" value asks for a prefix match.  IN lists
// are kept normalised as |A||B||C| (items trimmed, upper-cased), except
// unquoted lists holding a "." (decimal numbers), which keep their text.
//
// Value type: 'C' when the integer value is -9999 (every quoted value, and
// the number -9999 itself), else 'N'.
//
// Matching (MatchesValue) is by the field's type as the attribute info
// reports it: 'C' fields compare text without regard to case ("=", "<>",
// IN); 'N' fields whose value text holds a "." compare as doubles, others
// as integers (IN on the normalised list's text).  The field value is the
// left operand: ">" means the field's value is greater.
//
// A Criteria lives for one validation or one filtered search.  Value type;
// one thread at a time.
//
// Usage:
//   Criteria criteria;
//   if (!criteria.Parse("POP > 1,000")) report(criteria.message());
//   bool hit = criteria.MatchesValue('N', "2500");
#ifndef LUMETRA_SEARCH_CRITERIA_H
#define LUMETRA_SEARCH_CRITERIA_H

#include <cstddef>
#include <cstdint>
#include <string>

class AttributeSearch;
class PolygonObject;

// Operator codes; kNotParsed until a text parsed and after any failure.
enum class CriteriaOperator : std::int32_t {
  kEqual = 0,
  kNotEqual = 1,
  kGreater = 2,
  kLess = 3,
  kGreaterOrEqual = 4,
  kLessOrEqual = 5,
  kIn = 6,
  kNotParsed = 7,
};

class Criteria {
 public:
  static constexpr std::size_t kMessageSize = 80;  // 79 characters and a NUL
  static constexpr std::int32_t kNoInteger = -9999;
  static constexpr double kNoFloating = -9999.0;

  Criteria();
  virtual ~Criteria();
  Criteria(const Criteria&) = default;
  Criteria& operator=(const Criteria&) = default;

  // Parses `text` (see the file comment).  False with the reason in
  // message() -- empty for a null or empty text -- and the operator left
  // kNotParsed.  Every call starts from a fresh state.
  bool Parse(const char* text);

  bool parsed() const { return op_ != CriteriaOperator::kNotParsed; }
  const char* message() const { return message_; }
  const std::string& field_name() const { return field_name_; }
  // The value after normalisation: quotes and wild card removed, IN lists
  // as |A||B|.
  const std::string& value() const { return value_; }
  std::int32_t integer_value() const { return integer_value_; }
  double floating_value() const { return floating_value_; }
  bool wild_card() const { return wild_card_; }
  CriteriaOperator op() const { return op_; }
  // 'C' or 'N' (see the file comment).
  char value_type() const { return integer_value_ == kNoInteger ? 'C' : 'N'; }

  // True when a field of `type` ('C' or 'N'; other types never match) whose
  // current value text is `value` meets the criteria.  REQUIRES: parsed().
  bool MatchesValue(char type, const char* value) const;

 private:
  bool ParseTrimmed(const std::string& text);
  bool ReadOperator(const std::string& text, std::size_t* at);
  bool ScanValue(const std::string& text, std::size_t at, std::string* raw, int* quotes);
  bool TakeScalar(const std::string& raw, bool quoted);
  bool TakeList(const std::string& raw, bool quoted);
  bool Fail(const char* message);
  void SetMessage(const char* message);

  bool MatchText(const char* value) const;
  bool MatchFloating(double value) const;
  bool MatchInteger(const char* value) const;
  bool InList(const char* value) const;
  bool InNumberList(double value) const;

  char message_[kMessageSize];
  std::string field_name_;
  std::string value_;
  std::int32_t integer_value_ = kNoInteger;
  double floating_value_ = kNoFloating;
  bool wild_card_ = false;
  // True when value_ is a normalised |A||B| list.
  bool normalised_list_ = false;
  CriteriaOperator op_ = CriteriaOperator::kNotParsed;
};

// Parses `text` into *criteria and checks it against the attribute file of
// `attributes`: the field must exist and its type (as the attribute info
// reports it) must equal the value type.  False with the reason in
// *message (at most 79 characters).
bool ValidateCriteria(const char* text, AttributeSearch& attributes, Criteria* criteria,
                      std::string* message);

// Positions `attributes` on `object`'s record and tests the criteria's
// field there; an object without an attribute record never matches.
bool Matches(const Criteria& criteria, AttributeSearch& attributes, const PolygonObject& object);

#endif  // LUMETRA_SEARCH_CRITERIA_H
