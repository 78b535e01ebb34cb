// Texts in fixed-size character buffers: taking a text out of a field that
// need not be terminated (CutText), and filling caller-supplied buffers --
// names, messages, attribute texts -- where a text longer than the buffer
// is cut and the buffer is always terminated; nothing is read or written
// past a buffer's size.
//
// Usage:
//   std::string name = lumetra::CutText(record.name, sizeof record.name);
//   lumetra::ClearText(name, name_length);           // "" when there is room
//   lumetra::CopyCutChecked(found, name, name_length);
#ifndef LUMETRA_FRAME_TEXT_COPY_H
#define LUMETRA_FRAME_TEXT_COPY_H

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace lumetra {

// The text of a C string or of a fixed-size field: at most `width`
// characters, ending before the first NUL; "" for a null `text`.
inline std::string CutText(const char* text, std::size_t width) {
  if (text == nullptr) return std::string();
  std::size_t n = 0;
  while (n < width && text[n] != '\0') ++n;
  return std::string(text, n);
}

// Copies at most size - 1 characters of `text` into `buffer`, then a
// terminator.  REQUIRES: `buffer` holds `size` >= 1 bytes.
inline void CopyCut(std::string_view text, char* buffer, std::size_t size) {
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  if (n > 0) std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// CopyCut into a caller's buffer of `length` bytes; writes nothing when the
// buffer is null or the length is below 1.
inline void CopyCutChecked(std::string_view text, char* buffer, int length) {
  if (buffer == nullptr || length <= 0) return;
  CopyCut(text, buffer, static_cast<std::size_t>(length));
}

// Empties a caller's buffer of `length` bytes; writes nothing when the
// buffer is null or the length is below 1.
inline void ClearText(char* buffer, int length) {
  if (buffer != nullptr && length > 0) buffer[0] = '\0';
}

}  // namespace lumetra

#endif  // LUMETRA_FRAME_TEXT_COPY_H
