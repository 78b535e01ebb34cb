// The grid index of old object files: the input is a choice prefix (index
// offset, query rectangles) and the file.  Reading stays inside the file,
// and a query answers exactly the entries a linear scan of the nodes finds:
// in file order, each entry whose cells meet the query's cells inside a node
// whose cells do.
#include <cstdint>
#include <string>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "storage/qfile.h"
#include "storage/qxy_spatial_index.h"

namespace {

constexpr std::size_t kMaxHits = 20000;

std::vector<std::uint64_t> Scan(const QxySpatialIndex& index, const lumetra::Rect& query) {
  const lumetra::CellRect cells = lumetra::GridQueryCells(query);
  std::vector<std::uint64_t> hits;
  for (std::size_t n = 0; n < index.node_count() && hits.size() < kMaxHits; ++n) {
    const QxyIndexNodeRead& node = index.node(n);
    if (!node.cells().Meets(cells)) continue;
    for (std::uint32_t e = 0; e < node.count() && hits.size() < kMaxHits; ++e) {
      if (node.EntryCells(e).Meets(cells)) hits.push_back(node.EntryOffset(e));
    }
  }
  return hits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  const std::int64_t offset = in.Byte();
  std::vector<lumetra::Rect> queries;
  for (int i = 0, n = 1 + in.Byte() % 3; i < n; ++i) {
    queries.push_back(lumetra::Rect{in.I32(), in.I32(), in.I32(), in.I32()});
  }
  const std::string path = lumetra_fuzz::WriteFile("grid", in.rest(), in.rest_size());
  QError err;
  Qfile file(err);
  FUZZ_CHECK(file.Open(path.c_str(), (offset & 1) != 0 ? Qfile::kModeMapped : Qfile::kModeRead));
  QxySpatialIndex index(err, file, offset);
  if (!index.IsReady()) {
    FUZZ_CHECK(err.code() != -1);
    return 0;
  }
  std::unique_ptr<SpatialIndexEnum> it = index.CreateEnum();
  FUZZ_CHECK(it != nullptr);
  for (const lumetra::Rect& q : queries) {
    std::vector<std::uint64_t> hits;
    std::uint64_t at = 0;
    for (bool more = it->First(q, &at); more && hits.size() < kMaxHits; more = it->Next(&at)) {
      hits.push_back(at);
    }
    FUZZ_CHECK(hits == Scan(index, q));
  }
  return 0;
}
