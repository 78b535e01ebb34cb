// Criteria texts: parsing (every operator and every message), matching on
// text and numeric fields with and without decimals, IN lists, wild cards,
// and validation against an attribute file.
#include "search/criteria.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "search/attribute_search.h"
#include "support/attribute_files.h"
#include "support/failing_new.h"
#include "support/test_files.h"

namespace {

using Op = CriteriaOperator;

constexpr char kBadToken[] = "Invalid value. A bad token was found.";
constexpr char kAlpha[] = "Invalid value. Alpha values are not valid for this operator.";
constexpr char kWildOp[] = "Invalid operator. Wild cards are only valid with the equals operator.";
constexpr char kWildLast[] = "Invalid value. Wild cards are only valid as the last character.";
constexpr char kWildOnce[] = "Invalid value. Only one wild card is valid.";
constexpr char kWildNumber[] = "Invalid value. Cannot wild card numeric values.";

struct ParseRow {
  const char* text;
  Op op;  // kNotParsed: the parse fails with `message`
  const char* field;
  const char* value;
  int integer;
  double floating;
  bool wild;
  const char* message;
};

std::ostream& operator<<(std::ostream& os, const ParseRow& r) {
  return os << "<" << (r.text != nullptr ? r.text : "(null)") << ">";
}

const ParseRow kParseRows[] = {
    // Examples of every operator.
    {"NAME = 'Smith*'", Op::kEqual, "NAME", "Smith", -9999, -9999.0, true, ""},
    {"NAME <> 'Smith'", Op::kNotEqual, "NAME", "Smith", -9999, -9999.0, false, ""},
    {"POP > 1,000", Op::kGreater, "POP", "1000", 1000, 1000.0, false, ""},
    {"POP < 5", Op::kLess, "POP", "5", 5, 5.0, false, ""},
    {"AREA >= 2.5", Op::kGreaterOrEqual, "AREA", "2.5", 2, 2.5, false, ""},
    {"AREA <= -3", Op::kLessOrEqual, "AREA", "-3", -3, -3.0, false, ""},
    {"STATE IN ('ny', 'nj')", Op::kIn, "STATE", "|NY||NJ|", -9999, -9999.0, false, ""},
    {"CODE in (1,2,3)", Op::kIn, "CODE", "|1||2||3|", 1, 1.0, false, ""},
    {"CODE In( 7 , 8 )", Op::kIn, "CODE", "|7||8|", 7, 7.0, false, ""},
    {"AREA IN (1.5, 2.25)", Op::kIn, "AREA", "1.5, 2.25", 1, 1.5, false, ""},
    {"STATE IN ('n.y.', 'nj')", Op::kIn, "STATE", "|N.Y.||NJ|", -9999, -9999.0, false, ""},
    // Spacing, trimming and the shape of names and numbers.
    {"  \tPop_Total=12  ", Op::kEqual, "Pop_Total", "12", 12, 12.0, false, ""},
    {"POP < > 5", Op::kNotEqual, "POP", "5", 5, 5.0, false, ""},
    {"NAME = ' Smith '", Op::kEqual, "NAME", "Smith", -9999, -9999.0, false, ""},
    {"NAME = ''", Op::kEqual, "NAME", "", -9999, -9999.0, false, ""},
    {"POP = -9999", Op::kEqual, "POP", "-9999", -9999, -9999.0, false, ""},
    {"POP = 99999999999", Op::kEqual, "POP", "99999999999", 2147483647, 2147483647.0, false, ""},
    {"STATE = INDIANA", Op::kEqual, "STATE", "INDIANA", 0, 0.0, false, ""},
    {"NAME = 'a,b'", Op::kEqual, "NAME", "a,b", -9999, -9999.0, false, ""},
    // Messages.
    {"NAME = 'Sm*th'", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildLast},
    {"POP > '1000'", Op::kNotParsed, "", "", -9999, -9999.0, false, kAlpha},
    {"POP", Op::kNotParsed, "", "", -9999, -9999.0, false, "Invalid operator. Oper: None found."},
    {"POP => 5", Op::kNotParsed, "", "", -9999, -9999.0, false, "Invalid operator. Oper: =>"},
    {"POP >>= 5", Op::kNotParsed, "", "", -9999, -9999.0, false, "Invalid operator. Oper: >>="},
    {"POP\t= 5", Op::kNotParsed, "", "", -9999, -9999.0, false,
     "Invalid operator. Oper: None found."},
    {"1POP = 5", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"POP = 5;", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"POP =", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"NAME = 'x'*", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"NAME = 'abc", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"NAME = 'A_B'", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"POP = (5)", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"POP = 5 ; 6", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"POP IN ()", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"=POP", Op::kNotParsed, "", "", -9999, -9999.0, false, kBadToken},
    {"NAME <> 'A*'", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildOp},
    {"NAME IN ('A*')", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildOp},
    {"NAME > 'A*'", Op::kNotParsed, "", "", -9999, -9999.0, false, kAlpha},
    {"NAME = 'A**'", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildOnce},
    {"NAME = 'A*B*'", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildOnce},
    {"POP = 5*)", Op::kNotParsed, "", "", -9999, -9999.0, false, kWildNumber},
    {"", Op::kNotParsed, "", "", -9999, -9999.0, false, ""},
    {nullptr, Op::kNotParsed, "", "", -9999, -9999.0, false, ""},
};

class CriteriaParse : public ::testing::TestWithParam<ParseRow> {};

TEST_P(CriteriaParse, FieldOperatorValueOrMessage) {
  const ParseRow& row = GetParam();
  Criteria c;
  const bool ok = c.Parse(row.text);
  EXPECT_EQ(ok, row.op != Op::kNotParsed) << c.message();
  EXPECT_EQ(c.op(), row.op);
  EXPECT_STREQ(c.message(), row.message);
  if (!ok) return;
  EXPECT_EQ(c.field_name(), row.field);
  EXPECT_EQ(c.value(), row.value);
  EXPECT_EQ(c.integer_value(), row.integer);
  EXPECT_DOUBLE_EQ(c.floating_value(), row.floating);
  EXPECT_EQ(c.wild_card(), row.wild);
}

INSTANTIATE_TEST_SUITE_P(Texts, CriteriaParse, ::testing::ValuesIn(kParseRows));

TEST(Criteria, LongOperatorMessageIsCutAt79Characters) {
  Criteria c;
  const std::string text = "POP " + std::string(100, '=') + " 5";
  EXPECT_FALSE(c.Parse(text.c_str()));
  const std::string expected = "Invalid operator. Oper: " + std::string(100, '=');
  EXPECT_EQ(std::string(c.message()), expected.substr(0, 79));
}

TEST(Criteria, FailedParseForgetsTheEarlierOne) {
  Criteria c;
  ASSERT_TRUE(c.Parse("POP = 5"));
  EXPECT_FALSE(c.Parse("POP"));
  EXPECT_EQ(c.op(), Op::kNotParsed);
  EXPECT_FALSE(c.MatchesValue('N', "5"));
  ASSERT_TRUE(c.Parse("POP = 6"));
  EXPECT_STREQ(c.message(), "");
}

// Fails the first allocation after it is set, then serves every one.
bool FailOnce(std::size_t) {
  lumetra_test::SetAllocationFilter(nullptr);
  return true;
}

TEST(Criteria, OutOfMemoryNamesTheBytesItWanted) {
  Criteria c;
  const std::string text = "POPULATION_2020 = 12345";  // beyond the short-string buffer
  lumetra_test::SetAllocationFilter(FailOnce);
  EXPECT_FALSE(c.Parse(text.c_str()));
  lumetra_test::SetAllocationFilter(nullptr);
  EXPECT_STREQ(c.message(), "Could not allocate 24 byte(s).");
  EXPECT_EQ(c.op(), Op::kNotParsed);
}

// --------------------------------------------------------------- matching

struct MatchRow {
  const char* criteria;
  char type;  // as the attribute info reports it
  const char* value;
  bool matches;
};

std::ostream& operator<<(std::ostream& os, const MatchRow& r) {
  return os << "<" << r.criteria << "> on " << r.type << " '" << r.value << "'";
}

const MatchRow kMatchRows[] = {
    // Text fields: case-blind equality, prefix with a wild card.
    {"NAME = 'Smith*'", 'C', "SMITHFIELD", true},
    {"NAME = 'Smith*'", 'C', "smith", true},
    {"NAME = 'Smith*'", 'C', "Smit", false},
    {"NAME = 'Smith*'", 'C', "Jones", false},
    {"NAME = 'smith'", 'C', "SMITH", true},
    {"NAME = 'smith'", 'C', "SMITHFIELD", false},
    {"NAME = 'smith'", 'C', "SMIT", false},
    {"NAME <> 'smith'", 'C', "Jones", true},
    {"NAME <> 'smith'", 'C', "Smith", false},
    {"NAME = ''", 'C', "", true},
    {"NAME = ''", 'C', "x", false},
    {"STATE IN ('ny', 'nj')", 'C', "NJ", true},
    {"STATE IN ('ny', 'nj')", 'C', "ny", true},
    {"STATE IN ('ny', 'nj')", 'C', "CT", false},
    {"STATE IN ('ny', 'nj')", 'C', "N", false},
    {"STATE IN ('new york', 'nj')", 'C', "New York", true},
    {"POP > 5", 'C', "9", false},  // other operators never match text
    // Numbers without decimals: integer comparison, field on the left.
    {"POP > 1,000", 'N', "1200", true},
    {"POP > 1,000", 'N', "1000", false},
    {"POP < 1000", 'N', "999", true},
    {"POP >= 1000", 'N', "1000", true},
    {"POP <= 1000", 'N', "1001", false},
    {"POP = 1000", 'N', "1000", true},
    {"POP <> 1000", 'N', "1000", false},
    {"POP > -5", 'N', "-4", true},
    {"POP = -9999", 'N', "-9999", false},  // -9999 never matches
    {"CODE in (1,2,3)", 'N', "2", true},
    {"CODE in (1,2,3)", 'N', "4", false},
    {"CODE in (1,2,3)", 'N', "12", false},
    {"CODE IN (1.5, 2)", 'N', "2", true},
    {"CODE IN (1.5, 2)", 'N', "3", false},
    // Numbers with decimals in the value text: double comparison.
    {"AREA > 2.5", 'N', "3.25", true},
    {"AREA > 2.5", 'N', "2.50", false},
    {"AREA = 2.5", 'N', "2.50", true},
    {"AREA >= 3", 'N', "3.00", true},
    {"AREA < 3", 'N', "2.99", true},
    {"AREA <> 3", 'N', "3.00", false},
    {"AREA IN (1.5, 2.25)", 'N', "2.25", true},
    {"AREA IN (1.5, 2.25)", 'N', "2.5", false},
    {"AREA IN (1, 2, 3)", 'N', "2.00", true},
    {"AREA IN (1, 2, 3)", 'N', "2.50", false},
    {"AREA = -9999", 'N', "-9999.00", false},  // -9999.0 never matches
    // Other field types never match.
    {"POP = 5", 'D', "5", false},
};

class CriteriaMatch : public ::testing::TestWithParam<MatchRow> {};

TEST_P(CriteriaMatch, FieldValueAgainstCriteria) {
  const MatchRow& row = GetParam();
  Criteria c;
  ASSERT_TRUE(c.Parse(row.criteria)) << c.message();
  EXPECT_EQ(c.MatchesValue(row.type, row.value), row.matches);
}

INSTANTIATE_TEST_SUITE_P(Values, CriteriaMatch, ::testing::ValuesIn(kMatchRows));

// ------------------------------------------------------------- validation

class CriteriaValidate : public lumetra_test::ScratchDirTest {
 protected:
  CriteriaValidate() {
    attribute_test::WriteTable(dir_.File("v.gsa"), attribute_test::SampleTable());
    attributes_.Attach(dir_.File("v.gsb").c_str(), "");
  }
  std::string Validate(const char* text, bool* ok) {
    Criteria c;
    std::string message = "unchanged";
    *ok = ValidateCriteria(text, attributes_, &c, &message);
    return message;
  }

