#include "datalib/dl_file_builder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <utility>

#include "datalib/dl_file.h"
#include "frame/ascii_case.h"
#include "frame/byte_order.h"
#include "frame/error.h"
#include "objfile/column_codec.h"
#include "storage/indexed_file_builder.h"
#include "storage/qio.h"

namespace fmt = lumetra::dlformat;
using lumetra::ColumnStatus;
using lumetra::ColumnWriter;
using lumetra::EqualNoCase;

namespace {

constexpr int kBadRequestCode = 100;
constexpr std::uint32_t kMinPageSize = 1024;
// Bytes one value can take in a column stream of one value: the distance
// byte and a code-12 value (9 nibbles), rounded up.
constexpr std::uint32_t kMaxSingleNumber = 8;
constexpr std::size_t kMaxRecords = 0x7FFFFFFF;

std::string Text(const char* text) { return text == nullptr ? std::string() : std::string(text); }

const char* SkipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// ---- Page payload --------------------------------------------------------------------

// The field blocks of a data page (dl_format.h): sizes for the indexed file
// builder while a page fills, the bytes when it is written, and each
// record's locator once its place is final.  Records are numbered in sorted
// order; order[n] is the builder's index of sorted record n.
class DlPagePayload : public QIndexedPagePayload {
 public:
  DlPagePayload(const DlFileBuilder& builder, const std::vector<std::uint32_t>& order, QError& err)
      : b_(builder), order_(order), err_(err) {}

  std::size_t PayloadSize(std::uint64_t first, std::uint32_t count) override {
    if (first != first_ || count < fed_) Restart(first);
    while (fed_ < count) Feed(order_[first_ + fed_]);
    if (count < memo_.size() && memo_[count] != 0) return memo_[count];
    std::size_t size = TableSize();
    for (std::uint32_t t = 0; t < b_.text_fields_; ++t) {
      size += (std::size_t{count} + 1) * fmt::kHeapOffsetSize + text_bytes_[t];
    }
    for (const ColumnWriter& writer : writers_) {
      ColumnWriter copy = writer;
      std::vector<std::uint8_t> stream;
      // A column that cannot be coded never fits: the page is cut before it.
      size += copy.Finish(&stream) == ColumnStatus::kOk ? stream.size() : fmt::kMaxPageSize;
    }
    if (memo_.size() <= count) memo_.resize(std::size_t{count} + 1, 0);
    memo_[count] = size;
    return size;
  }

  bool WritePayload(std::uint32_t page_number, std::uint64_t first, std::uint32_t count,
                    std::uint8_t* dest, std::size_t size) override {
    std::vector<std::uint8_t> out(TableSize(), 0);
    std::vector<std::uint32_t> begins;
    for (std::uint32_t t = 0; t < b_.text_fields_; ++t) {
      begins.push_back(static_cast<std::uint32_t>(out.size()));
      AppendHeap(t, first, count, &out);
    }
    for (std::uint32_t n = 0; n < b_.numeric_fields_; ++n) {
      begins.push_back(static_cast<std::uint32_t>(out.size()));
      if (!AppendColumn(n, first, count, &out)) {
        err_.SetF(kBadRequestCode, QERR_HERE, "Data page %u: a numeric column cannot be coded",
                  static_cast<unsigned>(page_number));
        return false;
      }
    }
    begins.push_back(static_cast<std::uint32_t>(out.size()));
    if (out.size() != size) {
      err_.SetF(kBadRequestCode, QERR_HERE, "Data page %u: payload of %zu bytes, %zu expected",
                static_cast<unsigned>(page_number), out.size(), size);
      return false;
    }
    for (std::size_t k = 0; k < begins.size(); ++k) {
      lumetra::PutU32(out.data() + k * fmt::kOffsetEntrySize, begins[k]);
    }
    std::memcpy(dest, out.data(), size);
    return true;
  }

  bool PlaceRecord(std::uint32_t page_number, std::uint32_t slot, std::uint64_t,
                   std::uint8_t* value) override {
    if (page_number > fmt::kMaxLocatorPage) {
      err_.SetF(kBadRequestCode, QERR_HERE,
                "A data library file holds at most %u data pages; use larger pages",
                static_cast<unsigned>(fmt::kMaxLocatorPage));
      return false;
    }
    lumetra::PutU32(value, fmt::MakeLocator(page_number, slot));
    lumetra::PutU32(value + 4, 0);
    return true;
  }

