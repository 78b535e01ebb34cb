#include "clip/polygon_clip.h"

#include <cstddef>

#include "clip/clip_edges.h"
#include "clip/output_chains.h"
#include "clip/vatti_sweep.h"

namespace lumetra {
namespace {

// The stack part of a clip's working storage (see clip_memory.h): enough for
// about a hundred vertices.  Address-sanitized builds leave it out, so that
// every list lies in the heap between guard zones.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t kArenaBytes = 16;
#else
constexpr std::size_t kArenaBytes = 32 * 1024;
#endif
// Results that need no sweep: nothing from nothing, nothing left of an empty
// subject by difference or intersection, nothing in common with an empty clip.
bool TriviallyEmpty(ClipOperation op, const ClipPolygon& subject, const ClipPolygon& clip) {
  bool no_subject = subject.counts.empty();
  bool no_clip = clip.counts.empty();
  bool subject_bound = op == ClipOperation::kDifference || op == ClipOperation::kIntersection;
  return (no_subject && no_clip) || (no_subject && subject_bound) ||
         (no_clip && op == ClipOperation::kIntersection);
}

void NotifyInputsRead(const ClipHooks* hooks) {
  if (hooks != nullptr && hooks->inputs_read != nullptr) hooks->inputs_read(hooks->context);
}

}  // namespace

void ClipPolygon::AddContour(std::initializer_list<ClipVertex> contour) {
  AddContour(contour.begin(), static_cast<int>(contour.size()));
}

void ClipPolygon::AddContour(const ClipVertex* contour, int count) {
  vertices.insert(vertices.end(), contour, contour + count);
  counts.push_back(count);
  holes.push_back(0);
}

void ClipPolygon::Clear() {
  vertices.clear();
  counts.clear();
  holes.clear();
}

void ClipPolygons(ClipOperation op, const ClipPolygon& subject, const ClipPolygon& clip,
                  ClipPolygon* result, const ClipHooks* hooks) {
  result->Clear();
  if (TriviallyEmpty(op, subject, clip)) {
    NotifyInputsRead(hooks);
    return;
  }
  ClipStats* stats = hooks != nullptr ? hooks->stats : nullptr;
  try {
    alignas(std::max_align_t) std::byte buffer[kArenaBytes];
    StackFirstMemory arena(buffer, sizeof buffer);
    EdgeTables tables = BuildEdgeTables(op, subject, clip, &arena);
    NotifyInputsRead(hooks);
    OutputChains chains(stats, tables.edges.size() + 8, &arena);
    VattiSweep sweep(op, tables, chains, stats, &arena);
    sweep.Run();
    chains.Collect(result);
  } catch (...) {
    result->Clear();
    throw;
  }
}

}  // namespace lumetra
