// lumetra import: builds an object file from a MIF/MID, BNA, shapefile or TAB
// source through the import functions, with the strict import options of
// lumetra/pip_ext.h (one coordinate rule per file, coordinates checked,
// ordinals from the source rows, a unique stamp, large polygons split), then
// its attribute file from the source's table.  Both are written beside their
// targets and put in place together (SafeOutput).
#include <lumetra/pip_ext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "args.h"
#include "attribute_writer.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"
#include "safe_output.h"
#include "source_crs.h"
#include "source_table.h"

namespace lumetra_cli {

const char kImportHelp[] =
    "usage: lumetra import IN OUT [options]\n"
    "\n"
    "Builds the object file OUT from IN, chosen by IN's extension: .mif (with its\n"
    ".mid), .bna, .shp (with its .shx and .dbf) or .tab (with its .dat, .map and\n"
    ".id).  For MIF, shapefile and TAB input the table columns also go into the\n"
    "attribute file: OUT with its final 'b'\n"
    "replaced by 'a' (name the object file *.lmb to get *.lma beside it).\n"
    "\n"
    "Coordinates are decimal degrees unless the source says otherwise (a\n"
    "shapefile's .prj, or without one its bounding box; a MIF CoordSys clause) or\n"
    "--planar is given; the decision holds for the whole file.  Every coordinate\n"
    "must be a number, within -180..180 and -90..90 in degree files: the import\n"
    "stops at the first one that is not, naming the file and line (or record).\n"
    "A shapefile polygon with more rings or points than one object may hold is\n"
    "written as several objects of whole outer rings with their holes, with the\n"
    "same name and attributes.  Nothing is written unless the import succeeds.\n"
    "\n"
    "options:\n"
    "  --name-field COL   column that names the objects (MIF, shapefile; default:\n"
    "                     a column called NAME, else the first text column)\n"
    "  --name2-field COL  column for the second names\n"
    "  --name-pos N       BNA: which header field is the name, 1 to 3 (default 1)\n"
    "  --segments         store segment records (needed by lookup --radius)\n"
    "  --compress         compress the coordinate columns\n"
    "  --planar           coordinates are plain units, not degrees (coordinate type\n"
    "                     0): distances in units, fractions of units are dropped\n"
    "  --max-points N     most points in one object (default 1000000)\n"
    "  --max-parts N      most parts in one object (default 16383)\n"
    "  --no-attributes    do not write the attribute file\n"
    "  --keep-going       shapefiles, TAB: leave out records the importer refuses\n"
    "                     (more points than the limits, bad coordinates) and go on\n"
    "  --overwrite        replace OUT and its attribute file when they exist\n"
    "  --quiet            no progress bar and no summary\n"
    "\n"
    "A progress bar is drawn on standard error when it is a terminal.\n";

namespace {

constexpr int kDefaultMaxPoints = 1000000;
constexpr int kImportOptions = PIP_IMPORT_OPT_FILE_UNITS | PIP_IMPORT_OPT_STRICT |
                               PIP_IMPORT_OPT_ORDINALS | PIP_IMPORT_OPT_FINE_STAMP |
                               PIP_IMPORT_OPT_SPLIT;

// Formats read record by record from a table, whose refused records
// --keep-going may pass over.
bool RecordFormat(SourceFormat format) {
  return format == SourceFormat::kShp || format == SourceFormat::kTab;
}

struct ImportOptions {
  std::string in;
  std::string out;
  SourceFormat format = SourceFormat::kShp;
  std::string name_field;
  std::string name2_field;
  int name_pos = 1;
  int flags = 0;
  bool planar = false;
  int max_points = kDefaultMaxPoints;
  int max_parts = PIP_IMPORT_MAX_POLYGONS;
  bool attributes = true;
  bool keep_going = false;
  bool overwrite = false;
  bool quiet = false;
};

// What the reading loop saw.
struct ReadLog {
  int objects = 0;
  int skipped = 0;
  int refused = 0;
};

ImportOptions ParseImportOptions(int argc, char** argv) {
  const Args args(argc, argv,
                  {{"name-field", 1},
                   {"name2-field", 1},
                   {"name-pos", 1},
                   {"segments", 0},
                   {"compress", 0},
                   {"planar", 0},
                   {"max-points", 1},
                   {"max-parts", 1},
                   {"no-attributes", 0},
                   {"keep-going", 0},
                   {"overwrite", 0},
                   {"quiet", 0}});
  args.ExpectPositional(2, 2);
  ImportOptions options;
  options.in = args.positional()[0];
  options.out = args.positional()[1];
  const std::string ext = LowerExtension(options.in);
  if (ext == ".mif") {
    options.format = SourceFormat::kMif;
  } else if (ext == ".bna") {
    options.format = SourceFormat::kBna;
  } else if (ext == ".shp") {
    options.format = SourceFormat::kShp;
  } else if (ext == ".tab") {
    options.format = SourceFormat::kTab;
  } else {
    throw UsageError("cannot tell the format of '" + options.in +
                     "': expected a .mif, .bna, .shp or .tab file");
  }
  options.name_field = args.Value("name-field");
  options.name2_field = args.Value("name2-field");
  if (args.Has("name-pos"))
    options.name_pos = ParseInteger(args.Value("name-pos"), 1, 3, "--name-pos");
  if (args.Has("segments")) options.flags |= PIP_FILE_SEGMENTS;
  if (args.Has("compress")) options.flags |= PIP_FILE_COMPRESSED;
  options.planar = args.Has("planar");
  if (args.Has("max-points")) {
    options.max_points = static_cast<int>(
        ParseInteger(args.Value("max-points"), 1, PIP_IMPORT_MAX_POINTS, "--max-points"));
  }
  if (args.Has("max-parts")) {
    options.max_parts = static_cast<int>(
        ParseInteger(args.Value("max-parts"), 1, PIP_IMPORT_MAX_POLYGONS, "--max-parts"));
  }
  options.attributes = !args.Has("no-attributes") && options.format != SourceFormat::kBna;
  options.keep_going = args.Has("keep-going");
  if (options.keep_going && !RecordFormat(options.format)) {
    throw UsageError("--keep-going applies to shapefiles and TAB tables only");
  }
  options.overwrite = args.Has("overwrite");
  options.quiet = args.Has("quiet");
  return options;
}

// The source and the companions the readers need, checked in the order a
// user would look for them, so a missing .shp is not reported as a .dbf.
void CheckSource(const ImportOptions& options) {
  CheckInputFile(options.in);
  if (options.format == SourceFormat::kShp) {
    CheckInputFile(StemOf(options.in) + ".shx");
    CheckInputFile(StemOf(options.in) + ".dbf");
  } else if (options.format == SourceFormat::kTab) {
    CheckInputFile(StemOf(options.in) + ".dat");
    CheckInputFile(StemOf(options.in) + ".map");
  }
}

void RegisterInputs(const ImportOptions& options, SafeOutput* outputs) {
  const std::string stem = StemOf(options.in);
  outputs->AddInput(options.in);
  if (options.format == SourceFormat::kShp) {
    outputs->AddInputGroup(stem, {".shp", ".shx", ".dbf", ".prj", ".cpg", ".SHP", ".SHX", ".DBF"});
  } else if (options.format == SourceFormat::kMif) {
    outputs->AddInputGroup(stem, {".mif", ".mid", ".MIF", ".MID"});
  } else if (options.format == SourceFormat::kTab) {
    outputs->AddInputGroup(stem, {".tab", ".dat", ".map", ".id", ".TAB", ".DAT", ".MAP", ".ID"});
  }
}

// Resolves the name columns against the table: a named column must exist,
// and without a name the default column is taken.
void ResolveNameColumns(const SourceTable& table, ImportOptions* options) {
  const auto check = [&table](const std::string& column, const char* option) {
    if (column.empty() || table.Find(column) >= 0) return;
    std::string known;
    for (const SourceColumn& c : table.columns) known += (known.empty() ? "" : ", ") + c.name;
    throw UsageError(std::string(option) + ": no column '" + column + "' in " + table.file +
                     " (columns: " + (known.empty() ? "none" : known) + ")");
  };
  check(options->name_field, "--name-field");
  check(options->name2_field, "--name2-field");
  if (options->name_field.empty()) options->name_field = table.DefaultNameColumn();
}

// Draws "[#####-----]  50%" on `out` when it is a terminal.
class Progress {
 public:
  Progress(const std::string& label, std::FILE* out, bool enabled)
      : label_(label), out_(out), enabled_(enabled && isatty(fileno(out)) == 1) {}
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(int percent, int objects) {
    if (!enabled_ || (percent == percent_ && objects - objects_ < 1000)) return;
    percent_ = std::min(std::max(percent, 0), 100);
    objects_ = objects;
    constexpr int kWidth = 30;
    const int filled = percent_ * kWidth / 100;
    std::fprintf(out_, "\r%s [%s%s] %3d%%  %d objects", label_.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kWidth - filled), '-').c_str(), percent_,
                 objects_);
    std::fflush(out_);
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) std::fputc('\n', out_);
    drawn_ = false;
  }

 private:
  std::string label_;
  std::FILE* out_;
  bool enabled_;
  bool drawn_ = false;
  int percent_ = -1;
  int objects_ = 0;
};

