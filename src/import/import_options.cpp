#include "import/import_options.h"

#include <sys/time.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <system_error>

namespace lumetra {
namespace {

constexpr double kUnitsPerDegree = 1000000.0;
constexpr double kMaxLongitude = 180.0;
constexpr double kMaxLatitude = 90.0;
constexpr std::int64_t kCountCap = 1000000000000000;  // 10^15

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

bool FitsInt32(double v) {
  const double t = std::trunc(v);
  return t >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         t <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

}  // namespace

std::int32_t ImportOptions::FileUnits(double value, bool geographic) {
  const double units = std::trunc(geographic ? value * kUnitsPerDegree : value);
  if (std::isnan(units)) return 0;
  if (units <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
    return std::numeric_limits<std::int32_t>::min();
  }
  if (units >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<std::int32_t>(units);
}

std::string ImportOptions::FineStampText(std::time_t seconds, long microseconds, unsigned tag) {
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06ld %04x", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                microseconds % 1000000, tag & 0xFFFFu);
  return text;
}

std::string ImportOptions::FineStampNow() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::random_device random;
  return FineStampText(now.tv_sec, static_cast<long>(now.tv_usec), random());
}

std::string CoordinateProblem(double x, double y, bool geographic, bool scaled) {
  if (!std::isfinite(x)) return "x " + Number(x) + " is not a finite number";
  if (!std::isfinite(y)) return "y " + Number(y) + " is not a finite number";
  if (geographic && scaled) {
    if (std::fabs(x) > kMaxLongitude) {
      return "longitude " + Number(x) + " is outside -180 to 180 degrees";
    }
    if (std::fabs(y) > kMaxLatitude) {
      return "latitude " + Number(y) + " is outside -90 to 90 degrees";
    }
    return std::string();
  }
  const double factor = scaled ? kUnitsPerDegree : 1.0;
  for (const double v : {x, y}) {
    if (!FitsInt32(v * factor)) {
      return "coordinate " + Number(v) + " does not fit the file's 32-bit units";
    }
  }
  return std::string();
}

bool ParseStrictNumber(const char* text, std::size_t length, double* value) {
  if (text == nullptr || length == 0) return false;
  const char* begin = text;
  const char* end = text + length;
  if (*begin == '+') ++begin;
  if (begin == end) return false;
  // Only digits, one sign, '.', 'e' and 'E' may appear: this keeps out
  // "inf", "nan" and hex forms that from_chars would otherwise take.
  for (const char* p = begin; p < end; ++p) {
    const char c = *p;
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+')) {
      return false;
    }
  }
  double parsed = 0.0;
  const auto result = std::from_chars(begin, end, parsed);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool ParseStrictNumber(const std::string& text, double* value) {
  return ParseStrictNumber(text.data(), text.size(), value);
}

bool ParseStrictCount(const char* text, std::int64_t* value) {
  if (text == nullptr) return false;
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p == '\0') return false;
  std::int64_t v = 0;
  for (; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > kCountCap) return false;
  }
  *value = negative ? -v : v;
  return true;
}

}  // namespace lumetra
