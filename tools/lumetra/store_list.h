// Store and customer lists of the market-area commands, read from CSV:
//   stores:    name,lon,lat
//   customers: store,lon,lat[,weight]      (weight 1 when absent)
// Fields may be quoted ("Des Moines, IA"); blank lines and '#' comments are
// skipped, and so is a first line whose coordinates are not numbers (a
// header).
#ifndef LUMETRA_TOOLS_LUMETRA_STORE_LIST_H
#define LUMETRA_TOOLS_LUMETRA_STORE_LIST_H

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

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_STORE_LIST_H
