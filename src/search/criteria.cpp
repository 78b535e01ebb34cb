#include "search/criteria.h"

#include <lumetra/pip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "frame/text_copy.h"
#include "search/attribute_search.h"

namespace {

constexpr char kBadToken[] = "Invalid value. A bad token was found.";
constexpr char kInvalidOperator[] = "Invalid operator.";
constexpr char kOperPrefix[] = " Oper: ";
constexpr char kNoOperator[] = "None found.";
constexpr char kAlphaNotValid[] = "Invalid value. Alpha values are not valid for this operator.";
constexpr char kWildOperator[] =
    "Invalid operator. Wild cards are only valid with the equals operator.";
constexpr char kWildNotLast[] = "Invalid value. Wild cards are only valid as the last character.";
constexpr char kWildTwice[] = "Invalid value. Only one wild card is valid.";
constexpr char kWildNumeric[] = "Invalid value. Cannot wild card numeric values.";
constexpr char kNoMemory[] = "Could not allocate %u byte(s).";
constexpr char kBadField[] = "Fieldname is invalid.";
constexpr char kNamePrefix[] = " Name: ";
constexpr char kTypeMismatch[] = "Keyword type ('%c') does not match value type ('%c').";

// ASCII classes: criteria texts are compared byte-wise, independent of the
// caller's locale.
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsLetter(c) || IsDigit(c); }
bool IsWordChar(char c) { return IsAlnum(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Trim(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

std::string UpperText(const std::string& s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

// Case-blind comparison of at most `limit` characters (a NUL ends both).
bool EqualNoCase(const char* a, const char* b, std::size_t limit) {
  for (std::size_t i = 0; i < limit; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
    if (a[i] == '\0') return true;
  }
  return true;
}

// The leading decimal integer of `text` (after blanks, with a sign), held
// at the ends of the 64-bit range; 0 when there is none.
std::int64_t ReadLong(const char* text) {
  const long long n = std::strtoll(text, nullptr, 10);
  return static_cast<std::int64_t>(n);
}

std::int32_t ReadInt32(const std::string& text) {
  const std::int64_t n = ReadLong(text.c_str());
  const std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  const std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::min(std::max(n, lo), hi));
}

template <class T>
bool Compare(CriteriaOperator op, T field, T wanted) {
  switch (op) {
    case CriteriaOperator::kEqual:
      return field == wanted;
    case CriteriaOperator::kNotEqual:
      return field != wanted;
    case CriteriaOperator::kGreater:
      return field > wanted;
    case CriteriaOperator::kLess:
      return field < wanted;
    case CriteriaOperator::kGreaterOrEqual:
      return field >= wanted;
    case CriteriaOperator::kLessOrEqual:
      return field <= wanted;
    default:
      return false;
  }
}

bool OperatorOf(const std::string& text, CriteriaOperator* op) {
  if (text == "=")
    *op = CriteriaOperator::kEqual;
  else if (text == "<>")
    *op = CriteriaOperator::kNotEqual;
  else if (text == ">")
    *op = CriteriaOperator::kGreater;
  else if (text == "<")
    *op = CriteriaOperator::kLess;
  else if (text == ">=")
    *op = CriteriaOperator::kGreaterOrEqual;
  else if (text == "<=")
    *op = CriteriaOperator::kLessOrEqual;
  else if (text == "IN")
    *op = CriteriaOperator::kIn;
  else
    return false;
  return true;
}

// The items of a list text: the pieces between "|" and "," separators,
// trimmed; empty pieces left out.
std::vector<std::string> ListItems(const std::string& list) {
  std::vector<std::string> items;
  std::string piece;
  for (char c : list + ",") {
    if (c == ',' || c == '|') {
      piece = Trim(piece);
      if (!piece.empty()) items.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  return items;
}

// "|A||B|" from items (trimmed, upper-cased; empty items left out).
std::string Normalise(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    const std::string t = Trim(item);
    if (!t.empty()) out += "|" + UpperText(t) + "|";
  }
  return out;
}

}  // namespace

Criteria::Criteria() { message_[0] = '\0'; }

Criteria::~Criteria() = default;

void Criteria::SetMessage(const char* message) {
  lumetra::CopyCut(message, message_, kMessageSize);
}

// Allocates nothing: also the way out of an allocation failure.
bool Criteria::Fail(const char* message) {
  op_ = CriteriaOperator::kNotParsed;
  SetMessage(message);
  return false;
}

bool Criteria::Parse(const char* text) {
  *this = Criteria();
  if (text == nullptr || *text == '\0') return false;
  const std::size_t length = std::strlen(text);
  try {
    return ParseTrimmed(Trim(std::string(text, length)));
  } catch (const std::bad_alloc&) {
    char message[kMessageSize];
    std::snprintf(message, sizeof message, kNoMemory, static_cast<unsigned>(length + 1));
    field_name_.clear();
    value_.clear();
    return Fail(message);
  }
}

bool Criteria::ParseTrimmed(const std::string& text) {
  if (text.empty() || !IsLetter(text.front())) return Fail(kBadToken);
  const char last = text.back();
  if (!IsAlnum(last) && last != ')' && last != '\'') return Fail(kBadToken);

  std::size_t at = 0;
  while (at < text.size() && IsWordChar(text[at])) ++at;
  field_name_ = text.substr(0, at);

  if (!ReadOperator(text, &at)) return false;
  std::string raw;
  int quotes = 0;
  if (!ScanValue(text, at, &raw, &quotes)) return false;
  const bool quoted = quotes > 0;
  if (quoted && op_ != CriteriaOperator::kEqual && op_ != CriteriaOperator::kNotEqual &&
      op_ != CriteriaOperator::kIn) {
    return Fail(kAlphaNotValid);
  }
  return op_ == CriteriaOperator::kIn ? TakeList(raw, quoted) : TakeScalar(raw, quoted);
}

// Collects "=", "<", ">" and the word IN, skipping spaces; the first other
// character starts the value.  IN counts as a word only when no letter,
// digit or "_" follows it, so a value such as INDIANA is not taken apart.
bool Criteria::ReadOperator(const std::string& text, std::size_t* at) {
  std::string collected;
  std::size_t i = *at;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ') {
      ++i;
    } else if (c == '=' || c == '<' || c == '>') {
      collected += c;
      ++i;
    } else if ((c == 'i' || c == 'I') && i + 1 < text.size() &&
               (text[i + 1] == 'n' || text[i + 1] == 'N') &&
               !(i + 2 < text.size() && IsWordChar(text[i + 2]))) {
      collected += "IN";
      i += 2;
    } else {
      break;
    }
  }
  *at = i;
  if (OperatorOf(collected, &op_)) return true;
  const std::string message = std::string(kInvalidOperator) + kOperPrefix +
                              (collected.empty() ? std::string(kNoOperator) : collected);
  return Fail(message.c_str());
}

bool Criteria::ScanValue(const std::string& text, std::size_t at, std::string* raw, int* quotes) {
  const bool in_list = op_ == CriteriaOperator::kIn;
  bool inside_quotes = false;
  for (std::size_t i = at; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      inside_quotes = !inside_quotes;
      ++*quotes;
      *raw += c;
    } else if (c == ')' || (c == '(' && in_list)) {
      // dropped
    } else if (c == ',' && !in_list && !inside_quotes) {
      // thousands separator of a number: dropped
    } else if (IsAlnum(c) || c == ' ' || c == '*' || c == ',' || c == '-' || c == '.') {
      *raw += c;
    } else {
      return Fail(kBadToken);
    }
  }
  if (*quotes % 2 != 0) return Fail(kBadToken);
  return true;
}