 private:
  std::size_t TableSize() const {
    return (std::size_t{b_.text_fields_} + b_.numeric_fields_ + 1) * fmt::kOffsetEntrySize;
  }

  void Restart(std::uint64_t first) {
    first_ = first;
    fed_ = 0;
    memo_.clear();
    text_bytes_.assign(b_.text_fields_, 0);
    writers_.assign(b_.numeric_fields_, ColumnWriter());
  }

  void Feed(std::uint32_t record) {
    for (std::uint32_t t = 0; t < b_.text_fields_; ++t) {
      text_bytes_[t] += b_.text_length_[std::size_t{record} * b_.text_fields_ + t];
    }
    for (std::uint32_t n = 0; n < b_.numeric_fields_; ++n) {
      writers_[n].Add(b_.numbers_[std::size_t{record} * b_.numeric_fields_ + n]);
    }
    ++fed_;
  }

  void AppendHeap(std::uint32_t t, std::uint64_t first, std::uint32_t count,
                  std::vector<std::uint8_t>* out) const {
    const std::size_t start = out->size();
    out->resize(start + (std::size_t{count} + 1) * fmt::kHeapOffsetSize);
    std::size_t at = out->size() - start;
    for (std::uint32_t i = 0; i <= count; ++i) {
      lumetra::PutU16(out->data() + start + i * fmt::kHeapOffsetSize,
                      static_cast<std::uint16_t>(at));
      if (i == count) break;
      const std::size_t slot = std::size_t{order_[first + i]} * b_.text_fields_ + t;
      const char* text = b_.text_arena_.data() + b_.text_offset_[slot];
      out->insert(out->end(), text, text + b_.text_length_[slot]);
      at += b_.text_length_[slot];
    }
  }

  bool AppendColumn(std::uint32_t n, std::uint64_t first, std::uint32_t count,
                    std::vector<std::uint8_t>* out) const {
    ColumnWriter writer;
    for (std::uint32_t i = 0; i < count; ++i) {
      writer.Add(b_.numbers_[std::size_t{order_[first + i]} * b_.numeric_fields_ + n]);
    }
    return writer.Finish(out) == ColumnStatus::kOk;
  }

  const DlFileBuilder& b_;
  const std::vector<std::uint32_t>& order_;
  QError& err_;
  std::uint64_t first_ = ~std::uint64_t{0};
  std::uint32_t fed_ = 0;
  std::vector<std::size_t> memo_;  // payload size by record count, 0 = unknown
  std::vector<std::size_t> text_bytes_;
  std::vector<ColumnWriter> writers_;
};

// ---- DlFileBuilder -------------------------------------------------------------------

DlFileBuilder::DlFileBuilder(QError& err, DlBuilderOptions options)
    : err_(err), options_(std::move(options)) {}

DlFileBuilder::~DlFileBuilder() {
  if (!done_) RemoveFile();
}

void DlFileBuilder::RemoveFile() {
  if (created_) QioDeleteFile(name_.c_str());
  created_ = false;
}

bool DlFileBuilder::Refuse(const char* detail) {
  err_.Set(kBadRequestCode, detail, QERR_HERE);
  return false;
}

bool DlFileBuilder::Create(const char* file_name) {
  if (created_ || done_) return Refuse("The data library file was already created");
  if (file_name == nullptr || file_name[0] == '\0') return Refuse("Null value passed.");
  if (options_.key_type != fmt::kTextKey && options_.key_type != fmt::kNumericKey) {
    return Refuse("The key type must be 'C' or 'N'");
  }
  if (options_.key_field.empty() || options_.key_field.size() > fmt::DlFieldRecord::kIdSize) {
    return Refuse("The key field identifier must have 1 to 12 characters");
  }
  if (options_.stamp.size() >= fmt::DlDefinitionHeader::kTextSize ||
      options_.title.size() >= fmt::DlDefinitionHeader::kTextSize) {
    return Refuse("The stamp and the title hold at most 255 characters");
  }
  if (options_.page_size != 0 &&
      (options_.page_size < kMinPageSize || options_.page_size > fmt::kMaxPageSize)) {
    return Refuse("The data page size must be 1024 to 65535 bytes");
  }
  name_ = file_name;
  const int fd = QioCreate(err_, name_.c_str());
  if (fd < 0) return false;
  created_ = true;
  return QioClose(fd, err_);
}

bool DlFileBuilder::CheckTaking(bool fields_phase) {
  if (!created_ || done_) return Refuse("The data library file is not being written");
  if (fields_phase && record_count_ > 0) return Refuse("Fields must be added before records");
  return true;
}

int DlFileBuilder::FindField(const char* id) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].record.id, id)) return static_cast<int>(i);
  }
  return -1;
}

