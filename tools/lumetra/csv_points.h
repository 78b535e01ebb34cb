// The CSV point lists of the command line, one dialect for every command
// that reads named points (rings, thiessen, hulls, render --stores and
// nearest --points):
//   points / stores: name,lon,lat
//   customers:       store,lon,lat[,weight]      (weight 1 when absent)
// Fields are separated by commas and may be quoted ("Des Moines, IA", with
// "" for a quote inside); blank lines and lines starting with '#' are
// skipped, and so is a first line whose coordinates are not numbers (a
// header).  Coordinates are decimal degrees, or plain units for planar
// lists.
#ifndef LUMETRA_TOOLS_LUMETRA_CSV_POINTS_H
#define LUMETRA_TOOLS_LUMETRA_CSV_POINTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra_cli {

struct StoreRow {
  std::string name;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

struct CustomerRow {
  std::string store;
  std::int32_t x = 0;
  std::int32_t y = 0;
  double weight = 1.0;
};

// Positions in file units: millionths of a degree when geographic, else
// the numbers truncated.  Throw CliError naming the file and line of a
// malformed row.
std::vector<StoreRow> ReadStores(const std::string& path, bool geographic);
std::vector<CustomerRow> ReadCustomers(const std::string& path, bool geographic);

// A finite number filling the whole text.
bool TryNumber(const std::string& text, double* value);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_CSV_POINTS_H
