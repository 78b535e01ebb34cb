// Ordering and queueing the hits of CSpatial's nearest and overlap searches.
#include "wrappers/hit_queue.h"

#include <algorithm>
#include <utility>

namespace lumetra {

void OrderHits(std::vector<Hit>& hits, KeyOrder order) {
  const auto better = [order](const Hit& a, const Hit& b) {
    return order == KeyOrder::kAscending ? a.key < b.key : a.key > b.key;
  };
  if (hits.size() > kExchangeSortLimit) {
    std::stable_sort(hits.begin(), hits.end(), better);
    return;
  }
  for (std::size_t i = 0; i < hits.size(); ++i) {
    for (std::size_t j = i + 1; j < hits.size(); ++j) {
      if (better(hits[j], hits[i])) std::swap(hits[i], hits[j]);
    }
  }
}

bool FillQueue(const std::vector<Hit>& hits, CLongCollection& low, CLongCollection& high,
               CDoubleCollection* keys) {
  low.reset();
  high.reset();
  if (keys != nullptr) keys->reset();
  for (const Hit& h : hits) {
    if (low.add(h.low) != 1 || high.add(h.high) != 1) return false;
    if (keys != nullptr && keys->add(h.key) != 1) return false;
  }
  return true;
}

bool QueueEntry(CLongCollection& low, CLongCollection& high, bool advance, int* lo, int* hi) {
  if (advance) {
    low.moveNext();
    high.moveNext();
  }
  return low.getCurrent(*lo) == 1 && high.getCurrent(*hi) == 1;
}

}  // namespace lumetra
