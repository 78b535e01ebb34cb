#include "shapefile/dbf_value.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace lumetra {
namespace shapefile {
namespace {

// Longest fixed-notation text of a double with up to 255 decimals: sign,
// 309 integer digits, point, 255 decimals.
constexpr std::size_t kNumberTextSize = 640;

// Writes `value` right-aligned into `width` bytes at `dst`.  Keeps as many of
// the requested decimals as fit; '*' fill when not even the integer part
// fits.
void FormatNumber(double value, int width, int decimals, char* dst) {
  if (width <= 0) return;
  char text[kNumberTextSize];
  for (int places = decimals; places >= 0; --places) {
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, places);
    if (result.ec != std::errc()) continue;
    const int length = static_cast<int>(result.ptr - text);
    if (length <= width) {
      std::memset(dst, ' ', static_cast<std::size_t>(width - length));
      std::memcpy(dst + (width - length), text, static_cast<std::size_t>(length));
      return;
    }
  }
  std::memset(dst, '*', static_cast<std::size_t>(width));
}

}  // namespace

void BuildNumberFormat(dbField* field) {
  char text[32];
  std::snprintf(text, sizeof text, "%%%d.%df", field->length, field->decimals);
  std::memset(field->format, 0, sizeof field->format);
  if (std::strlen(text) < sizeof field->format) {
    std::memcpy(field->format, text, std::strlen(text));
  }
}

void PackField(const dbField& field, std::uint8_t* dst) {
  const std::size_t length = field.length;
  switch (field.type) {
    case 'C': {
      const std::size_t used = strnlen(field.value.text, length);
      std::memcpy(dst, field.value.text, used);
      break;
    }
    case 'D': {
      const std::size_t used = strnlen(field.value.text, length < 8 ? length : 8);
      std::memcpy(dst, field.value.text, used);
      break;
    }
    case 'F':
    case 'N':
      FormatNumber(field.value.number, field.length, field.decimals, reinterpret_cast<char*>(dst));
      break;
    case 'L':
      if (length > 0) dst[0] = static_cast<std::uint8_t>(field.value.logical);
      break;
    default:
      break;
  }
}

void UnpackField(const std::uint8_t* src, dbField* field) {
  const std::size_t length = field->length;
  switch (field->type) {
    case 'C':
    case 'D':
      // length is at most 255, so the text and its NUL fit the 256 bytes.
      std::memset(field->value.text, 0, sizeof field->value.text);
      std::memcpy(field->value.text, src, length);
      break;
    case 'F':
    case 'N':
      std::memset(field->value.text, 0, sizeof field->value.text);
      field->value.number = ParseNumber(src, length);
      break;
    case 'L':
      std::memset(field->value.text, 0, sizeof field->value.text);
      if (length > 0) field->value.logical = static_cast<char>(src[0]);
      break;
    default:
      break;
  }
}

void FormatNumberForTest(double value, int width, int decimals, char* dst) {
  FormatNumber(value, width, decimals, dst);
}

double ParseNumber(const std::uint8_t* src, std::size_t length) {
  std::size_t begin = 0;
  while (begin < length && (src[begin] == ' ' || src[begin] == '\t')) ++begin;
  if (begin < length && src[begin] == '+') ++begin;
  std::size_t end = begin;
  while (end < length && src[end] != '\0') ++end;
  const char* first = reinterpret_cast<const char*>(src + begin);
  const char* last = reinterpret_cast<const char*>(src + end);
  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(first, last, value, std::chars_format::general);
  if (result.ec != std::errc()) return 0.0;
  return value;
}

}  // namespace shapefile
}  // namespace lumetra
