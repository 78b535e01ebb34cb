#include "storage/hash_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "storage/bstring.h"

namespace {

// Counts its own destructions, to prove owned values are deleted.
class Tracked : public QPairObject {
 public:
  Tracked(int id, std::vector<int>* deaths) : id_(id), deaths_(deaths) {}
  ~Tracked() override { deaths_->push_back(id_); }
  int id() const { return id_; }

 private:
  int id_;
  std::vector<int>* deaths_;
};

std::vector<std::uint32_t> KeysInIterationOrder(QHashMap& map) {
  std::vector<std::uint32_t> keys;
  map.StartIteration();
  while (QPair* pair = map.Next()) keys.push_back(pair->key_integer());
  return keys;
}

TEST(BString, LengthCountsEmbeddedNulsAndComparisonUsesEveryByte) {
  EXPECT_STREQ(BString().c_str(), "");
  EXPECT_TRUE(BString().empty());
  EXPECT_STREQ(BString(nullptr).c_str(), "");
  EXPECT_EQ(BString(nullptr).length(), 0u);
  BString a("a\0b", 3);
  BString b("a\0c", 3);
  EXPECT_EQ(a.length(), 3u);
  EXPECT_NE(a, b);
  EXPECT_LT(a.Compare(b), 0);
  EXPECT_GT(BString("ab").Compare(BString("a")), 0);
  EXPECT_EQ(BString("x").Compare(BString("x")), 0);
}

TEST(BString, CopiesAreDeepAndAppendsGrowEvenFromTheStringItself) {
  BString a("Main Street");
  a.set_counter(0, 7);
  a.set_counter(1, 9);
  BString b(a);
  a.Assign("Elm");
  EXPECT_STREQ(b.c_str(), "Main Street");
  EXPECT_EQ(b.length(), 11u);
  EXPECT_EQ(b.counter(0), 7u);
  BString c;
  c = b;
  EXPECT_EQ(c, b);
  EXPECT_EQ(c.counter(1), 9u);
  EXPECT_EQ(c.counter(2), 0u);  // out of range reads 0

  BString s("ab");
  std::string model = "ab";
  for (int i = 0; i < 200; ++i) {
    const std::string piece(1, static_cast<char>('a' + i % 26));
    s.Append(piece.c_str());
    model += piece;
  }
  EXPECT_EQ(std::string(s.c_str()), model);
  EXPECT_EQ(s.length(), model.size());
  EXPECT_GE(s.capacity(), model.size());
  BString self("abcdefghijklmnop");  // longer than the first buffer
  self.Append(self.c_str(), self.length());
  EXPECT_STREQ(self.c_str(), "abcdefghijklmnopabcdefghijklmnop");
  self.Assign(self.c_str() + 16, 4);
  EXPECT_STREQ(self.c_str(), "abcd");
}

TEST(QPair, HalvesCarryTheirKindsAndOwnedValuesDieWithTheirPair) {
  std::vector<int> deaths;
  QPair ints(3, 4);
  EXPECT_EQ(ints.key_kind(), QPairKind::kInteger);
  EXPECT_EQ(ints.value_integer(), 4u);
  EXPECT_EQ(ints.key_string(), nullptr);
  {
    QPair owned("name", std::make_unique<Tracked>(1, &deaths));
    EXPECT_EQ(owned.key_kind(), QPairKind::kObject);
    EXPECT_STREQ(owned.key_string()->c_str(), "name");
    EXPECT_EQ(owned.value_kind(), QPairKind::kObject);
    owned.SetValue(5);  // the owned value dies here
    EXPECT_EQ(deaths, std::vector<int>{1});
    owned.SetValue(std::make_unique<Tracked>(2, &deaths));
  }
  EXPECT_EQ(deaths, (std::vector<int>{1, 2}));
}

TEST(QHashMap, The145thEntryGrowsFrom29To401BucketsKeepingInsertionOrder) {
  QHashMap map;
  EXPECT_EQ(map.grow_threshold(), 145u);
  EXPECT_EQ(map.key_kind(), QPairKind::kInteger);
  EXPECT_TRUE(map.ordered());
  std::vector<std::uint32_t> inserted;
  // Keys that collide in 29 buckets and scatter in 401, in a mixed order.
  for (std::uint32_t i = 0; i < 145; ++i) {
    EXPECT_EQ(map.bucket_count(), 29u);
    EXPECT_EQ(map.size_step(), -1);
    const std::uint32_t key = i == 144 ? 999999u : (i % 3u) * 100000u + i * 29u;
    ASSERT_TRUE(map.Insert(QPair(key, i)));
    inserted.push_back(key);
  }
  EXPECT_EQ(map.count(), 145u);
  EXPECT_EQ(map.bucket_count(), 401u);
  EXPECT_EQ(map.grow_threshold(), 401u);
  EXPECT_EQ(map.size_step(), 3);
  EXPECT_EQ(KeysInIterationOrder(map), inserted);
  for (std::uint32_t i = 0; i < inserted.size(); ++i) {
    QPair* pair = map.FindInteger(inserted[i]);
    ASSERT_NE(pair, nullptr) << "key " << inserted[i];
    EXPECT_EQ(pair->value_integer(), i);
  }
}

TEST(QHashMap, LaterGrowthsFollowTheTable) {
  QHashMap map;
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t key = 0; key < 12000; ++key) {
    map.Insert(QPair(key, key));
    if (sizes.empty() || sizes.back() != map.bucket_count()) sizes.push_back(map.bucket_count());
    // The 401st entry is the one that grows 401 -> 809.
    if (key == 399 || key == 400) {
      EXPECT_EQ(map.bucket_count(), key == 399 ? 401u : 809u);
    }
  }
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{29, 401, 809, 1601, 3203, 6421, 12809}));
}

