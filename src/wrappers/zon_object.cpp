// ZONObject: a CSpatial it owns, with the bookkeeping of a pool of open
// files (pool pointer, check-out flag, version, searched flag), forwarders
// to the pip* functions on its file handle, and searches that answer in
// CZonShape objects.
#include <lumetra/geometry.h>

#include <new>

namespace {

// A new shape of `type` holding a copy of `geometry`, or null.
template <class Geometry>
CZonShape* NewShape(int type, const Geometry& geometry) {
  CZonShape* shape = new (std::nothrow) CZonShape();
  Geometry* copy = new (std::nothrow) Geometry(geometry);
  if (shape == nullptr || copy == nullptr) {
    delete shape;
    delete copy;
    return nullptr;
  }
  shape->setType(type);
  shape->setGeometry(copy);
  return shape;
}

// Hands a found geometry out as a new shape: 1, or -1 when it cannot be had.
template <class Geometry>
int HandOut(int type, const Geometry& geometry, CZonShape** result) {
  *result = NewShape(type, geometry);
  return *result != nullptr ? 1 : -1;
}

// The point of a point shape, or null.
const CPipPoint* InputPoint(const CZonShape* shape) {
  return dynamic_cast<const CPipPoint*>(shape->getGeometry());
}

// The file handle of a CSpatial; without one 0, which every pip* call
// refuses with -1.
int FileOf(const CSpatial* spatial) { return spatial != nullptr ? spatial->getPipObjectFile() : 0; }

}  // namespace

// Valid when the file passes pipObjectFileValidate and opens; otherwise the
// CSpatial is dropped and IsValid is false.
ZONObject::ZONObject(long libraryHandle, const char* fileName, int mode, int version, ZONPool* pool)
    : m_spatial(new (std::nothrow) CSpatial(libraryHandle)),
      m_pool(pool),
      m_checkedOut(0),
      m_version(version),
      m_searched(0) {
  if (m_spatial == nullptr) return;
  if (pipObjectFileValidate(static_cast<int>(libraryHandle), fileName) == 1 &&
      m_spatial->openFile(fileName, mode) == 1) {
    return;
  }
  delete m_spatial;
  m_spatial = nullptr;
}

ZONObject::~ZONObject() {
  if (m_spatial != nullptr) m_spatial->closeFile();
  delete m_spatial;
}

bool ZONObject::IsValid() const { return m_spatial != nullptr; }
bool ZONObject::IsOpen() const {
  return m_spatial != nullptr && m_spatial->getPipObjectFile() != 0;
}

bool ZONObject::Open(const char* fileName, int mode) {
  m_searched = 0;
  return m_spatial != nullptr && m_spatial->openFile(fileName, mode) == 1;
}

int ZONObject::Close() {
  if (m_spatial != nullptr) m_spatial->closeFile();
  m_searched = 0;
  return 1;
}

bool ZONObject::IsFileValidForZgl() {
  return m_spatial != nullptr && m_spatial->isValidFile() == 1;
}

void ZONObject::SetParentPool(ZONPool* pool) { m_pool = pool; }
ZONPool* ZONObject::GetParentPool() const { return m_pool; }
void ZONObject::CheckOut() { m_checkedOut = 1; }
void ZONObject::CheckIn() { m_checkedOut = 0; }
bool ZONObject::IsCheckedOut() const { return m_checkedOut != 0; }
void ZONObject::SetVersion(int version) { m_version = version; }
int ZONObject::GetVersion() const { return m_version; }
bool ZONObject::HasBeenSearched() const { return m_searched != 0; }

