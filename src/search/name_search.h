// PolySearchByName: the objects that carry a name, found through the
// object file's name index.
//
// The searched name is taken up to 127 characters; a "*" cuts it there and
// makes the search a prefix search.  The index keys are the first 8 bytes
// of each record's names block, so the index can only narrow the search:
// the lookup uses at most the name's first 9 characters and compares keys
// without regard to ASCII case over min(8, length of the searched text)
// characters; further entries are taken while their keys compare equal.
// Each object so reached is then checked in full: its first name must
// equal the searched name (ASCII case ignored), or begin with it for a
// prefix search.  "*" alone therefore walks every object in index order.
//
// A search that has reached its end keeps answering 0 (it records
// nothing).  One name search at a time per reader (the index has a single
// cursor).
//
// Ownership and threads: as PolygonSearchEnum.
#ifndef LUMETRA_SEARCH_NAME_SEARCH_H
#define LUMETRA_SEARCH_NAME_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "search/search_enum.h"

class PolySearchByName : public PolygonSearchEnum {
 public:
  static constexpr std::size_t kMaxNameLength = 127;
  // Characters of the searched name handed to the index lookup.
  static constexpr std::size_t kLookupLength = 9;

  // A search for `name` (null reads as ""); see the file comment.
  PolySearchByName(PolygonSearch& reader, QError& err, const char* name);
  ~PolySearchByName() override;

  // 1 with the first matching object; 0 none; -1 when a record cannot be
  // loaded (recorded).
  int FindFirst(char* name, int name_length) override;
  // 1 with the next matching object; 0 at the end (and after it); -1.
  int FindNext(char* name, int name_length) override;

  const std::string& searched() const { return searched_; }
  bool prefix() const { return prefix_; }
  bool at_end() const { return at_end_; }

  // True when `name` matches the searched text as the search's full check
  // says (equal, or beginning with it for a prefix search; ASCII case
  // ignored).
  static bool NameMatches(const std::string& name, const std::string& searched, bool prefix);

 private:
  std::string searched_;
  bool prefix_ = false;
  bool at_end_ = false;
  std::uint64_t cursor_ = 0;  // record position of the current index entry
};

#endif  // LUMETRA_SEARCH_NAME_SEARCH_H