bool Criteria::TakeScalar(const std::string& raw, bool quoted) {
  std::string value = Trim(raw);
  if (quoted) {
    // Only the surrounding quotes go; quotes inside stay part of the text.
    if (!value.empty() && value.front() == '\'') value.erase(0, 1);
    if (!value.empty() && value.back() == '\'') value.pop_back();
    value = Trim(value);
  }
  const std::size_t stars = static_cast<std::size_t>(std::count(value.begin(), value.end(), '*'));
  if (stars > 0) {
    if (op_ != CriteriaOperator::kEqual) return Fail(kWildOperator);
    if (stars > 1) return Fail(kWildTwice);
    if (value.back() != '*') return Fail(kWildNotLast);
    if (!quoted) return Fail(kWildNumeric);
    value.pop_back();
    wild_card_ = true;
  }
  if (!quoted) {
    if (value.empty()) return Fail(kBadToken);
    integer_value_ = ReadInt32(value);
    floating_value_ = value.find('.') != std::string::npos ? std::atof(value.c_str())
                                                           : static_cast<double>(integer_value_);
  }
  value_ = value;
  return true;
}

bool Criteria::TakeList(const std::string& raw, bool quoted) {
  if (raw.find('*') != std::string::npos) return Fail(kWildOperator);
  if (quoted) {
    // The items are the quoted strings; text between them is ignored.
    std::vector<std::string> items;
    std::size_t open = raw.find('\'');
    while (open != std::string::npos) {
      const std::size_t close = raw.find('\'', open + 1);
      if (close == std::string::npos) break;  // not reached: quotes come in pairs
      items.push_back(raw.substr(open + 1, close - open - 1));
      open = raw.find('\'', close + 1);
    }
    value_ = Normalise(items);
    normalised_list_ = true;
    return true;
  }
  const std::string list = Trim(raw);
  if (list.empty()) return Fail(kBadToken);
  if (list.find('.') != std::string::npos) {
    value_ = list;
    integer_value_ = ReadInt32(list);
    floating_value_ = std::atof(list.c_str());
    return true;
  }
  const std::vector<std::string> items = ListItems(list);
  if (items.empty()) return Fail(kBadToken);
  value_ = Normalise(items);
  normalised_list_ = true;
  integer_value_ = ReadInt32(items.front());
  floating_value_ = static_cast<double>(integer_value_);
  return true;
}

