// One open object file as the C interface sees it: a library handle of its
// own (so that its error record belongs to this handle alone) and an
// object-file handle opened through it.
//
// Thread rule: an ObjectHandle serves one thread at a time, like the handles
// it owns.  Several ObjectHandles on the same file are independent.
#ifndef LUMETRA_PYTHON_OBJECT_HANDLE_H
#define LUMETRA_PYTHON_OBJECT_HANDLE_H

#include <lumetra/pip.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra_py {

// The current object of a search, as far as the binding reads it.
struct CurrentObject {
  pipObjectInfoStruct info{};
  std::uint64_t position = 0;
};

class ObjectHandle {
 public:
  // Opens `path` with the C interface's open mode.  Throws LibraryError
  // carrying the library's error record when it cannot be opened.
  ObjectHandle(const std::string& path, int mode);
  ~ObjectHandle();
  ObjectHandle(const ObjectHandle&) = delete;
  ObjectHandle& operator=(const ObjectHandle&) = delete;

  int handle() const { return file_; }
  const pipObjectFileInfoStruct& info() const { return info_; }
  // Coordinate-type code 1: millionths of a degree, distances in feet.
  bool geographic() const { return info_.coordType == PIP_COORD_GEOGRAPHIC; }

  // Throws the library's error record with `context`.
  [[noreturn]] void Fail(const std::string& context) const;

  // The current object of the handle's search (pipObjectGetInfo).
  void Current(CurrentObject* out) const;
  // The position of the current object (or of the ranked entry under the
  // cursor, which pipObjectGetInfo does not read: Goto it first).
  std::uint64_t CurrentPosition() const;
  // Makes the object whose record starts at `position` current.
  void Goto(std::uint64_t position);
  // Positions of every object, in file order (a name search for "*").
  std::vector<std::uint64_t> Positions();

 private:
  int library_ = 0;
  int file_ = 0;
  pipObjectFileInfoStruct info_{};
};

}  // namespace lumetra_py

#endif  // LUMETRA_PYTHON_OBJECT_HANDLE_H
