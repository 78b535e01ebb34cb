// CZonShape: one owned geometry and its type code.
#include <lumetra/geometry.h>

#include <cstring>

CZonShape::CZonShape() : m_geometry(nullptr), m_type(ZON_SHAPE_NONE) {}

CZonShape::~CZonShape() { delete m_geometry; }

IGeometry* CZonShape::getGeometry() const { return m_geometry; }

// Handing the same geometry in again keeps it (deleting it first would leave
// the shape holding a freed object).
void CZonShape::setGeometry(IGeometry* geometry) {
  if (geometry == m_geometry) return;
  delete m_geometry;
  m_geometry = geometry;
}

int CZonShape::getType() const { return m_type; }

void CZonShape::setType(int type) { m_type = type; }

int CZonShape::get(int what, int* value) const {
  if (m_geometry == nullptr || value == nullptr) return 0;
  switch (what) {
    case ZON_GET_TYPE:
      *value = m_type;
      return 1;
    case ZON_GET_PART_COUNT:
      *value = m_geometry->getPartCount();
      return 1;
    case ZON_GET_POINT_COUNT:
      *value = m_geometry->getPointCount();
      return 1;
    default:
      return 0;
  }
}

// Copies at most size - 1 characters of the name and a terminator; any
// other request (or no geometry) leaves an empty buffer when there is room.
int CZonShape::get(int what, char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return 0;
  buffer[0] = '\0';
  if (m_geometry == nullptr) return 0;
  const char* text = nullptr;
  if (what == ZON_GET_NAME) text = m_geometry->getName();
  if (what == ZON_GET_NAME2) text = m_geometry->getName2();
  if (text == nullptr) return 0;
  std::size_t n = std::strlen(text);
  if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
  return 1;
}
