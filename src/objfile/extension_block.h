// ExtensionBlock: the 324-byte header extension that follows the header (at
// file offset 536) when the header's extension flag is 1.
//
// It keeps what the extended import call was given -- two texts and a 16-bit
// code -- with the creation time and the block's version (12).  The meaning
// of the texts and the code is the caller's; they are stored and returned
// unchanged.  A value type; one thread at a time.
#ifndef LUMETRA_OBJFILE_EXTENSION_BLOCK_H
#define LUMETRA_OBJFILE_EXTENSION_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

class QError;

namespace lumetra {

struct ExtensionBlock {
  static constexpr std::size_t kEncodedSize = 324;
  static constexpr std::uint64_t kFileOffset = 536;  // right behind the header
  static constexpr std::size_t kFirstTextSize = 256;
  static constexpr std::size_t kSecondTextSize = 32;
  static constexpr std::size_t kTimeTextSize = 32;
  static constexpr std::uint16_t kCurrentVersion = 12;

  std::string first_text;     // up to 256 bytes (no terminator when full)
  std::string second_text;    // up to 32 bytes
  std::string creation_time;  // ctime() form without its newline, 24 characters
  std::uint16_t version = kCurrentVersion;
  std::uint16_t code = 0;

  // A block for a new file: the texts cut at 256 and 32 bytes (null means
  // empty), the local time `now` in ctime() form, version 12.
  static ExtensionBlock ForNewFile(std::uint16_t code, const char* first_text,
                                   const char* second_text, std::time_t now);

  // The runtime library's 24-character local time text for t ("Wed Jun 30
  // 21:49:08 1993"), without the newline; empty when t cannot be formatted.
  static std::string TimeText(std::time_t t);

  // Appends exactly kEncodedSize bytes; texts are NUL-padded.
  void EncodeTo(std::vector<std::uint8_t>* dst) const;

  // Decodes the first kEncodedSize of `size` bytes; a shorter buffer records
  // code 111 naming `file_name` (null = "") and the size found.  `err` may be
  // null.
  bool DecodeFrom(const std::uint8_t* data, std::size_t size, const char* file_name, QError* err);

  bool operator==(const ExtensionBlock& o) const {
    return first_text == o.first_text && second_text == o.second_text &&
           creation_time == o.creation_time && version == o.version && code == o.code;
  }
  bool operator!=(const ExtensionBlock& o) const { return !(*this == o); }
};

}  // namespace lumetra

#endif  // LUMETRA_OBJFILE_EXTENSION_BLOCK_H
