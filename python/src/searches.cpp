// The batch searches of ObjectFile: one C-interface search per point, the
// points split into chunks that the pool's handles take in turn.
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "object_file.h"

// The exact k-nearest search is taken when the library at hand exports it
// (a weak reference: null otherwise), else the classic square-ring search.
#pragma weak pipObjectFindFirstNearestExact

namespace lumetra_py {
namespace {

// Points per chunk: large enough that handing out chunks costs nothing,
// small enough that threads finish together.
constexpr std::size_t kChunkSize = 16384;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string At(std::int32_t x, std::int32_t y) {
  return " at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

// The ordinal of the handle's current object.
std::int32_t CurrentOrdinal(ObjectHandle& handle) {
  pipObjectInfoStruct info;
  if (pipObjectGetInfo(handle.handle(), &info) != PIP_SUCCESS) {
    handle.Fail("cannot read a found object");
  }
  return info.penColor;
}

// Calls search(i, x, y) for each point i of [begin, end) whose coordinates
// convert to file units; the others keep the "nothing found" outputs.
template <typename Search>
void ForEachPoint(const PointBatch& points, std::size_t begin, std::size_t end, Search search) {
  for (std::size_t i = begin; i < end; ++i) {
    std::int32_t x = 0;
    std::int32_t y = 0;
    if (points.At(i, &x, &y)) search(i, x, y);
  }
}

using Chunk = std::function<void(ObjectHandle&, std::size_t, std::size_t, std::size_t)>;

}  // namespace

bool ExactNearestAvailable() { return &pipObjectFindFirstNearestExact != nullptr; }

void ObjectFile::Lookup(const PointBatch& points, int radius, int threads, std::int32_t* ordinals) {
  const Chunk chunk = [&](ObjectHandle& handle, std::size_t begin, std::size_t end, std::size_t) {
    const int h = handle.handle();
    char name[1];
    std::fill(ordinals + begin, ordinals + end, -1);
    ForEachPoint(points, begin, end, [&](std::size_t i, std::int32_t x, std::int32_t y) {
      const int result = pipObjectFindFirstContaining(h, x, y, radius, name, 1);
      if (result < 0) handle.Fail("lookup" + At(x, y) + " failed");
      if (result > 0) ordinals[i] = CurrentOrdinal(handle);
    });
  };
  const std::lock_guard<std::mutex> lock(mutex_);
  ForEachChunk(points.size, kChunkSize, Handles(threads), chunk);
}

Hits ObjectFile::LookupAll(const PointBatch& points, int radius, int threads) {
  // Each chunk collects its points' hit counts and hits; joined in order.
  std::vector<Hits> chunks(ChunkCount(points.size, kChunkSize));
  const Chunk chunk = [&](ObjectHandle& handle, std::size_t begin, std::size_t end,
                          std::size_t index) {
    const int h = handle.handle();
    Hits& out = chunks[index];
    out.offsets.assign(end - begin, 0);
    char name[1];
    ForEachPoint(points, begin, end, [&](std::size_t i, std::int32_t x, std::int32_t y) {
      int result = pipObjectFindFirstContaining(h, x, y, radius, name, 1);
      while (result > 0) {
        out.ordinals.push_back(CurrentOrdinal(handle));
        out.results.push_back(static_cast<std::uint8_t>(result));
        ++out.offsets[i - begin];
        result = pipObjectFindNext(h, name, 1);
      }
      if (result < 0) handle.Fail("lookup" + At(x, y) + " failed");
    });
  };
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ForEachChunk(points.size, kChunkSize, Handles(threads), chunk);
  }
  Hits hits;
  hits.offsets.reserve(points.size + 1);
  hits.offsets.push_back(0);
  for (const Hits& part : chunks) {
    for (const std::int64_t count : part.offsets)
      hits.offsets.push_back(hits.offsets.back() + count);
    hits.ordinals.insert(hits.ordinals.end(), part.ordinals.begin(), part.ordinals.end());
    hits.results.insert(hits.results.end(), part.results.begin(), part.results.end());
  }
  return hits;
}

void ObjectFile::Nearest(const PointBatch& points, int k, int threads, std::int32_t* ordinals,
                         double* distances) {
  const int units = geographic_ ? PIP_UNITS_FEET : PIP_UNITS_COORDINATE;
  const std::size_t width = static_cast<std::size_t>(k);
  const bool exact = ExactNearestAvailable();
  const Chunk chunk = [&](ObjectHandle& handle, std::size_t begin, std::size_t end, std::size_t) {
    const int h = handle.handle();
    char name[1];
    std::fill(ordinals + begin * width, ordinals + end * width, -1);
    std::fill(distances + begin * width, distances + end * width, kNaN);
    ForEachPoint(points, begin, end, [&](std::size_t i, std::int32_t x, std::int32_t y) {
      int result = exact ? pipObjectFindFirstNearestExact(h, x, y, k, nullptr, name, 1)
                         : pipObjectFindFirstNearest(h, x, y, k, name, 1);
      for (std::size_t j = i * width; result > 0 && j < (i + 1) * width; ++j) {
        pipObjectInfoStruct info;
        if (pipObjectGetInfo(h, &info) != PIP_SUCCESS) handle.Fail("cannot read a found object");
        ordinals[j] = info.penColor;
        distances[j] = pipDistance(x, y, info.x, info.y, units, nullptr);
        if (j + 1 < (i + 1) * width) result = pipObjectFindNext(h, name, 1);
      }
      if (result < 0) handle.Fail("nearest search" + At(x, y) + " failed");
    });
  };
  const std::lock_guard<std::mutex> lock(mutex_);
  ForEachChunk(points.size, kChunkSize, Handles(threads), chunk);
}

void ObjectFile::BorderDistance(const PointBatch& points, int max_distance, int threads,
                                double* distances, std::int32_t* ordinals, std::uint8_t* inside) {
  const Chunk chunk = [&](ObjectHandle& handle, std::size_t begin, std::size_t end, std::size_t) {
    const int h = handle.handle();
    char name[1];
    std::fill(distances + begin, distances + end, kNaN);
    std::fill(ordinals + begin, ordinals + end, -1);
    std::fill(inside + begin, inside + end, 0);
    ForEachPoint(points, begin, end, [&](std::size_t i, std::int32_t x, std::int32_t y) {
      const int result = pipObjectFindFirstContainingEx(h, x, y, max_distance, name, 1);
      if (result < 0) handle.Fail("border search" + At(x, y) + " failed");
      if (result == 0) return;
      // The ranked entry under the cursor is the best one; make it the
      // current object, as the distance call reads only that.
      handle.Goto(handle.CurrentPosition());
      CurrentObject best;
      handle.Current(&best);
      int near_x = 0;
      int near_y = 0;
      const int distance = pipObjectDistanceToBorderEx(h, x, y, &near_x, &near_y);
      if (distance < 0) handle.Fail("border distance" + At(x, y) + " failed");
      distances[i] = distance;
      ordinals[i] = best.info.penColor;
      inside[i] = (result & PIP_FOUND_INSIDE) != 0 ? 1 : 0;
    });
  };
  const std::lock_guard<std::mutex> lock(mutex_);
  ForEachChunk(points.size, kChunkSize, Handles(threads), chunk);
}

}  // namespace lumetra_py
