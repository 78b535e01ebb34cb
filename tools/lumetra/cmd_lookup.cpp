// lumetra lookup: the objects containing a point (or near it), with their
// attributes; one point from the command line or many from a file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"

namespace lumetra_cli {

const char kLookupHelp[] =
    "usage: lumetra lookup FILE LON LAT [--radius FEET | --ranked MAXDIST] [--json]\n"
    "       lumetra lookup FILE --batch [INPUT|-] [--radius FEET] [--header]\n"
    "\n"
    "Prints every object of FILE that contains the point, with its attributes (or\n"
    "its ordinal when the file has no attribute file).  Coordinates are decimal\n"
    "degrees (planar files: plain units).\n"
    "\n"
    "options:\n"
    "  --radius FEET     also objects whose border lies within FEET of the point\n"
    "                    (needs a file imported with --segments)\n"
    "  --ranked MAXDIST  containing objects first (deepest inside first), then those\n"
    "                    within MAXDIST feet, nearest first, with their distances\n"
    "  --json            one JSON array of the hits\n"
    "  --batch           read 'lon,lat' lines from INPUT (or standard input) and\n"
    "                    write one CSV line per hit: lon,lat,name and the attribute\n"
    "                    values (or the ordinal); points without a hit write nothing\n"
    "  --header          batch: first write a CSV header line\n"
    "\n"
    "Exit status: 0 found, 1 nothing found, 2 error.\n";

namespace {

struct Hit {
  ObjectRecord record;
  int result = 0;     // 1 inside, 2 near, 3 both
  int distance = -1;  // ranked: feet (or units) to the border
  bool has_attributes = false;
  std::vector<std::string> values;
};

// Plain search: 1 inside, 2 within the radius, 3 both.  Ranked search: bit 0
// inside, bit 1 within the maximum distance (so 2 alone is outside).
std::string Relation(const Hit& hit) {
  if (hit.distance >= 0) return (hit.result & PIP_FOUND_INSIDE) != 0 ? "inside" : "outside";
  switch (hit.result) {
    case 1:
      return "inside";
    case 2:
      return "near";
    case 3:
      return "inside, near the border";
    default:
      return "result " + std::to_string(hit.result);
  }
}

std::vector<Hit> Containing(const ObjectFile& file, const Attributes& attributes, std::int32_t x,
                            std::int32_t y, int radius) {
  std::vector<Hit> hits;
  char name[PIP_NAME_SIZE];
  int result = pipObjectFindFirstContaining(file.handle(), x, y, radius, name, sizeof name);
  while (result > 0) {
    Hit hit;
    hit.result = result;
    hit.record = CurrentObject(file);
    hit.has_attributes = attributes.Values(&hit.values);
    hits.push_back(std::move(hit));
    result = pipObjectFindNext(file.handle(), name, sizeof name);
  }
  if (result < 0) file.library().Fail("lookup in " + file.path() + " failed");
  return hits;
}

// The ranked search: each entry's distance is answered for the entry under
// the result list's cursor; its record is read after moving to it.
std::vector<Hit> Ranked(const ObjectFile& file, const Attributes& attributes, std::int32_t x,
                        std::int32_t y, int max_distance) {
  std::vector<Hit> hits;
  char name[PIP_NAME_SIZE];
  const int h = file.handle();
  int result = pipObjectFindFirstContainingEx(h, x, y, max_distance, name, sizeof name);
  while (result > 0) {
    Hit hit;
    hit.result = result;
    hit.distance = pipObjectDistanceToBorder(h, x, y);
    hit.has_attributes = attributes.Values(&hit.values);
    int low = 0;
    int high = 0;
    if (pipObjectGetHandle64(h, &low, &high) != 1 || pipObjectFileGoto64(h, low, high) != 1) {
      file.library().Fail("cannot read a ranked result of " + file.path());
    }
    hit.record = CurrentObject(file);
    hits.push_back(std::move(hit));
    result = pipObjectFindNext(h, name, sizeof name);
  }
  if (result < 0) file.library().Fail("ranked lookup in " + file.path() + " failed");
  return hits;
}

void PrintText(const std::vector<Hit>& hits, const Attributes& attributes, bool geographic) {
  const char* unit = geographic ? "feet" : "units";
  for (const Hit& hit : hits) {
    std::string line = hit.record.name() + " (" + Relation(hit);
    if (hit.distance >= 0) {
      line += ", " + std::to_string(hit.distance) + " " + unit + " from the border";
    }
    std::printf("%s)\n", line.c_str());
    if (!hit.record.name2().empty()) std::printf("  name2: %s\n", hit.record.name2().c_str());
    if (!attributes.available()) {
      std::printf("  ordinal: %d\n", hit.record.ordinal());
    } else if (!hit.has_attributes) {
      std::printf("  (no attribute record for ordinal %d)\n", hit.record.ordinal());
    } else {
      for (std::size_t i = 0; i < attributes.fields().size(); ++i) {
        std::printf("  %s: %s\n", attributes.fields()[i].name.c_str(), hit.values[i].c_str());
      }
    }
  }
}

std::string JsonValue(const AttributeField& field, const std::string& value) {
  if (value.empty()) return "null";
  if (field.type == 'N' && value.find_first_not_of("-0123456789.") == std::string::npos) {
    return value;
  }
  return JsonString(value);
}

void PrintJson(const std::vector<Hit>& hits, const Attributes& attributes) {
  std::string out = "[";
  for (std::size_t k = 0; k < hits.size(); ++k) {
    const Hit& hit = hits[k];
    out += k == 0 ? "\n" : ",\n";
    out += "  {\"name\": " + JsonString(hit.record.name()) +
           ", \"name2\": " + JsonString(hit.record.name2()) +
           ", \"type\": " + JsonString(TypeName(hit.record.info.type)) +
           ", \"ordinal\": " + std::to_string(hit.record.ordinal()) +
           ", \"result\": " + std::to_string(hit.result) +
           ", \"relation\": " + JsonString(Relation(hit));
    if (hit.distance >= 0) out += ", \"distance\": " + std::to_string(hit.distance);
    if (attributes.available()) {
      out += ", \"attributes\": {";
      for (std::size_t i = 0; i < attributes.fields().size(); ++i) {
        const AttributeField& field = attributes.fields()[i];
        out += (i == 0 ? "" : ", ") + JsonString(field.name) + ": " +
               JsonValue(field, hit.has_attributes ? hit.values[i] : std::string());
      }
      out += "}";
    }
    out += "}";
  }
  out += hits.empty() ? "]\n" : "\n]\n";
  std::fputs(out.c_str(), stdout);
}

int RadiusOption(const Args& args) {
  if (!args.Has("radius")) return 0;
  return static_cast<int>(ParseInteger(args.Value("radius"), 0, 2147483647, "--radius FEET"));
}

// Batch mode ---------------------------------------------------------------

// Output collected in a large buffer and written in blocks.
class BlockWriter {
 public:
  BlockWriter() { buffer_.reserve(kBlock + 4096); }
  ~BlockWriter() { Flush(); }
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;
  std::string& buffer() { return buffer_; }
  void MaybeFlush() {
    if (buffer_.size() >= kBlock) Flush();
  }
  void Flush() {
    if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), stdout);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::string buffer_;
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr && f != stdin) std::fclose(f);
  }
};

