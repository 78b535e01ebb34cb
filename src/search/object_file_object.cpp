#include "search/object_file_object.h"

#include "frame/error.h"
#include "search/attribute_search.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"
#include "search/rect_search.h"

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
  return RestartOrStart<PolySearchPointInPolygon>(
      [&] { return std::make_unique<PolySearchPointInPolygon>(*reader_, err_, x, y, radius); },
      [&](PolySearchPointInPolygon& search) { search.Restart(x, y, radius); },
      [&](PolygonSearchEnum& search) { return search.FindFirst(name, name_length); });
}

RankedContainingSearch::RectSearchStarter pipObjectFileObject::RingSearchStarter() {
  return [this](const lumetra::Rect& rect) -> PolySearchInRectangle* {
    ReplaceSearch(nullptr);
    auto search = std::make_unique<PolySearchInRectangle>(*reader_, err_, rect.minx, rect.miny,
                                                          rect.maxx, rect.maxy);
    PolySearchInRectangle* started = search.get();
    ReplaceSearch(std::move(search));
    return started;
  };
}

int pipObjectFileObject::FindFirstContainingEx(std::int32_t x, std::int32_t y, std::int32_t maximum,
                                               char* name, int name_length) {
  ranked_.Clear();
  ReplaceSearch(nullptr);
  const int result = ranked_.FindFirst(x, y, maximum, RingSearchStarter(), name, name_length);
  // Followers move to a ranked entry when it is described (MoveToRankedEntry).
  OnObjectPositioned(nullptr);
  return result;
}

int pipObjectFileObject::FindNext(char* name, int name_length) {
  return Continue(name, name_length,
                  [&](PolygonSearchEnum& search) { return search.FindNext(name, name_length); });
}

int pipObjectFileObject::FindNextEx(char* name, int name_length, int resolution, double* percent) {
  return Continue(name, name_length, [&](PolygonSearchEnum& search) {
    return search.FindNextEx(name, name_length, resolution, percent);
  });
}

int pipObjectFileObject::Continue(char* name, int name_length,
                                  const std::function<int(PolygonSearchEnum&)>& next) {
  if (ranked_.on_entry()) {
    const int result = ranked_.FindNext(RingSearchStarter(), name, name_length);
    // Followers move to a ranked entry when it is described.
    OnObjectPositioned(nullptr);
    return result;
  }
  if (search_ == nullptr) {
    err_.Set(106, kFindNextBeforeFindFirst, QERR_HERE);
    return -1;
  }
  return RunFind([&] { return next(*search_); });
}

int pipObjectFileObject::MoveToRankedEntry() {
  const SpatialPolygonNode* entry = ranked_.Current();
  if (entry == nullptr) return 0;
  return Goto64(entry->position());
}

FilterStatus pipObjectFileObject::MakeFilter(const char* criteria,
                                             std::unique_ptr<ObjectFilter>* filter,
                                             std::string* message) const {
  if (!filter_factory_) return FilterStatus::kNoAttributeFile;
  return filter_factory_(criteria != nullptr ? criteria : "", filter, message);
}

int pipObjectFileObject::GetHandle64(std::uint64_t* position) const {
  if (const SpatialPolygonNode* entry = ranked_.Current()) {
    *position = entry->position();
    return 1;
  }
  if (search_ == nullptr) return -1;
  *position = search_->current_position();
  return search_->has_current() ? 1 : -1;
}

int pipObjectFileObject::Goto64(std::uint64_t position) {
  ranked_.Seek(position);
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
