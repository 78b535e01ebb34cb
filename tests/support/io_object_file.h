// Object files built in a scratch directory for the import tests, and read
// back record by record with the object-file decoders.  Header-only: it
// needs the import module, which only the import tests link.
#ifndef LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H
#define LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "import/import_limits.h"
#include "import/import_read.h"
#include "import/object_file_build.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "support/io_tools.h"
#include "support/test_files.h"

namespace lumetra_test {

using lumetra::ObjectKind;
using lumetra::RecordPoint;

// One record of a finished object file: the fields of either record kind
// under one set of names (a point has one point and no rings), and the
// decoded poly record itself for regions and lines.
struct StoredObject {
  ObjectKind kind = ObjectKind::kRegion;
  std::size_t offset = 0;
  std::string name, name2;
  int id = 0;
  std::vector<std::uint32_t> rings;
  std::vector<RecordPoint> points;
  std::int32_t label_x = 0, label_y = 0;
  std::uint32_t colour = 0;  // pen or symbol colour: the object's ordinal unless styled
  int pen_width = 0, pen_pattern = 0;
  std::uint32_t brush_pattern = 0, brush_foreground = 0, brush_background = 0;
  int symbol_shape = 0, symbol_size = 0;
  lumetra::Rect bounds;
  lumetra::PolyRecord poly;

  // The points split by ring; a point is one part of one point.
  std::vector<std::vector<RecordPoint>> Parts() const {
    if (kind == ObjectKind::kPoint) return {points};
    std::vector<std::vector<RecordPoint>> parts;
    auto at = points.begin();
    for (std::uint32_t n : rings) {
      parts.emplace_back(at, at + n);
      at += n;
    }
    return parts;
  }
};

// A stored object in one line of text, for comparing whole objects:
//   line "ln"/"b" colour 65280 rings 2 (0,0) (10000000,-10000000) label 5000000,-5000000 pen 3,4
// Id, label, pen, brush and symbol appear only when not zero; points have
// no rings; "rings -" is a poly record without rings.
inline std::string Describe(const StoredObject& s) {
  static const char* kKinds[] = {"region", "line", "point"};
  // " what v1,v2,..." unless every value is 0 (always for `always`).
  auto numbers = [](const char* what, std::vector<long long> values, bool always = false) {
    std::string text;
    for (long long v : values) {
      text += (text.empty() ? "" : ",") + std::to_string(v);
      always = always || v != 0;
    }
    return always ? std::string(" ") + what + " " + (text.empty() ? "-" : text) : std::string();
  };
  std::string out = std::string(kKinds[static_cast<int>(s.kind)]) + " \"" + s.name + "\"";
  if (!s.name2.empty()) out += "/\"" + s.name2 + "\"";
  out += numbers("id", {s.id}) + numbers("colour", {s.colour}, true);
  if (s.kind != ObjectKind::kPoint) {
    out += numbers("rings", std::vector<long long>(s.rings.begin(), s.rings.end()), true);
  }
  for (const RecordPoint& p : s.points) {
    out += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
  }
  return out + numbers("label", {s.label_x, s.label_y}) +
         numbers("pen", {s.pen_width, s.pen_pattern}) +
         numbers("brush", {s.brush_pattern, s.brush_foreground, s.brush_background}) +
         numbers("symbol", {s.symbol_shape, s.symbol_size});
}

inline std::vector<std::string> Describe(const std::vector<StoredObject>& objects) {
  std::vector<std::string> out;
  for (const StoredObject& s : objects) out.push_back(Describe(s));
  return out;
}

struct ObjectFileContents {
  Bytes bytes;
  lumetra::ObjectHeader header;
  std::vector<StoredObject> objects;
};

inline StoredObject DecodeRecord(const Bytes& bytes, std::size_t at,
                                 const lumetra::RecordContext& ctx, ObjectKind kind, QError* err) {
  StoredObject s;
  s.kind = kind;
  s.offset = at;
  if (kind == ObjectKind::kPoint) {
    lumetra::PointRecord r;
    EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err)) << err->detail();
    s.name = r.name, s.name2 = r.second_name, s.id = r.id;
    s.points = {RecordPoint{r.x, r.y}};
    s.colour = r.symbol_colour, s.symbol_shape = r.symbol_shape, s.symbol_size = r.symbol_size;
    s.bounds = r.Bounds();
    return s;
  }
  lumetra::PolyRecord& r = s.poly;
  EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err)) << err->detail();
  s.name = r.name, s.name2 = r.second_name, s.id = r.id;
  s.rings = r.ring_counts, s.points = r.points;
  s.label_x = r.label_x, s.label_y = r.label_y, s.bounds = r.bounds;
  s.colour = r.pen_colour, s.pen_width = r.pen_width, s.pen_pattern = r.pen_pattern;
  s.brush_pattern = r.brush_pattern, s.brush_foreground = r.brush_foreground;
  s.brush_background = r.brush_background;
  return s;
}

