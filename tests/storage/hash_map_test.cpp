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
#include "storage/dlist.h"

namespace {

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

TEST(QDlist, PushesOrderTheListAndIgnoreNull) {
  QDlist list("t");
  QDlistObject a, b;
  list.PushBack(nullptr);
  list.PushFront(nullptr);
  EXPECT_TRUE(list.empty());
  list.PushBack(&a);
  list.PushFront(&b);
  EXPECT_EQ(list.First(), &b);
  EXPECT_EQ(list.Last(), &a);
}

}  // namespace