// Owns an import handle with the strict options set; ends it without
// commit unless Commit succeeded.
class ImportHandle {
 public:
  ImportHandle(const Library& library, const ImportOptions& options, const std::string& path)
      : library_(library) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = options.max_points;
    info.maxParts = options.max_parts;
    info.coordType = options.planar ? 0 : PIP_COORD_GEOGRAPHIC;
    info.flags = options.flags;
    const std::string text1 = "Imported from " + BaseName(options.in) + " by lumetra";
    if (pipImportInitEx(library.handle(), path.c_str(), &info, 0, text1.c_str(),
                        LowerExtension(options.in).substr(1).c_str(), &handle_) != 1) {
      handle_ = 0;
      library.Fail("cannot create " + options.out);
    }
    if (pipImportSetOptions(handle_, kImportOptions) != 1) library.Fail("import options");
  }
  ~ImportHandle() {
    if (handle_ > 0) pipImportTerm(handle_, 0);
  }
  ImportHandle(const ImportHandle&) = delete;
  ImportHandle& operator=(const ImportHandle&) = delete;

  int handle() const { return handle_; }
  void Commit(const std::string& out) {
    pipImportClose(handle_);
    const int result = pipImportTerm(handle_, 1);
    handle_ = 0;
    if (result != 1) library_.Fail("cannot finish " + out);
  }

 private:
  const Library& library_;
  int handle_ = 0;
};

