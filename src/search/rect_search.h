// PolySearchInRectangle: the rectangle search -- every object whose indexed
// rectangle meets a search rectangle, in the spatial index's enumeration
// order, without any geometric test of the object itself.  It is also the
// building block of the polygon search (which derives from it) and of the
// ranked containing search (which runs one per ring).
//
// The two corners may be given in any order.  Every candidate is loaded
// through the reader's polygon cache and becomes the current object; its
// first name is copied out.  FindNext after the enumeration ended (or after
// a failure) records code 100 with the PIP_NOT_FOUND message and answers -1.
//
// A skip predicate, when set, is asked about each candidate position before
// the record is loaded; a skipped candidate is neither loaded nor returned.
// The ranked search uses it to pass over objects it has already examined.
//
// Ownership and threads: as PolygonSearchEnum.
//
// Usage:
//   PolySearchInRectangle search(reader, err, x1, y1, x2, y2);
//   char name[PIP_NAME_SIZE];
//   for (int r = search.FindFirst(name, sizeof name); r > 0;
//        r = search.FindNext(name, sizeof name)) { ... }
#ifndef LUMETRA_SEARCH_RECT_SEARCH_H
#define LUMETRA_SEARCH_RECT_SEARCH_H

#include <cstdint>
#include <functional>

#include "search/search_enum.h"
#include "storage/spatial_index.h"

class PolySearchInRectangle : public PolygonSearchEnum {
 public:
  // True for a candidate position that is to be passed over unloaded.
  using SkipPredicate = std::function<bool(std::uint64_t position)>;

  // A search over the rectangle spanned by (x1, y1) and (x2, y2), corners
  // in any order.  The enumerator is taken from the reader's spatial index.
  PolySearchInRectangle(PolygonSearch& reader, QError& err, std::int32_t x1, std::int32_t y1,
                        std::int32_t x2, std::int32_t y2);
  ~PolySearchInRectangle() override;

  // 1 with the first object; 0 none; -1 failure (no enumerator, or a record
  // that cannot be loaded).
  int FindFirst(char* name, int name_length) override;
  // 1 with the next object; 0 no more; -1 failure, or code 100 when the
  // search found nothing (more) before.
  int FindNext(char* name, int name_length) override;

  const lumetra::Rect& search_rect() const { return rect_; }
  void set_skip(SkipPredicate skip) { skip_ = std::move(skip); }

  // The rectangle spanned by two corners given in any order.
  static lumetra::Rect Normalized(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                  std::int32_t y2);

 protected:
  // True, with code 100 recorded, when the search is being continued
  // although it stands on no object (it found nothing more, or failed).
  bool RefuseContinuation();
  // Steps to the next candidate that is not skipped -- the first one when
  // the search was just (re)started -- and loads it: 1 with *position and
  // *object, 0 when the enumeration is exhausted, -1 when the record cannot
  // be loaded (recorded by the reader).  Does not change the current object.
  int NextCandidate(std::uint64_t* position, PolygonObject** object);
  // Makes the next call of NextCandidate start the enumeration over.
  void Restart();

 private:
  lumetra::Rect rect_;
  SkipPredicate skip_;
};

#endif  // LUMETRA_SEARCH_RECT_SEARCH_H
