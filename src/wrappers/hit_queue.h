// The queues of CSpatial's nearest and overlap searches: every hit of a
// search is collected with its object handle and a key (distance or overlap
// percentage), ordered by the key, and handed out one by one through
// collections of handle words.
#ifndef LUMETRA_WRAPPERS_HIT_QUEUE_H
#define LUMETRA_WRAPPERS_HIT_QUEUE_H

#include <lumetra/geometry.h>

#include <vector>

namespace lumetra {

struct Hit {
  int low;     // object handle, low half
  int high;    // object handle, high half
  double key;  // distance to the border, or overlap percentage
};

enum class KeyOrder { kAscending, kDescending };

// Orders `hits` by key.  Up to kExchangeSortLimit hits are ordered by the
// exchange sort (for each position, every later hit with a better key is
// swapped in), which fixes the order of equal keys; longer lists, where that
// sort's quadratic time would dominate, by a stable sort (equal keys keep
// their order of arrival).
constexpr std::size_t kExchangeSortLimit = 2048;
void OrderHits(std::vector<Hit>& hits, KeyOrder order);

// The handle words (and keys, when `keys` is given) of `hits` appended to the
// emptied queue; the cursors stand on the first entry.  False when a
// collection cannot grow.
bool FillQueue(const std::vector<Hit>& hits, CLongCollection& low, CLongCollection& high,
               CDoubleCollection* keys);

// The entry under the queue's cursor (advanced first when `advance`): false
// at the end.
bool QueueEntry(CLongCollection& low, CLongCollection& high, bool advance, int* lo, int* hi);

}  // namespace lumetra

#endif  // LUMETRA_WRAPPERS_HIT_QUEUE_H