bool DlFileBuilder::AddField(const DlFieldSpec& spec) {
  if (!CheckTaking(true)) return false;
  if (spec.id.empty() || spec.id.size() > fmt::DlFieldRecord::kIdSize) {
    return Refuse("A field identifier must have 1 to 12 characters");
  }
  if (FindField(spec.id.c_str()) >= 0) return Refuse("The field identifier is already used");
  if (spec.type != fmt::kTextField && spec.type != fmt::kNumericField) {
    return Refuse("The field type must be 'C' or 'N'");
  }
  if (spec.width < 1 || spec.width > fmt::kMaxTextWidth || spec.decimals < 0 ||
      spec.decimals > fmt::kMaxDecimals) {
    return Refuse("The field width must be 1 to 255 and its decimals 0 to 9");
  }
  if (fields_.size() >= fmt::kMaxFields) return Refuse("Too many fields");
  Field field;
  field.record.id = spec.id;
  field.record.section = spec.section;
  field.record.short_desc = spec.short_desc;
  field.record.long_desc = spec.long_desc;
  field.record.mask = spec.mask;
  field.record.type = spec.type;
  field.record.width = spec.width;
  field.record.decimals = spec.decimals;
  field.record.number = static_cast<std::int32_t>(fields_.size());
  field.block = spec.type == fmt::kTextField ? text_fields_++ : numeric_fields_++;
  if (EqualNoCase(spec.id, options_.key_field)) key_field_ = static_cast<int>(fields_.size());
  fields_.push_back(std::move(field));
  return true;
}

bool DlFileBuilder::AddValue(const char* field_id, const char* value, const char* short_desc,
                             const char* long_desc) {
  if (!created_ || done_) return Refuse("The data library file is not being written");
  if (field_id == nullptr || value == nullptr) return Refuse("Null value passed.");
  const int f = FindField(field_id);
  if (f < 0) {
    err_.SetF(kBadRequestCode, QERR_HERE, "No field %.40s to describe", field_id);
    return false;
  }
  if (value_records_ >= fmt::kMaxValueRecords) return Refuse("Too many value records");
  fmt::DlValueRecord record;
  record.field_id = fields_[static_cast<std::size_t>(f)].record.id;
  record.value = value;
  record.short_desc = Text(short_desc);
  record.long_desc = Text(long_desc);
  fields_[static_cast<std::size_t>(f)].values.push_back(std::move(record));
  fields_[static_cast<std::size_t>(f)].record.value_count += 1;
  ++value_records_;
  return true;
}

bool DlFileBuilder::ParseNumber(const char* text, int decimals, std::int32_t* value) {
  if (text == nullptr || decimals < 0 || decimals > fmt::kMaxDecimals) return false;
  const char* p = SkipBlanks(text);
  if (*p == '\0') {
    *value = 0;  // a blank value
    return true;
  }
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  std::int64_t v = 0;
  int digits = 0;
  for (; IsDigit(*p); ++p, ++digits) {
    v = v * 10 + (*p - '0');
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
  }
  int fraction = 0;
  bool round_up = false;
  if (*p == '.') {
    for (++p; IsDigit(*p); ++p, ++digits) {
      if (fraction < decimals) {
        v = v * 10 + (*p - '0');
      } else if (fraction == decimals) {
        round_up = *p >= '5';
      }
      if (fraction <= decimals) ++fraction;  // digits behind the first dropped one do not count
    }
  }
  if (digits == 0 || *SkipBlanks(p) != '\0') return false;
  for (; fraction < decimals; ++fraction) v *= 10;
  if (round_up) ++v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  *value = static_cast<std::int32_t>(negative ? -v : v);
  return true;
}

