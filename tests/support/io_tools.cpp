#include "support/io_tools.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support/test_files.h"

namespace lumetra_test {

bool HaveTool(const char* tool) {
  const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string RunTool(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

std::string SourcePath(const std::string& relative) {
  return std::string(LUMETRA_SOURCE_DIR) + "/" + relative;
}

namespace {

std::vector<double> Numbers(const std::string& wkt) {
  std::vector<double> out;
  const char* p = wkt.c_str();
  while (*p != '\0') {
    if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '.') {
      char* end = nullptr;
      out.push_back(std::strtod(p, &end));
      p = end;
    } else {
      ++p;
    }
  }
  return out;
}

}  // namespace

std::vector<OgrFeature> ParseOgrinfo(const std::string& text) {
  static const char* kGeometries[] = {"POINT",      "LINESTRING",      "POLYGON",
                                      "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON"};
  std::vector<OgrFeature> features;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) {
      features.emplace_back();
      continue;
    }
    if (features.empty() || line.rfind("  ", 0) != 0) continue;
    const std::size_t equals = line.find(" (String) = ");
    if (equals != std::string::npos) {
      features.back().fields[line.substr(2, equals - 2)] = line.substr(equals + 12);
      continue;
    }
    const std::string keyword = line.substr(2, line.find(' ', 2) - 2);
    if (std::find(std::begin(kGeometries), std::end(kGeometries), keyword) !=
        std::end(kGeometries)) {
      features.back().geometry = keyword;
      features.back().numbers = Numbers(line.substr(2 + keyword.size()));
    }
  }
  return features;
}

long OgrFeatureCount(const std::string& text) {
  const std::size_t at = text.find("Feature Count: ");
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + 15, nullptr, 10);
}

QuietStderr::QuietStderr() : saved_(dup(2)) {
  std::fflush(stderr);
  std::FILE* null = std::fopen("/dev/null", "w");
  if (null != nullptr) {
    dup2(fileno(null), 2);
    std::fclose(null);
  }
}

QuietStderr::~QuietStderr() {
  std::fflush(stderr);
  if (saved_ >= 0) {
    dup2(saved_, 2);
    close(saved_);
  }
}

void AppendBe32(Bytes* b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b->push_back(static_cast<std::uint8_t>(v >> shift));
}

void AppendLe32(Bytes* b, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) b->push_back(static_cast<std::uint8_t>(v >> shift));
}

void AppendLeDouble(Bytes* b, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int shift = 0; shift < 64; shift += 8) {
    b->push_back(static_cast<std::uint8_t>(bits >> shift));
  }
}

std::uint32_t ReadBe32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

void ForEachTruncation(const Bytes& original,
                       const std::function<void(const Bytes& cut, std::size_t length)>& run) {
  for (std::size_t n = 0; n < original.size(); ++n) {
    run(Bytes(original.begin(), original.begin() + static_cast<long>(n)), n);
  }
}

void ForEachByteChange(const Bytes& original, const std::vector<std::uint8_t>& values,
                       std::size_t stride,
                       const std::function<void(const Bytes& changed, std::size_t offset)>& run) {
  Bytes changed = original;
  for (std::size_t at = 0; at < original.size(); at += stride) {
    if (values.empty()) {
      changed[at] = static_cast<std::uint8_t>(~original[at]);
      run(changed, at);
    }
    for (std::uint8_t v : values) {
      changed[at] = v;
      run(changed, at);
    }
    changed[at] = original[at];
  }
}

Bytes ShpMainHeader(std::uint32_t length_words, int type, const double box[4]) {
  Bytes b;
  AppendBe32(&b, 9994);
  for (int i = 0; i < 5; ++i) AppendBe32(&b, 0);
  AppendBe32(&b, length_words);
  AppendLe32(&b, 1000);
  AppendLe32(&b, static_cast<std::uint32_t>(type));
  for (int i = 0; i < 4; ++i) AppendLeDouble(&b, box[i]);
  b.resize(100, 0);
  return b;
}

Bytes ShpPointContent(double x, double y) {
  Bytes b;
  AppendLe32(&b, 1);
  AppendLeDouble(&b, x);
  AppendLeDouble(&b, y);
  return b;
}

Bytes ShpNullContent() { return Bytes{0, 0, 0, 0}; }

Bytes ShpPolyContent(int type, const std::vector<std::vector<double>>& parts) {
  std::vector<int> starts;
  std::vector<double> xy;
  for (const auto& part : parts) {
    starts.push_back(static_cast<int>(xy.size() / 2));
    xy.insert(xy.end(), part.begin(), part.end());
  }
  Bytes b = ShpRawPolyContent(static_cast<int>(parts.size()), static_cast<int>(xy.size() / 2),
                              starts, xy);
  b[0] = static_cast<std::uint8_t>(type);
  return b;
}

Bytes ShpRawPolyContent(int parts, int points, const std::vector<int>& starts,
                        const std::vector<double>& xy) {
  Bytes b;
  AppendLe32(&b, 5);
  for (double v : {0.0, 0.0, 1.0, 1.0}) AppendLeDouble(&b, v);
  AppendLe32(&b, static_cast<std::uint32_t>(parts));
  AppendLe32(&b, static_cast<std::uint32_t>(points));
  for (int s : starts) AppendLe32(&b, static_cast<std::uint32_t>(s));
  for (double v : xy) AppendLeDouble(&b, v);
  return b;
}

Bytes ShpMultiPointContent(const std::vector<double>& xy) {
  double box[4] = {1e30, 1e30, -1e30, -1e30};
  for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
    box[0] = std::min(box[0], xy[i]);
    box[1] = std::min(box[1], xy[i + 1]);
    box[2] = std::max(box[2], xy[i]);
    box[3] = std::max(box[3], xy[i + 1]);
  }
  Bytes b;
  AppendLe32(&b, 8);
  for (double v : box) AppendLeDouble(&b, v);
  AppendLe32(&b, static_cast<std::uint32_t>(xy.size() / 2));
  for (double v : xy) AppendLeDouble(&b, v);
  return b;
}

void ShapefileBytes::Add(const Bytes& content) {
  AppendBe32(&shx_records, static_cast<std::uint32_t>((100 + shp_records.size()) / 2));
  AppendBe32(&shx_records, static_cast<std::uint32_t>(content.size() / 2));
  AppendBe32(&shp_records, static_cast<std::uint32_t>(next_++));
  AppendBe32(&shp_records, static_cast<std::uint32_t>(content.size() / 2));
  shp_records.insert(shp_records.end(), content.begin(), content.end());
}

void ShapefileBytes::Save(const std::string& base, int type) const {
  const double box[4] = {0, 0, 1, 1};
  Bytes shp = ShpMainHeader(static_cast<std::uint32_t>((100 + shp_records.size()) / 2), type, box);
  shp.insert(shp.end(), shp_records.begin(), shp_records.end());
  Bytes shx = ShpMainHeader(static_cast<std::uint32_t>((100 + shx_records.size()) / 2), type, box);
  shx.insert(shx.end(), shx_records.begin(), shx_records.end());
  WriteBytes(base + ".shp", shp);
  WriteBytes(base + ".shx", shx);
}

}  // namespace lumetra_test
