#include "storage/bstring.h"

#include <algorithm>
#include <cstring>
#include <utility>

QPairObject::~QPairObject() = default;

BString::BString() = default;

BString::BString(const char* text) { Assign(text); }

BString::BString(const char* text, std::size_t length) { Assign(text, length); }

BString::BString(const BString& other) : QPairObject(other) {
  Assign(other.c_str(), other.length_);
  counters_[0] = other.counters_[0];
  counters_[1] = other.counters_[1];
}

BString::BString(BString&& other) noexcept
    : QPairObject(other),
      buffer_(std::move(other.buffer_)),
      capacity_(other.capacity_),
      length_(other.length_) {
  counters_[0] = other.counters_[0];
  counters_[1] = other.counters_[1];
  other.capacity_ = 0;
  other.length_ = 0;
}

BString& BString::operator=(const BString& other) {
  if (this == &other) return *this;
  Assign(other.c_str(), other.length_);
  counters_[0] = other.counters_[0];
  counters_[1] = other.counters_[1];
  return *this;
}

BString& BString::operator=(BString&& other) noexcept {
  if (this == &other) return *this;
  buffer_ = std::move(other.buffer_);
  capacity_ = other.capacity_;
  length_ = other.length_;
  counters_[0] = other.counters_[0];
  counters_[1] = other.counters_[1];
  other.capacity_ = 0;
  other.length_ = 0;
  return *this;
}

BString::~BString() = default;

BString& BString::Assign(const char* text) {
  return Assign(text, text == nullptr ? 0 : std::strlen(text));
}

BString& BString::Assign(const char* text, std::size_t length) {
  if (text == nullptr) length = 0;
  length_ = 0;
  return Append(text, length);
}

BString& BString::Append(const char* text) {
  return Append(text, text == nullptr ? 0 : std::strlen(text));
}

BString& BString::Append(const char* text, std::size_t length) {
  if (text == nullptr) length = 0;
  const std::size_t new_length = length_ + length;
  if (buffer_ == nullptr || new_length > capacity_) {
    // Grow into a fresh buffer and copy from the old one while it still
    // lives: `text` may point into this string's own buffer.
    std::size_t capacity = std::max<std::size_t>(15, capacity_);
    while (capacity < new_length) capacity *= 2;
    auto bigger = std::make_unique<char[]>(capacity + 1);
    if (length_ > 0) std::memcpy(bigger.get(), buffer_.get(), length_);
    if (length > 0) std::memcpy(bigger.get() + length_, text, length);
    buffer_ = std::move(bigger);
    capacity_ = capacity;
  } else if (length > 0) {
    std::memmove(buffer_.get() + length_, text, length);
  }
  length_ = new_length;
  buffer_[length_] = '\0';
  return *this;
}

void BString::Clear() {
  length_ = 0;
  if (buffer_ != nullptr) buffer_[0] = '\0';
}

const char* BString::c_str() const { return buffer_ != nullptr ? buffer_.get() : ""; }

std::uint32_t BString::counter(int index) const {
  return (index == 0 || index == 1) ? counters_[index] : 0;
}

void BString::set_counter(int index, std::uint32_t value) {
  if (index == 0 || index == 1) counters_[index] = value;
}

int BString::Compare(const BString& other) const {
  const std::size_t common = std::min(length_, other.length_);
  const int by_bytes = common == 0 ? 0 : std::memcmp(c_str(), other.c_str(), common);
  if (by_bytes != 0) return by_bytes < 0 ? -1 : 1;
  if (length_ == other.length_) return 0;
  return length_ < other.length_ ? -1 : 1;
}

bool BString::Equals(const char* text, std::size_t length) const {
  if (text == nullptr) length = 0;
  return length == length_ && (length == 0 || std::memcmp(c_str(), text, length) == 0);
}

bool BString::operator==(const BString& other) const {
  return Equals(other.c_str(), other.length_);
}