// Replacing, removing and re-inserting keys is covered by the differential
// test below; this one follows the owned values.
TEST(QHashMap, OwnedValuesDieWhenReplacedRemovedClearedOrDestroyed) {
  std::vector<int> deaths;
  auto tracked = [&deaths](int id) { return std::make_unique<Tracked>(id, &deaths); };
  {
    QHashMap map;
    for (int id : {5, 1, 4}) map.Insert(QPair(static_cast<std::uint32_t>(id), tracked(id)));
    map.Insert(QPair(5u, tracked(6)));
    EXPECT_EQ(deaths, std::vector<int>{5});  // the replaced value
    EXPECT_EQ(static_cast<Tracked*>(map.FindInteger(5)->value_object())->id(), 6);
    EXPECT_TRUE(map.RemoveInteger(1));
    EXPECT_EQ(deaths, (std::vector<int>{5, 1}));
    deaths.clear();
    map.Clear();  // in insertion order
    EXPECT_EQ(deaths, (std::vector<int>{6, 4}));
    EXPECT_EQ(map.count(), 0u);
    EXPECT_EQ(map.FindInteger(4), nullptr);
    map.StartIteration();
    EXPECT_EQ(map.Next(), nullptr);
    deaths.clear();
    for (int id : {9, 7, 8}) map.Insert(QPair(static_cast<std::uint32_t>(id), tracked(id)));
  }
  EXPECT_EQ(deaths, (std::vector<int>{9, 7, 8}));
}

TEST(QHashMap, RemovingTheCursorEntryDuringIterationContinues) {
  QHashMap map;
  for (std::uint32_t key = 1; key <= 5; ++key) map.Insert(QPair(key, key));
  map.StartIteration();
  std::vector<std::uint32_t> seen;
  while (QPair* pair = map.Next()) {
    seen.push_back(pair->key_integer());
    if (pair->key_integer() == 2) map.RemoveInteger(3);  // the next one
  }
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{1, 2, 4, 5}));
}

TEST(QHashMap, StringKeyedMapFindsRemovesReplacesAndGrowsInOrder) {
  QHashMap map(std::make_unique<QHashString>());
  EXPECT_EQ(map.key_kind(), QPairKind::kObject);
  EXPECT_TRUE(map.Insert(QPair("Springfield", 1u)));
  EXPECT_TRUE(map.Insert(QPair("Shelbyville", 2u)));
  EXPECT_TRUE(map.Insert(QPair("springfield", 3u)));  // case matters
  EXPECT_TRUE(map.Insert(QPair("Springfield", 4u)));  // replaces
  EXPECT_EQ(map.count(), 3u);
  ASSERT_NE(map.FindString("Springfield"), nullptr);
  EXPECT_EQ(map.FindString("Springfield")->value_integer(), 4u);
  EXPECT_EQ(map.FindString("Springfiel"), nullptr);
  EXPECT_TRUE(map.RemoveString("Shelbyville"));
  EXPECT_FALSE(map.RemoveString("Shelbyville"));
  std::vector<std::string> keys = {"Springfield", "springfield"};
  for (int i = 0; i < 1000; ++i) {
    keys.push_back("key-" + std::to_string((i * 37) % 1000));
    ASSERT_TRUE(map.Insert(QPair(keys.back().c_str(), static_cast<std::uint32_t>(i))));
  }
  EXPECT_EQ(map.bucket_count(), 1601u);
  map.StartIteration();
  for (const std::string& key : keys) {
    QPair* pair = map.Next();
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(std::string(pair->key_string()->c_str()), key);
  }
  EXPECT_EQ(map.Next(), nullptr);
}