bool DlFileBuilder::MakeKey(const char* const* values, std::uint8_t* key) {
  const Field& field = fields_[static_cast<std::size_t>(key_field_)];
  std::string text = values[key_field_];
  if (options_.key_type == fmt::kNumericKey) {
    const char* p = SkipBlanks(text.c_str());
    const char* digits = (*p == '-' || *p == '+') ? p + 1 : p;
    const char* end = digits;
    while (IsDigit(*end)) ++end;
    if (end == digits || *SkipBlanks(end) != '\0' ||
        !DLFile::MakeSearchKey(fmt::kNumericKey, false, p, key)) {
      err_.SetF(kBadRequestCode, QERR_HERE,
                "Key %.40s is not a whole number of at most 12 characters", text.c_str());
      return false;
    }
    return true;
  }
  if (field.record.type == fmt::kTextField) {
    text = text.substr(0, static_cast<std::size_t>(field.record.width));
  }
  if (options_.cleaned_keys) text = DLFile::CleanKey(text);
  DLFile::TextKey(text, key);
  return true;
}

bool DlFileBuilder::AddRecord(const char* const* values) {
  if (!CheckTaking(false)) return false;
  if (values == nullptr) return Refuse("Null value passed.");
  if (fields_.empty()) return Refuse("Fields must be added before records");
  if (key_field_ < 0) return Refuse("The key field has not been added");
  if (record_count_ >= kMaxRecords) return Refuse("Too many records");
  std::vector<std::int32_t> numbers(numeric_fields_, 0);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (values[i] == nullptr) return Refuse("Null value passed.");
    const Field& field = fields_[i];
    if (field.record.type == fmt::kNumericField &&
        !ParseNumber(values[i], field.record.decimals, &numbers[field.block])) {
      err_.SetF(kBadRequestCode, QERR_HERE, "Value %.40s of field %s is not a number", values[i],
                field.record.id.c_str());
      return false;
    }
  }
  std::uint8_t key[fmt::kKeyLength];
  if (!MakeKey(values, key)) return false;
  keys_.insert(keys_.end(), key, key + fmt::kKeyLength);
  numbers_.insert(numbers_.end(), numbers.begin(), numbers.end());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i].record.type != fmt::kTextField) continue;
    const std::size_t n =
        std::min(std::strlen(values[i]), static_cast<std::size_t>(fields_[i].record.width));
    text_offset_.push_back(static_cast<std::uint32_t>(text_arena_.size()));
    text_length_.push_back(static_cast<std::uint8_t>(n));
    text_arena_.append(values[i], n);
  }
  ++record_count_;
  if (text_arena_.size() > std::numeric_limits<std::uint32_t>::max()) {
    return Refuse("The texts of the records exceed 4 GB");
  }
  return true;
}

// The smallest record page must hold: page head, offset table, one record
// with its key and value, its widest texts with their heap offsets and one
// coded number per numeric field, and the checksum.
bool DlFileBuilder::ChoosePageSize() {
  std::uint64_t one = fmt::kPayloadStart + 2 +
                      (std::uint64_t{text_fields_} + numeric_fields_ + 1) * fmt::kOffsetEntrySize +
                      fmt::kKeyLength + fmt::kValueLength +
                      std::uint64_t{numeric_fields_} * kMaxSingleNumber;
  for (const Field& field : fields_) {
    if (field.record.type == fmt::kTextField) {
      one += 2 * fmt::kHeapOffsetSize + static_cast<std::uint64_t>(field.record.width);
    }
  }
  if (options_.page_size != 0) {
    page_size_ = options_.page_size;
  } else {
    const std::uint64_t wanted = (one * 4 + kMinPageSize - 1) / kMinPageSize * kMinPageSize;
    page_size_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        fmt::kMaxPageSize, std::max<std::uint64_t>(fmt::kDefaultPageSize, wanted)));
  }
  if (one > page_size_) return Refuse("One record of these fields does not fit a data page");
  return true;
}

std::string DlFileBuilder::KeyFieldText() const {
  const Field& key = fields_[static_cast<std::size_t>(key_field_)];
  if (key.record.section.empty()) return key.record.id;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (static_cast<int>(i) != key_field_ &&
        EqualNoCase(fields_[i].record.section, key.record.section)) {
      return key.record.id;
    }
  }
  return key.record.section;
}

