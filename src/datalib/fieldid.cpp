#include "datalib/fieldid.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "datalib/dl_file.h"
#include "frame/ascii_case.h"
#include "frame/error.h"
#include "frame/text_copy.h"

namespace fmt = lumetra::dlformat;
using lumetra::AsciiLower;
using lumetra::EqualNoCase;

namespace {

constexpr int kDlErrorCode = 100;
constexpr char kMustSearch[] = "Must perform a valid DlFileSearch before retrieving data.";
constexpr char kNoDescriptions[] = "There are no descriptions for this field";
constexpr char kValueNotFound[] = "Value information not found";
// Widths and precisions above this are refused, so a format cannot make the
// library allocate without bound.
constexpr long kMaxFormatWidth = 4096;

std::string TrimRight(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

bool StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (AsciiLower(static_cast<unsigned char>(*text)) !=
        AsciiLower(static_cast<unsigned char>(*prefix))) {
      return false;
    }
  }
  return true;
}

// A printf format with exactly one conversion, rewritten so that the
// argument type is fixed by the conversion letter: integer conversions take
// long long, floating ones double, 's' a text.  Length modifiers of the
// caller are dropped; '*', 'n', 'p' and a second conversion are refused.
struct OneConversion {
  std::string format;
  char conversion = 0;
};

bool SkipDigits(const char*& p, long* value) {
  long v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v * 10 + (*p++ - '0');
    if (v > kMaxFormatWidth) return false;
  }
  *value = v;
  return true;
}

bool ParseConversion(const char* format, OneConversion* out) {
  std::string result;
  char conversion = 0;
  for (const char* p = format; *p != '\0';) {
    if (*p != '%') {
      result.push_back(*p++);
      continue;
    }
    if (p[1] == '%') {
      result.append("%%");
      p += 2;
      continue;
    }
    if (conversion != 0) return false;
    const char* start = p++;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    long number = 0;
    if (!SkipDigits(p, &number)) return false;
    if (*p == '.') {
      ++p;
      if (!SkipDigits(p, &number)) return false;
    }
    std::string spec(start, p);
    while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) ++p;
    if (*p == '\0' || std::strchr("diouxXceEfFgGaAs", *p) == nullptr) return false;
    conversion = *p++;
    if (std::strchr("diouxX", conversion) != nullptr) spec.append("ll");
    spec.push_back(conversion);
    result.append(spec);
  }
  if (conversion == 0) return false;
  out->format = std::move(result);
  out->conversion = conversion;
  return true;
}

template <typename T>
std::string PrintOne(const std::string& format, T value) {
  const int n = std::snprintf(nullptr, 0, format.c_str(), value);
  if (n <= 0) return std::string();
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(&text[0], text.size(), format.c_str(), value);
  text.resize(static_cast<std::size_t>(n));
  return text;
}

double Scale(std::int32_t value, std::int32_t decimals) {
  double v = value;
  for (std::int32_t i = 0; i < decimals && i < fmt::kMaxDecimals; ++i) v /= 10.0;
  return v;
}

}  // namespace

FieldId::FieldId(fmt::DlFieldRecord record, std::vector<fmt::DlValueRecord> values)
    : record_(std::move(record)), values_(std::move(values)) {}

bool FieldId::DecodeFrom(const std::uint8_t* bytes, std::size_t size) {
  return record_.DecodeFrom(bytes, size);
}

bool FieldId::AddValueRecord(const std::uint8_t* bytes, std::size_t size) {
  fmt::DlValueRecord value;
  if (!value.DecodeFrom(bytes, size)) return false;
  values_.push_back(std::move(value));
  return true;
}

void FieldId::Attach(DLFile* file, QError* err, std::uint32_t block) {
  file_ = file;
  err_ = err;
  block_ = block;
  valid_ = false;
}

int FieldId::Fail(const char* detail) {
  if (err_ != nullptr) err_->Set(kDlErrorCode, detail, QERR_HERE);
  return 0;
}

bool FieldId::CheckValid() {
  if (valid_) return true;
  Fail(kMustSearch);
  return false;
}

bool FieldId::ReadText(std::string* text) {
  if (!CheckValid()) return false;
  if (!is_text() || file_ == nullptr || block_ == kNoBlock) {
    if (err_ != nullptr) {
      err_->SetF(kDlErrorCode, QERR_HERE, "Field %s holds no text values", record_.id.c_str());
    }
    return false;
  }
  return file_->ReadText(locator_, block_, text);
}

bool FieldId::ReadNumber(std::int32_t* value) {
  if (!CheckValid()) return false;
  if (!is_numeric() || file_ == nullptr || block_ == kNoBlock) {
    if (err_ != nullptr) {
      err_->SetF(kDlErrorCode, QERR_HERE, "Field %s holds no numbers", record_.id.c_str());
    }
    return false;
  }
  return file_->ReadNumber(locator_, block_, value);
}