TEST(QHashMap, KeyOfTheWrongKindIsRefused) {
  QHashMap ints;
  EXPECT_FALSE(ints.Insert(QPair("text", 1u)));
  EXPECT_EQ(ints.FindString("text"), nullptr);
  EXPECT_FALSE(ints.RemoveString("text"));
  QHashMap strings(std::make_unique<QHashString>());
  EXPECT_FALSE(strings.Insert(QPair(1u, 1u)));
  EXPECT_EQ(strings.FindInteger(1), nullptr);
  EXPECT_FALSE(strings.Insert(QPair()));  // no key at all
  EXPECT_EQ(ints.count() + strings.count(), 0u);
}

TEST(QHashMap, FailedBucketAllocationsKeepTheMapUsable) {
  // The first allocation fails: an empty map that finds nothing.
  QHashMap::SetBucketLimitForTest(1);
  QHashMap empty;
  QHashMap::SetBucketLimitForTest(0);
  EXPECT_EQ(empty.bucket_count(), 0u);
  EXPECT_FALSE(empty.Insert(QPair(1u, 1u)));
  EXPECT_EQ(empty.FindInteger(1), nullptr);
  EXPECT_FALSE(empty.RemoveInteger(1));
  empty.StartIteration();
  EXPECT_EQ(empty.Next(), nullptr);
  empty.Clear();
  // Growth fails: the old buckets keep working, and the map catches up
  // once allocation works again.
  QHashMap::SetBucketLimitForTest(29);
  QHashMap map;
  for (std::uint32_t key = 0; key < 300; ++key) ASSERT_TRUE(map.Insert(QPair(key, key)));
  QHashMap::SetBucketLimitForTest(0);
  EXPECT_EQ(map.bucket_count(), 29u);
  EXPECT_EQ(map.size_step(), -1);
  for (std::uint32_t key = 0; key < 300; ++key) ASSERT_NE(map.FindInteger(key), nullptr);
  map.Insert(QPair(300u, 0u));
  EXPECT_EQ(map.bucket_count(), 401u);
  EXPECT_EQ(KeysInIterationOrder(map).size(), 301u);
}

TEST(QHashMap, UnorderedMapIteratesEveryEntryOnce) {
  QHashMap map(nullptr, false);
  for (std::uint32_t key = 0; key < 500; ++key) map.Insert(QPair(key * 3, key));
  std::vector<std::uint32_t> keys = KeysInIterationOrder(map);
  std::sort(keys.begin(), keys.end());
  ASSERT_EQ(keys.size(), 500u);
  for (std::uint32_t i = 0; i < 500; ++i) EXPECT_EQ(keys[i], i * 3);
}

TEST(QHashMap, RandomOperationsAgreeWithStdMap) {
  const unsigned seed = 20240611;
  std::printf("QHashMap differential seed %u\n", seed);
  std::mt19937 rng(seed);
  QHashMap map;
  std::map<std::uint32_t, std::uint32_t> model;
  std::vector<std::uint32_t> order;  // model of the insertion order
  for (int step = 0; step < 20000; ++step) {
    const std::uint32_t key = rng() % 3000;
    const int op = static_cast<int>(rng() % 4);
    if (op <= 1) {
      const std::uint32_t value = rng();
      map.Insert(QPair(key, value));
      if (model.find(key) == model.end()) order.push_back(key);
      model[key] = value;
    } else if (op == 2) {
      const bool removed = map.RemoveInteger(key);
      ASSERT_EQ(removed, model.erase(key) == 1) << "step " << step;
      if (removed) order.erase(std::find(order.begin(), order.end(), key));
    } else {
      QPair* pair = map.FindInteger(key);
      auto it = model.find(key);
      ASSERT_EQ(pair != nullptr, it != model.end()) << "step " << step;
      if (pair != nullptr) {
        ASSERT_EQ(pair->value_integer(), it->second);
      }
    }
    ASSERT_EQ(map.count(), model.size());
  }
  EXPECT_EQ(KeysInIterationOrder(map), order);
}

}  // namespace