// A reader's data error ("Error: M\nFile: F\nLine: L") as "F, line L: M";
// other failures as the library words them.
std::string ReaderFailure(const Library& library) {
  const std::string detail = library.LastDetail();
  const std::size_t file = detail.find("\nFile: ");
  const std::size_t line = detail.find("\nLine: ");
  if (detail.rfind("Error: ", 0) != 0 || file == std::string::npos || line == std::string::npos ||
      line < file) {
    return library.LastError();
  }
  std::string message = detail.substr(7, file - 7);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return detail.substr(file + 7, line - file - 7) + ", line " + detail.substr(line + 7) + ": " +
         message;
}

void OpenReader(const Library& library, int handle, const ImportOptions& options) {
  int result = -1;
  CapturedStderr routines;  // the shapefile routines' own words
  switch (options.format) {
    case SourceFormat::kMif:
      result = pipImportOpenMIF2(handle, options.in.c_str(), options.name_field.c_str(),
                                 options.name2_field.c_str());
      break;
    case SourceFormat::kBna:
      result = pipImportOpenBNA(handle, options.in.c_str(), options.name_pos);
      break;
    case SourceFormat::kShp:
      result =
          pipImportOpenSHP(handle, options.in.c_str(), options.name_field.c_str(),
                           options.name2_field.empty() ? nullptr : options.name2_field.c_str());
      break;
    case SourceFormat::kTab:
      result =
          pipImportOpenTAB(handle, options.in.c_str(), options.name_field.c_str(),
                           options.name2_field.empty() ? nullptr : options.name2_field.c_str());
      break;
  }
  const std::string printed = routines.Release();
  if (result == 1) return;
  if (options.format != SourceFormat::kShp) throw CliError("cannot read " + ReaderFailure(library));
  std::string reason = RoutineReason(printed, options.in);
  if (reason.empty()) reason = RoutineReason(printed, StemOf(options.in) + ".shx");
  throw CliError("cannot read " + options.in + ": not a valid shapefile (" +
                 (reason.empty() ? "truncated or damaged" : reason) + ")");
}

