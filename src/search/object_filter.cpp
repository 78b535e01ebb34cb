#include "search/object_filter.h"

ObjectFilter::~ObjectFilter() = default;

bool ObjectFilter::Failed(QError& err) const {
  (void)err;
  return false;
}

bool AcceptAllFilter::Accept(const PolygonObject& object) {
  (void)object;
  return true;
}