// Splits "lon,lat" (also "lon lat", "lon;lat", "lon<TAB>lat") into its two
// texts; false when the line does not have two fields.
bool SplitPoint(const char* line, std::size_t length, std::string* lon, std::string* lat) {
  const char* end = line + length;
  while (end > line && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == ' ')) --end;
  const char* p = line;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  const char* lon_begin = p;
  while (p < end && *p != ',' && *p != ';' && *p != ' ' && *p != '\t') ++p;
  const char* lon_end = p;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  if (p < end && (*p == ',' || *p == ';')) ++p;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  const char* lat_begin = p;
  while (p < end && *p != ',' && *p != ';' && *p != ' ' && *p != '\t') ++p;
  if (lon_begin == lon_end || lat_begin == p) return false;
  lon->assign(lon_begin, lon_end);
  lat->assign(lat_begin, p);
  return true;
}

bool IsBlankOrComment(const char* line, std::size_t length) {
  std::size_t i = 0;
  while (i < length && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i == length || line[i] == '#' || line[i] == '\n' || line[i] == '\r';
}

void AppendHit(const ObjectFile& file, const Attributes& attributes, const std::string& lon,
               const std::string& lat, const char* name, std::vector<std::string>* values,
               std::string* out) {
  *out += lon;
  *out += ',';
  *out += lat;
  *out += ',';
  *out += CsvField(name);
  if (attributes.available()) {
    attributes.Values(values);
    for (const std::string& value : *values) {
      *out += ',';
      *out += CsvField(value);
    }
  } else {
    *out += ',';
    *out += std::to_string(CurrentObject(file).ordinal());
  }
  *out += '\n';
}

// The CSV header: lon, lat, name and the attribute fields (or ordinal),
// each name unique without regard to case ("NAME" beside "name" becomes
// "NAME_2").
std::string BatchHeader(const Attributes& attributes) {
  std::vector<std::string> names = {"lon", "lat", "name"};
  if (!attributes.available()) names.push_back("ordinal");
  for (const AttributeField& field : attributes.fields()) names.push_back(field.name);
  std::set<std::string> used;
  std::string line;
  for (const std::string& wanted : names) {
    std::string name = wanted;
    for (int n = 2; used.count(LowerCase(name)) != 0; ++n) name = wanted + "_" + std::to_string(n);
    used.insert(LowerCase(name));
    line += (line.empty() ? "" : ",") + CsvField(name);
  }
  return line + "\n";
}

// Parses one batch line into file units; "" when it is a point, else why
// not.
std::string BatchPoint(const char* line, std::size_t length, bool geographic, std::string* lon,
                       std::string* lat, std::int32_t* x, std::int32_t* y) {
  if (!SplitPoint(line, length, lon, lat)) return "malformed point (expected 'lon,lat')";
  const std::string x_problem =
      CoordinateTextProblem(lon->data(), lon->data() + lon->size(), geographic, Axis::kX, x);
  if (!x_problem.empty()) return "longitude '" + *lon + "' is " + x_problem;
  const std::string y_problem =
      CoordinateTextProblem(lat->data(), lat->data() + lat->size(), geographic, Axis::kY, y);
  if (!y_problem.empty()) return "latitude '" + *lat + "' is " + y_problem;
  return std::string();
}

// Looks up every point of `input`.  A malformed line is reported on
// standard error with its number and skipped; the others are all answered,
// and the status is then 2.
int RunBatch(const ObjectFile& file, const std::string& input, int radius, bool header) {
  std::unique_ptr<std::FILE, FileCloser> in(input == "-" ? stdin : std::fopen(input.c_str(), "r"));
  if (!in) throw CliError("cannot open " + input + ": " + std::strerror(errno));
  const std::string source = input == "-" ? "standard input" : input;
  const Attributes attributes(file);
  BlockWriter writer;
  if (header) writer.buffer() += BatchHeader(attributes);
  char* line = nullptr;
  std::size_t capacity = 0;
  long long line_number = 0;
  long long hits = 0;
  long long malformed = 0;
  bool seen_point = false;
  std::string lon, lat;
  std::vector<std::string> values;
  char name[PIP_NAME_SIZE];
  ssize_t length = 0;
  while ((length = getline(&line, &capacity, in.get())) >= 0) {
    ++line_number;
    const std::size_t n = static_cast<std::size_t>(length);
    std::int32_t x = 0;
    std::int32_t y = 0;
    if (IsBlankOrComment(line, n)) continue;
    const std::string problem = BatchPoint(line, n, file.geographic(), &lon, &lat, &x, &y);
    if (!problem.empty()) {
      if (!seen_point && line_number == 1 && problem.find("malformed") != std::string::npos) {
        continue;  // a header line
      }
      std::fprintf(stderr, "lumetra: lookup: %s, line %lld: %s\n", source.c_str(), line_number,
                   problem.c_str());
      ++malformed;
      continue;
    }
    seen_point = true;
    int result = pipObjectFindFirstContaining(file.handle(), x, y, radius, name, sizeof name);
    while (result > 0) {
      AppendHit(file, attributes, lon, lat, name, &values, &writer.buffer());
      ++hits;
      result = pipObjectFindNext(file.handle(), name, sizeof name);
    }
    if (result < 0) {
      std::free(line);
      writer.Flush();
      file.library().Fail(source + ", line " + std::to_string(line_number) + ": lookup failed");
    }
    writer.MaybeFlush();
  }
  std::free(line);
  writer.Flush();
  if (malformed > 0) {
    std::fprintf(stderr, "lumetra: lookup: %lld malformed %s skipped\n", malformed,
                 malformed == 1 ? "line" : "lines");
    return kExitError;
  }
  return hits > 0 ? kExitOk : kExitNotFound;
}

}  // namespace

