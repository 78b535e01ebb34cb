#include "objfile/column_codec.h"

#include "frame/byte_order.h"

namespace lumetra {

namespace {

// The delta code table, shared by the writer and the reader.  A code with
// `nibbles` further nibbles holding the payload n stands for the delta
// n + bias, so it covers bias ... bias + 16^nibbles - 1.  The writer picks
// the first entry that holds a delta; the order is part of the format.
struct DeltaCode {
  std::uint8_t code;
  int nibbles;
  std::int32_t bias;
};

constexpr DeltaCode kDeltaCodes[] = {
    {0, 0, 0},   {1, 0, 1},  {2, 0, 2},    {3, 0, -1},    {4, 0, -2},      {5, 1, 3},
    {6, 1, -18}, {7, 2, 19}, {8, 2, -274}, {9, 3, -2048}, {10, 4, -32768}, {11, 6, -8388608},
};
constexpr int kDeltaCodeCount = static_cast<int>(sizeof kDeltaCodes / sizeof kDeltaCodes[0]);

constexpr std::uint8_t kCodeAbsolute = 12;  // 8 nibbles: the value itself, delta 0
constexpr std::uint8_t kCodeRunShort = 13;  // 1 nibble n: n more repetitions
constexpr std::uint8_t kCodeRunLong = 14;   // 2 nibbles b: b + 15 more repetitions
constexpr std::uint8_t kCodeRunOnce = 15;   // the previous delta once
constexpr int kAbsoluteNibbles = 8;
constexpr std::uint32_t kRunShortMax = 16;   // repetitions code 13 covers
constexpr std::uint32_t kRunLongExtra = 15;  // code 14 covers b + 15 more

// Checkpoint forms (first control nibble k): 0 none; 1 absolute distance
// in three nibbles; 2, 3 distance unchanged; 4-7 distance grows by
// (k & 3) * 16 + one nibble; 8-11 shrinks by as much; 12-15 absolute
// distance (k & 3) * 256 + two nibbles.
constexpr std::uint8_t kCheckpointNone = 0;
constexpr std::uint8_t kCheckpointAbsolute12 = 1;
constexpr std::uint8_t kCheckpointGrow = 4;
constexpr std::uint8_t kCheckpointShrink = 8;
constexpr std::uint8_t kCheckpointAbsolute10 = 12;
constexpr std::int64_t kMaxRelativeStep = 63;
constexpr std::int64_t kAbsolute10Limit = 1024;
constexpr std::int64_t kAbsolute12Limit = 4096;

// Finds the table entry for delta; false when none holds it.
bool FindDeltaCode(std::int64_t delta, const DeltaCode** found) {
  for (const DeltaCode& c : kDeltaCodes) {
    const std::int64_t span = std::int64_t{1} << (4 * c.nibbles);
    if (delta >= c.bias && delta < c.bias + span) {
      *found = &c;
      return true;
    }
  }
  return false;
}

const DeltaCode* LookupCode(std::uint8_t code) {
  return code < kDeltaCodeCount ? &kDeltaCodes[code] : nullptr;
}

std::int32_t AddWrapping(std::int32_t value, std::int64_t delta) {
  // Corrupt streams may push a value past the i32 range; wrap like the
  // 32-bit arithmetic of the format instead of overflowing.
  return I32FromBits(static_cast<std::uint32_t>(value) + static_cast<std::uint32_t>(delta));
}

}  // namespace

const char* ColumnStatusText(ColumnStatus status) {
  switch (status) {
    case ColumnStatus::kOk:
      return "ok";
    case ColumnStatus::kTooLarge:
      return "column stream too large";
    case ColumnStatus::kControlTooLarge:
      return "column control part above 255 bytes";
    case ColumnStatus::kCheckpointTooFar:
      return "column checkpoint distance not expressible";
  }
  return "unknown column status";
}

// ---------------------------------------------------------------- writer

ColumnWriter::ColumnWriter(std::size_t max_bytes) : max_bytes_(max_bytes) {}

void ColumnWriter::Reset() {
  control_.clear();
  data_.clear();
  count_ = 0;
  current_ = 0;
  prev_delta_ = 0;
  run_open_ = false;
  run_count_ = 0;
  run_pos_ = 0;
  anchor_value_ = 0;
  anchor_delta_ = 0;
  anchor_pos_ = 0;
  prev_distance_ = 0;
  status_ = ColumnStatus::kOk;
}

void ColumnWriter::Add(std::int32_t value) {
  const std::uint32_t index = count_++;
  if (Failed()) return;
  const std::int64_t delta = std::int64_t{value} - current_;
  if (index == 0) {
    CodeValue(value, delta);
    anchor_value_ = value;
    anchor_delta_ = 0;
  } else if (!IsColumnBoundary(index)) {
    CodeValue(value, delta);
  } else if (run_open_ && delta == prev_delta_ && run_count_ >= kColumnRunCarryMin) {
    // A long run of equal deltas goes on across the boundary; the anchor
    // stays and the next nonzero checkpoint measures from it.
    StartOrExtendRun();
    control_.push_back(kCheckpointNone);
  } else {
    run_open_ = false;
    const std::size_t pos = data_.size();
    const std::int64_t distance = static_cast<std::int64_t>(pos - anchor_pos_);
    current_ = anchor_value_;
    prev_delta_ = anchor_delta_;
    CodeValue(value, std::int64_t{value} - anchor_value_);
    WriteCheckpoint(distance);
    anchor_value_ = value;
    anchor_delta_ = prev_delta_;
    anchor_pos_ = pos;
    prev_distance_ = distance;
  }
  current_ = value;
  // The data part never shrinks, so once it alone is past the limit the
  // column is refused; stop collecting nibbles to bound the memory.
  if ((data_.size() + 1) / 2 > max_bytes_) status_ = ColumnStatus::kTooLarge;
}

// Codes one value whose delta from the current value is `delta`; leaves the
// delta the reader will have applied in prev_delta_.
void ColumnWriter::CodeValue(std::int32_t value, std::int64_t delta) {
  if (delta == prev_delta_) {
    StartOrExtendRun();
    return;
  }
  run_open_ = false;
  const DeltaCode* code = nullptr;
  if (FindDeltaCode(delta, &code)) {
    data_.push_back(code->code);
    PutNibbles(&data_, static_cast<std::uint32_t>(delta - code->bias), code->nibbles);
    prev_delta_ = delta;
  } else {
    data_.push_back(kCodeAbsolute);
    PutNibbles(&data_, static_cast<std::uint32_t>(value), kAbsoluteNibbles);
    prev_delta_ = 0;
  }
}

void ColumnWriter::StartOrExtendRun() {
  if (run_open_) {
    ++run_count_;
  } else {
    run_open_ = true;
    run_count_ = 1;
    run_pos_ = data_.size();
  }
  // The run's code is the last thing in the data part; rewrite it in place.
  data_.resize(run_pos_);
  WriteRunCode();
  if (run_count_ == kColumnMaxRun) run_open_ = false;
}

void ColumnWriter::WriteRunCode() {
  if (run_count_ == 1) {
    data_.push_back(kCodeRunOnce);
  } else if (run_count_ <= kRunShortMax) {
    data_.push_back(kCodeRunShort);
    PutNibbles(&data_, run_count_ - 1, 1);
  } else {
    data_.push_back(kCodeRunLong);
    PutNibbles(&data_, run_count_ - 1 - kRunLongExtra, 2);
  }
}

void ColumnWriter::WriteCheckpoint(std::int64_t d) {
  const std::int64_t e = d - prev_distance_;
  if (e >= 0 && e <= kMaxRelativeStep) {
    control_.push_back(static_cast<std::uint8_t>(kCheckpointGrow + (e >> 4)));
    control_.push_back(static_cast<std::uint8_t>(e & 15));
  } else if (e < 0 && -e <= kMaxRelativeStep) {
    control_.push_back(static_cast<std::uint8_t>(kCheckpointShrink + (-e >> 4)));
    control_.push_back(static_cast<std::uint8_t>(-e & 15));
  } else if (d < kAbsolute10Limit) {
    control_.push_back(static_cast<std::uint8_t>(kCheckpointAbsolute10 + (d >> 8)));
    PutNibbles(&control_, static_cast<std::uint32_t>(d & 255), 2);
  } else if (d < kAbsolute12Limit) {
    control_.push_back(kCheckpointAbsolute12);
    PutNibbles(&control_, static_cast<std::uint32_t>(d), 3);
  } else {
    status_ = ColumnStatus::kCheckpointTooFar;
  }
}

void ColumnWriter::PutNibbles(std::vector<std::uint8_t>* out, std::uint32_t value, int nibbles) {
  for (int shift = 4 * (nibbles - 1); shift >= 0; shift -= 4) {
    out->push_back(static_cast<std::uint8_t>((value >> shift) & 15));
  }
}

ColumnStatus ColumnWriter::Finish(std::vector<std::uint8_t>* dst) {
  if (Failed()) return status_;
  // The distance byte is the first two control nibbles.
  const std::size_t control_bytes = (2 + control_.size() + 1) / 2;
  const std::size_t data_bytes = (data_.size() + 1) / 2;
  if (control_bytes > kColumnMaxControlBytes) return ColumnStatus::kControlTooLarge;
  if (control_bytes + data_bytes > max_bytes_) return ColumnStatus::kTooLarge;
  const std::size_t start = dst->size();
  dst->resize(start + control_bytes + data_bytes, 0);
  std::uint8_t* out = dst->data() + start;
  out[0] = static_cast<std::uint8_t>(control_bytes);
  auto pack = [](const std::vector<std::uint8_t>& nibbles, std::uint8_t* bytes) {
    for (std::size_t i = 0; i < nibbles.size(); ++i) {
      bytes[i / 2] = static_cast<std::uint8_t>(bytes[i / 2] | (nibbles[i] << (i % 2 ? 0 : 4)));
    }
  };
  pack(control_, out + 1);
  pack(data_, out + control_bytes);
  return ColumnStatus::kOk;
}

// ---------------------------------------------------------------- reader

bool ColumnReader::Open(const std::uint8_t* stream, std::size_t size, std::uint32_t count) {
  stream_ = stream;
  count_ = count;
  failed_ = true;
  if (stream == nullptr || size == 0) return Fail("column stream is empty");
  const std::size_t control_bytes = stream[0];
  if (control_bytes == 0 || control_bytes > size) {
    return Fail("column control length does not fit the stream");
  }
  control_end_ = 2 * control_bytes;
  data_begin_ = control_end_;
  data_end_ = 2 * size;
  failed_ = false;
  error_ = "";
  codes_decoded_ = 0;
  Restart();
  return true;
}

void ColumnReader::Restart() {
  control_pos_ = 2;
  data_pos_ = data_begin_;
  next_ = 0;
  current_ = 0;
  prev_delta_ = 0;
  run_left_ = 0;
  anchor_value_ = 0;
  anchor_delta_ = 0;
  anchor_pos_ = 0;
  prev_distance_ = 0;
}

bool ColumnReader::Fail(const char* reason) {
  failed_ = true;
  error_ = reason;
  return false;
}

bool ColumnReader::Get(std::uint32_t index, std::int32_t* value) {
  if (failed_) return false;
  if (index >= count_) return Fail("column index past the last value");
  if (next_ > 0 && index == next_ - 1) {
    *value = current_;
    return true;
  }
  if (index < next_) Restart();
  if (!SkipBlocks(index)) return false;
  while (next_ <= index) {
    if (!DecodeNext()) return false;
  }
  *value = current_;
  return true;
}

bool ColumnReader::DecodeAll(std::int32_t* out, std::size_t stride) {
  if (failed_) return false;
  Restart();
  for (std::uint32_t i = 0; i < count_; ++i) {
    if (!DecodeNext()) return false;
    out[static_cast<std::size_t>(i) * stride] = current_;
  }
  return true;
}

// Jumps over whole blocks towards `index`: zero checkpoints on the way are
// passed without decoding (they change neither the anchor nor the distance
// chain), and the last nonzero checkpoint at or before `index` repositions
// the data part directly.  Value 0 is always decoded, since it is the first
// anchor.
bool ColumnReader::SkipBlocks(std::uint32_t index) {
  if (next_ == 0) {
    if (index == 0) return true;
    if (!DecodeNext()) return false;
  }
  for (;;) {
    const std::uint64_t boundary =
        (std::uint64_t{next_} / kColumnBlockValues + 1) * kColumnBlockValues - 1;
    std::uint64_t target = 0;
    std::size_t zeros = 0;
    bool found = false;
    for (std::uint64_t b = boundary; b <= index; b += kColumnBlockValues, ++zeros) {
      const std::size_t pos = control_pos_ + zeros;
      if (pos >= control_end_) break;
      const std::uint8_t k = (stream_[pos / 2] >> (pos % 2 ? 0 : 4)) & 15;
      if (k != kCheckpointNone) {
        target = b;
        found = true;
        break;
      }
    }
    if (!found) return true;
    control_pos_ += zeros;
    next_ = static_cast<std::uint32_t>(target);
    if (!DecodeNext()) return false;  // reads the nonzero checkpoint and jumps
  }
}

bool ColumnReader::DecodeNext() {
  if (next_ >= count_) return Fail("column read past the last value");
  const std::uint32_t index = next_;
  if (index > 0 && IsColumnBoundary(index)) {
    std::uint32_t k = 0;
    if (!ControlNibbles(1, &k)) return false;
    if (k != kCheckpointNone) {
      if (!ReadCheckpoint(static_cast<std::uint8_t>(k))) return false;
      ++next_;
      return true;
    }
  }
  if (run_left_ > 0) {
    --run_left_;
    current_ = AddWrapping(current_, prev_delta_);
  } else {
    std::int64_t delta = 0;
    if (!DecodeCode(&delta)) return false;
  }
  if (index == 0) {
    anchor_value_ = current_;
    anchor_delta_ = 0;
  }
  ++next_;
  return true;
}

// Handles a nonzero checkpoint k before a boundary value: computes the
// distance d, repositions the data part at anchor + d, decodes the
// boundary value relative to the anchor and makes it the new anchor.
bool ColumnReader::ReadCheckpoint(std::uint8_t k) {
  std::int64_t d = prev_distance_;
  std::uint32_t n = 0;
  if (k == kCheckpointAbsolute12) {
    if (!ControlNibbles(3, &n)) return false;
    d = n;
  } else if (k >= kCheckpointAbsolute10) {
    if (!ControlNibbles(2, &n)) return false;
    d = std::int64_t{k & 3} * 256 + n;
  } else if (k >= kCheckpointShrink) {
    if (!ControlNibbles(1, &n)) return false;
    d = prev_distance_ - (std::int64_t{k & 3} * 16 + n);
  } else if (k >= kCheckpointGrow) {
    if (!ControlNibbles(1, &n)) return false;
    d = prev_distance_ + std::int64_t{k & 3} * 16 + n;
  }
  // k == 2 or 3: the distance is unchanged.
  if (d < 0) return Fail("column checkpoint distance is negative");
  const std::uint64_t pos = std::uint64_t{anchor_pos_} + static_cast<std::uint64_t>(d);
  if (pos >= data_end_ - data_begin_) return Fail("column checkpoint points past the data");
  data_pos_ = data_begin_ + static_cast<std::size_t>(pos);
  current_ = anchor_value_;
  prev_delta_ = anchor_delta_;
  run_left_ = 0;
  std::int64_t delta = 0;
  if (!DecodeCode(&delta)) return false;
  anchor_value_ = current_;
  anchor_delta_ = delta;
  anchor_pos_ = static_cast<std::size_t>(pos);
  prev_distance_ = d;
  return true;
}

// Reads one code at the data position and applies it to the current value;
// *delta receives the delta it applied.
bool ColumnReader::DecodeCode(std::int64_t* delta) {
  ++codes_decoded_;
  std::uint32_t c = 0;
  if (!DataNibbles(1, &c)) return false;
  std::uint32_t n = 0;
  if (const DeltaCode* code = LookupCode(static_cast<std::uint8_t>(c))) {
    if (!DataNibbles(code->nibbles, &n)) return false;
    *delta = std::int64_t{n} + code->bias;
  } else if (c == kCodeAbsolute) {
    if (!DataNibbles(kAbsoluteNibbles, &n)) return false;
    current_ = I32FromBits(n);
    prev_delta_ = 0;
    *delta = 0;
    return true;
  } else {
    if (c == kCodeRunShort) {
      if (!DataNibbles(1, &n)) return false;
      run_left_ = n;
    } else if (c == kCodeRunLong) {
      if (!DataNibbles(2, &n)) return false;
      run_left_ = n + kRunLongExtra;
    }
    *delta = prev_delta_;  // codes 13, 14 and 15 repeat the previous delta
  }
  current_ = AddWrapping(current_, *delta);
  prev_delta_ = *delta;
  return true;
}

bool ColumnReader::ControlNibbles(int n, std::uint32_t* value) {
  if (control_end_ - control_pos_ < static_cast<std::size_t>(n)) {
    return Fail("column control part ends inside a checkpoint");
  }
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i, ++control_pos_) {
    v = (v << 4) | ((stream_[control_pos_ / 2] >> (control_pos_ % 2 ? 0 : 4)) & 15);
  }
  *value = v;
  return true;
}

bool ColumnReader::DataNibbles(int n, std::uint32_t* value) {
  if (data_end_ - data_pos_ < static_cast<std::size_t>(n)) {
    return Fail("column data part ends inside a code");
  }
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i, ++data_pos_) {
    v = (v << 4) | ((stream_[data_pos_ / 2] >> (data_pos_ % 2 ? 0 : 4)) & 15);
  }
  *value = v;
  return true;
}

}  // namespace lumetra