bool Criteria::MatchesValue(char type, const char* value) const {
  if (value == nullptr || !parsed()) return false;
  if (type == 'C') return MatchText(value);
  if (type != 'N') return false;
  if (std::strchr(value, '.') != nullptr) return MatchFloating(std::atof(value));
  return MatchInteger(value);
}

bool Criteria::MatchText(const char* value) const {
  const std::size_t limit = wild_card_ ? value_.size() : value_.size() + 1;
  switch (op_) {
    case CriteriaOperator::kEqual:
      return EqualNoCase(value, value_.c_str(), limit);
    case CriteriaOperator::kNotEqual:
      return !EqualNoCase(value, value_.c_str(), limit);
    case CriteriaOperator::kIn:
      return InList(value);
    default:
      return false;
  }
}

bool Criteria::MatchFloating(double value) const {
  if (floating_value_ == kNoFloating) return false;
  if (op_ == CriteriaOperator::kIn) return InNumberList(value);
  return Compare(op_, value, floating_value_);
}

bool Criteria::MatchInteger(const char* value) const {
  if (op_ == CriteriaOperator::kIn) {
    return normalised_list_ ? InList(value) : InNumberList(std::atof(value));
  }
  if (integer_value_ == kNoInteger) return false;
  return Compare(op_, ReadLong(value), static_cast<std::int64_t>(integer_value_));
}

bool Criteria::InList(const char* value) const {
  if (!normalised_list_) return false;
  const std::string framed = "|" + UpperText(value) + "|";
  return value_.find(framed) != std::string::npos;
}

// Decimal lists keep their text ("1.5, 2"); a normalised one ("|1||2|")
// reads the same way item by item.
bool Criteria::InNumberList(double value) const {
  for (const std::string& item : ListItems(value_)) {
    if (std::atof(item.c_str()) == value) return true;
  }
  return false;
}

bool ValidateCriteria(const char* text, AttributeSearch& attributes, Criteria* criteria,
                      std::string* message) {
  if (!criteria->Parse(text)) {
    *message = criteria->message();
    return false;
  }
  const FieldId* field = attributes.FieldByName(criteria->field_name().c_str());
  if (field == nullptr) {
    std::string text_out = kBadField;
    const std::string named = text_out + kNamePrefix + criteria->field_name();
    if (named.size() < Criteria::kMessageSize) text_out = named;
    *message = text_out;
    return false;
  }
  const char field_type = attributes.ReportedType(*field);
  const char value_type = criteria->value_type();
  if (field_type != value_type) {
    char text_out[Criteria::kMessageSize];
    std::snprintf(text_out, sizeof text_out, kTypeMismatch, field_type, value_type);
    *message = text_out;
    return false;
  }
  message->clear();
  return true;
}

bool Matches(const Criteria& criteria, AttributeSearch& attributes, const PolygonObject& object) {
  attributes.PositionOn(&object);
  if (!attributes.positioned()) return false;
  FieldId* field = attributes.FieldByName(criteria.field_name().c_str());
  if (field == nullptr) return false;
  pipAttributeInfoStruct info;
  if (attributes.FillInfo(*field, &info) != 1) return false;
  char value[sizeof info.value + 1];
  std::memcpy(value, info.value, sizeof info.value);
  value[sizeof info.value] = '\0';
  return criteria.MatchesValue(static_cast<char>(info.type), value);
}