  AttributeSearch attributes_;
};

TEST_F(CriteriaValidate, FieldAndTypeMustFit) {
  ASSERT_TRUE(attributes_.has_file());
  struct Row {
    const char* text;
    bool ok;
    const char* message;
  } rows[] = {
      {"NAME = 'Smith*'", true, ""},
      {"name <> 'x'", true, ""},
      {"POP > 1,000", true, ""},
      {"AREA >= 2.5", true, ""},
      {"CODE = 7", true, ""},   // 'C' with decimals counts as numeric
      {"recid = 2", true, ""},  // the record-id field may be filtered on
      {"POP = -9999", false, "Keyword type ('N') does not match value type ('C')."},
      {"POP = '12'", false, "Keyword type ('N') does not match value type ('C')."},
      {"NAME = 12", false, "Keyword type ('C') does not match value type ('N')."},
      {"CODE = 'x'", false, "Keyword type ('N') does not match value type ('C')."},
      {"COLOUR = 'red'", false, "Fieldname is invalid. Name: COLOUR"},
      {"POP", false, "Invalid operator. Oper: None found."},
  };
  for (const Row& row : rows) {
    bool ok = false;
    const std::string message = Validate(row.text, &ok);
    EXPECT_EQ(ok, row.ok) << row.text;
    EXPECT_EQ(message, row.message) << row.text;
  }
}

TEST(CriteriaValidateWithoutFile, EveryFieldIsInvalid) {
  AttributeSearch none;
  Criteria c;
  std::string message;
  EXPECT_FALSE(ValidateCriteria("POP = 5", none, &c, &message));
  EXPECT_EQ(message, "Fieldname is invalid. Name: POP");
}

}  // namespace
