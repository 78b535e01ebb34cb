// The compressed coordinate column: one column of i32 values (all x, all y,
// or one field of all segment records of a record) as a nibble stream.
//
// Stream layout (docs/formats/object_file.md has the full tables):
//   byte 0            length of the control part in bytes, byte 0 included
//   control part      after byte 0: one checkpoint before each value whose
//                     index i has (i + 1) % 128 == 0, padded to a byte
//   data part         one delta code per value (or a run code covering
//                     several), nibbles high-first, padded to a byte
// Deltas are taken from the previous value; equal deltas collapse into run
// codes.  At a checkpoint the data position is given relative to the last
// nonzero checkpoint and the boundary value is coded relative to the value
// there (the anchor), so a reader can skip whole blocks.
//
// ColumnWriter and ColumnReader share one definition of the code table (in
// column_codec.cpp).  The writer refuses (and the caller then stores the
// record uncompressed) a stream above 65525 bytes, a control part above 255
// bytes (the distance byte cannot express it) and a checkpoint distance that
// no checkpoint form can express.
//
// The reader never reads outside the stream it was given: every nibble read
// is checked against the part it belongs to, and a corrupt stream makes Get
// fail with error() naming the reason.
//
// Thread rule: one thread at a time per writer or reader.
//
// Usage:
//   ColumnWriter w;
//   for (std::int32_t v : xs) w.Add(v);
//   std::vector<std::uint8_t> bytes;
//   if (w.Finish(&bytes) != ColumnStatus::kOk) { ...store uncompressed... }
//
//   ColumnReader r;
//   std::int32_t v;
//   if (!r.Open(bytes.data(), bytes.size(), count) || !r.Get(i, &v)) { ...r.error()... }
#ifndef LUMETRA_OBJFILE_COLUMN_CODEC_H
#define LUMETRA_OBJFILE_COLUMN_CODEC_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumetra {

// Largest stream a compressed record may hold per column.
constexpr std::size_t kColumnMaxBytes = 65525;
// Largest control part (the distance byte's range).
constexpr std::size_t kColumnMaxControlBytes = 255;
// Values per block; a checkpoint precedes index 127, 255, 383, ...
constexpr std::uint32_t kColumnBlockValues = 128;
// Longest run one run code covers.
constexpr std::uint32_t kColumnMaxRun = 271;
// A run covering at least this many values is carried over a block
// boundary (zero checkpoint) instead of being cut by a nonzero checkpoint.
constexpr std::uint32_t kColumnRunCarryMin = 33;

// Most values a stream can hold: each block boundary needs at least one
// control nibble, and 255 control bytes leave 508 of them: 65151 values.
constexpr std::uint32_t kColumnMaxValues =
    static_cast<std::uint32_t>(2 * kColumnMaxControlBytes - 1) * kColumnBlockValues - 1;

// True when index i is preceded by a checkpoint.
constexpr bool IsColumnBoundary(std::uint64_t i) { return (i + 1) % kColumnBlockValues == 0; }

enum class ColumnStatus {
  kOk,
  kTooLarge,          // control and data parts together exceed the byte limit
  kControlTooLarge,   // control part above 255 bytes
  kCheckpointTooFar,  // a checkpoint distance no checkpoint form can express
};

const char* ColumnStatusText(ColumnStatus status);

// Builds one column stream value by value.
class ColumnWriter {
 public:
  // max_bytes: the largest stream Finish accepts (control and data parts).
  explicit ColumnWriter(std::size_t max_bytes = kColumnMaxBytes);

  // Forgets all values; the writer can be reused for the next column.
  void Reset();
  void Add(std::int32_t value);

  // Appends the finished stream to *dst and returns kOk, or returns why the
  // column cannot be compressed and appends nothing.  The writer must be
  // Reset before it is used again.
  ColumnStatus Finish(std::vector<std::uint8_t>* dst);

  std::uint32_t count() const { return count_; }

 private:
  void CodeValue(std::int32_t value, std::int64_t delta);
  void StartOrExtendRun();
  void WriteRunCode();
  void WriteCheckpoint(std::int64_t d);
  void PutNibbles(std::vector<std::uint8_t>* out, std::uint32_t value, int nibbles);
  bool Failed() const { return status_ != ColumnStatus::kOk; }

  std::size_t max_bytes_;
  std::vector<std::uint8_t> control_;  // checkpoint nibbles (after the distance byte)
  std::vector<std::uint8_t> data_;     // data nibbles
  std::uint32_t count_ = 0;
  std::int32_t current_ = 0;
  std::int64_t prev_delta_ = 0;
  bool run_open_ = false;
  std::uint32_t run_count_ = 0;
  std::size_t run_pos_ = 0;
  std::int32_t anchor_value_ = 0;
  std::int64_t anchor_delta_ = 0;
  std::size_t anchor_pos_ = 0;  // data nibble of the last nonzero checkpoint's code
  std::int64_t prev_distance_ = 0;
  ColumnStatus status_ = ColumnStatus::kOk;
};

// Reads values of one column stream, sequentially or by index.
// REQUIRES: the stream's bytes outlive the reader (or the next Open).
class ColumnReader {
 public:
  ColumnReader() = default;

  // Attaches to a stream of `size` bytes holding `count` values.  Fails when
  // the distance byte does not fit the stream.
  bool Open(const std::uint8_t* stream, std::size_t size, std::uint32_t count);

  // Value `index`.  Decodes forward from the current position (skipping
  // whole blocks through checkpoints); an earlier index restarts from the
  // beginning; the value decoded last is answered without decoding.  False
  // on an index past the end or a corrupt stream (then error() says why and
  // the reader stays failed until the next Open).
  bool Get(std::uint32_t index, std::int32_t* value);

  // Decodes every value from the start into out[0], out[stride], ...
  // REQUIRES: out holds (count - 1) * stride + 1 values.
  bool DecodeAll(std::int32_t* out, std::size_t stride);

  std::uint32_t count() const { return count_; }
  const char* error() const { return error_; }
  // Codes decoded since Open (run repetitions and skipped blocks excluded).
  std::uint64_t CodesDecodedForTest() const { return codes_decoded_; }

 private:
  void Restart();
  bool DecodeNext();
  bool SkipBlocks(std::uint32_t index);
  bool ReadCheckpoint(std::uint8_t k);
  bool DecodeCode(std::int64_t* delta);
  bool ControlNibbles(int n, std::uint32_t* value);
  bool DataNibbles(int n, std::uint32_t* value);
  bool Fail(const char* reason);

  const std::uint8_t* stream_ = nullptr;
  std::uint32_t count_ = 0;
  std::size_t control_end_ = 0;  // nibble positions within the stream
  std::size_t data_begin_ = 0;
  std::size_t data_end_ = 0;
  std::size_t control_pos_ = 0;
  std::size_t data_pos_ = 0;
  std::uint32_t next_ = 0;  // index of the next value to decode
  std::int32_t current_ = 0;
  std::int64_t prev_delta_ = 0;
  std::uint32_t run_left_ = 0;
  std::int32_t anchor_value_ = 0;
  std::int64_t anchor_delta_ = 0;
  std::size_t anchor_pos_ = 0;  // data nibble (relative to the data part)
  std::int64_t prev_distance_ = 0;
  std::uint64_t codes_decoded_ = 0;
  const char* error_ = "";
  bool failed_ = true;  // until Open succeeds
};

}  // namespace lumetra

#endif  // LUMETRA_OBJFILE_COLUMN_CODEC_H
