#include "search/name_search.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "frame/ascii_case.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

PolySearchByName::PolySearchByName(PolygonSearch& reader, QError& err, const char* name)
    : PolygonSearchEnum(reader, err) {
  if (name == nullptr) name = "";
  const std::size_t length = strnlen(name, kMaxNameLength);
  searched_.assign(name, length);
  const std::size_t star = searched_.find('*');
  if (star != std::string::npos) {
    searched_.resize(star);
    prefix_ = true;
  }
}

PolySearchByName::~PolySearchByName() = default;

bool PolySearchByName::NameMatches(const std::string& name, const std::string& searched,
                                   bool prefix) {
  if (prefix) {
    return name.size() >= searched.size() &&
           lumetra::EqualNoCase(std::string_view(name.data(), searched.size()), searched);
  }
  return lumetra::EqualNoCase(name, searched);
}

int PolySearchByName::FindFirst(char* name, int name_length) {
  ClearCurrent();
  at_end_ = false;
  first_call_ = true;
  return FindNext(name, name_length);
}

int PolySearchByName::FindNext(char* name, int name_length) {
  if (at_end_) return 0;
  for (;;) {
    bool more = false;
    if (first_call_) {
      first_call_ = false;
      const std::size_t key_size = std::min(searched_.size(), kLookupLength);
      more = reader().FindNameEntry(searched_.c_str(), key_size, searched_.size(), &cursor_);
    } else {
      more = reader().NextNameEntry(&cursor_);
    }
    if (!more) break;
    PolygonObject* object = reader().FindObject(cursor_);
    if (object == nullptr) {
      ClearCurrent();
      return -1;
    }
    if (!NameMatches(object->name(), searched_, prefix_)) continue;
    SetCurrent(cursor_, object);
    CopyCurrentName(name, name_length);
    return 1;
  }
  at_end_ = true;
  ClearCurrent();
  return 0;
}
