#include "search/object_filter.h"

ObjectFilter::~ObjectFilter() = default;

bool AcceptAllFilter::Accept(const PolygonObject& object) {
  (void)object;
  return true;
}
