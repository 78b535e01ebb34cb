// Whole object files through the C interface: the input is an object file,
// optionally followed by a member separator and its attribute file.  The
// file is queried and validated, then opened in a descriptor mode (cache
// budget chosen by the input's size) and in the shared mapped mode 4, and
// the same sequence of every search, coordinate, attribute and distance
// call runs on both handles.  Invariants: the two handles answer the same;
// an object read twice (by its search and again by its handle) reads the
// same; a point found inside an object lies within its points' bounds; a
// name search answers only matching names; coordinate counts agree; names
// are terminated.  Results per search are capped.
#include <lumetra/pip.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr int kMaxResults = 40;
constexpr int kMaxCoords = 1 << 20;  // points per object read back

using lumetra_fuzz::Terminated;

// Everything a run of calls answered, compared between the two handles.
struct Transcript {
  std::vector<std::string> lines;
  void Add(const std::string& what, int result, const char* name = nullptr) {
    std::string line = what + " " + std::to_string(result);
    if (name != nullptr) line += " " + std::string(name);
    lines.push_back(line);
  }
};

std::string InfoText(const pipObjectInfoStruct& o) {
  char text[400];
  std::snprintf(text, sizeof text, "%.127s|%.127s|%d %d %d %d %d %d %d %d", o.name, o.name2, o.type,
                o.x, o.y, o.minX, o.minY, o.maxX, o.maxY, o.penColor);
  return text;
}

struct Coords {
  int result = -1;
  std::vector<int> points;
  std::vector<int> parts;
  bool operator==(const Coords& c) const {
    return result == c.result && points == c.points && parts == c.parts;
  }
};

// The current object's coordinates, with the count calls' consistency.
Coords ReadCoords(int h) {
  Coords c;
  int num_points = 0, num_parts = 0;
  if (pipObjectGetNumCoords(h, &num_points, &num_parts) != 1) return c;
  FUZZ_CHECK(num_points >= 0 && num_parts >= 0);
  if (num_points > kMaxCoords || num_parts > kMaxCoords) return c;
  c.points.assign(2 * static_cast<std::size_t>(num_points) + 2, 0);
  c.parts.assign(static_cast<std::size_t>(num_parts) + 1, 0);
  int got_parts = -1;
  c.result =
      pipObjectGetCoords(h, c.points.data(), num_points, c.parts.data(), num_parts, &got_parts);
  if (c.result != 1) return c;
  FUZZ_CHECK(got_parts == num_parts);
  c.parts.resize(static_cast<std::size_t>(num_parts));
  c.points.resize(2 * static_cast<std::size_t>(num_points));
  long long total = 0;
  for (int n : c.parts) total += n;
  FUZZ_CHECK(total == num_points);
  return c;
}

bool WithinPoints(const Coords& c, int x, int y) {
  if (c.result != 1 || c.points.empty()) return false;
  int minx = INT32_MAX, miny = INT32_MAX, maxx = INT32_MIN, maxy = INT32_MIN;
  for (std::size_t i = 0; i + 1 < c.points.size(); i += 2) {
    minx = std::min(minx, c.points[i]);
    maxx = std::max(maxx, c.points[i]);
    miny = std::min(miny, c.points[i + 1]);
    maxy = std::max(maxy, c.points[i + 1]);
  }
  return minx <= x && x <= maxx && miny <= y && y <= maxy;
}

// Describes the current object: info, handle, coordinates, attributes; then
// goes back to it by its handle and checks that it reads the same.
void DescribeCurrent(int h, Transcript* t) {
  pipObjectInfoStruct info;
  const int r = pipObjectGetInfo(h, &info);
  t->Add("info", r, r == 1 ? InfoText(info).c_str() : nullptr);
  if (r != 1) return;
  FUZZ_CHECK(Terminated(info.name, sizeof info.name) && Terminated(info.name2, sizeof info.name2));
  const Coords coords = ReadCoords(h);
  t->Add("coords", coords.result, std::to_string(coords.points.size()).c_str());
  int count = 0;
  t->Add("attributes", pipObjectGetAttributeCount(h, &count), std::to_string(count).c_str());
  for (int f = 0; f < std::min(count, 8); ++f) {
    pipAttributeInfoStruct a;
    const int ar = pipObjectGetAttributeInfoByNumber(h, f, &a);
    FUZZ_CHECK(Terminated(a.name, sizeof a.name) && Terminated(a.value, sizeof a.value));
    t->Add("attribute", ar, (std::string(a.name) + "=" + a.value).c_str());
  }
  int low = 0, high = 0;
  if (pipObjectGetHandle64(h, &low, &high) != 1) return;
  FUZZ_CHECK(pipObjectFileGoto64(h, low, high) == 1);
  pipObjectInfoStruct again;
  FUZZ_CHECK(pipObjectGetInfo(h, &again) == 1);
  FUZZ_CHECK(InfoText(again) == InfoText(info));
  FUZZ_CHECK(ReadCoords(h) == coords);
}

// Walks a search: the first result, then FindNext, describing each object.
template <class First>
void Walk(int h, const char* what, Transcript* t, First&& first, bool describe = true) {
  char name[PIP_NAME_SIZE];
  int r = first(name);
  for (int n = 0; n < kMaxResults; ++n) {
    FUZZ_CHECK(r < 0 || Terminated(name, sizeof name));
    t->Add(what, r, r > 0 ? name : nullptr);
    if (r <= 0) break;
    if (describe) DescribeCurrent(h, t);
    r = pipObjectFindNext(h, name, sizeof name);
  }
}

