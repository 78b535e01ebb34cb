#include "tab/map_object.h"

namespace lumetra::tab {
namespace {

struct Entry {
  std::uint8_t compressed_code;  // the uncompressed variant is the next code
  MapKind kind;
  std::int16_t tx_type;
  int version;
};

constexpr Entry kEntries[] = {
    {0x01, MapKind::kSymbol, kTXPoint, 300},
    {0x04, MapKind::kLine, kTXLine, 300},
    {0x07, MapKind::kPolyline, kTXPolyline, 300},
    {0x0a, MapKind::kOther, kTXArc, 300},
    {0x0d, MapKind::kRegion, kTXRegion, 300},
    {0x10, MapKind::kOther, kTXText, 300},
    {0x13, MapKind::kOther, kTXRectangle, 300},
    {0x16, MapKind::kOther, kTXRoundedRectangle, 300},
    {0x19, MapKind::kOther, kTXEllipse, 300},
    {0x25, MapKind::kMulti, kTXMultiPolyline, 300},
    {0x28, MapKind::kFontSymbol, kTXFontPoint, 300},
    {0x2b, MapKind::kCustomSymbol, kTXCustomPoint, 300},
    {0x2e, MapKind::kRegion, kTXRegion, 450},
    {0x31, MapKind::kMulti, kTXMultiPolyline, 450},
    {0x34, MapKind::kOther, kTXMultiPoint, 450},
    {0x37, MapKind::kOther, kTXCollection, 450},
    {0x3d, MapKind::kRegion, kTXRegion, 800},
    {0x40, MapKind::kMulti, kTXMultiPolyline, 800},
    {0x43, MapKind::kOther, kTXMultiPoint, 800},
    {0x46, MapKind::kOther, kTXCollection, 800},
};

}  // namespace

MapTypeInfo DescribeMapType(std::uint8_t code) {
  MapTypeInfo info;
  if (code == 0) {
    info.known = true;
    return info;
  }
  for (const Entry& e : kEntries) {
    if (code == e.compressed_code || code == e.compressed_code + 1) {
      info.kind = e.kind;
      info.tx_type = e.tx_type;
      info.compressed = code == e.compressed_code;
      info.version = e.version;
      info.known = true;
    }
  }
  return info;
}

}  // namespace lumetra::tab
