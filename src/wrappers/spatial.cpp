// CSpatial: one object file behind a library handle, its open/adopt/close
// lifecycle, the attribute forwarders and the loading of records by handle.
// The searches are in spatial_find.cpp.
//
// The coordinate buffers of the layout (m_coords, m_partCounts) stay null:
// every load reads into buffers sized to the object it reads, released when
// the load ends, so a CSpatial holds no coordinate memory between calls.
#include <lumetra/geometry.h>

#include <cstring>
#include <initializer_list>

#include "wrappers/object_loader.h"

namespace {

// Attribute calls take the zgl form, which has the layout of the pip form:
// the caller's structure is handed through a pip copy, so a call that
// writes nothing leaves it as it was.  Without a loaded result the value's
// first four bytes are cleared.
template <class Call>
int ForwardAttributeInfo(zglAttributeInfoStruct* info, bool current, Call call) {
  static_assert(sizeof(zglAttributeInfoStruct) == sizeof(pipAttributeInfoStruct), "layouts");
  if (info == nullptr) return call(nullptr);
  pipAttributeInfoStruct pip;
  std::memcpy(&pip, info, sizeof pip);
  const int result = call(&pip);
  std::memcpy(info, &pip, sizeof pip);
  if (!current) std::memset(info->value, 0, 4);
  return result;
}

}  // namespace

CSpatial::CSpatial() : CSpatial(0L) {}

CSpatial::CSpatial(long libraryHandle)
    : m_libraryHandle(static_cast<int>(libraryHandle)),
      m_fileHandle(0),
      m_info(),
      m_external(0),
      m_current(0),
      m_coords(nullptr),
      m_partCounts(nullptr) {}

// Copies refer to the same file: handles, file information and queues are
// copied; coordinate buffers are never shared.
CSpatial::CSpatial(const CSpatial& other) : CSpatial(0L) { *this = other; }

CSpatial& CSpatial::operator=(const CSpatial& other) {
  if (this == &other) return *this;
  m_libraryHandle = other.m_libraryHandle;
  m_fileHandle = other.m_fileHandle;
  m_info = other.m_info;
  m_external = other.m_external;
  m_lineLow = other.m_lineLow;
  m_lineHigh = other.m_lineHigh;
  m_pointLow = other.m_pointLow;
  m_pointHigh = other.m_pointHigh;
  m_overlapLow = other.m_overlapLow;
  m_overlapHigh = other.m_overlapHigh;
  m_overlapPercent = other.m_overlapPercent;
  m_current = other.m_current;
  return *this;
}

CSpatial::~CSpatial() {
  delete[] m_coords;
  delete[] m_partCounts;
}

int CSpatial::setPipHandle(long libraryHandle) {
  m_libraryHandle = static_cast<int>(libraryHandle);
  return m_libraryHandle != 0 ? 1 : 0;
}

// A file of our own that is open is closed first.  A handle the query does
// not accept is not adopted.
int CSpatial::usePipObjectHandle(long objectFileHandle) {
  closeFile();
  m_fileHandle = static_cast<int>(objectFileHandle);
  m_external = 1;
  if (pipObjectHandleFileQuery(m_fileHandle, &m_info) == 1) return 1;
  closeFile();
  return 0;
}

int CSpatial::getPipObjectFile() const { return m_fileHandle; }

// A file already open is closed first; when the query fails after the open
// succeeded, the file is closed again, so a 0 leaves no file open.
int CSpatial::openFile(const char* name, int mode) {
  closeFile();
  int handle = 0;
  if (pipObjectFileOpen(m_libraryHandle, name, mode, &handle) != 1) return 0;
  m_fileHandle = handle;
  if (pipObjectFileQuery(m_libraryHandle, name, &m_info) == 1) return 1;
  closeFile();
  return 0;
}

// A file holds one kind of object: points alone, lines alone or regions
// alone.  A mixed file is closed.  Without a file there is nothing valid.
int CSpatial::isValidFile() {
  if (m_fileHandle == 0) return 0;
  const int points = m_info.numPointObjects;
  const int lines = m_info.numLineObjects;
  const int regions = m_info.numRegionObjects;
  const bool mixed = (points > 0 && (lines > 0 || regions > 0)) || (lines > 0 && regions > 0);
  if (!mixed) return 1;
  closeFile();
  return 0;
}

// Forgets the file with its information and queues; the handle is closed
// unless it was adopted.
int CSpatial::closeFile() {
  delete[] m_coords;
  m_coords = nullptr;
  delete[] m_partCounts;
  m_partCounts = nullptr;
  if (m_fileHandle != 0 && m_external == 0) pipObjectFileClose(m_fileHandle);
  m_fileHandle = 0;
  m_external = 0;
  m_current = 0;
  std::memset(&m_info, 0, sizeof m_info);
  for (CLongCollection* queue :
       {&m_lineLow, &m_lineHigh, &m_pointLow, &m_pointHigh, &m_overlapLow, &m_overlapHigh}) {
    queue->reset();
  }
  m_overlapPercent.reset();
  return 1;
}

int CSpatial::getAttributeCount(int* count) {
  return pipObjectGetAttributeCount(m_fileHandle, count);
}

int CSpatial::getAttributeInfoByNumber(int fieldNumber, zglAttributeInfoStruct* info) {
  const int file = m_fileHandle;
  return ForwardAttributeInfo(info, m_current != 0, [file, fieldNumber](pipAttributeInfoStruct* p) {
    return pipObjectGetAttributeInfoByNumber(file, fieldNumber, p);
  });
}

int CSpatial::getAttributeInfoByName(const char* fieldName, zglAttributeInfoStruct* info) {
  const int file = m_fileHandle;
  return ForwardAttributeInfo(info, m_current != 0, [file, fieldName](pipAttributeInfoStruct* p) {
    return pipObjectGetAttributeInfoByName(file, fieldName, p);
  });
}

int CSpatial::getAttributeNameByNumber(int fieldNumber, char* name, int nameLength) {
  return pipObjectGetAttributeNameByNumber(m_fileHandle, fieldNumber, name, nameLength);
}

int CSpatial::isCorrectObjectType(int) const { return 1; }

int CSpatial::getPoint(int low, int high, CPipPoint& result) {
  return lumetra::LoadAt(m_fileHandle, low, high, result);
}

int CSpatial::getLine(int low, int high, CPolyLine& result) {
  return lumetra::LoadAt(m_fileHandle, low, high, result);
}

int CSpatial::getPolygon(int low, int high, CPolyPolygon& result) {
  return lumetra::LoadAt(m_fileHandle, low, high, result);
}
