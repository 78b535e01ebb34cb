#include "search/position_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <vector>

class PolygonObject;

namespace {

PolygonObject* Fake(std::uintptr_t n) { return reinterpret_cast<PolygonObject*>(n * 16); }

TEST(PositionIndex, AgreesWithAMapUnderRandomChurn) {
  constexpr std::uint32_t kSeed = 4711;
  SCOPED_TRACE(testing::Message() << "seed " << kSeed);
  std::mt19937_64 rng(kSeed);
  for (std::size_t capacity : {1u, 2u, 7u, 64u, 1000u}) {
    lumetra::PositionIndex<PolygonObject> index;
    index.Reset(capacity);
    std::unordered_map<std::uint64_t, PolygonObject*> model;
    // Offsets share low bits (records are 4-byte aligned and clustered), the
    // case that defeats a naive modulo hash.
    std::uniform_int_distribution<std::uint64_t> pos(1, 4 * capacity + 8);
    for (int step = 0; step < 20000; ++step) {
      const std::uint64_t p = pos(rng) * 8;
      if (model.size() < capacity && (rng() & 1)) {
        index.Insert(p, Fake(step + 1));
        model[p] = Fake(step + 1);
      } else {
        index.Erase(p);
        model.erase(p);
      }
      ASSERT_EQ(index.size(), model.size());
      const std::uint64_t q = pos(rng) * 8;
      auto it = model.find(q);
      ASSERT_EQ(index.Find(q), it == model.end() ? nullptr : it->second) << "step " << step;
    }
    for (const auto& [p, object] : model) EXPECT_EQ(index.Find(p), object);
  }
}

}  // namespace
