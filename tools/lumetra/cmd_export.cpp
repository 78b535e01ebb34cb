// lumetra export and validate: writing an object file out as BNA, MIF/MID, a
// shapefile or a TAB table, and checking that every object of it can be read.
#include <lumetra/pip_ext.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"
#include "safe_output.h"

namespace lumetra_cli {

const char kExportHelp[] =
    "usage: lumetra export FILE OUT [--type region|line|point] [--overwrite]\n"
    "\n"
    "Writes the objects of FILE to OUT, in the format of OUT's extension: .bna,\n"
    ".mif (with OUT's .mid) or .shp (with .shx, .dbf, .cpg and, for degree files,\n"
    ".prj).  Objects are written in name order.  Shapefile and MIF tables carry\n"
    "the fields of FILE's attribute file with their values, then NAME and NAME2\n"
    "(the object names) unless a field has that name; degree files are labelled\n"
    "WGS 84 longitude/latitude (.prj, MIF CoordSys).  .tab writes a MapInfo table\n"
    "(.dat, .map, .id) in WGS 84 longitude/latitude with columns NAME and NAME2;\n"
    "BNA carries the names only.\n"
    "Nothing is written unless the whole export succeeds.\n"
    "\n"
    "options:\n"
    "  --type T     shapefiles hold one object type: region, line or point (default:\n"
    "               the type of most objects; objects of other types are left out)\n"
    "  --overwrite  replace OUT (all its files) when it exists\n";

const char kValidateHelp[] =
    "usage: lumetra validate FILE\n"
    "\n"
    "Checks the object file: header, indexes and attribute file as the library\n"
    "validates them, then reads every object and its coordinates and checks them\n"
    "against the object's and the file's bounding boxes and the header counts.\n"
    "\n"
    "Exit status: 0 valid, 2 not valid.\n";

namespace {

// Owns an export handle; ends it without commit (removing the output)
// unless Commit was reached.
// `path` is the name the exporter writes under (a temporary), `ext` the
// output's lower-case extension.  MIF and shapefile outputs get the
// attribute and coordinate-system options.
class ExportHandle {
 public:
  ExportHandle(const Library& library, const std::string& path, const std::string& ext,
               int shp_type)
      : library_(library) {
    int result = -1;
    if (ext == ".bna") {
      result = pipExportInitBNA(library.handle(), path.c_str(), &handle_);
    } else if (ext == ".mif") {
      result = pipExportInitMIF(library.handle(), path.c_str(), &handle_);
    } else if (ext == ".tab") {
      result = pipExportInitTAB(library.handle(), path.c_str(), &handle_, 0);
    } else {
      result = pipExportInitSHP(library.handle(), path.c_str(), &handle_, shp_type);
    }
    if (result != 1) {
      handle_ = 0;
      library.Fail("cannot create the output");
    }
    if ((ext == ".mif" || ext == ".shp") &&
        pipExportSetOptions(handle_, PIP_EXPORT_OPT_ATTRIBUTES | PIP_EXPORT_OPT_CRS) != 1) {
      library.Fail("export options");
    }
  }
  ~ExportHandle() {
    if (handle_ > 0) pipExportTerm(handle_, 0);
  }
  ExportHandle(const ExportHandle&) = delete;
  ExportHandle& operator=(const ExportHandle&) = delete;

  int handle() const { return handle_; }
  void Commit(const std::string& out) {
    const int result = pipExportTerm(handle_, 1);
    handle_ = 0;
    if (result != 1) library_.Fail("cannot finish " + out);
  }

