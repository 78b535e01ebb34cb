#include "oracle_data.h"

#include <cpl_conv.h>
#include <gdal.h>
#include <lumetra/pip.h>
#include <ogr_api.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace oracle {

namespace {

// The most rings one object may hold (the import's polygon limit), less a
// margin.
constexpr std::size_t kRingsPerObject = 16000;

void AddRing(OGRGeometryH ring, Polygon& p) {
  Ring r;
  const int n = OGR_G_GetPointCount(ring);
  for (int i = 0; i < n; ++i) {
    r.xy.push_back(ToUnits(OGR_G_GetX(ring, i)));
    r.xy.push_back(ToUnits(OGR_G_GetY(ring, i)));
  }
  if (r.xy.size() >= 4 && r.xy[0] == r.xy[r.xy.size() - 2] && r.xy[1] == r.xy.back()) {
    r.xy.resize(r.xy.size() - 2);
  }
  if (r.xy.size() >= 6) p.rings.push_back(std::move(r));
}

void AddPolygon(OGRGeometryH poly, Feature& f) {
  Polygon p;
  for (int i = 0; i < OGR_G_GetGeometryCount(poly); ++i) AddRing(OGR_G_GetGeometryRef(poly, i), p);
  if (!p.rings.empty()) f.polygons.push_back(std::move(p));
}

std::string NameOf(OGRFeatureH feat) {
  for (const char* field : {"NAME", "name", "ADMIN", "A3"}) {
    const int i = OGR_F_GetFieldIndex(feat, field);
    if (i >= 0) return OGR_F_GetFieldAsString(feat, i);
  }
  return "";
}

// The rings of one object.
using ObjectRings = std::vector<const Ring*>;

// The objects of `f`: consecutive whole polygons in objects of at most
// kRingsPerObject rings, and a polygon with more rings in objects of that
// many of its rings.
void Split(const Feature& f, std::vector<ObjectRings>* objects) {
  std::size_t open = kRingsPerObject;  // rings of the last object (full: none open)
  for (const Polygon& p : f.polygons) {
    if (p.rings.size() > kRingsPerObject) {
      for (std::size_t i = 0; i < p.rings.size(); i += kRingsPerObject) {
        objects->emplace_back();
        for (std::size_t k = i; k < std::min(p.rings.size(), i + kRingsPerObject); ++k) {
          objects->back().push_back(&p.rings[k]);
        }
      }
      open = kRingsPerObject;
      continue;
    }
    if (open + p.rings.size() > kRingsPerObject) {
      objects->emplace_back();
      open = 0;
    }
    for (const Ring& r : p.rings) objects->back().push_back(&r);
    open += p.rings.size();
  }
}

}  // namespace

