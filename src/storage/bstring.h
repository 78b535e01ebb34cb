// BString: an owned, length-counted character string, used as a hash-map key
// or value; QPairObject: the base of every object a QPair half can own.
//
// Thread rule: a BString belongs to one thread at a time.
#ifndef LUMETRA_STORAGE_BSTRING_H
#define LUMETRA_STORAGE_BSTRING_H

#include <cstddef>
#include <cstdint>
#include <memory>

// An object that a QPair (storage/hash_map.h) may own: the pair deletes it
// through this virtual destructor when the pair dies or its half is replaced.
class QPairObject {
 public:
  QPairObject() = default;
  QPairObject(const QPairObject&) = default;
  QPairObject& operator=(const QPairObject&) = default;
  virtual ~QPairObject();
};

// A NUL-terminated character buffer of its own with a length (which may
// include NUL bytes inside the text), a capacity, and two caller counters
// that travel with the text when it is copied or assigned.
//
// Usage:
//   BString name("Main Street");
//   BString copy(name);          // deep copy, counters included
//   copy.Append(" North");
class BString : public QPairObject {
 public:
  // Empty text (length 0, "" from c_str()).
  BString();
  // Copies a NUL-terminated text; null gives the empty text.
  explicit BString(const char* text);
  // Copies `length` bytes; a null `text` with a non-zero length gives the
  // empty text.
  BString(const char* text, std::size_t length);
  BString(const BString& other);
  BString(BString&& other) noexcept;
  BString& operator=(const BString& other);
  BString& operator=(BString&& other) noexcept;
  // Frees the buffer.
  ~BString() override;

  // Replaces the text; null gives the empty text.
  BString& Assign(const char* text);
  BString& Assign(const char* text, std::size_t length);
  BString& Append(const char* text, std::size_t length);
  BString& Append(const char* text);
  void Clear();

  // Never null; always NUL-terminated.
  const char* c_str() const;
  std::size_t length() const { return length_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return length_ == 0; }

  // The two caller counters (index 0 or 1; other indexes read 0 and ignore
  // writes).  They are copied with the text and otherwise left alone.
  std::uint32_t counter(int index) const;
  void set_counter(int index, std::uint32_t value);

  // Byte-wise comparison of the texts (a shorter prefix sorts first).
  int Compare(const BString& other) const;
  bool Equals(const char* text, std::size_t length) const;
  bool operator==(const BString& other) const;
  bool operator!=(const BString& other) const { return !(*this == other); }

 private:
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;  // characters the buffer holds, without the NUL
  std::size_t length_ = 0;
  std::uint32_t counters_[2] = {0, 0};
};

#endif  // LUMETRA_STORAGE_BSTRING_H
