// pipObjectFileObject: the object behind an object-file handle (kind 3).
//
// It owns the file's reader (PolygonSearch) and the handle's current search
// -- the search object of the last find call, replaced by every find-first
// -- and it answers the handle-level questions that do not belong to one
// search: which object is current, moving to an object by its handle, and
// continuing whatever search is current.
//
// Positioning hook.  Every find, find-next and goto ends by calling
// OnObjectPositioned with the object the handle now stands on (null when it
// stands on none).  The hook is where followers of the current object --
// the attribute file -- keep in step; it is empty by default.
//
// Object handles are the 64-bit file positions of records.
//
// Ownership: the library's error record is not owned; it must outlive the
// object (services are closed before pipTerm).  Destruction order: the
// current search, then the reader.  Thread rule: one thread at a time per
// handle.
//
// Usage (see object_file_api.cpp):
//   auto object = std::make_unique<pipObjectFileObject>(library.error(), name, mode);
//   if (!object->ready()) return -1;                        // reason recorded
//   int found = object->FindFirstContaining(x, y, 0, name_buffer, 128);
#ifndef LUMETRA_SEARCH_OBJECT_FILE_OBJECT_H
#define LUMETRA_SEARCH_OBJECT_FILE_OBJECT_H

#include <lumetra/pip.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "search/polygon_search.h"
#include "search/search_enum.h"

class AttributeSearch;
class PolygonObject;
class pipError;

class pipObjectFileObject {
 public:
  // Called with the object the handle stands on after a find, find-next or
  // goto; null when it stands on none.
  using ObjectPositionedHook = std::function<void(const PolygonObject* object)>;

  // Opens the reader for `file_name` with open `mode`; failures are recorded
  // in `err` and leave ready() false.
  pipObjectFileObject(pipError& err, const char* file_name, int mode);
  virtual ~pipObjectFileObject();
  pipObjectFileObject(const pipObjectFileObject&) = delete;
  pipObjectFileObject& operator=(const pipObjectFileObject&) = delete;

  bool ready() const { return reader_ != nullptr && reader_->ready(); }
  PolygonSearch& reader() const { return *reader_; }
  pipError& error() const { return err_; }

  // --- the current search ---
  PolygonSearchEnum* current_search() const { return search_.get(); }
  // Destroys the current search, then installs `search` (which may be null).
  void ReplaceSearch(std::unique_ptr<PolygonSearchEnum> search);
  // The current search's current object, or null.
  PolygonObject* CurrentObject() const;

  // --- finds (name buffers as the exported functions describe them) ---
  // Starts a containing search (1 inside, 2 near, 3 both; 0; -1).
  int FindFirstContaining(std::int32_t x, std::int32_t y, std::int32_t radius, char* name,
                          int name_length);
  // Continues the current search; before any find: code 106 and -1.
  int FindNext(char* name, int name_length);
  // Runs `find` (a FindFirst or FindNext of the current search) and then
  // positions the followers; for the other searches' find-first calls.
  template <class F>
  int RunFind(F&& find) {
    const int result = find();
    OnObjectPositioned(result > 0 ? CurrentObject() : nullptr);
    return result;
  }

  // --- object handles ---
  // The current object's position.  1 when the current search stands on an
  // object, -1 when it stands on none (the last position is still given);
  // -1 without *position written when there is no search.
  int GetHandle64(std::uint64_t* position) const;
  // Makes the record at `position` the current search's current object.
  // 1; -1 without a current search or when the record cannot be loaded.
  int Goto64(std::uint64_t position);

  // --- followers of the current object ---
  void set_object_positioned_hook(ObjectPositionedHook hook) {
    object_positioned_ = std::move(hook);
  }
  void OnObjectPositioned(const PolygonObject* object);

  // --- the attribute file (null until attached; see attribute_search.h) ---
  AttributeSearch* attributes() const { return attributes_.get(); }
  void set_attributes(std::unique_ptr<AttributeSearch> attributes);

 private:
  pipError& err_;
  ObjectPositionedHook object_positioned_;
  // Declared before the reader: destroyed after the search and the reader.
  std::unique_ptr<AttributeSearch> attributes_;
  std::unique_ptr<PolygonSearch> reader_;
  // Declared after the reader: the search, which reads through the reader,
  // is destroyed first.
  std::unique_ptr<PolygonSearchEnum> search_;
};

#endif  // LUMETRA_SEARCH_OBJECT_FILE_OBJECT_H
