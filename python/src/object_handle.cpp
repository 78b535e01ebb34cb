#include "object_handle.h"

#include <algorithm>

#include "library_error.h"

namespace lumetra_py {
namespace {

std::uint64_t Join(int low, int high) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
         static_cast<std::uint32_t>(low);
}

}  // namespace

ObjectHandle::ObjectHandle(const std::string& path, int mode) {
  library_ = pipInit(0, nullptr);
  if (library_ <= 0) throw LibraryError("cannot start the library", -1, "", "");
  if (pipObjectFileOpen(library_, path.c_str(), mode, &file_) != PIP_SUCCESS) {
    const LibraryError error = RecordedError(library_, "cannot open " + path);
    pipTerm(library_);
    throw error;
  }
  if (pipObjectHandleFileQuery(file_, &info_) != PIP_SUCCESS) {
    const LibraryError error = RecordedError(library_, "cannot query " + path);
    pipObjectFileClose(file_);
    pipTerm(library_);
    throw error;
  }
}

ObjectHandle::~ObjectHandle() {
  pipObjectFileClose(file_);
  pipTerm(library_);
}

void ObjectHandle::Fail(const std::string& context) const {
  throw RecordedError(library_, context);
}

void ObjectHandle::Current(CurrentObject* out) const {
  int low = 0;
  int high = 0;
  if (pipObjectGetHandle64(file_, &low, &high) != PIP_SUCCESS ||
      pipObjectGetInfo(file_, &out->info) != PIP_SUCCESS) {
    Fail("cannot read the current object");
  }
  out->position = Join(low, high);
}

std::uint64_t ObjectHandle::CurrentPosition() const {
  int low = 0;
  int high = 0;
  if (pipObjectGetHandle64(file_, &low, &high) != PIP_SUCCESS) {
    Fail("cannot read the current object's position");
  }
  return Join(low, high);
}

void ObjectHandle::Goto(std::uint64_t position) {
  const int low = static_cast<int>(static_cast<std::uint32_t>(position));
  const int high = static_cast<int>(static_cast<std::uint32_t>(position >> 32));
  if (pipObjectFileGoto64(file_, low, high) == PIP_SUCCESS) return;
  // Going to an object needs a search on the handle; any will do.
  char name[PIP_NAME_SIZE];
  if (pipObjectFindFirstName(file_, "*", name, sizeof name) < 0 ||
      pipObjectFileGoto64(file_, low, high) != PIP_SUCCESS) {
    Fail("cannot go to the object at " + std::to_string(position));
  }
}

std::vector<std::uint64_t> ObjectHandle::Positions() {
  std::vector<std::uint64_t> positions;
  char name[PIP_NAME_SIZE];
  int result = pipObjectFindFirstName(file_, "*", name, sizeof name);
  while (result == PIP_SUCCESS) {
    int low = 0;
    int high = 0;
    if (pipObjectGetHandle64(file_, &low, &high) != PIP_SUCCESS) break;
    positions.push_back(Join(low, high));
    result = pipObjectFindNext(file_, name, sizeof name);
  }
  if (result < 0) Fail("cannot list the objects");
  std::sort(positions.begin(), positions.end());
  return positions;
}

}  // namespace lumetra_py
