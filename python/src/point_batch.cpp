#include "point_batch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>

namespace lumetra_py {
namespace {

bool ToUnits(double value, double scale, std::int32_t* out) {
  const double units = std::trunc(value * scale);
  // NaN fails both comparisons.
  if (!(units >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
        units <= static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return false;
  }
  *out = static_cast<std::int32_t>(units);
  return true;
}

}  // namespace

bool PointBatch::At(std::size_t i, std::int32_t* out_x, std::int32_t* out_y) const {
  if (x != nullptr) {
    *out_x = x[i];
    *out_y = y[i];
    return true;
  }
  const double scale = geographic ? 1000000.0 : 1.0;
  return ToUnits(lon[i], scale, out_x) && ToUnits(lat[i], scale, out_y);
}

void ForEachChunk(
    std::size_t size, std::size_t chunk_size, const std::vector<ObjectHandle*>& handles,
    const std::function<void(ObjectHandle&, std::size_t, std::size_t, std::size_t)>& work) {
  const std::size_t chunks = ChunkCount(size, chunk_size);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first_error;
  std::mutex error_mutex;
  const auto run = [&](ObjectHandle* handle) {
    while (!failed.load(std::memory_order_relaxed)) {
      const std::size_t chunk = next.fetch_add(1);
      if (chunk >= chunks) return;
      const std::size_t begin = chunk * chunk_size;
      const std::size_t end = std::min(size, begin + chunk_size);
      try {
        work(*handle, begin, end, chunk);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(error_mutex);
        if (!first_error) first_error = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> threads;
  const std::size_t wanted = std::min(handles.size(), std::max<std::size_t>(chunks, 1));
  for (std::size_t t = 1; t < wanted; ++t) threads.emplace_back(run, handles[t]);
  run(handles[0]);
  for (std::thread& t : threads) t.join();
  if (first_error) std::rethrow_exception(first_error);
}

}  // namespace lumetra_py