// Whether a failed shapefile or TAB read may be passed over: the reader refuses a
// record it cannot place (limits, bad coordinates) and reads on, but a
// record or row it cannot read ends it for good.
bool RefusedRecord(const std::string& reason) {
  return reason.find("Can not read") == std::string::npos &&
         reason.find("has no row") == std::string::npos &&
         reason.find("Can't fetch row") == std::string::npos;
}

// Reads every object.  A failure (-1) ends the import, except for a refused
// shapefile record with --keep-going.  Progress and warnings go to `err`.
ReadLog ReadObjects(const Library& library, int handle, const ImportOptions& options,
                    std::FILE* err) {
  ReadLog log;
  Progress progress("importing " + BaseName(options.in), err, !options.quiet);
  char name[PIP_NAME_SIZE];
  int records = 0;
  while (true) {
    int percent = 0;
    int line = 0;
    const int result = pipImportRead(handle, name, sizeof name, &percent, &line);
    if (result == PIP_READ_END) break;
    ++records;
    if (result == PIP_READ_OBJECT || result == PIP_READ_SKIPPED) {
      (result == PIP_READ_OBJECT ? log.objects : log.skipped) += 1;
      progress.Update(percent, log.objects);
      continue;
    }
    progress.Finish();
    const bool shp = RecordFormat(options.format);
    const std::string reason = shp ? library.LastError() : ReaderFailure(library);
    const bool named = !shp || reason.rfind("Record ", 0) == 0 || reason.rfind("Row ", 0) == 0;
    const std::string where = named ? "" : " (record " + std::to_string(records) + ")";
    if (!shp) throw CliError("cannot import " + reason);  // the reason names the file
    if (!options.keep_going || !RefusedRecord(reason)) {
      throw CliError("cannot import " + options.in + where + ": " + reason);
    }
    std::fprintf(err, "lumetra: import: warning: record %d left out: %s\n", records,
                 reason.c_str());
    ++log.refused;
  }
  progress.Update(100, log.objects);
  return log;
}

// Every object of the finished file in file order, with its ordinal.
std::vector<ObjectRecord> ObjectsInFileOrder(const ObjectFile& file) {
  std::vector<ObjectRecord> objects;
  ForEachNamed(file, "*", [&objects](const ObjectRecord& r) { objects.push_back(r); });
  std::sort(objects.begin(), objects.end(),
            [](const ObjectRecord& a, const ObjectRecord& b) { return a.position < b.position; });
  return objects;
}

// One attribute record per ordinal: ordinals are source row numbers, so
// the n-th row (from 1) describes every object of ordinal n.
std::vector<AttributeRecord> RecordsByOrdinal(const std::vector<ObjectRecord>& objects,
                                              const SourceTable& table) {
  std::map<int, std::size_t> rows;
  for (const ObjectRecord& r : objects) {
    const int ordinal = r.ordinal();
    if (ordinal < 1 || static_cast<std::size_t>(ordinal) > table.rows.size()) {
      throw CliError(r.name() + " carries ordinal " + std::to_string(ordinal) + " but " +
                     table.file + " has " + std::to_string(table.rows.size()) +
                     " rows; attribute file not written");
    }
    rows[ordinal] = static_cast<std::size_t>(ordinal - 1);
  }
  std::vector<AttributeRecord> records;
  for (const auto& [ordinal, row] : rows) records.push_back({ordinal, row});
  return records;
}

// Says which source features became several objects.
void NoteSplits(const std::vector<ObjectRecord>& objects, const ImportOptions& options) {
  std::map<int, std::pair<std::string, int>> pieces;
  for (const ObjectRecord& r : objects) {
    auto& entry = pieces[r.ordinal()];
    entry.first = r.name();
    ++entry.second;
  }
  for (const auto& [ordinal, entry] : pieces) {
    if (entry.second < 2) continue;
    std::fprintf(stderr,
                 "lumetra: import: note: %s (record %d) has more rings or points than one object "
                 "may hold (--max-parts %d, --max-points %d): written as %d objects\n",
                 entry.first.c_str(), ordinal, options.max_parts, options.max_points, entry.second);
  }
}

