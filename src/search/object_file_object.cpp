#include "search/object_file_object.h"

#include "frame/error.h"
#include "search/attribute_search.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"

namespace {

constexpr char kFindNextBeforeFindFirst[] = "FindNext called before FindFirst";

}  // namespace

pipObjectFileObject::pipObjectFileObject(pipError& err, const char* file_name, int mode)
    : err_(err), reader_(std::make_unique<PolygonSearch>(err, file_name, mode)) {}

pipObjectFileObject::~pipObjectFileObject() {
  // The search reads through the reader; make the order explicit.
  search_.reset();
  reader_.reset();
  attributes_.reset();
}

void pipObjectFileObject::set_attributes(std::unique_ptr<AttributeSearch> attributes) {
  attributes_ = std::move(attributes);
}

void pipObjectFileObject::ReplaceSearch(std::unique_ptr<PolygonSearchEnum> search) {
  search_.reset();
  search_ = std::move(search);
}

PolygonObject* pipObjectFileObject::CurrentObject() const {
  return search_ != nullptr ? search_->CurrentObject() : nullptr;
}

int pipObjectFileObject::FindFirstContaining(std::int32_t x, std::int32_t y, std::int32_t radius,
                                             char* name, int name_length) {
  // The previous search goes first, before the new one is made.
  ReplaceSearch(nullptr);
  ReplaceSearch(std::make_unique<PolySearchPointInPolygon>(*reader_, err_, x, y, radius));
  return RunFind([&] { return search_->FindFirst(name, name_length); });
}

int pipObjectFileObject::FindNext(char* name, int name_length) {
  if (search_ == nullptr) {
    err_.Set(106, kFindNextBeforeFindFirst, QERR_HERE);
    return -1;
  }
  return RunFind([&] { return search_->FindNext(name, name_length); });
}

int pipObjectFileObject::GetHandle64(std::uint64_t* position) const {
  if (search_ == nullptr) return -1;
  *position = search_->current_position();
  return search_->has_current() ? 1 : -1;
}

int pipObjectFileObject::Goto64(std::uint64_t position) {
  if (search_ == nullptr) return -1;
  if (!search_->MakeCurrent(position)) {
    OnObjectPositioned(nullptr);
    return -1;
  }
  OnObjectPositioned(search_->CurrentObject());
  return 1;
}

void pipObjectFileObject::OnObjectPositioned(const PolygonObject* object) {
  if (object_positioned_) object_positioned_(object);
}