std::vector<std::uint8_t> DlFileBuilder::DefinitionArea() const {
  std::vector<std::uint8_t> area(fields_.size() * fmt::DlFieldRecord::kEncodedSize +
                                 value_records_ * fmt::DlValueRecord::kEncodedSize);
  std::size_t at = 0;
  for (const Field& field : fields_) {
    field.record.EncodeTo(area.data() + at);
    at += fmt::DlFieldRecord::kEncodedSize;
  }
  for (const Field& field : fields_) {
    for (const fmt::DlValueRecord& value : field.values) {
      value.EncodeTo(area.data() + at);
      at += fmt::DlValueRecord::kEncodedSize;
    }
  }
  return area;
}

bool DlFileBuilder::Finish() {
  if (!CheckTaking(false)) return false;
  bool ok = false;
  if (fields_.empty()) {
    Refuse("A data library file needs at least one field");
  } else if (key_field_ < 0) {
    Refuse("The key field has not been added");
  } else if (ChoosePageSize()) {
    std::vector<std::uint32_t> order(record_count_);
    std::iota(order.begin(), order.end(), 0u);
    const char key_type = options_.key_type;
    const std::uint8_t* keys = keys_.data();
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return DLFile::CompareKeys(key_type, keys + std::size_t{a} * fmt::kKeyLength,
                                 keys + std::size_t{b} * fmt::kKeyLength) < 0;
    });
    ok = WriteFile(order);
  }
  if (!ok) RemoveFile();
  done_ = true;
  return ok;
}

bool DlFileBuilder::WriteFile(const std::vector<std::uint32_t>& order) {
  DlPagePayload payload(*this, order, err_);
  QIndexedFileBuilderOptions o;
  o.kind = fmt::kKind;
  o.key_length = fmt::kKeyLength;
  o.value_length = fmt::kValueLength;
  o.page_size = page_size_;
  o.header_page_size = fmt::kHeaderPageSize;
  o.tree_page_size = fmt::kTreePageSize;
  o.first_data_page = fmt::kFirstDataPage;
  o.text = fmt::kSignature;
  const char key_type = options_.key_type;
  o.compare = [key_type](const void* a, const void* b) {
    return DLFile::CompareKeys(key_type, a, b);
  };
  o.fill_header = [](std::uint8_t* header, std::uint32_t, std::uint64_t root) {
    lumetra::PutU64(header + fmt::kTreeRootOffset, root);
    return true;
  };
  o.payload = &payload;
  QIndexedFileBuilder index(err_, std::move(o));
  if (!index.Create(name_.c_str())) return false;
  const std::uint8_t zero_value[fmt::kValueLength] = {};
  for (std::uint32_t record : order) {
    if (!index.Add(keys_.data() + std::size_t{record} * fmt::kKeyLength, zero_value)) return false;
  }
  const std::vector<std::uint8_t> area = DefinitionArea();
  const std::int64_t area_offset =
      index.AppendBlock(area.data(), static_cast<std::uint32_t>(area.size()));
  if (area_offset < 0) return false;

  fmt::DlDefinitionHeader header;
  header.area_offset = static_cast<std::uint64_t>(area_offset);
  header.text_fields = text_fields_;
  header.other_fields = numeric_fields_;
  header.value_records = static_cast<std::uint32_t>(value_records_);
  header.key_type = options_.key_type;
  header.flags = options_.cleaned_keys ? fmt::kFlagCleanedKey : 0;
  header.attr0 = static_cast<std::int32_t>(record_count_);
  header.attr2 = static_cast<std::int32_t>(index.data_page_count());
  header.attr5 = header.flags;
  header.key_field = KeyFieldText();
  header.text3 = options_.stamp;
  header.text4 = options_.title;
  std::uint8_t bytes[fmt::DlDefinitionHeader::kEncodedSize];
  header.EncodeTo(bytes);
  if (!index.SetReservedPage(fmt::kDefinitionPage, bytes, sizeof bytes)) return false;
  return index.Finish() != QIndexedFileBuilder::kFailed;
}

void DlFileBuilder::Abort() {
  if (!done_) RemoveFile();
  done_ = true;
}