int ZONObject::HandleFileQuery(pipObjectFileInfoStruct* info) {
  return pipObjectHandleFileQuery(FileOf(m_spatial), info);
}
int ZONObject::HandleFileQueryEx(pipObjectFileExtraInfoStruct* info) {
  return pipObjectHandleFileQueryEx(FileOf(m_spatial), info);
}
int ZONObject::GetAttributeCount(int* count) {
  return pipObjectGetAttributeCount(FileOf(m_spatial), count);
}
int ZONObject::GetAttributeInfoByNumber(int fieldNumber, pipAttributeInfoStruct* info) {
  return pipObjectGetAttributeInfoByNumber(FileOf(m_spatial), fieldNumber, info);
}
int ZONObject::GetAttributeInfoByName(const char* fieldName, pipAttributeInfoStruct* info) {
  return pipObjectGetAttributeInfoByName(FileOf(m_spatial), fieldName, info);
}
int ZONObject::FindFirstContaining(int x, int y, int radius, char* name, int nameLength) {
  return pipObjectFindFirstContaining(FileOf(m_spatial), x, y, radius, name, nameLength);
}
int ZONObject::FindFirstContainingEx(int x, int y, int maxDistance, char* name, int nameLength) {
  m_searched = 1;
  return pipObjectFindFirstContainingEx(FileOf(m_spatial), x, y, maxDistance, name, nameLength);
}
int ZONObject::FindNext(char* name, int nameLength) {
  return pipObjectFindNext(FileOf(m_spatial), name, nameLength);
}
int ZONObject::FindFirstNearest(int x, int y, int count, char* name, int nameLength) {
  m_searched = 1;
  return pipObjectFindFirstNearest(FileOf(m_spatial), x, y, count, name, nameLength);
}
int ZONObject::FindFirstNearestEx(int x, int y, int count, const char* criteria, char* name,
                                  int nameLength) {
  m_searched = 1;
  return pipObjectFindFirstNearestEx(FileOf(m_spatial), x, y, count, criteria, name, nameLength);
}
int ZONObject::SetSearchDistance(int feet) {
  return pipObjectSetSearchDistance(FileOf(m_spatial), feet);
}
int ZONObject::GetInfo(pipObjectInfoStruct* info) {
  return pipObjectGetInfo(FileOf(m_spatial), info);
}
int ZONObject::GetHandle(int* low, int* high) {
  return pipObjectGetHandle64(FileOf(m_spatial), low, high);
}
int ZONObject::FileGoto(int low, int high) {
  return pipObjectFileGoto64(FileOf(m_spatial), low, high);
}
int ZONObject::DistanceToBorder(int x, int y) {
  return pipObjectDistanceToBorder(FileOf(m_spatial), x, y);
}
int ZONObject::ValidateFilterCriteria(const char* criteria) {
  return pipObjectValidateFilterCriteria(FileOf(m_spatial), criteria);
}

// The nearest point or line object to a point shape, handed out as a new
// shape.  A failing search answers its -1 (with no shape).
int ZONObject::FindNearestPointOrLine(const CZonShape* point, CZonShape** result, int kind,
                                      int distance) {
  if (result == nullptr || point == nullptr || m_spatial == nullptr) return -1;
  *result = nullptr;
  if (point->getType() != ZON_SHAPE_POINT) return ZON_WRONG_TYPE;
  const CPipPoint* at = InputPoint(point);
  if (at == nullptr) return -1;
  if (kind != ZON_FIND_POINT && kind != ZON_FIND_LINE) return ZON_WRONG_TYPE;
  m_searched = 1;
  if (kind == ZON_FIND_POINT) {
    CPipPoint found;
    const int r = m_spatial->findNearestPoint(*at, found, distance);
    return r == 1 ? HandOut(ZON_SHAPE_POINT, found, result) : r;
  }
  CPolyLine found;
  const int r = m_spatial->findNearestLine(*at, found, distance);
  return r == 1 ? HandOut(ZON_SHAPE_LINE, found, result) : r;
}

int ZONObject::FindNextPointOrLine(CZonShape** result, int kind) {
  if (result == nullptr || m_spatial == nullptr) return -1;
  *result = nullptr;
  if (kind == ZON_FIND_POINT) {
    CPipPoint found;
    return m_spatial->findNextPoint(found) == 1 ? HandOut(ZON_SHAPE_POINT, found, result) : 0;
  }
  if (kind == ZON_FIND_LINE) {
    CPolyLine found;
    return m_spatial->findNextLine(found) == 1 ? HandOut(ZON_SHAPE_LINE, found, result) : 0;
  }
  return ZON_WRONG_TYPE;
}

// The regions a polygon shape overlaps, largest share first, as new shapes.
int ZONObject::FindPolygonOverlapPercentage(const CZonShape* polygon, CZonShape** result,
                                            double* percent) {
  if (percent != nullptr) *percent = 0.0;
  if (result == nullptr || percent == nullptr || polygon == nullptr || m_spatial == nullptr) {
    return -1;
  }
  *result = nullptr;
  if (polygon->getType() != ZON_SHAPE_POLYGON) return ZON_WRONG_TYPE;
  const auto* input = dynamic_cast<const CPolyPolygon*>(polygon->getGeometry());
  if (input == nullptr) return -1;
  CPolyPolygon found;
  const int r = m_spatial->findPolygon(*input, found, *percent);
  if (r >= PIP_OVERLAP_A_IN_B && r <= PIP_OVERLAP_EQUAL)
    return HandOut(ZON_SHAPE_POLYGON, found, result);
  *percent = 0.0;
  return 0;
}

int ZONObject::FindNextPolygonOverlapPercentage(CZonShape** result, double* percent) {
  if (result == nullptr || percent == nullptr || m_spatial == nullptr) return -1;
  *result = nullptr;
  CPolyPolygon found;
  const int r = m_spatial->findNextPolygon(found, *percent);
  if (r >= PIP_OVERLAP_A_IN_B && r <= PIP_OVERLAP_EQUAL)
    return HandOut(ZON_SHAPE_POLYGON, found, result);
  *percent = 0.0;
  return 0;
}
