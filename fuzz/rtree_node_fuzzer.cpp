// R-tree node pages (the spatial index of object files): the input is a
// choice prefix (page size, root page, query rectangles) and a file of node
// pages.  Every answer's rectangle meets the query, a query run twice
// answers the same, and the descriptor and mapped page paths agree.
#include <cstdint>
#include <string>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "storage/qfile.h"
#include "storage/rt_spatial_index.h"
#include "storage/rtree_node.h"

namespace {

constexpr int kMaxHits = 20000;

struct Answer {
  std::uint64_t offset;
  lumetra::Rect rect;
  bool operator==(const Answer& o) const { return offset == o.offset && rect == o.rect; }
};

std::vector<Answer> Query(rtSpatialIndex& index, const lumetra::Rect& query) {
  std::vector<Answer> answers;
  rtSpatialIndexEnum it(index);
  std::uint64_t offset = 0;
  for (bool more = it.First(query, &offset); more && answers.size() < kMaxHits;
       more = it.Next(&offset)) {
    FUZZ_CHECK(it.last_offset() == offset && it.last_rect().Meets(query));
    answers.push_back({offset, it.last_rect()});
  }
  return answers;
}

// Every query twice, in order; an empty list when the index does not open.
std::vector<std::vector<Answer>> Run(const std::string& path, int mode, std::uint32_t page_size,
                                     std::uint64_t root,
                                     const std::vector<lumetra::Rect>& queries) {
  QError err;
  Qfile file(err);
  if (!file.Open(path.c_str(), mode)) return {};
  rtSpatialIndex index(err, file, root, page_size);
  if (!index.IsReady()) {
    FUZZ_CHECK(err.code() != -1);
    return {};
  }
  // The enumerators' stacks are sized by the height: a page per level.
  FUZZ_CHECK(index.height() < index.page_count());
  std::vector<std::vector<Answer>> all;
  for (int pass = 0; pass < 2; ++pass) {
    for (const lumetra::Rect& q : queries) all.push_back(Query(index, q));
  }
  for (std::size_t i = 0; i < queries.size(); ++i) FUZZ_CHECK(all[i] == all[i + queries.size()]);
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  // Small pages keep the inputs small; the file's own pages are 32768 bytes.
  const std::uint16_t raw_size = in.U16();
  const std::uint32_t page_size =
      raw_size == 0 ? lumetra::kRtreePageSize : lumetra::kRtreeMinPageSize + raw_size % 512;
  const std::uint64_t root = std::uint64_t{in.Byte()} * page_size;
  std::vector<lumetra::Rect> queries;
  for (int i = 0, n = 1 + in.Byte() % 3; i < n; ++i) {
    lumetra::Rect q{in.I32(), in.I32(), in.I32(), in.I32()};
    if (i == 0) q = lumetra::Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    queries.push_back(q);
  }
  const std::string path = lumetra_fuzz::WriteFile("rtree", in.rest(), in.rest_size());
  const auto plain = Run(path, Qfile::kModeRead, page_size, root, queries);
  const auto mapped = Run(path, Qfile::kModeMapped, page_size, root, queries);
  FUZZ_CHECK(plain == mapped);
  return 0;
}
