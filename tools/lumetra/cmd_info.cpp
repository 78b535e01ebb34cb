// lumetra info: what an object file's header, extension block and attribute
// file say.
#include <lumetra/datalib.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"

namespace lumetra_cli {

const char kInfoHelp[] =
    "usage: lumetra info FILE\n"
    "\n"
    "Prints the object file's header (signature text, counts, largest object,\n"
    "bounding box, flags), its extension block (source, creation time) and the\n"
    "fields of its attribute file.\n";

namespace {

// The signature text as one printable line: line ends become " / ", the
// end-of-text byte and what follows are dropped.
std::string SignatureLine(const char* header, std::size_t size) {
  std::string out;
  for (std::size_t i = 0; i < size && header[i] != '\0' && header[i] != '\x1a'; ++i) {
    const unsigned char c = static_cast<unsigned char>(header[i]);
    if (c == '\r') continue;
    if (c == '\n') {
      out += " / ";
    } else {
      out += c < 0x20 ? '?' : static_cast<char>(c);
    }
  }
  while (out.size() >= 3 && out.compare(out.size() - 3, 3, " / ") == 0) out.resize(out.size() - 3);
  return out;
}

std::string FlagWords(int flags) {
  std::string words;
  const auto add = [&words](const char* word) {
    words += (words.empty() ? "" : ", ") + std::string(word);
  };
  if (flags & PIP_FILE_SEGMENTS) add("segment records");
  if (flags & PIP_FILE_COMPRESSED) add("compressed coordinates");
  if (flags & PIP_FILE_TAX) add("tax boundaries");
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04x", static_cast<unsigned>(flags));
  return (words.empty() ? "none" : words) + " (" + hex + ")";
}

std::string Fixed(const char* text, std::size_t size) {
  return std::string(text, strnlen(text, size));
}

void PrintHeader(const ObjectFile& file) {
  const pipObjectFileInfoStruct& info = file.info();
  const bool geo = file.geographic();
  std::printf("file:            %s\n", file.path().c_str());
  std::printf("signature:       %s\n", SignatureLine(info.header, sizeof info.header).c_str());
  std::printf("coordinates:     %s (type %d)\n",
              geo ? "geographic, millionths of a degree; distances in feet" : "planar units",
              info.coordType);
  std::printf("objects:         %d (%d regions, %d lines, %d points)\n", file.objects(),
              info.numRegionObjects, info.numLineObjects, info.numPointObjects);
  std::printf("largest object:  %d bytes, %d points, %d parts\n", info.maxRecordSize,
              info.maxPoints, info.maxParts);
  if (file.objects() > 0) {
    std::printf("bounding box:    %s %s %s %s\n", FormatCoordinate(info.minX, geo).c_str(),
                FormatCoordinate(info.minY, geo).c_str(), FormatCoordinate(info.maxX, geo).c_str(),
                FormatCoordinate(info.maxY, geo).c_str());
  } else {
    std::printf("bounding box:    empty\n");
  }
  std::printf("flags:           %s\n", FlagWords(info.flags).c_str());
  std::printf("tax file:        %s\n", pipObjectIsTaxFile(file.handle()) == 1 ? "yes" : "no");
  std::printf("search distance: %d feet\n", pipObjectGetSearchDistance(file.handle()));
}

void PrintExtension(const ObjectFile& file) {
  pipObjectFileExtraInfoStruct extra;
  std::memset(&extra, 0, sizeof extra);
  if (pipObjectHandleFileQueryEx(file.handle(), &extra) != 1) {
    std::printf("extension block: none\n");
    return;
  }
  std::printf("extension block: version %d, code %d\n", extra.blockVersion, extra.code);
  std::printf("  source:        %s\n", Fixed(extra.text1, sizeof extra.text1).c_str());
  std::printf("  format:        %s\n", Fixed(extra.text2, sizeof extra.text2).c_str());
  std::printf("  created:       %s\n",
              Fixed(extra.creationTime, sizeof extra.creationTime).c_str());
}

// The stamp of the attribute file, read through the data library, or ""
// when it cannot be opened.
std::string AttributeStamp(const std::string& path, bool* opened) {
  *opened = false;
  DlContext* context = DlInit("");
  if (context == nullptr) return "";
  std::string stamp;
  DlDataFile* dl = DlFileOpen(context, path.c_str());
  if (dl != nullptr) {
    *opened = true;
    char buffer[257] = {0};
    if (DlFileGetAttribute(dl, DL_FILE_ATTR_STAMP, buffer, 255) >= 0) stamp = buffer;
    DlFileClose(dl);
  }
  DlTerm(context);
  return stamp;
}

void PrintAttributes(const ObjectFile& file) {
  const Attributes attributes(file);
  const std::string path = AttributeFileName(file.path());
  if (!attributes.available()) {
    bool opened = false;
    const bool exists = !path.empty() && std::ifstream(path).good();
    const std::string stamp = exists ? AttributeStamp(path, &opened) : "";
    if (!exists) {
      std::printf("attributes:      none%s\n",
                  path.empty() ? " (the file name does not end in 'b')" : "");
    } else if (!opened) {
      std::printf("attributes:      %s is not a readable data library file\n", path.c_str());
    } else {
      std::printf(
          "attributes:      %s not attached: its stamp '%s' does not match the "
          "object file (out of date)\n",
          path.c_str(), stamp.c_str());
    }
    return;
  }
  std::printf("attributes:      %s, %zu fields\n", path.c_str(), attributes.fields().size());
  for (const AttributeField& field : attributes.fields()) {
    if (field.type == 'N') {
      std::printf("  %-12s N %3d.%d\n", field.name.c_str(), field.width, field.decimals);
    } else {
      std::printf("  %-12s C %3d\n", field.name.c_str(), field.width);
    }
  }
}

}  // namespace

int RunInfo(int argc, char** argv) {
  const Args args(argc, argv, {});
  args.ExpectPositional(1, 1);
  const Library library;
  const ObjectFile file(library, args.positional()[0]);
  PrintHeader(file);
  PrintExtension(file);
  PrintAttributes(file);
  return kExitOk;
}

}  // namespace lumetra_cli
