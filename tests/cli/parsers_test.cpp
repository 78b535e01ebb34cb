// The lumetra tool's own parsers and formatters, called directly: argument
// words, coordinates, MID lines and MIF headers, numbers for the attribute
// file, field planning, CSV and JSON texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "args.h"
#include "attribute_writer.h"
#include "cli_common.h"
#include "objects.h"
#include "source_table.h"
#include "support/test_files.h"

namespace lumetra_cli {
namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteText;

Args Parse(std::vector<std::string> words, const std::vector<OptionSpec>& specs) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  return Args(static_cast<int>(argv.size()), argv.data(), specs);
}

TEST(CliArgs, NegativeNumbersArePositionalAndOptionsTakeTheirValues) {
  const Args args = Parse({"f.lmb", "-87.6", "-.5", "--radius", "-3", "--rect", "1", "-2", "3", "4",
                           "-n", "7", "--json", "--name=a=b"},
                          {{"radius", 1}, {"rect", 4}, {"n", 1}, {"json", 0}, {"name", 1}});
  EXPECT_EQ(args.positional(), (std::vector<std::string>{"f.lmb", "-87.6", "-.5"}));
  EXPECT_EQ(args.Value("radius"), "-3");
  EXPECT_EQ(args.Values("rect"), (std::vector<std::string>{"1", "-2", "3", "4"}));
  EXPECT_EQ(args.Value("n"), "7");
  EXPECT_TRUE(args.Has("json"));
  EXPECT_EQ(args.Value("name"), "a=b");
  EXPECT_FALSE(args.Has("other"));
  EXPECT_EQ(args.Value("other", "fallback"), "fallback");
}

TEST(CliCoordinates, DegreesBecomeTruncatedMillionthsAndBack) {
  struct Row {
    const char* text;
    bool geographic;
    bool ok;
    std::int32_t value;
    Axis axis = Axis::kX;
  };
  const Row rows[] = {
      {"-87.6298", true, true, -87629800},
      {"41.8781", true, true, 41878100, Axis::kY},
      {"1.9999999", true, true, 1999999},  // truncated toward zero, not rounded
      {"0.0000019", true, true, 1},
      {"-0.0000019", true, true, -1},
      {"1e1", true, true, 10000000},
      {"-180", true, true, -180000000},
      {"180.000001", true, false, 0},
      {"90", true, true, 90000000, Axis::kY},
      {"-90.000001", true, false, 0, Axis::kY},
      {"95", true, true, 95000000},
      {" 12.5 ", true, true, 12500000},
      {"12.9", false, true, 12},
      {"-12.9", false, true, -12},
      {"2147483647", false, true, 2147483647},
      {"2147483648", false, false, 0},
      {"", true, false, 0},
      {"abc", true, false, 0},
      {"1.5x", true, false, 0},
      {"nan", true, false, 0},
      {"inf", true, false, 0},
      {"0x10", true, false, 0},
      {"1e400", true, false, 0},
  };
  for (const Row& row : rows) {
    std::int32_t value = 0;
    const std::string text = row.text;
    EXPECT_EQ(TryParseCoordinate(text.data(), text.data() + text.size(), row.geographic, row.axis,
                                 &value),
              row.ok)
        << "'" << row.text << "'";
    if (row.ok) {
      EXPECT_EQ(value, row.value) << "'" << row.text << "'";
    }
  }
  EXPECT_THROW(ParseCoordinate("north", true, "latitude"), UsageError);
  EXPECT_THROW(ParseCoordinate("95", true, "latitude"), UsageError);
  EXPECT_THROW(ParseCoordinate("-91", true, "Y1"), UsageError);
  EXPECT_EQ(ParseCoordinate("95", true, "X1"), 95000000);
  // And back: degrees with six decimals, plain units as they are.
  EXPECT_EQ(FormatCoordinate(-87629800, true), "-87.629800");
  EXPECT_EQ(FormatCoordinate(-1, true), "-0.000001");
  EXPECT_EQ(FormatCoordinate(2147483647, true), "2147.483647");
  EXPECT_EQ(FormatCoordinate(-2147483647 - 1, true), "-2147.483648");
  EXPECT_EQ(FormatCoordinate(-12, false), "-12");
}

TEST(CliFields, NumericColumnsStayNumericOnlyWhenEveryValueFits) {
  SourceTable table;
  table.file = "t.mid";
  table.columns = {{"Name", 'C', 5, 0},
                   {"Pop", 'N', 11, 0},
                   {"Big", 'N', 14, 2},
                   {"Area", 'F', 20, 0},
                   {"Text", 'F', 20, 0},
                   {"recid", 'C', 3, 0},
                   {"A_very_long_name", 'C', 1, 0},
                   {"a_very_long_nameX", 'C', 1, 0}};
  table.rows = {{"Chicago", "2716000", "1.5", "606.1", "x", "r", "a", "b"},
                {"Ev", "1", "123456789012.5", "61.25", "1", "s", "c", "d"}};
  const std::vector<PlannedField> fields = PlanFields(table);
  ASSERT_EQ(fields.size(), 8u);
  EXPECT_EQ(fields[0].type, 'C');
  EXPECT_EQ(fields[0].width, 7);  // the longest value is wider than declared
  EXPECT_EQ(fields[1].type, 'N');
  EXPECT_EQ(fields[1].width, 11);
  EXPECT_EQ(fields[2].type, 'C');  // 12345678901250 does not fit 32 bits
  EXPECT_EQ(fields[3].type, 'N');
  EXPECT_EQ(fields[3].decimals, 2);
  EXPECT_EQ(fields[4].type, 'C');
  EXPECT_EQ(fields[5].id, "recid_2");  // the record-id name is reserved
  EXPECT_EQ(fields[6].id, "A_very_long");
  EXPECT_EQ(fields[7].id, "a_very_lo_2");  // cut to 11 and made unique
}

}  // namespace
}  // namespace lumetra_cli
