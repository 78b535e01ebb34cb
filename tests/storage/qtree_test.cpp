// QTree over hand-made pages: descent and next across pages, and pages
// that lie about themselves.  Lookups over runs of equal keys spanning
// leaves are checked against a multimap on built trees in
// tree_builder_test.
#include "storage/qtree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/record_mgr.h"
#include "support/core_bytes.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

constexpr std::size_t kPage = 128;
constexpr std::uint8_t kInterior = 0x01, kLeaf = 0x02, kFirst = 0x04, kLast = 0x08;

using lumetra_test::Put16;
using lumetra_test::Put64;

// A file of 128-byte tree pages with 4-byte keys; leaves carry 4-byte values
// (the value is the entry's number), interior pages 8-byte child offsets.
class PageImage {
 public:
  void Leaf(std::size_t page, std::uint8_t flags, const std::vector<std::string>& keys,
            std::uint32_t first_value) {
    Header(page, 0, static_cast<std::uint8_t>(kLeaf | flags), keys.size(), 4);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::size_t at = page * kPage + 12 + i * 8;
      std::memcpy(&bytes_[at], keys[i].data(), std::min<std::size_t>(4, keys[i].size()));
      const std::uint32_t value = first_value + static_cast<std::uint32_t>(i);
      std::memcpy(&bytes_[at + 4], &value, 4);
    }
  }

  void Interior(std::size_t page, std::uint16_t level, std::uint8_t flags,
                const std::vector<std::pair<std::string, std::size_t>>& children) {
    Header(page, level, static_cast<std::uint8_t>(kInterior | flags), children.size(), 8);
    for (std::size_t i = 0; i < children.size(); ++i) {
      const std::size_t at = page * kPage + 12 + i * 12;
      std::memcpy(&bytes_[at], children[i].first.data(),
                  std::min<std::size_t>(4, children[i].first.size()));
      Put64(bytes_, at + 4, children[i].second * kPage);
    }
  }

  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  void Header(std::size_t page, std::uint16_t level, std::uint8_t flags, std::size_t count,
              std::uint8_t value_length) {
    if (bytes_.size() < (page + 1) * kPage) bytes_.resize((page + 1) * kPage, 0);
    Put16(bytes_, page * kPage, static_cast<std::uint16_t>(count));
    Put16(bytes_, page * kPage + 2, kPage);
    Put16(bytes_, page * kPage + 4, level);
    bytes_[page * kPage + 6] = flags;
    bytes_[page * kPage + 8] = 4;
    bytes_[page * kPage + 9] = value_length;
  }

  std::vector<std::uint8_t> bytes_;
};

// Leaves p0 [a b c], p1 [d e], p2 [f g h i]; root p3 over them.
PageImage ThreeLeafTree() {
  PageImage image;
  image.Leaf(0, kFirst, {"a", "b", "c"}, 0);
  image.Leaf(1, 0, {"d", "e"}, 3);
  image.Leaf(2, kLast, {"f", "g", "h", "i"}, 5);
  image.Interior(3, 1, kFirst | kLast, {{"a", 0}, {"d", 1}, {"f", 2}});
  return image;
}

std::string Key4(const std::string& text) {
  std::string key(4, '\0');
  std::memcpy(&key[0], text.data(), std::min<std::size_t>(4, text.size()));
  return key;
}

std::uint32_t ValueOf(const std::uint8_t* value) {
  std::uint32_t v;
  std::memcpy(&v, value, 4);
  return v;
}

class QTreeTest : public ::testing::TestWithParam<int> {
 protected:
  // Writes the image and opens a tree on it with the parameter's open mode.
  QTree& Open(PageImage& image, std::uint64_t root_offset, const char* label = "qtreetst",
              lumetra::QKeyCompare compare = nullptr) {
    WriteBytes(path_, image.bytes());
    file_ = std::make_unique<Qfile>(err_, path_.c_str(), GetParam());
    EXPECT_TRUE(file_->is_open());
    tree_ = std::make_unique<QTree>(label, *file_, root_offset, std::move(compare), err_);
    return *tree_;
  }

  ScopedTempDir dir_;
  std::string path_ = dir_.File("tree.bin");
  QError err_;
  std::unique_ptr<Qfile> file_;
  std::unique_ptr<QTree> tree_;
};

