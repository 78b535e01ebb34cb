// Exported entry points of the rectangle, name, nearest and polygon
// searches, the border distances, the object coordinates and the ranked
// containing search.  Each is the common pattern of the handle table: look
// the handle up by kind, work on its pipObjectFileObject, release it on
// every path, and let no exception out (failure value -1).
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <cstdint>
#include <memory>
#include <string>

#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/text_copy.h"
#include "search/border_distance.h"
#include "search/name_search.h"
#include "search/nearest_search.h"
#include "search/object_coords.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "search/polygon_overlap_search.h"
#include "search/rect_search.h"

using lumetra::WithHandle;
using lumetra::WithObjectFile;

namespace {

constexpr char kNoAttributeFile[] =
    "No attribute file was found. Cannot filter without attributes.";
constexpr char kNoSearchName[] = "pipObjectFindFirstName: no name to search for";
constexpr char kBadPolygon[] =
    "pipObjectFindFirstPolygon: the polygon needs points, part counts and no negative count";

// The object the coordinate calls describe: the ranked entry under the
// cursor when there is one (made current first), else the current
// search's current object; null when there is none.
const PolygonObject* DescribedObject(pipObjectFileObject& object) {
  if (object.MoveToRankedEntry() < 0) return nullptr;
  return object.CurrentObject();
}

int StartNearest(pipObjectFileObject& object, int x, int y, int count, const char* criteria,
                 bool filtered, bool exact, char* name, int name_length) {
  std::unique_ptr<ObjectFilter> filter;
  std::string message;
  FilterStatus status = FilterStatus::kReady;
  if (filtered) status = object.MakeFilter(criteria, &filter, &message);
  if (status == FilterStatus::kNoAttributeFile) {
    // The find-first still replaces the previous search: none is left.
    object.StartSearch([] { return std::unique_ptr<PolygonSearchEnum>(); },
                       [](PolygonSearchEnum&) { return -1; });
    object.OnObjectPositioned(nullptr);
    object.error().Set(PIP_ERR_GENERAL, kNoAttributeFile, QERR_HERE);
    return -1;
  }
  const auto configure = [&](PolySearchNearestPoint& search) {
    if (status == FilterStatus::kInvalidCriteria) search.SetInvalidCriteria(message);
    if (filter != nullptr) search.SetFilter(std::move(filter));
  };
  return object.RestartOrStart<PolySearchNearestPoint>(
      [&] {
        auto search = std::make_unique<PolySearchNearestPoint>(object.reader(), object.error(), x,
                                                               y, count, exact);
        configure(*search);
        return search;
      },
      [&](PolySearchNearestPoint& search) {
        search.Restart(x, y, count, exact);
        configure(search);
      },
      [&](PolygonSearchEnum& search) { return search.FindFirst(name, name_length); });
}

int StartPolygon(pipObjectFileObject& object, const int* points, const int* part_counts,
                 int num_parts, char* name, int name_length, bool ex, int resolution,
                 double* percent) {
  std::int64_t total = 0;
  if (!PolySearchPolygonOverlap::ValidInput(points, part_counts, num_parts, &total)) {
    object.error().Set(PIP_ERR_INVALID_DATA, kBadPolygon, QERR_HERE);
    return -1;
  }
  return object.StartSearch(
      [&] {
        return std::make_unique<PolySearchPolygonOverlap>(object.reader(), object.error(), points,
                                                          part_counts, num_parts);
      },
      [&](PolygonSearchEnum& search) {
        return ex ? search.FindFirstEx(name, name_length, resolution, percent)
                  : search.FindFirst(name, name_length);
      });
}

}  // namespace

extern "C" {

LUMETRA_API int pipObjectFindFirstRect(int objectFileHandle, int x1, int y1, int x2, int y2,
                                       char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.StartSearch(
        [&] {
          return std::make_unique<PolySearchInRectangle>(object.reader(), object.error(), x1, y1,
                                                         x2, y2);
        },
        [&](PolygonSearchEnum& search) { return search.FindFirst(name, nameLength); });
  });
}

LUMETRA_API int pipObjectFindFirstName(int objectFileHandle, const char* searchName, char* name,
                                       int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    if (searchName == nullptr) {
      object.error().Set(PIP_ERR_INVALID_DATA, kNoSearchName, QERR_HERE);
      return -1;
    }
    return object.StartSearch(
        [&] {
          return std::make_unique<PolySearchByName>(object.reader(), object.error(), searchName);
        },
        [&](PolygonSearchEnum& search) { return search.FindFirst(name, nameLength); });
  });
}

LUMETRA_API int pipObjectFindFirstNearest(int objectFileHandle, int x, int y, int count, char* name,
                                          int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0 || count < 0 || count > PIP_MAX_NEAREST_COUNT) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return StartNearest(object, x, y, count, nullptr, false, false, name, nameLength);
  });
}

