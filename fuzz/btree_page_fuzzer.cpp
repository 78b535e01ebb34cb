// B+-tree pages (the name index of object files, the page index of indexed
// files): the input is a choice prefix (root page, search keys, access mode)
// and a file of tree pages of any page size.  The reader never leaves a page,
// its answers keep the search's promises (an exact find answers an equal key,
// a floor find one not above the search key, Next only equal keys), and the
// descriptor and mapped page paths answer the same.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "storage/qfile.h"
#include "storage/qtree.h"
#include "storage/record_mgr.h"
#include "storage/tree_page.h"

namespace {

constexpr int kMaxEntries = 4096;

// What one pass of operations saw, compared between the two access paths.
using Transcript = std::vector<std::string>;

void Note(Transcript* t, bool ok, const std::uint8_t* key, std::size_t key_length,
          const std::uint8_t* value, std::size_t value_length) {
  std::string line(ok ? "1" : "0");
  if (ok) {
    line.append(reinterpret_cast<const char*>(key), key_length);
    line.append(reinterpret_cast<const char*>(value), value_length);
  }
  t->push_back(line);
}

Transcript Walk(const std::string& path, int mode, std::uint64_t root,
                const std::vector<std::vector<std::uint8_t>>& keys) {
  Transcript t;
  QError err;
  Qfile file(err);
  if (!file.Open(path.c_str(), mode)) return {"open failed"};
  QTree tree("fuzz", file, root, lumetra::QKeyCompare(), err);
  // The page cache is sized by the root's level, which a file can only
  // justify with a page per level.
  if (tree.record_manager() != nullptr) {
    const std::uint64_t pages = static_cast<std::uint64_t>(file.Size()) / tree.page_size();
    FUZZ_CHECK(tree.record_manager()->slot_count() <= 256 * pages);
  }
  if (!tree.ready()) {
    FUZZ_CHECK(err.code() != -1);
    return {"not ready"};
  }
  const std::size_t kl = tree.key_length();
  const std::size_t vl = tree.value_length();
  std::vector<std::uint8_t> key(kl + 1), value(vl + 1);
  const lumetra::QKeyCompare compare = lumetra::NameKeyCompare(kl);
  int n = 0;
  for (bool ok = tree.First(key.data(), value.data()); n < kMaxEntries; ++n) {
    Note(&t, ok, key.data(), kl, value.data(), vl);
    if (!ok) break;
    ok = tree.NextEntry(key.data(), value.data());
  }
  for (std::vector<std::uint8_t> search : keys) {
    // The comparison reads key-length bytes of the search key, as the tree
    // pads its own copy.
    if (search.size() < kl) search.resize(kl, 0);
    for (int find_mode : {QTree::kModeExact, QTree::kModeFloor}) {
      bool ok = tree.Find(search.data(), search.size(), key.data(), value.data(), find_mode);
      for (int k = 0; k < 64; ++k) {
        Note(&t, ok, key.data(), kl, value.data(), vl);
        if (!ok) break;
        const int order = compare(search.data(), key.data());
        FUZZ_CHECK(k > 0 || find_mode == QTree::kModeFloor ? order >= 0 : order == 0);
        if (k > 0) FUZZ_CHECK(order == 0);
        ok = tree.Next(key.data(), value.data());
      }
    }
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  const std::uint8_t root_page = in.Byte();
  const std::uint16_t page_size_hint = in.U16();
  std::vector<std::vector<std::uint8_t>> keys;
  for (int i = 0, n = in.Byte() % 4; i < n; ++i) {
    std::vector<std::uint8_t> key(1 + in.Byte() % 16);
    for (std::uint8_t& b : key) b = in.Byte();
    keys.push_back(key);
  }
  if (in.rest_size() < lumetra::TreePageHeader::kEncodedSize) return 0;
  // The root lies at a page boundary of the page size its first page claims
  // (or of the hint, for inputs whose first page is damaged).
  const std::uint16_t claimed = static_cast<std::uint16_t>(in.rest()[2] | in.rest()[3] << 8);
  const std::uint64_t page_size = claimed != 0 ? claimed : page_size_hint;
  const std::uint64_t root = root_page * page_size;
  const std::string path = lumetra_fuzz::WriteFile("tree", in.rest(), in.rest_size());
  const Transcript plain = Walk(path, Qfile::kModeRead, root, keys);
  const Transcript again = Walk(path, Qfile::kModeRead, root, keys);
  FUZZ_CHECK(plain == again);
  const Transcript mapped = Walk(path, Qfile::kModeMapped, root, keys);
  FUZZ_CHECK(plain == mapped);
  return 0;
}
