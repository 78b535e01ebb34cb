// The CSV point lists of the command line (see csv_points.h).
#include "csv_points.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "cli_common.h"
#include "source_table.h"

namespace lumetra_cli {

namespace {

// The fields of one CSV row, or none for a line to skip; throws for a
// malformed row.
bool ParseRow(const std::string& path, int number, const std::string& line, std::size_t fields,
              bool geographic, std::vector<std::string>* row, std::int32_t* x, std::int32_t* y) {
  if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') return false;
  std::string text = line;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  *row = SplitMidLine(text, ',');
  const bool ok = row->size() >= 3 && row->size() <= fields &&
                  TryParseCoordinate((*row)[1].data(), (*row)[1].data() + (*row)[1].size(),
                                     geographic, Axis::kX, x) &&
                  TryParseCoordinate((*row)[2].data(), (*row)[2].data() + (*row)[2].size(),
                                     geographic, Axis::kY, y);
  if (ok) return true;
  if (number == 1) return false;  // a header
  throw CliError(path + ", line " + std::to_string(number) + ": malformed row");
}

template <class Row, class Fill>
std::vector<Row> ReadRows(const std::string& path, std::size_t fields, bool geographic,
                          Fill&& fill) {
  std::ifstream in(path);
  if (!in) throw CliError("cannot open " + path + ": " + std::strerror(errno));
  std::vector<Row> rows;
  std::string line;
  std::vector<std::string> row;
  for (int number = 1; std::getline(in, line); ++number) {
    std::int32_t x = 0, y = 0;
    if (!ParseRow(path, number, line, fields, geographic, &row, &x, &y)) continue;
    rows.push_back(fill(row, x, y, number));
  }
  return rows;
}

}  // namespace

bool TryNumber(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(*value);
}

std::vector<StoreRow> ReadStores(const std::string& path, bool geographic) {
  return ReadRows<StoreRow>(
      path, 3, geographic,
      [](const std::vector<std::string>& row, std::int32_t x, std::int32_t y, int) {
        return StoreRow{row[0], x, y};
      });
}

std::vector<CustomerRow> ReadCustomers(const std::string& path, bool geographic) {
  return ReadRows<CustomerRow>(
      path, 4, geographic,
      [&](const std::vector<std::string>& row, std::int32_t x, std::int32_t y, int number) {
        CustomerRow c{row[0], x, y, 1.0};
        if (row.size() == 4 && !TryNumber(row[3], &c.weight)) {
          throw CliError(path + ", line " + std::to_string(number) + ": bad weight");
        }
        return c;
      });
}

}  // namespace lumetra_cli