// Decodes the header and every record of a finished object file, in file order.
inline ObjectFileContents ReadObjectFile(const std::string& path) {
  QError err;
  ObjectFileContents out;
  out.bytes = ReadBytes(path);
  const Bytes& bytes = out.bytes;
  if (!out.header.DecodeFrom(bytes.data(), bytes.size(), path.c_str(), &err)) {
    ADD_FAILURE() << "header of " << path << ": " << err.detail();
    return out;
  }
  std::size_t at = lumetra::ObjectHeader::kEncodedSize +
                   (out.header.HasExtension() ? lumetra::ExtensionBlock::kEncodedSize : 0);
  for (std::uint64_t i = 0; i < out.header.RecordCount(); ++i) {
    lumetra::RecordContext ctx = lumetra::RecordContext::ForFile(out.header, path.c_str());
    ctx.offset = at;
    lumetra::RecordPrefix prefix;
    if (at >= bytes.size() || !prefix.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, &err)) {
      ADD_FAILURE() << "record " << i << " at " << at;
      break;
    }
    out.objects.push_back(DecodeRecord(bytes, at, ctx, prefix.kind, &err));
    at += prefix.length;
  }
  return out;
}

inline std::vector<RecordPoint> Points(std::initializer_list<std::int32_t> xy) {
  std::vector<RecordPoint> out;
  for (auto it = xy.begin(); it != xy.end(); it += 2) out.push_back(RecordPoint{it[0], it[1]});
  return out;
}

// Calls ReadObject until the end or a failure, at most `limit` times: the
// result of each call (kResultError, -1, for a false return).  `strict`
// also expects result() to be kResultError exactly when a call failed.
inline std::vector<int> ReadAll(ImportRead& reader, int limit = 1000, bool strict = false) {
  std::vector<int> results;
  for (int i = 0; i < limit; ++i) {
    const bool ok = reader.ReadObject();
    if (strict) {
      EXPECT_EQ(ok, reader.result() != ImportRead::kResultError);
    }
    results.push_back(ok ? reader.result() : ImportRead::kResultError);
    if (!ok || reader.result() == ImportRead::kResultEnd) break;
  }
  return results;
}

// The text of a reader failure that names its file and line.
inline std::string ErrorText(const std::string& message, const std::string& file, int line) {
  return "Error: " + message + "\nFile: " + file + "\nLine: " + std::to_string(line);
}

inline pipObjectFileInfoStruct BuildInfo(int max_points, int max_parts, int coord_type = 1,
                                         int flags = 0) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = max_points;
  info.maxParts = max_parts;
  info.coordType = coord_type;
  info.flags = flags;
  return info;
}

// A build of out.obj in a scratch directory that is also the working
// directory (the tree builder's scratch files go there).
class ObjectFileTest : public ::testing::Test {
 protected:
  ObjectFileTest() : chdir_(dir_.path()) {}

  // A fresh build with these limits (the process limits are set to them).
  void MakeBuild(int max_points = 1000, int max_parts = 100, int coord_type = 1, int flags = 0) {
    build_.reset();
    ASSERT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    build_ = std::make_unique<ObjectFileBuild>(err_, Path("out.obj").c_str(),
                                               BuildInfo(max_points, max_parts, coord_type, flags));
    ASSERT_TRUE(build_->success()) << err_.detail();
    err_.Clear();
  }
  // Finishes the build and reads the file back.
  std::vector<StoredObject> Finish() {
    EXPECT_TRUE(build_->Finish());
    file_ = ReadObjectFile(Path("out.obj"));
    return file_.objects;
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  // Reads a reader opened on damaged input to its end: a refused open or a
  // failed read must be reported; nothing else may happen.
  void ExpectCleanEnd(ImportRead& reader) {
    if (!reader.success()) {
      EXPECT_NE(err_.code(), -1);
      return;
    }
    const int last = ReadAll(reader).back();
    EXPECT_TRUE(last == 0 || last == -1);
    if (last == -1) {
      EXPECT_NE(err_.code(), -1);
    }
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  pipError err_;
  std::unique_ptr<ObjectFileBuild> build_;
  ObjectFileContents file_;  // set by Finish
};

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_IO_OBJECT_FILE_H
