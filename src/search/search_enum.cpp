#include "search/search_enum.h"

#include <algorithm>
#include <cstring>

#include "frame/text_copy.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "storage/spatial_index.h"

PolygonSearchEnum::PolygonSearchEnum(PolygonSearch& reader, QError& err)
    : reader_(reader), err_(err) {}

PolygonSearchEnum::~PolygonSearchEnum() {
  if (enumerator_ != nullptr) reader_.ReturnEnumerator(std::move(enumerator_));
}

int PolygonSearchEnum::FindFirstEx(char* name, int name_length, int resolution, double* percent) {
  (void)resolution;
  (void)percent;
  return FindFirst(name, name_length);
}

int PolygonSearchEnum::FindNextEx(char* name, int name_length, int resolution, double* percent) {
  (void)resolution;
  (void)percent;
  return FindNext(name, name_length);
}

bool PolygonSearchEnum::GetSearchPoint(std::int32_t* x, std::int32_t* y) const {
  (void)x;
  (void)y;
  return false;
}

PolygonObject* PolygonSearchEnum::CurrentObject() {
  if (!has_current_) return nullptr;
  if (current_ != nullptr && current_->IsHolding(current_position_)) return current_;
  current_ = reader_.FindObject(current_position_);
  return current_;
}

bool PolygonSearchEnum::MakeCurrent(std::uint64_t position) {
  PolygonObject* object = reader_.FindObject(position);
  if (object == nullptr) {
    has_current_ = false;
    current_ = nullptr;
    return false;
  }
  SetCurrent(position, object);
  return true;
}

bool PolygonSearchEnum::CreateEnumerator() {
  enumerator_ = reader_.TakeEnumerator();
  return enumerator_ != nullptr;
}

void PolygonSearchEnum::SetCurrent(std::uint64_t position, PolygonObject* object) {
  current_position_ = position;
  current_ = object;
  has_current_ = true;
}

void PolygonSearchEnum::CopyCurrentName(char* name, int name_length) {
  const PolygonObject* object = CurrentObject();
  if (object != nullptr) lumetra::CopyCutChecked(object->name(), name, name_length);
}