std::string CreationStamp(const ObjectFile& file) {
  pipObjectFileExtraInfoStruct extra;
  std::memset(&extra, 0, sizeof extra);
  if (pipObjectHandleFileQueryEx(file.handle(), &extra) != 1) {
    throw CliError(file.path() + " has no extension block to stamp the attribute file with");
  }
  return std::string(extra.creationTime, strnlen(extra.creationTime, sizeof extra.creationTime));
}

std::unique_ptr<SourceTable> ReadSourceTable(ImportOptions* options) {
  std::unique_ptr<SourceTable> table;
  if (options->format == SourceFormat::kMif) {
    table = std::make_unique<SourceTable>(ReadMifTable(options->in));
  } else if (options->format == SourceFormat::kShp) {
    table = std::make_unique<SourceTable>(ReadDbfTable(options->in));
  } else if (options->format == SourceFormat::kTab) {
    table = std::make_unique<SourceTable>(ReadTabTable(options->in));
  }
  if (table) ResolveNameColumns(*table, options);
  return table;
}

void DecideUnits(ImportOptions* options) {
  if (options->planar) return;
  const CoordinateDecision decision = DecideCoordinates(options->in, options->format);
  if (decision.degrees) return;
  options->planar = true;
  std::fprintf(stderr, "lumetra: import: note: %s is taken as planar units, not degrees: %s\n",
               options->in.c_str(), decision.reason.c_str());
}

// Writes the object file (and its attribute file) under their temporary
// names; the summary for standard output.
std::string BuildFiles(ImportOptions* options, const std::string& object_file,
                       const std::string& attribute_file, const std::string& attribute_target) {
  CheckSource(*options);
  std::unique_ptr<SourceTable> table = ReadSourceTable(options);
  if (options->attributes && attribute_target.empty()) {
    std::fprintf(stderr,
                 "lumetra: import: note: %s does not end in 'b', so no attribute file is "
                 "written (it could not be found)\n",
                 options->out.c_str());
    options->attributes = false;
  }
  DecideUnits(options);
  const Library library;
  ReadLog log;
  {
    ImportHandle import(library, *options, object_file);
    CapturedStderr routines;  // shapefile routines' chatter; ours goes to the original
    OpenReader(library, import.handle(), *options);
    log = ReadObjects(library, import.handle(), *options, routines.original());
    import.Commit(options->out);
  }
  const ObjectFile file(library, object_file);
  std::string summary = "imported " + std::to_string(file.objects()) + " objects from " +
                        options->in + " into " + options->out;
  if (log.skipped > 0) summary += " (" + std::to_string(log.skipped) + " skipped)";
  if (log.refused > 0) summary += " (" + std::to_string(log.refused) + " left out)";
  const bool split = file.objects() > log.objects;
  if (!split && !(options->attributes && table)) return summary;
  const std::vector<ObjectRecord> objects = ObjectsInFileOrder(file);
  if (split) NoteSplits(objects, *options);
  if (options->attributes && table) {
    const std::vector<AttributeRecord> records = RecordsByOrdinal(objects, *table);
    const std::vector<PlannedField> fields = PlanFields(*table);
    WriteAttributeFile(attribute_file, CreationStamp(file), *table, fields, records);
    summary += "\nattributes: " + std::to_string(records.size()) + " records, " +
               std::to_string(fields.size()) + " fields in " + attribute_target;
  }
  return summary;
}

}  // namespace

int RunImport(int argc, char** argv) {
  ImportOptions options = ParseImportOptions(argc, argv);
  SafeOutput outputs(options.overwrite);
  RegisterInputs(options, &outputs);
  const std::string object_file = outputs.Add(options.out);
  const std::string attribute_target = AttributeFileName(options.out);
  // The attribute file is part of the output even when none is written: a
  // stale one must not stay beside the new object file.
  const std::string attribute_file =
      attribute_target.empty() ? std::string() : outputs.Add(attribute_target);
  std::string summary;
  try {
    summary = BuildFiles(&options, object_file, attribute_file, attribute_target);
  } catch (const UsageError&) {
    throw;
  } catch (const CliError& e) {
    throw CliError(outputs.ShowTargets(e.what()));
  }
  outputs.Commit();
  if (!options.quiet) std::printf("%s\n", summary.c_str());
  return kExitOk;
}

}  // namespace lumetra_cli
