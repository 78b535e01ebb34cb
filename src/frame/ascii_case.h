// Case-blind text comparison over ASCII letters, the rule of names, field
// identifiers and keys in object files and data library files: 'A' to 'Z'
// equal 'a' to 'z', every other byte (including bytes above 127) only
// itself.  No locale is consulted, so results never depend on the caller's
// process settings.
#ifndef LUMETRA_FRAME_ASCII_CASE_H
#define LUMETRA_FRAME_ASCII_CASE_H

#include <cstddef>
#include <string_view>

namespace lumetra {

// `c` with an ASCII capital turned into its small letter.
constexpr unsigned char AsciiLower(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// True when `a` and `b` have the same length and the same bytes but for the
// case of ASCII letters.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) !=
        AsciiLower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace lumetra

#endif  // LUMETRA_FRAME_ASCII_CASE_H
