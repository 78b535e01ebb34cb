// ObjectFilter: what a filtered search asks about each candidate object --
// does its attribute record exist and meet the search's criteria?
//
// The filter of a filtered search is made, from the caller's criteria text,
// by the factory installed on the object-file handle
// (pipObjectFileObject::set_filter_factory), which the attribute side of
// the handle provides.  Without a factory the handle behaves as a file
// without attributes.
//
// Ownership: the search that asked for a filter owns it; a filter may refer
// to the handle's attribute file, which outlives every search of the handle.
// Thread rule: one thread at a time (the handle's).
#ifndef LUMETRA_SEARCH_OBJECT_FILTER_H
#define LUMETRA_SEARCH_OBJECT_FILTER_H

#include <functional>
#include <memory>
#include <string>

class PolygonObject;
class QError;

class ObjectFilter {
 public:
  ObjectFilter() = default;
  ObjectFilter(const ObjectFilter&) = delete;
  ObjectFilter& operator=(const ObjectFilter&) = delete;
  virtual ~ObjectFilter();

  // True when `object`'s attribute record is found and meets the criteria.
  // May move the attribute file's position (searches reposition it on the
  // object they stop on).
  virtual bool Accept(const PolygonObject& object) = 0;
  // After an Accept that answered false: true, with the failure copied into
  // `err`, when the attribute file failed in the file layer -- the answer
  // then says nothing about the object.
  virtual bool Failed(QError& err) const;
};

// What the factory made of a criteria text.
enum class FilterStatus {
  kReady,            // *filter holds the filter
  kNoAttributeFile,  // the object file has no (usable) attribute file
  kInvalidCriteria,  // *message holds why the text was refused
};

// Makes the filter of `criteria` (never null).  On kInvalidCriteria the
// message (at most 79 characters) says why; the filter is left null unless
// the status is kReady.
using FilterFactory = std::function<FilterStatus(
    const char* criteria, std::unique_ptr<ObjectFilter>* filter, std::string* message)>;

// A filter that accepts every object.
class AcceptAllFilter : public ObjectFilter {
 public:
  bool Accept(const PolygonObject& object) override;
};

#endif  // LUMETRA_SEARCH_OBJECT_FILTER_H