bool FieldId::ValueText(std::string* text) {
  if (is_text()) return ReadText(text);
  std::int32_t value = 0;
  if (!ReadNumber(&value)) return false;
  *text = std::to_string(value);
  return true;
}

int FieldId::GetString(const char* format, char* buffer, int size) {
  if (!is_text() && !is_numeric()) return 1;
  if (buffer == nullptr) return Fail("Null value passed.");
  if (size < 1) {
    if (err_ != nullptr) err_->SetF(kDlErrorCode, QERR_HERE, "Buffer size %d is too small", size);
    return 0;
  }
  if (format == nullptr || format[0] == '\0') {
    std::string text;
    if (!ValueText(&text)) return 0;
    lumetra::CopyCutChecked(text, buffer, size);
    return 1;
  }
  if (StartsWithNoCase(format, "LDES")) return Describe(true, buffer, size);
  if (std::strchr(format, '%') != nullptr) return Format(format, buffer, size);
  return Describe(false, buffer, size);
}

int FieldId::Describe(bool long_desc, char* buffer, int size) {
  if (values_.empty()) return Fail(kNoDescriptions);
  const fmt::DlValueRecord* found = &values_.front();
  if (is_text()) {
    const std::string wanted =
        TrimRight(std::string(buffer, strnlen(buffer, static_cast<std::size_t>(size))));
    found = nullptr;
    for (const fmt::DlValueRecord& value : values_) {
      if (EqualNoCase(TrimRight(value.value), wanted)) {
        found = &value;
        break;
      }
    }
    if (found == nullptr) return Fail(kValueNotFound);
  }
  lumetra::CopyCutChecked(long_desc ? found->long_desc : found->short_desc, buffer, size);
  return 1;
}

int FieldId::Format(const char* format, char* buffer, int size) {
  OneConversion conversion;
  if (!ParseConversion(format, &conversion)) {
    if (err_ != nullptr) {
      err_->SetF(kDlErrorCode, QERR_HERE, "Format %.200s is not usable for field %s", format,
                 record_.id.c_str());
    }
    return 0;
  }
  std::string text;
  std::int32_t number = 0;
  if (is_numeric()) {
    if (!ReadNumber(&number)) return 0;
    text = std::to_string(number);
  } else if (!ReadText(&text)) {
    return 0;
  }
  const char c = conversion.conversion;
  std::string out;
  if (c == 's') {
    out = PrintOne(conversion.format, text.c_str());
  } else if (c == 'c') {
    out = PrintOne(conversion.format, is_numeric() ? number : (text.empty() ? 0 : text[0]));
  } else if (std::strchr("diouxX", c) != nullptr) {
    const long long v = is_numeric() ? number : std::strtoll(text.c_str(), nullptr, 10);
    out = PrintOne(conversion.format, v);
  } else {
    const double v =
        is_numeric() ? Scale(number, record_.decimals) : std::strtod(text.c_str(), nullptr);
    out = PrintOne(conversion.format, v);
  }
  lumetra::CopyCutChecked(out, buffer, size);
  return 1;
}

int FieldId::GetNum() {
  if (!is_numeric()) return -1;
  std::int32_t value = 0;
  if (!ReadNumber(&value)) return 0;
  return value;
}

int FieldId::GetAttribute(int code, char* buffer, int size) const {
  if (size < 0) return -1;
  const std::string* text = nullptr;
  switch (code) {
    case 0:
      text = &record_.id;
      break;
    case 1:
      text = &record_.section;
      break;
    case 5:
      text = &record_.mask;
      break;
    case 7:
      text = &record_.short_desc;
      break;
    case 8:
      text = &record_.long_desc;
      break;
    case 2:
      return record_.width;
    case 3:
      return record_.decimals;
    case 4:
      return record_.number;
    case 9:
      return record_.value_count;
    case 10:
      return record_.type;
    default:
      return -1;
  }
  if (buffer == nullptr) return -1;
  CopyAttribute(*text, buffer, size);
  return 1;
}

int FieldId::GetValueAttribute(int index, int which, char* buffer, int size) const {
  if (index < 0 || static_cast<std::size_t>(index) >= values_.size() || size < 0 ||
      buffer == nullptr) {
    return -1;
  }
  const fmt::DlValueRecord& value = values_[static_cast<std::size_t>(index)];
  switch (which) {
    case 0:
      CopyAttribute(value.value, buffer, size);
      return 1;
    case 1:
      CopyAttribute(value.short_desc, buffer, size);
      return 1;
    case 2:
      CopyAttribute(value.long_desc, buffer, size);
      return 1;
    default:
      return -1;
  }
}

void FieldId::CopyAttribute(const std::string& text, char* buffer, int size) {
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size < 0 ? 0 : size));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}