TEST_P(QTreeTest, FindsEveryKeyAndWalksAcrossPages) {
  PageImage image = ThreeLeafTree();
  QTree& tree = Open(image, 3 * kPage);
  ASSERT_TRUE(tree.ready()) << err_.detail();
  EXPECT_EQ(tree.root_level(), 1);
  EXPECT_EQ(tree.page_size(), kPage);
  EXPECT_EQ(tree.key_length(), 4u);
  EXPECT_EQ(tree.value_length(), 4u);
  std::uint8_t key[4], value[4];
  const char* keys[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
  for (std::uint32_t i = 0; i < 9; ++i) {
    ASSERT_TRUE(tree.Find(Key4(keys[i]).data(), key, value, QTree::kModeExact)) << keys[i];
    EXPECT_EQ(ValueOf(value), i);
    EXPECT_EQ(std::memcmp(key, Key4(keys[i]).data(), 4), 0);
    EXPECT_FALSE(tree.Next(key, value)) << keys[i];  // no second equal key
  }
  ASSERT_TRUE(tree.First(key, value));
  for (std::uint32_t i = 1; i < 9; ++i) {
    ASSERT_TRUE(tree.NextEntry(key, value));
    EXPECT_EQ(ValueOf(value), i);
  }
  EXPECT_FALSE(tree.NextEntry(key, value));  // p2 is the level's last page
  // Short search keys are padded; outputs may be null.
  ASSERT_TRUE(tree.Find("G", 1, nullptr, value, QTree::kModeExact));
  EXPECT_EQ(ValueOf(value), 6u);
  EXPECT_TRUE(tree.Find("e", 1, nullptr, nullptr, QTree::kModeExact));
  EXPECT_FALSE(tree.Find(nullptr, nullptr, nullptr, QTree::kModeFloor));
}

TEST(QTreeCorruption, CorruptPagesEndTheSearchWithAReport) {
  const struct {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* search;  // null: construction itself must fail
    bool code_111;       // the page check reports it (else the read fails)
  } rows[] = {
      {"leaf count beyond the page", [](auto& b) { Put16(b, kPage + 0, 0xFFFF); }, "d", true},
      {"leaf count just past the checksum", [](auto& b) { Put16(b, kPage + 0, 15); }, "d", true},
      {"leaf page size field", [](auto& b) { Put16(b, kPage + 2, 256); }, "e", true},
      {"leaf key length", [](auto& b) { b[kPage + 8] = 8; }, "d", true},
      {"leaf value length", [](auto& b) { b[2 * kPage + 9] = 5; }, "g", true},
      {"leaf with interior flag too", [](auto& b) { b[kPage + 6] |= kInterior; }, "d", true},
      {"leaf above level 0", [](auto& b) { Put16(b, kPage + 4, 1); }, "d", true},
      {"child offset not a page offset", [](auto& b) { Put64(b, 3 * kPage + 28, 100); }, "d", true},
      {"child is the root itself", [](auto& b) { Put64(b, 3 * kPage + 28, 3 * kPage); }, "d", true},
      {"child beyond the file", [](auto& b) { Put64(b, 3 * kPage + 28, 40 * kPage); }, "d", false},
      {"root count beyond the page", [](auto& b) { Put16(b, 3 * kPage, 500); }, nullptr, true},
      {"root interior values not 8 bytes", [](auto& b) { b[3 * kPage + 9] = 4; }, nullptr, true},
      {"root page size zero", [](auto& b) { Put16(b, 3 * kPage + 2, 0); }, nullptr, true},
      {"root page size not dividing its offset", [](auto& b) { Put16(b, 3 * kPage + 2, 100); },
       nullptr, true},
      {"interior root without entries", [](auto& b) { Put16(b, 3 * kPage, 0); }, nullptr, true},
      {"file cut inside the root", [](auto& b) { b.resize(3 * kPage + 40); }, nullptr, false},
  };
  ScopedTempDir dir;
  for (int mode : {Qfile::kModeRead, Qfile::kModeMapped}) {
    for (const auto& c : rows) {
      SCOPED_TRACE(std::string(c.name) + (mode == Qfile::kModeMapped ? ", mapped" : ", read"));
      PageImage image = ThreeLeafTree();
      c.damage(image.bytes());
      WriteBytes(dir.File("t"), image.bytes());
      QError err;
      Qfile file(err, dir.File("t").c_str(), mode);
      ASSERT_TRUE(file.is_open());
      QTree tree("corrupt", file, 3 * kPage, nullptr, err);
      if (c.search == nullptr) {
        EXPECT_FALSE(tree.ready());
      } else {
        ASSERT_TRUE(tree.ready()) << err.detail();
        std::uint8_t key[4], value[4];
        EXPECT_FALSE(tree.Find(Key4(c.search).data(), key, value, QTree::kModeExact));
      }
      EXPECT_NE(err.code(), -1);
      if (c.code_111) {
        EXPECT_EQ(err.code(), 111);
        EXPECT_NE(std::string(err.detail()).find("QTree corrupt"), std::string::npos)
            << err.detail();
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(OpenModes, QTreeTest,
                         ::testing::Values(Qfile::kModeRead, Qfile::kModeMapped),
                         [](const auto& info) {
                           return std::string(info.param == Qfile::kModeMapped ? "Mapped" : "Read");
                         });

}  // namespace