std::size_t Feature::RingCount() const {
  std::size_t n = 0;
  for (const Polygon& p : polygons) n += p.rings.size();
  return n;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

void Die(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::exit(2);
}

int ToUnits(double degrees) { return static_cast<int>(degrees * 1000000.0); }

void CheckPip(int lib, int result, const char* what) {
  if (result == 1) return;
  char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
  const int code = pipErrorGet(lib, message, detail);
  Die("%s failed: %d %s %s", what, code, message, detail);
}

std::vector<Feature> ReadFeatures(const std::string& path) {
  GDALAllRegister();
  // The world countries' GeoJSON has single features of hundreds of MB.
  CPLSetConfigOption("OGR_GEOJSON_MAX_OBJ_SIZE", "0");
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  if (ds == nullptr) Die("cannot open %s", path.c_str());
  OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
  std::vector<Feature> features;
  OGRFeatureH feat;
  while ((feat = OGR_L_GetNextFeature(layer)) != nullptr) {
    Feature f;
    f.name = NameOf(feat);
    OGRGeometryH g = OGR_F_GetGeometryRef(feat);
    if (g != nullptr) {
      const OGRwkbGeometryType t = wkbFlatten(OGR_G_GetGeometryType(g));
      if (t == wkbPolygon) AddPolygon(g, f);
      if (t == wkbMultiPolygon) {
        for (int i = 0; i < OGR_G_GetGeometryCount(g); ++i)
          AddPolygon(OGR_G_GetGeometryRef(g, i), f);
      }
    }
    if (!f.polygons.empty()) features.push_back(std::move(f));
    OGR_F_Destroy(feat);
  }
  GDALClose(ds);
  return features;
}

DataStats Stats(const std::vector<Feature>& features) {
  DataStats s;
  for (const Feature& f : features) {
    s.polygons += f.polygons.size();
    for (const Polygon& p : f.polygons) {
      s.rings += p.rings.size();
      for (const Ring& r : p.rings) s.points += r.xy.size() / 2;
    }
  }
  return s;
}

std::vector<int> ImportFeatures(int lib, const std::vector<Feature>& features,
                                const std::string& path, int flags, double* seconds) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  std::vector<ObjectRings> objects;
  std::vector<int> feature_of;
  for (std::size_t i = 0; i < features.size(); ++i) {
    const std::size_t before = objects.size();
    Split(features[i], &objects);
    feature_of.resize(objects.size(), static_cast<int>(i));
    for (std::size_t k = before; k < objects.size(); ++k) {
      long points = 0;
      for (const Ring* r : objects[k]) points += static_cast<long>(r->xy.size() / 2) + 1;
      info.maxPoints = std::max(info.maxPoints, static_cast<int>(points));
      info.maxParts = std::max(info.maxParts, static_cast<int>(objects[k].size()));
    }
  }
  info.coordType = PIP_COORD_GEOGRAPHIC;
  info.flags = flags;
  std::remove(path.c_str());
  const auto start = Clock::now();
  int import = 0;
  CheckPip(lib, pipImportInit(lib, path.c_str(), &info, &import), "pipImportInit");
  std::vector<int> refs(1, -1);
  std::vector<int> xy, counts;
  for (std::size_t k = 0; k < objects.size(); ++k) {
    pipObjectInfoStruct obj;
    std::memset(&obj, 0, sizeof obj);
    std::snprintf(obj.name, sizeof obj.name, "%s", features[feature_of[k]].name.c_str());
    obj.type = PIP_OBJECT_REGION;
    xy.clear();
    counts.clear();
    for (const Ring* r : objects[k]) {
      xy.insert(xy.end(), r->xy.begin(), r->xy.end());
      counts.push_back(static_cast<int>(r->xy.size() / 2));
    }
    CheckPip(
        lib,
        pipImportInsert(import, &obj, xy.data(), counts.data(), static_cast<int>(counts.size())),
        "pipImportInsert");
    refs.push_back(feature_of[k]);
  }
  CheckPip(lib, pipImportTerm(import, 1), "pipImportTerm");
  *seconds = Seconds(start, Clock::now());
  return refs;
}

std::vector<int> FeaturesOf(const std::vector<int>& ordinals, const std::vector<int>& feature_of) {
  std::vector<int> hits;
  for (int o : ordinals) {
    if (o > 0 && o < static_cast<int>(feature_of.size())) hits.push_back(feature_of[o]);
  }
  std::sort(hits.begin(), hits.end());
  std::vector<int> features;
  for (std::size_t i = 0; i < hits.size();) {
    std::size_t j = i;
    while (j < hits.size() && hits[j] == hits[i]) ++j;
    if ((j - i) % 2 == 1) features.push_back(hits[i]);
    i = j;
  }
  return features;
}

void ImportPoints(int lib, const std::vector<int>& xy, const std::string& path) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = 1;
  info.maxParts = 1;
  info.coordType = 0;
  std::remove(path.c_str());
  int import = 0;
  CheckPip(lib, pipImportInit(lib, path.c_str(), &info, &import), "pipImportInit (points)");
  for (std::size_t i = 0; i < xy.size() / 2; ++i) {
    pipObjectInfoStruct obj;
    std::memset(&obj, 0, sizeof obj);
    std::snprintf(obj.name, sizeof obj.name, "N%zu", i);
    obj.type = PIP_OBJECT_POINT;
    obj.x = xy[2 * i];
    obj.y = xy[2 * i + 1];
    CheckPip(lib, pipImportInsert(import, &obj, nullptr, nullptr, 0), "pipImportInsert (point)");
  }
  CheckPip(lib, pipImportTerm(import, 1), "pipImportTerm (points)");
}

}  // namespace oracle