bool NameMatches(const char* found, const std::string& prefix) {
  if (std::strlen(found) > 127) return true;  // cut names are compared as stored
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(found[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

void Containing(int h, int x, int y, int radius, Transcript* t) {
  char name[PIP_NAME_SIZE];
  int r = pipObjectFindFirstContaining(h, x, y, radius, name, sizeof name);
  for (int n = 0; n < kMaxResults && r > 0; ++n) {
    t->Add("containing", r, name);
    if ((r & PIP_FOUND_INSIDE) != 0) FUZZ_CHECK(WithinPoints(ReadCoords(h), x, y));
    t->Add("pip", pipPointInPoly(h, x, y));
    r = pipObjectFindNext(h, name, sizeof name);
  }
  t->Add("containing end", r);
}

void Searches(int h, Transcript* t) {
  pipObjectFileInfoStruct info;
  if (pipObjectHandleFileQuery(h, &info) != 1) return;
  pipObjectFileExtraInfoStruct extra;
  t->Add("extra", pipObjectHandleFileQueryEx(h, &extra));
  const int cx = static_cast<int>((static_cast<long long>(info.minX) + info.maxX) / 2);
  const int cy = static_cast<int>((static_cast<long long>(info.minY) + info.maxY) / 2);
  std::string first_name;
  Walk(h, "rect", t, [&](char* name) {
    const int r =
        pipObjectFindFirstRect(h, info.minX, info.minY, info.maxX, info.maxY, name, PIP_NAME_SIZE);
    if (r > 0) first_name = name;
    return r;
  });
  Walk(
      h, "name*", t,
      [&](char* name) { return pipObjectFindFirstName(h, "*", name, PIP_NAME_SIZE); }, false);
  const std::string prefix = first_name.substr(0, std::min<std::size_t>(3, first_name.find('*')));
  Walk(
      h, "name", t,
      [&](char* name) {
        const int r = pipObjectFindFirstName(h, (prefix + "*").c_str(), name, PIP_NAME_SIZE);
        if (r > 0) FUZZ_CHECK(NameMatches(name, prefix));
        return r;
      },
      false);
  Containing(h, cx, cy, 0, t);
  Containing(h, info.minX, info.maxY, 1000, t);
  Walk(h, "ranked", t, [&](char* name) {
    return pipObjectFindFirstContainingEx(h, cx, cy, 5000, name, PIP_NAME_SIZE);
  });
  Walk(
      h, "nearest", t,
      [&](char* name) { return pipObjectFindFirstNearest(h, cx, cy, 3, name, PIP_NAME_SIZE); },
      false);
  Walk(
      h, "nearest filtered", t,
      [&](char* name) {
        return pipObjectFindFirstNearestEx(h, cx, cy, 3, "NAME <> 'X'", name, PIP_NAME_SIZE);
      },
      false);
  const int square[] = {cx - 50000, cy - 50000, cx + 50000, cy - 50000,
                        cx + 50000, cy + 50000, cx - 50000, cy + 50000};
  const int parts[] = {4};
  double percent = 0;
  char name[PIP_NAME_SIZE];
  int r = pipObjectFindFirstPolygonEx(h, square, parts, 1, name, sizeof name, 10, &percent);
  for (int n = 0; n < kMaxResults && r > 0; ++n) {
    t->Add("polygon", r, name);
    r = pipObjectFindNextEx(h, name, sizeof name, 10, &percent);
  }
  int nx = 0, ny = 0;
  t->Add("border", pipObjectDistanceToBorderEx(h, cx, cy, &nx, &ny));
  t->Add("criteria", pipObjectValidateFilterCriteria(h, "NAME = 'A*'"));
}

Transcript Exercise(const char* path, int mode) {
  Transcript t;
  int h = 0;
  const int r = pipObjectFileOpen(lumetra_fuzz::LibraryHandle(), path, mode, &h);
  t.Add("open", r);
  if (r != 1) {
    char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
    FUZZ_CHECK(pipErrorGet(lumetra_fuzz::LibraryHandle(), message, detail) != PIP_ERR_NONE);
    return t;
  }
  Searches(h, &t);
  FUZZ_CHECK(pipObjectFileClose(h) == 1);
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 2);
  const std::string path = lumetra_fuzz::WriteFile("fuzz.lmb", members[0]);
  if (members.size() > 1) {
    lumetra_fuzz::WriteFile("fuzz.lma", members[1]);
  } else {
    lumetra_fuzz::RemoveFile("fuzz.lma");
  }
  const int lib = lumetra_fuzz::LibraryHandle();
  pipObjectFileInfoStruct info;
  if (pipObjectFileQuery(lib, path.c_str(), &info) == 1) {
    FUZZ_CHECK(Terminated(info.header, sizeof info.header));
  }
  const int valid = pipObjectFileValidate(lib, path.c_str());
  const Transcript plain = Exercise(path.c_str(), static_cast<int>(size % 4));
  const Transcript mapped = Exercise(path.c_str(), 4);
  FUZZ_CHECK(plain.lines == mapped.lines);
  if (valid == 1) FUZZ_CHECK(plain.lines.size() > 1);  // a valid file opens
  return 0;
}