int RunLookup(int argc, char** argv) {
  const Args args(argc, argv,
                  {{"radius", 1}, {"ranked", 1}, {"json", 0}, {"batch", 0}, {"header", 0}});
  if (args.Has("radius") && args.Has("ranked")) {
    throw UsageError("--radius and --ranked exclude each other");
  }
  const Library library;
  if (args.Has("batch")) {
    args.ExpectPositional(1, 2);
    if (args.Has("ranked") || args.Has("json")) {
      throw UsageError("--batch writes CSV; --ranked and --json are for single points");
    }
    const int radius = RadiusOption(args);
    const ObjectFile file(library, args.positional()[0]);
    return RunBatch(file, args.positional().size() > 1 ? args.positional()[1] : "-", radius,
                    args.Has("header"));
  }
  args.ExpectPositional(3, 3);
  const int radius = RadiusOption(args);
  const int ranked =
      args.Has("ranked")
          ? static_cast<int>(ParseInteger(args.Value("ranked"), 0, 2147483647, "--ranked MAXDIST"))
          : -1;
  const ObjectFile file(library, args.positional()[0]);
  const std::int32_t x = ParseCoordinate(args.positional()[1], file.geographic(), "longitude");
  const std::int32_t y = ParseCoordinate(args.positional()[2], file.geographic(), "latitude");
  const Attributes attributes(file);
  const std::vector<Hit> hits = ranked >= 0 ? Ranked(file, attributes, x, y, ranked)
                                            : Containing(file, attributes, x, y, radius);
  if (args.Has("json")) {
    PrintJson(hits, attributes);
  } else {
    PrintText(hits, attributes, file.geographic());
  }
  if (hits.empty() && !args.Has("json")) {
    std::fprintf(stderr, "lumetra: lookup: nothing found at %s %s\n", args.positional()[1].c_str(),
                 args.positional()[2].c_str());
  }
  return hits.empty() ? kExitNotFound : kExitOk;
}

}  // namespace lumetra_cli
