#include "object_file.h"

#include <cstring>
#include <stdexcept>
#include <utility>

#include "library_error.h"

namespace lumetra_py {
namespace {

std::string Text(const char* buffer, std::size_t size) {
  return std::string(buffer, strnlen(buffer, size));
}

}  // namespace

ObjectFile::ObjectFile(std::string path, int mode) : path_(std::move(path)), mode_(mode) {
  pool_.push_back(std::make_unique<ObjectHandle>(path_, mode_));
  geographic_ = pool_.front()->geographic();
}

void ObjectFile::Close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  pool_.clear();
}

bool ObjectFile::closed() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return pool_.empty();
}

ObjectHandle& ObjectFile::Primary() {
  if (pool_.empty()) throw std::invalid_argument("I/O operation on a closed object file");
  return *pool_.front();
}

std::vector<ObjectHandle*> ObjectFile::Handles(int threads) {
  Primary();
  const std::size_t wanted = static_cast<std::size_t>(std::max(threads, 1));
  while (pool_.size() < wanted) {
    pool_.push_back(std::make_unique<ObjectHandle>(path_, mode_));
    pipObjectSetSearchDistance(pool_.back()->handle(), search_distance_);
  }
  std::vector<ObjectHandle*> handles;
  for (std::size_t t = 0; t < wanted; ++t) handles.push_back(pool_[t].get());
  return handles;
}

FileInfo ObjectFile::Info() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ObjectHandle& handle = Primary();
  FileInfo info;
  info.header = handle.info();
  info.has_extension = pipObjectHandleFileQueryEx(handle.handle(), &info.extension) == 1;
  info.tax = pipObjectIsTaxFile(handle.handle()) == 1;
  info.search_distance = pipObjectGetSearchDistance(handle.handle());
  return info;
}

std::vector<AttributeField> ObjectFile::Fields() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const int h = Primary().handle();
  std::vector<AttributeField> fields;
  int count = 0;
  if (pipObjectGetAttributeCount(h, &count) != PIP_SUCCESS) return fields;
  for (int i = 0; i < count; ++i) {
    pipAttributeInfoStruct a;
    if (pipObjectGetAttributeInfoByNumber(h, i, &a) < 0) {
      Primary().Fail("cannot describe attribute field " + std::to_string(i));
    }
    fields.push_back({Text(a.name, sizeof a.name), static_cast<char>(a.type), a.width, a.decimals});
  }
  return fields;
}

std::vector<std::uint64_t> ObjectFile::Positions() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return Primary().Positions();
}

void ObjectFile::ReadAttributes(ObjectHandle& handle, std::size_t fields, ObjectData* data) {
  data->values.assign(fields, std::string());
  data->has_attributes = false;
  for (std::size_t i = 0; i < fields; ++i) {
    pipAttributeInfoStruct a;
    const int result = pipObjectGetAttributeInfoByNumber(handle.handle(), static_cast<int>(i), &a);
    if (result < 0) handle.Fail("cannot read attribute field " + std::to_string(i));
    if (result == 0) return;  // the object has no attribute record
    data->has_attributes = true;
    data->values[i] = Text(a.value, sizeof a.value);
  }
}

ObjectData ObjectFile::ObjectAt(std::uint64_t position, bool coordinates) {
  const std::size_t fields = Fields().size();
  const std::lock_guard<std::mutex> lock(mutex_);
  ObjectHandle& handle = Primary();
  ObjectData data;
  handle.Goto(position);
  handle.Current(&data.object);
  if (coordinates) {
    int points = 0;
    int parts = 0;
    if (pipObjectGetNumCoords(handle.handle(), &points, &parts) != PIP_SUCCESS) {
      handle.Fail("cannot count the coordinates of an object");
    }
    data.points.resize(2 * static_cast<std::size_t>(points));
    data.part_counts.resize(static_cast<std::size_t>(parts));
    int written = 0;
    if (pipObjectGetCoords(handle.handle(), data.points.data(), points, data.part_counts.data(),
                           parts, &written) != PIP_SUCCESS) {
      handle.Fail("cannot read the coordinates of an object");
    }
    data.part_counts.resize(static_cast<std::size_t>(written));
  }
  ReadAttributes(handle, fields, &data);
  return data;
}

AttributeTable ObjectFile::Attributes() {
  const std::size_t fields = Fields().size();
  const std::lock_guard<std::mutex> lock(mutex_);
  ObjectHandle& handle = Primary();
  AttributeTable table;
  table.columns.resize(fields);
  for (const std::uint64_t position : handle.Positions()) {
    ObjectData data;
    handle.Goto(position);
    handle.Current(&data.object);
    ReadAttributes(handle, fields, &data);
    const pipObjectInfoStruct& info = data.object.info;
    table.ordinals.push_back(info.penColor);
    table.names.push_back(Text(info.name, sizeof info.name));
    table.has_record.push_back(data.has_attributes);
    for (std::size_t i = 0; i < fields; ++i) table.columns[i].push_back(std::move(data.values[i]));
  }
  return table;
}

int ObjectFile::SetSearchDistance(int feet) {
  const std::lock_guard<std::mutex> lock(mutex_);
  Primary();
  for (const auto& handle : pool_) pipObjectSetSearchDistance(handle->handle(), feet);
  search_distance_ = pipObjectGetSearchDistance(pool_.front()->handle());
  return search_distance_;
}

}  // namespace lumetra_py
