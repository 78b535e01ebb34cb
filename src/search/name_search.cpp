#include "search/name_search.h"

#include <algorithm>
#include <cstring>

#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace {

unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(const char* a, const char* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) !=
        AsciiLower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

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
           EqualIgnoringCase(name.data(), searched.data(), searched.size());
  }
  return name.size() == searched.size() &&
         EqualIgnoringCase(name.data(), searched.data(), searched.size());
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
