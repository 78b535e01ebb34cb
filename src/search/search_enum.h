// PolygonSearchEnum: the base of every search of an object-file handle
// (containing, rectangle, name, nearest and polygon searches).
//
// A search stands on at most one object at a time: the current object,
// named by its record's file position (the object handle).  FindFirst
// starts the search and FindNext continues it; both answer 1 (or a
// search-specific positive code) when they found an object and copied its
// name out, 0 when there is none (more), -1 on failure with the reason in
// the error record.  FindFirstEx and FindNextEx carry the extra arguments
// of the polygon search; here they forward to FindFirst and FindNext.
//
// The current object is kept as a position and a pointer into the reader's
// polygon cache.  Other loads may reuse that buffer for another record, so
// CurrentObject() checks the buffer still holds the position and reloads it
// through the cache when it does not.
//
// Ownership: the reader and the error record are not owned and must outlive
// the search; the search owns its spatial-index enumerator, taken from the
// reader and handed back to it when the search is destroyed.  Thread rule:
// one thread at a time (the handle's).
#ifndef LUMETRA_SEARCH_SEARCH_ENUM_H
#define LUMETRA_SEARCH_SEARCH_ENUM_H

#include <cstdint>
#include <memory>
#include <string>

class PolygonObject;
class PolygonSearch;
class QError;
class SpatialIndexEnum;

class PolygonSearchEnum {
 public:
  PolygonSearchEnum(PolygonSearch& reader, QError& err);
  virtual ~PolygonSearchEnum();
  PolygonSearchEnum(const PolygonSearchEnum&) = delete;
  PolygonSearchEnum& operator=(const PolygonSearchEnum&) = delete;

  // Starts the search; copies the found object's first name into `name`
  // (cut to name_length - 1 characters and terminated; nothing written for
  // a length <= 0 or a null buffer).
  virtual int FindFirst(char* name, int name_length) = 0;
  // Continues the search, naming the next object as FindFirst does.
  virtual int FindNext(char* name, int name_length) = 0;
  // The extended forms; this class drops the extra arguments.
  virtual int FindFirstEx(char* name, int name_length, int resolution, double* percent);
  virtual int FindNextEx(char* name, int name_length, int resolution, double* percent);
  // The point the search was made for, when it has one (false otherwise).
  virtual bool GetSearchPoint(std::int32_t* x, std::int32_t* y) const;

  // True while the search stands on an object.
  bool has_current() const { return has_current_; }
  // The position of the current object, or of the last one the search
  // stood on (0 before any).
  std::uint64_t current_position() const { return current_position_; }
  // The current object, reloaded through the cache when its buffer has been
  // reused; null without a current object or when the reload fails
  // (recorded).
  PolygonObject* CurrentObject();
  // Makes the record at `position` the current object (the goto of an
  // object handle).  False, with no current object, when it cannot be
  // loaded (recorded).
  bool MakeCurrent(std::uint64_t position);

  PolygonSearch& reader() const { return reader_; }
  QError& error() const { return err_; }

 protected:
  // Asks the reader's spatial index for this search's enumerator; false when
  // the index cannot give one.
  bool CreateEnumerator();
  SpatialIndexEnum* enumerator() const { return enumerator_.get(); }

  void SetCurrent(std::uint64_t position, PolygonObject* object);
  void ClearCurrent() { has_current_ = false; }
  // Copies the current object's first name out (see FindFirst).
  void CopyCurrentName(char* name, int name_length);

  bool first_call_ = true;

 private:
  PolygonSearch& reader_;
  QError& err_;
  std::unique_ptr<SpatialIndexEnum> enumerator_;
  std::uint64_t current_position_ = 0;
  PolygonObject* current_ = nullptr;  // a buffer of the reader's cache
  bool has_current_ = false;
};

#endif  // LUMETRA_SEARCH_SEARCH_ENUM_H
