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
// Ranked results.  The ranked containing search (ranked_search.h) keeps its
// result list here.  While the list's cursor stands on an entry, FindNext
// takes from the list, GetHandle64 answers the entry's object handle and
// Goto64 looks the list up first; callers that describe "the current
// object" of a ranked search (attributes, coordinates, border distance)
// first call MoveToRankedEntry.  Every other find-first empties the list.
//
// Filtered searches ask the filter factory (object_filter.h) installed by
// the attribute side; without one the file counts as having no attribute
// file.
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
#include <string>
#include <typeinfo>
#include <utility>

#include "frame/handle_table.h"
#include "search/object_filter.h"
#include "search/polygon_search.h"
#include "search/ranked_search.h"
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
  // Starts a ranked containing search (flags 1, 2 or 3 of the best entry;
  // 0; -1).
  int FindFirstContainingEx(std::int32_t x, std::int32_t y, std::int32_t maximum, char* name,
                            int name_length);
  // Starts the search `make()` returns (replacing the current one, after
  // emptying the ranked list) with `first(search)`, then positions the
  // followers.  `make` may return null (the answer is then -1).
  template <class Make, class First>
  int StartSearch(Make&& make, First&& first) {
    ranked_.Clear();
    ReplaceSearch(nullptr);
    ReplaceSearch(make());
    if (search_ == nullptr) return -1;
    return RunFind([&] { return first(*search_); });
  }
  // As StartSearch, but when the current search is already a T it is made
  // new with reset(T&) and started again instead of being replaced, so that
  // a run of finds of one kind allocates nothing.
  template <class T, class Make, class Reset, class First>
  int RestartOrStart(Make&& make, Reset&& reset, First&& first) {
    if (search_ != nullptr && typeid(*search_) == typeid(T)) {
      ranked_.Clear();
      reset(static_cast<T&>(*search_));
      return RunFind([&] { return first(*search_); });
    }
    return StartSearch(std::forward<Make>(make), std::forward<First>(first));
  }
  // Continues the ranked list while its cursor stands on an entry, else the
  // current search; before any find: code 106 and -1.
  int FindNext(char* name, int name_length);
  // As FindNext, passing the polygon search's resolution and percentage.
  int FindNextEx(char* name, int name_length, int resolution, double* percent);
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
  // Makes the record at `position` the current search's current object
  // (the ranked list's cursor first moves to its entry, see
  // RankedContainingSearch::Seek).  1; -1 without a current search or when
  // the record cannot be loaded.
  int Goto64(std::uint64_t position);

  // --- ranked results ---
  // The entry under the ranked list's cursor, or null.
  const SpatialPolygonNode* RankedEntry() const { return ranked_.Current(); }
  // Makes the entry under the cursor the current object (as Goto64 with
  // its object handle): 1; 0 when the cursor stands on no entry; -1 when
  // the entry cannot be made current.
  int MoveToRankedEntry();
  const RankedContainingSearch& ranked() const { return ranked_; }

  // --- followers of the current object ---
  void set_object_positioned_hook(ObjectPositionedHook hook) {
    object_positioned_ = std::move(hook);
  }
  void OnObjectPositioned(const PolygonObject* object);

  // --- filtered searches ---
  void set_filter_factory(FilterFactory factory) { filter_factory_ = std::move(factory); }
  // Asks the installed factory for the filter of `criteria`;
  // kNoAttributeFile without a factory.
  FilterStatus MakeFilter(const char* criteria, std::unique_ptr<ObjectFilter>* filter,
                          std::string* message) const;

  // --- the attribute file (null until attached; see attribute_search.h) ---
  AttributeSearch* attributes() const { return attributes_.get(); }
  void set_attributes(std::unique_ptr<AttributeSearch> attributes);

 private:
  // A ranked search's way to install the rectangle search of each ring as
  // the current search.
  RankedContainingSearch::RectSearchStarter RingSearchStarter();
  // FindNext and FindNextEx: the ranked list first, else `next` on the
  // current search.
  int Continue(char* name, int name_length, const std::function<int(PolygonSearchEnum&)>& next);

  pipError& err_;
  ObjectPositionedHook object_positioned_;
  FilterFactory filter_factory_;
  RankedContainingSearch ranked_;
  // Declared before the reader: destroyed after the search and the reader.
  std::unique_ptr<AttributeSearch> attributes_;
  std::unique_ptr<PolygonSearch> reader_;
  // Declared after the reader: the search, which reads through the reader,
  // is destroyed first.
  std::unique_ptr<PolygonSearchEnum> search_;
};

namespace lumetra {

// The call pattern of the exported functions on an object-file handle:
// WithHandle for PIP_HANDLE_OBJECT_FILE, -1 for an unknown handle.
template <class F>
int WithObjectFile(int handle, F&& work) noexcept {
  return WithHandle<pipObjectFileObject>(handle, PIP_HANDLE_OBJECT_FILE, -1, std::forward<F>(work));
}

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_OBJECT_FILE_OBJECT_H