 private:
  const Library& library_;
  int handle_ = 0;
};

int ParseType(const std::string& word) {
  if (word == "region") return PIP_OBJECT_REGION;
  if (word == "line") return PIP_OBJECT_LINE;
  if (word == "point") return PIP_OBJECT_POINT;
  throw UsageError("--type: expected region, line or point, not '" + word + "'");
}

int MostCommonType(const pipObjectFileInfoStruct& info) {
  if (info.numRegionObjects >= info.numLineObjects &&
      info.numRegionObjects >= info.numPointObjects) {
    return PIP_OBJECT_REGION;
  }
  return info.numLineObjects >= info.numPointObjects ? PIP_OBJECT_LINE : PIP_OBJECT_POINT;
}

int CountOfType(const pipObjectFileInfoStruct& info, int type) {
  switch (type) {
    case PIP_OBJECT_REGION:
      return info.numRegionObjects;
    case PIP_OBJECT_LINE:
      return info.numLineObjects;
    default:
      return info.numPointObjects;
  }
}

// The files an export to `out` writes: the output's stem with each member
// extension, as the exporters name them.
std::vector<std::string> OutputMembers(const std::string& ext) {
  if (ext == ".bna") return {".bna"};
  if (ext == ".mif") return {".mif", ".mid"};
  if (ext == ".shp") return {".shp", ".shx", ".dbf", ".prj", ".cpg"};
  if (ext == ".tab") return {".tab", ".dat", ".map", ".id"};
  return {};
}

// Exports every object of `in` of the shapefile's `type` (all objects for
// the other formats) into `temporary`; the objects written.  Per-object
// failures are listed; any makes the export fail.
int WriteObjects(const Library& library, const std::string& in, const std::string& temporary,
                 const std::string& ext, int type, int total) {
  CapturedStderr routines;  // the shapefile routines' chatter; ours goes to the original
  ExportHandle exporter(library, temporary, ext, type);
  if (pipExportOpen(exporter.handle(), in.c_str(), PIP_OPEN_CACHE_5MB) != 1) {
    library.Fail("cannot open " + in);
  }
  char name[PIP_NAME_SIZE];
  int written = 0;
  int failed = 0;
  // Each call takes the next object, also when writing it fails, so the
  // header's object count bounds the loop.
  for (int i = 0; i < total; ++i) {
    int percent = 0;
    int count = 0;
    if (pipExportWrite(exporter.handle(), name, sizeof name, &percent, &count) == 1) {
      ++written;
      continue;
    }
    const std::string reason = library.LastError();
    if (ext == ".shp" && reason.find("incorrect type") != std::string::npos) continue;
    ++failed;
    std::fprintf(routines.original(), "lumetra: export: %s\n", reason.c_str());
  }
  pipExportClose(exporter.handle());
  if (failed > 0) {
    throw CliError(std::to_string(failed) + " objects could not be exported; nothing written");
  }
  exporter.Commit(temporary);
  return written;
}

}  // namespace

int RunExport(int argc, char** argv) {
  const Args args(argc, argv, {{"type", 1}, {"overwrite", 0}});
  args.ExpectPositional(2, 2);
  const std::string& in = args.positional()[0];
  const std::string& out = args.positional()[1];
  const std::string ext = LowerExtension(out);
  const std::vector<std::string> members = OutputMembers(ext);
  if (members.empty()) {
    throw UsageError("cannot tell the output format of '" + out +
                     "': expected a .bna, .mif, .shp or .tab file");
  }
  SafeOutput outputs(args.Has("overwrite"));
  outputs.AddInput(in);
  const std::string attribute_file = AttributeFileName(in);
  if (!attribute_file.empty()) outputs.AddInput(attribute_file);
  const std::string temporary = outputs.AddGroup(StemOf(out), members) + ext;
  CheckInputFile(in);
  const Library library;
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  if (pipObjectFileQuery(library.handle(), in.c_str(), &info) != 1)
    library.Fail("cannot open " + in);
  const int total = info.numPointObjects + info.numLineObjects + info.numRegionObjects;
  const int type = args.Has("type") ? ParseType(args.Value("type")) : MostCommonType(info);
  const int left_out = ext == ".shp" ? total - CountOfType(info, type) : 0;
  int written = 0;
  try {
    written = WriteObjects(library, in, temporary, ext, type, total);
  } catch (const UsageError&) {
    throw;
  } catch (const CliError& e) {
    throw CliError(outputs.ShowTargets(e.what()));
  }
  outputs.Commit();
  std::printf("exported %d objects from %s to %s", written, in.c_str(), out.c_str());
  if (left_out > 0) {
    std::printf(" (%d objects of other types than %s left out)", left_out, TypeName(type).c_str());
  }
  std::printf("\n");
  return kExitOk;
}

namespace {

struct ValidationCounts {
  int objects[3] = {0, 0, 0};
  long long points = 0;
  int without_attributes = 0;
  std::vector<std::string> problems;
};

bool Inside(std::int32_t x, std::int32_t y, std::int32_t min_x, std::int32_t min_y,
            std::int32_t max_x, std::int32_t max_y) {
  return x >= min_x && x <= max_x && y >= min_y && y <= max_y;
}

void CheckObject(const ObjectFile& file, const Attributes& attributes, const ObjectRecord& r,
                 ValidationCounts* counts) {
  const pipObjectFileInfoStruct& f = file.info();
  const int type = r.info.type;
  if (type < 0 || type > 2) {
    counts->problems.push_back(r.name() + ": unknown object type " + std::to_string(type));
    return;
  }
  ++counts->objects[type];
  const ObjectCoords coords = CurrentCoords(file);
  counts->points += static_cast<long long>(coords.points.size() / 2);
  for (std::size_t i = 0; i + 1 < coords.points.size(); i += 2) {
    const std::int32_t x = coords.points[i];
    const std::int32_t y = coords.points[i + 1];
    if (!Inside(x, y, r.info.minX, r.info.minY, r.info.maxX, r.info.maxY) ||
        !Inside(x, y, f.minX, f.minY, f.maxX, f.maxY)) {
      counts->problems.push_back(r.name() + ": a point lies outside its bounding box");
      break;
    }
  }
  std::vector<std::string> values;
  if (attributes.available() && !attributes.Values(&values)) ++counts->without_attributes;
}

}  // namespace

int RunValidate(int argc, char** argv) {
  const Args args(argc, argv, {});
  args.ExpectPositional(1, 1);
  const std::string& path = args.positional()[0];
  const Library library;
  if (pipObjectFileValidate(library.handle(), path.c_str()) != 1) {
    library.Fail(path + " is not valid");
  }
  const ObjectFile file(library, path);
  const Attributes attributes(file);
  ValidationCounts counts;
  ForEachNamed(file, "*",
               [&](const ObjectRecord& r) { CheckObject(file, attributes, r, &counts); });
  const pipObjectFileInfoStruct& info = file.info();
  const int expected[3] = {info.numRegionObjects, info.numLineObjects, info.numPointObjects};
  for (int t = 0; t < 3; ++t) {
    if (counts.objects[t] != expected[t]) {
      counts.problems.push_back("the header counts " + std::to_string(expected[t]) + " " +
                                TypeName(t) + "s, the name index reaches " +
                                std::to_string(counts.objects[t]));
    }
  }
  for (const std::string& problem : counts.problems) {
    std::fprintf(stderr, "lumetra: validate: %s: %s\n", path.c_str(), problem.c_str());
  }
  if (!counts.problems.empty()) throw CliError(path + " is not valid");
  std::printf("%s: valid; %d objects (%d regions, %d lines, %d points), %lld points in all\n",
              path.c_str(), file.objects(), counts.objects[0], counts.objects[1], counts.objects[2],
              counts.points);
  if (attributes.available()) {
    std::printf("attributes: %d of %d objects have a record\n",
                file.objects() - counts.without_attributes, file.objects());
  } else {
    std::printf("attributes: none\n");
  }
  return kExitOk;
}

}  // namespace lumetra_cli