LUMETRA_API int pipObjectFindFirstNearestEx(int objectFileHandle, int x, int y, int count,
                                            const char* criteria, char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0 || count < 0 || count > PIP_MAX_NEAREST_COUNT) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return StartNearest(object, x, y, count, criteria, true, false, name, nameLength);
  });
}

LUMETRA_API int pipObjectFindFirstNearestExact(int objectFileHandle, int x, int y, int count,
                                               const char* criteria, char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0 || count < 1 || count > PIP_MAX_NEAREST_COUNT) return -1;
  const bool filtered = criteria != nullptr && criteria[0] != '\0';
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return StartNearest(object, x, y, count, criteria, filtered, true, name, nameLength);
  });
}

LUMETRA_API int pipObjectFindFirstPolygon(int objectFileHandle, const int* points,
                                          const int* partCounts, int numParts, char* name,
                                          int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return StartPolygon(object, points, partCounts, numParts, name, nameLength, false, 0, nullptr);
  });
}

LUMETRA_API int pipObjectFindFirstPolygonEx(int objectFileHandle, const int* points,
                                            const int* partCounts, int numParts, char* name,
                                            int nameLength, int resolution, double* percent) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return StartPolygon(object, points, partCounts, numParts, name, nameLength, true, resolution,
                        percent);
  });
}

LUMETRA_API int pipObjectFindNextEx(int objectFileHandle, char* name, int nameLength,
                                    int resolution, double* percent) {
  lumetra::ClearText(name, nameLength);
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.FindNextEx(name, nameLength, resolution, percent);
  });
}

LUMETRA_API int pipObjectDistanceToBorder(int objectFileHandle, int x, int y) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    if (const SpatialPolygonNode* entry = object.RankedEntry()) {
      const std::int64_t d = entry->signed_distance();
      return static_cast<int>(d < 0 ? -d : d);
    }
    PolygonObject* current = object.CurrentObject();
    if (current == nullptr || !current->LoadSegments()) return -1;
    return lumetra::BorderDistance(*current, x, y);
  });
}

LUMETRA_API int pipObjectDistanceToBorderEx(int objectFileHandle, int x, int y, int* nearestX,
                                            int* nearestY) {
  if (nearestX == nullptr || nearestY == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    const PolygonObject* current = object.CurrentObject();
    if (current == nullptr) return -1;
    lumetra::RecordPoint nearest;
    const int d = lumetra::BorderDistanceEx(*current, x, y, &nearest);
    if (d < 0) return -1;
    *nearestX = nearest.x;
    *nearestY = nearest.y;
    return d;
  });
}

LUMETRA_API int pipObjectGetNumCoords(int objectFileHandle, int* numPoints, int* numParts) {
  if (numPoints == nullptr || numParts == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    const PolygonObject* current = DescribedObject(object);
    if (current == nullptr) return -1;
    std::size_t points = 0;
    std::size_t parts = 0;
    lumetra::CountObjectCoords(*current, &points, &parts);
    // Counts are bounded by the file's (int-sized) maxima.
    *numPoints = static_cast<int>(points);
    *numParts = static_cast<int>(parts);
    return 1;
  });
}

LUMETRA_API int pipObjectGetCoords(int objectFileHandle, int* points, int pointCapacity,
                                   int* partCounts, int partCapacity, int* numParts) {
  if (points == nullptr || partCounts == nullptr || numParts == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    const PolygonObject* current = DescribedObject(object);
    if (current == nullptr) return -1;
    std::size_t parts = 0;
    const auto capacity = [](int n) { return n > 0 ? static_cast<std::size_t>(n) : 0; };
    switch (lumetra::CopyObjectCoords(*current, points, capacity(pointCapacity), partCounts,
                                      capacity(partCapacity), &parts)) {
      case lumetra::CoordsCopy::kTooManyParts:
        object.error().Set(PIP_ERR_TABLE_OVERFLOW, lumetra::kTooManyPartsDetail, QERR_HERE);
        return -1;
      case lumetra::CoordsCopy::kTooManyPoints:
        object.error().Set(PIP_ERR_TABLE_OVERFLOW, lumetra::kTooManyPointsDetail, QERR_HERE);
        return -1;
      case lumetra::CoordsCopy::kDone:
        break;
    }
    *numParts = static_cast<int>(parts);
    return 1;
  });
}

LUMETRA_API int pipObjectFindFirstContainingEx(int objectFileHandle, int x, int y, int maxDistance,
                                               char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.FindFirstContainingEx(x, y, maxDistance, name, nameLength);
  });
}

}  // extern "C"
