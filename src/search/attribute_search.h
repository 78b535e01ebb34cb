// AttributeSearch: the attribute file of an open object file -- a data
// library file (datalib/dllist.h) with one record per object, keyed by the
// object's ordinal -- and its position on the current object's record.
//
// Finding the file.  The attribute file's name is the object file's name
// with a last "b" or "B" replaced by "a" ("regions.gsb" -> "regions.gsa");
// any other name is used unchanged (the data library adds ".dld" to a name
// without extension).  On a case-sensitive file system a name ending in "B"
// is also tried with "A" when the "a" name does not exist.  A missing or
// unreadable attribute file is no error: the object file simply has none.
//
// Stamps.  An attribute file may carry a stamp (data library file attribute
// 3, read up to 35 characters): the creation-time text of the object file
// it was made for.  A non-empty stamp that differs from the object file's
// creation time (the extension block's text; empty when the file has no
// extension block) rejects the attribute file: it is closed again and
// rejected() is set.
//
// Storage failures.  A file that is not a usable data library file (wrong
// signature, too short, corrupt) counts as no attribute file.  But an
// attribute file the system cannot read or that memory cannot be had for,
// and a record search or value read that fails in the file layer (as
// opposed to a record that is simply absent), is kept in failure(): the
// object file stays usable, and the attribute calls answer the failure
// instead of "no attribute file" or "no record".  An open failure stays
// until the next Attach; a read failure until the next position.  Stamps are compared as C strings,
// so a stamped attribute file is rejected by an object file without extension block. An unstamped
// attribute file is always taken.
//
// The record-id field.  The key field holds the object ordinal; it is named
// "qrecid" when the file has a field of that name, else "recid", and is
// hidden from callers: the visible fields are the others, in file order.
//
// Position.  After every find, find-next and goto the owner calls
// Position(ordinal) (PositionOn(object)): the file is searched for the
// ordinal and positioned() tells whether the object has a record.
//
// Ownership: owns its data library context and, through it, the attribute
// file.  Thread rule: one thread at a time (the object-file handle's).
//
// Usage:
//   AttributeSearch attributes;
//   attributes.Attach("regions.gsb", creation_time.c_str());
//   attributes.Position(object.AttributeKey());
//   pipAttributeInfoStruct info;
//   if (FieldId* f = attributes.VisibleField(0)) attributes.FillInfo(*f, &info);
#ifndef LUMETRA_SEARCH_ATTRIBUTE_SEARCH_H
#define LUMETRA_SEARCH_ATTRIBUTE_SEARCH_H

#include <lumetra/pip.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/object_filter.h"

struct DlContext;
struct DlDataFile;
class FieldId;
class PolygonObject;
class pipObjectFileObject;

class AttributeSearch {
 public:
  // Longest object-file name that can have an attribute file.
  static constexpr std::size_t kMaxNameLength = 255;
  // Characters of the attribute file's stamp that are compared.
  static constexpr int kStampLength = 35;
  static constexpr const char* kRecordIdName = "recid";
  static constexpr const char* kQRecordIdName = "qrecid";
  // Most decimals a numeric value is formatted with.
  static constexpr int kMaxFormatDecimals = 100;

  AttributeSearch();
  virtual ~AttributeSearch();
  AttributeSearch(const AttributeSearch&) = delete;
  AttributeSearch& operator=(const AttributeSearch&) = delete;

  // Closes any attached file, then looks for the attribute file of
  // `object_file_name` and checks its stamp against `stamp` (null = empty).
  // Leaves the search unpositioned.
  void Attach(const char* object_file_name, const char* stamp);
  // Closes the attribute file (no-op without one).
  void Detach();

  // Positions on the record of `ordinal`; ordinals below 1 have none.
  void Position(std::int32_t ordinal);
  // Positions on `object`'s record (its attribute key); null: on none.  The
  // attribute file is searched only when something asks about the record
  // (positioned(), FillInfo, the field accessors), so that a search that
  // moves over many objects without reading attributes never pays for it.
  void PositionOn(const PolygonObject* object);

  bool has_file() const { return file_ != nullptr; }
  bool positioned() const {
    Settle();
    return positioned_;
  }
  // True when an attribute file was found but its stamp did not match.
  bool rejected() const { return rejected_; }
  // The name of the record-id field ("qrecid" or "recid").
  const std::string& record_id_name() const { return record_id_name_; }
  // The attribute file's storage failure so far (see the file comment):
  // the open's, or the current record's once something has asked about it;
  // code -1 when there is none.
  const QError& failure() const { return failure_; }
  // The attribute file (null without one).
  DlDataFile* file() const {
    Settle();
    return file_;
  }

  // Fields other than the record-id field; 0 without an attribute file.
  int VisibleFieldCount() const;
  // The visible field `number` (from 0), or null.
  FieldId* VisibleField(int number) const;
  // Any field (the record-id field too) by name without regard to case;
  // null without such a field or without an attribute file.
  FieldId* FieldByName(const char* name) const;
  bool IsRecordIdField(const FieldId& field) const;
  // The field's type as callers see it: 'C' or 'N', a 'C' field with
  // decimals reading 'N'; other type codes unchanged.
  char ReportedType(const FieldId& field) const;

  // Describes `field` in *info (zeroed first): name (cut to 11 characters,
  // always terminated), width, reported type, decimals, and -- when
  // positioned -- the value text: a 'C' field's text; an 'N' field's number,
  // divided by 10^decimals and written with exactly that many decimals when
  // decimals >= 1.  1 with a value; 0 when not positioned, for other field
  // types, or when the value cannot be read (value then empty).
  int FillInfo(FieldId& field, pipAttributeInfoStruct* info) const;

  // The factory a filtered search asks for its filter (object_filter.h):
  // no attribute file -> kNoAttributeFile; a criteria text that does not
  // validate -> kInvalidCriteria with the message; else a filter that
  // positions on each candidate and matches the criteria there.
  // REQUIRES: this outlives every search that uses the factory.
  FilterFactory MakeFilterFactory();

  // The attribute file name of an object file (see the file comment); empty
  // for a null name or one longer than kMaxNameLength.
  static std::string AttributeFileName(const char* object_file_name);
  // True when `attribute_stamp` rejects an object file stamped
  // `object_stamp` (see the file comment).
  static bool StampRejects(const char* attribute_stamp, const char* object_stamp);

 private:
  std::vector<std::string> CandidateNames(const char* object_file_name) const;
  // Carries out a pending PositionOn.
  void Settle() const;
  // Keeps `cause`, the data library's record of a failure, in failure_.
  void KeepFailure(const char* what, const QError& cause) const;

  std::unique_ptr<DlContext> context_;
  DlDataFile* file_ = nullptr;  // owned by context_
  std::string file_name_;       // the attribute file looked for last
  std::string record_id_name_ = kRecordIdName;
  mutable bool positioned_ = false;
  mutable bool pending_ = false;  // PositionOn(pending_ordinal_) not yet carried out
  mutable std::int32_t pending_ordinal_ = 0;
  bool rejected_ = false;
  mutable QError failure_;
};

// Gives `object` (whose reader is ready) its attribute file: attaches it
// with the object file's creation time as the stamp, installs the
// positioning hook and the filter factory, and hands the AttributeSearch to
// the object.
void AttachAttributes(pipObjectFileObject& object, const char* object_file_name);

#endif  // LUMETRA_SEARCH_ATTRIBUTE_SEARCH_H
