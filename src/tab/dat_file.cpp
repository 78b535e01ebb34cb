#include "tab/dat_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "frame/byte_order.h"
#include "tab/tab_error.h"
#include "tab/tab_library.h"

namespace lumetra::tab {
namespace {

constexpr std::uint32_t kHeaderSize = 32;
constexpr std::uint32_t kDescriptorSize = 32;
constexpr std::uint8_t kHeaderEnd = 0x0D;
constexpr std::uint8_t kFileEnd = 0x1A;

std::string TrimmedText(const std::uint8_t* bytes, int width) {
  int n = 0;
  while (n < width && bytes[n] != 0) ++n;
  int b = 0;
  while (b < n && bytes[b] == ' ') ++b;
  while (n > b && bytes[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(bytes) + b, static_cast<std::size_t>(n - b));
}

std::string DateText(const std::uint8_t* p) {
  const int year = static_cast<std::int16_t>(GetU16(p));
  if (year == 0 && p[2] == 0 && p[3] == 0) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, p[2], p[3]);
  return text;
}

std::string TimeText(std::int32_t ms) {
  if (ms < 0) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60);
  std::string out = text;
  if (ms % 1000 != 0) {
    std::snprintf(text, sizeof text, ".%03d", ms % 1000);
    out += text;
  }
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void RefuseValue(std::uint32_t row, const TabField& field, const std::string& value,
                              const char* why) {
  ThrowTabError(kTXErrArgument, "row %u column %s: \"%.40s\" %s", row, field.name.c_str(),
                value.c_str(), why);
}

bool ParseInteger(const std::string& value, long long low, long long high, long long* out) {
  if (value.empty()) {
    *out = 0;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(value.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& value, double* out) {
  if (value.empty()) {
    *out = 0;
    return true;
  }
  char* end = nullptr;
  *out = std::strtod(value.c_str(), &end);
  return *end == '\0';
}

// "YYYYMMDD", "YYYY/MM/DD" or "YYYY-MM-DD"; empty for no date.
bool ParseDate(const std::string& value, std::uint8_t* out) {
  std::memset(out, 0, 4);
  if (value.empty()) return true;
  int y = 0, m = 0, d = 0;
  char tail = 0;
  const bool plain =
      value.size() == 8 && std::sscanf(value.c_str(), "%4d%2d%2d%c", &y, &m, &d, &tail) == 3;
  const bool split = !plain && (std::sscanf(value.c_str(), "%d/%d/%d%c", &y, &m, &d, &tail) == 3 ||
                                std::sscanf(value.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) == 3);
  if (!(plain || split) || y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  PutU16(out, static_cast<std::uint16_t>(y));
  out[2] = static_cast<std::uint8_t>(m);
  out[3] = static_cast<std::uint8_t>(d);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Reading

void DatReader::Open(const std::string& path, const std::vector<TabField>& fields) {
  fields_ = fields;
  file_.Open(path, TabFile::Mode::kRead);
  std::uint8_t header[kHeaderSize];
  file_.ReadAt(0, header, sizeof header, "row file header");
  const std::uint32_t count = GetU32(header + 4);
  header_length_ = GetU16(header + 8);
  record_length_ = GetU16(header + 10);
  const std::uint32_t needed =
      kHeaderSize + kDescriptorSize * static_cast<std::uint32_t>(fields.size()) + 1;
  if (header_length_ < needed) {
    ThrowTabError(kTXErrFormat,
                  "%s: header of %u bytes cannot describe the %zu columns of the .tab",
                  path.c_str(), header_length_, fields.size());
  }
  std::uint32_t sum = 1;
  std::vector<std::uint8_t> descriptors(kDescriptorSize * fields.size());
  file_.ReadAt(kHeaderSize, descriptors.data(), descriptors.size(), "column descriptors");
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const int width = descriptors[i * kDescriptorSize + 16];
    if (width != fields[i].width) {
      ThrowTabError(kTXErrFormat, "%s: column %zu (%s) is %d bytes wide, the .tab says %d",
                    path.c_str(), i + 1, fields[i].name.c_str(), width, fields[i].width);
    }
    sum += static_cast<std::uint32_t>(width);
  }
  if (record_length_ != sum) {
    ThrowTabError(kTXErrFormat, "%s: record length %u differs from the columns' %u bytes",
                  path.c_str(), record_length_, sum);
  }
  const std::uint64_t room =
      (file_.size() - std::min<std::uint64_t>(file_.size(), header_length_)) / record_length_;
  if (count > room ||
      count > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    ThrowTabError(kTXErrFormat, "%s: header counts %u rows but the file holds only %llu",
                  path.c_str(), count, static_cast<unsigned long long>(room));
  }
  rows_ = static_cast<std::int32_t>(count);
  record_.resize(record_length_);
}

bool DatReader::RowValues(std::int32_t row, std::vector<std::string>* values,
                          std::vector<bool>* quoted) {
  values->clear();
  quoted->clear();
  const std::uint64_t at = header_length_ + static_cast<std::uint64_t>(row - 1) * record_length_;
  file_.ReadAt(at, record_.data(), record_.size(), "row");
  if (record_[0] == '*') return false;
  const std::uint8_t* p = record_.data() + 1;
  for (const TabField& field : fields_) {
    bool q = false;
    values->push_back(ValueText(field, p, &q));
    quoted->push_back(q);
    p += field.width;
  }
  return true;
}

bool DatReader::RowText(std::int32_t row, std::string* text) {
  text->clear();
  std::vector<std::string> values;
  std::vector<bool> quoted;
  if (!RowValues(row, &values, &quoted)) return false;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) *text += '\t';
    // Numbers stay bare only while they end in a digit, as the row text
    // promises; anything else is quoted so that it stays one value.
    const bool bare = !quoted[i] && !values[i].empty() && IsDigit(values[i].back());
    if (!bare) *text += '"';
    *text += values[i];
    if (!bare) *text += '"';
  }
  return true;
}

std::string DatReader::ValueText(const TabField& field, const std::uint8_t* p, bool* quoted) const {
  char number[64];
  *quoted = false;
  switch (field.type) {
    case kTXDecimal:
      return TrimmedText(p, field.width);
    case kTXInteger:
      std::snprintf(number, sizeof number, "%d", GetI32(p));
      return number;
    case kTXSmallInt:
      std::snprintf(number, sizeof number, "%d", static_cast<std::int16_t>(GetU16(p)));
      return number;
    case kTXLargeInt:
      std::snprintf(number, sizeof number, "%lld", static_cast<long long>(GetU64(p)));
      return number;
    case kTXFloat: {
      double v = 0;
      const std::uint64_t bits = GetU64(p);
      std::memcpy(&v, &bits, sizeof v);
      if (!std::isfinite(v)) return std::string();
      std::snprintf(number, sizeof number, "%.15g", v);
      return number;
    }
    default:
      break;
  }
  *quoted = true;
  switch (field.type) {
    case kTXChar:
      return TrimmedText(p, field.width);
    case kTXDate:
      return DateText(p);
    case kTXTime:
      return TimeText(GetI32(p));
    case kTXDateTime: {
      const std::string date = DateText(p);
      return date.empty() ? date : date + " " + TimeText(GetI32(p + 4));
    }
    case kTXLogical:
      return p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y' ? "T" : "F";
    default:
      return std::string();
  }
}

// ---------------------------------------------------------------------------
// Writing

void DatWriter::Create(const std::string& path, const std::vector<TabField>& fields) {
  fields_ = fields;
  for (const TabField& f : fields) record_length_ += static_cast<std::uint32_t>(f.width);
  file_.Open(path, TabFile::Mode::kCreate);
  const std::vector<std::uint8_t> header = Header();
  file_.Append(header.data(), header.size());
}

std::vector<std::uint8_t> DatWriter::Header() const {
  std::vector<std::uint8_t> bytes(kHeaderSize + kDescriptorSize * fields_.size() + 1, 0);
  bytes[0] = 0x03;
  bytes[1] = 99;  // last update: 1999-09-09, as the format's writers commonly stamp it
  bytes[2] = 9;
  bytes[3] = 9;
  PutU32(bytes.data() + 4, rows_);
  PutU16(bytes.data() + 8, static_cast<std::uint16_t>(bytes.size()));
  PutU16(bytes.data() + 10, static_cast<std::uint16_t>(record_length_));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    std::uint8_t* d = bytes.data() + kHeaderSize + kDescriptorSize * i;
    std::memcpy(d, fields_[i].name.data(), std::min<std::size_t>(fields_[i].name.size(), 10));
    // Readers check Decimal and Logical columns against their dBase
    // letters; the binary types are described as text, as the format's
    // writers do.
    d[11] = fields_[i].type == kTXDecimal ? 'N' : fields_[i].type == kTXLogical ? 'L' : 'C';
    d[16] = static_cast<std::uint8_t>(fields_[i].width);
    d[17] = static_cast<std::uint8_t>(fields_[i].decimals);
  }
  bytes.back() = kHeaderEnd;
  return bytes;
}

void DatWriter::EncodeValue(const TabField& field, const std::string& value,
                            std::uint8_t* out) const {
  const std::uint32_t row = rows_ + 1;
  long long n = 0;
  double d = 0;
  switch (field.type) {
    case kTXChar:
      std::memcpy(out, value.data(), std::min<std::size_t>(value.size(), field.width));
      return;
    case kTXInteger:
      if (!ParseInteger(value, INT32_MIN, INT32_MAX, &n))
        RefuseValue(row, field, value, "is not an Integer");
      return PutI32(out, static_cast<std::int32_t>(n));
    case kTXSmallInt:
      if (!ParseInteger(value, INT16_MIN, INT16_MAX, &n))
        RefuseValue(row, field, value, "is not a SmallInt");
      return PutU16(out, static_cast<std::uint16_t>(n));
    case kTXLargeInt:
      if (!ParseInteger(value, INT64_MIN, INT64_MAX, &n))
        RefuseValue(row, field, value, "is not a LargeInt");
      return PutU64(out, static_cast<std::uint64_t>(n));
    case kTXFloat: {
      if (!ParseDouble(value, &d)) RefuseValue(row, field, value, "is not a number");
      std::uint64_t bits = 0;
      std::memcpy(&bits, &d, sizeof d);
      return PutU64(out, bits);
    }
    case kTXDecimal: {
      if (!ParseDouble(value, &d)) RefuseValue(row, field, value, "is not a number");
      char text[400];
      const int length = std::snprintf(text, sizeof text, "%*.*f", field.width, field.decimals, d);
      if (length != field.width) RefuseValue(row, field, value, "does not fit the column");
      std::memcpy(out, text, static_cast<std::size_t>(field.width));
      return;
    }
    case kTXDate:
      if (!ParseDate(value, out)) RefuseValue(row, field, value, "is not a date");
      return;
    case kTXLogical:
      out[0] = !value.empty() && std::strchr("TtYy1", value[0]) != nullptr ? 'T' : 'F';
      return;
    default:
      RefuseValue(row, field, value, "is of a type that cannot be written");
  }
}

std::vector<std::uint8_t> DatWriter::EncodeRow(const std::vector<std::string>& values) const {
  std::vector<std::uint8_t> record(record_length_, 0);
  record[0] = ' ';
  std::uint8_t* p = record.data() + 1;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    EncodeValue(fields_[i], i < values.size() ? values[i] : std::string(), p);
    p += fields_[i].width;
  }
  return record;
}

void DatWriter::AppendRow(const std::vector<std::uint8_t>& record) {
  file_.Append(record.data(), record.size());
  ++rows_;
}

void DatWriter::Finish() {
  const std::vector<std::uint8_t> header = Header();
  file_.WriteAt(0, header.data(), header.size());
  const std::uint8_t end = kFileEnd;
  file_.Append(&end, 1);
  file_.Close();
}

void DatWriter::Abandon() { file_.CloseQuietly(); }

}  // namespace lumetra::tab
