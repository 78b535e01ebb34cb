#include "search/rect_search.h"

#include <algorithm>
#include <utility>

#include "frame/error.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

PolySearchInRectangle::PolySearchInRectangle(PolygonSearch& reader, QError& err, std::int32_t x1,
                                             std::int32_t y1, std::int32_t x2, std::int32_t y2)
    : PolygonSearchEnum(reader, err), rect_(Normalized(x1, y1, x2, y2)) {
  CreateEnumerator();
}

PolySearchInRectangle::~PolySearchInRectangle() = default;

lumetra::Rect PolySearchInRectangle::Normalized(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                                std::int32_t y2) {
  return lumetra::Rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

void PolySearchInRectangle::Restart() {
  ClearCurrent();
  first_call_ = true;
}

int PolySearchInRectangle::FindFirst(char* name, int name_length) {
  if (enumerator() == nullptr) return -1;
  Restart();
  return FindNext(name, name_length);
}

int PolySearchInRectangle::FindNext(char* name, int name_length) {
  if (RefuseContinuation()) return -1;
  std::uint64_t position = 0;
  PolygonObject* object = nullptr;
  const int found = NextCandidate(&position, &object);
  if (found <= 0) {
    ClearCurrent();
    return found;
  }
  SetCurrent(position, object);
  CopyCurrentName(name, name_length);
  return 1;
}

bool PolySearchInRectangle::RefuseContinuation() {
  if (first_call_ || has_current()) return false;
  error().Set(100, lumetra::kAfterNotFoundDetail, QERR_HERE);
  return true;
}

int PolySearchInRectangle::NextCandidate(std::uint64_t* position, PolygonObject** object) {
  if (enumerator() == nullptr) return -1;
  bool more = false;
  if (first_call_) {
    first_call_ = false;
    more = enumerator()->First(rect_, position);
  } else {
    more = enumerator()->Next(position);
  }
  for (; more; more = enumerator()->Next(position)) {
    if (skip_ && skip_(*position)) continue;
    *object = reader().FindObject(*position);
    return *object != nullptr ? 1 : -1;
  }
  return 0;
}
