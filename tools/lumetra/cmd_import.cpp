// lumetra import: builds an object file from a MIF/MID, BNA, shapefile or TAB
// source through the import functions, then its attribute file from the
// source's table.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "args.h"
#include "attribute_writer.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"
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
    "options:\n"
    "  --name-field COL   column that names the objects (MIF, shapefile; default:\n"
    "                     a column called NAME, else the first text column)\n"
    "  --name2-field COL  column for the second names\n"
    "  --name-pos N       BNA: which header field is the name, 1 to 3 (default 1)\n"
    "  --segments         store segment records (needed by lookup --radius)\n"
    "  --compress         compress the coordinate columns\n"
    "  --planar           coordinates are plain units, not degrees (coordinate type\n"
    "                     0): distances in units, BNA values lose their fractions\n"
    "                     (the shapefile reader still scales any point with\n"
    "                     0 < |y| < 1000000 by 1000000)\n"
    "  --max-points N     most points in one object (default 1000000)\n"
    "  --max-parts N      most parts in one object (default 16383)\n"
    "  --no-attributes    do not write the attribute file\n"
    "  --keep-going       shapefiles, TAB: leave out records the importer refuses\n"
    "                     (more points or parts than the limits) and go on\n"
    "  --quiet            no progress bar and no summary\n"
    "\n"
    "A progress bar is drawn on standard error when it is a terminal.\n";

namespace {

enum class SourceFormat { kMif, kBna, kShp, kTab };

constexpr int kDefaultMaxPoints = 1000000;

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
  bool quiet = false;
};

// What the reading loop saw: for every pipImportRead call that consumed a
// table row, whether it wrote an object.
struct ReadLog {
  std::vector<bool> row_written;
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
  if (options.keep_going && options.format != SourceFormat::kShp &&
      options.format != SourceFormat::kTab) {
    throw UsageError("--keep-going applies to shapefiles and TAB tables only");
  }
  options.quiet = args.Has("quiet");
  return options;
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

// Draws "[#####-----]  50%" on standard error when it is a terminal.
class Progress {
 public:
  Progress(const std::string& label, bool enabled) : label_(label), enabled_(enabled) {}
  ~Progress() { Finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(int percent, int objects) {
    if (!enabled_ || (percent == percent_ && objects - objects_ < 1000)) return;
    percent_ = std::min(std::max(percent, 0), 100);
    objects_ = objects;
    constexpr int kWidth = 30;
    const int filled = percent_ * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%  %d objects", label_.c_str(),
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 std::string(static_cast<std::size_t>(kWidth - filled), '-').c_str(), percent_,
                 objects_);
    std::fflush(stderr);
    drawn_ = true;
  }
  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }

 private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  int percent_ = -1;
  int objects_ = 0;
};

// Owns an import handle; ends it without commit unless Commit succeeded.
class ImportHandle {
 public:
  ImportHandle(const Library& library, const ImportOptions& options) : library_(library) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = options.max_points;
    info.maxParts = options.max_parts;
    info.coordType = options.planar ? 0 : PIP_COORD_GEOGRAPHIC;
    info.flags = options.flags;
    const std::string text1 = "Imported from " + BaseName(options.in) + " by lumetra";
    if (pipImportInitEx(library.handle(), options.out.c_str(), &info, 0, text1.c_str(),
                        LowerExtension(options.in).substr(1).c_str(), &handle_) != 1) {
      handle_ = 0;
      library.Fail("cannot create " + options.out);
    }
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

void OpenReader(const Library& library, int handle, const ImportOptions& options) {
  int result = -1;
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
  if (result != 1) library.Fail("cannot read " + options.in);
}

// Whether a failed shapefile read may be passed over: the reader refuses a
// record it cannot place (limits, an undecidable two-point line) and reads
// on, but a record or row it cannot read ends it for good.
bool RefusedRecord(const std::string& reason) {
  return reason.find("Can not read") == std::string::npos &&
         reason.find("has no row") == std::string::npos;
}

// Reads every object.  A failure (-1) ends the import, except for a refused
// shapefile record with --keep-going: its table row is used up and no
// object written.  pipImportRead reports no position on failure, so the
// record number is counted here (one row per call).
ReadLog ReadObjects(const Library& library, int handle, const ImportOptions& options,
                    std::size_t table_rows) {
  ReadLog log;
  Progress progress("importing " + BaseName(options.in), !options.quiet && isatty(2) == 1);
  char name[PIP_NAME_SIZE];
  while (true) {
    int percent = 0;
    int line = 0;
    const int result = pipImportRead(handle, name, sizeof name, &percent, &line);
    if (result == PIP_READ_END) break;
    if (result == PIP_READ_OBJECT || result == PIP_READ_SKIPPED) {
      log.row_written.push_back(result == PIP_READ_OBJECT);
      (result == PIP_READ_OBJECT ? log.objects : log.skipped) += 1;
      progress.Update(percent, log.objects);
      continue;
    }
    progress.Finish();
    const std::string reason = library.LastError();
    const std::size_t record = log.row_written.size() + 1;
    const bool shp = options.format == SourceFormat::kShp || options.format == SourceFormat::kTab;
    const std::string where = shp ? " (record " + std::to_string(record) + ")" : "";
    if (!options.keep_going || !RefusedRecord(reason) || record > table_rows) {
      throw CliError("cannot import " + options.in + where + ": " + reason);
    }
    std::fprintf(stderr, "lumetra: import: warning: record %zu left out: %s\n", record,
                 reason.c_str());
    log.row_written.push_back(false);
    ++log.refused;
  }
  progress.Update(100, log.objects);
  return log;
}

// Objects of the finished file in file order (the order they were
// written), each with the ordinal it carries.
std::vector<ObjectRecord> ObjectsInFileOrder(const ObjectFile& file) {
  std::vector<ObjectRecord> objects;
  ForEachNamed(file, "*", [&objects](const ObjectRecord& r) { objects.push_back(r); });
  std::sort(objects.begin(), objects.end(),
            [](const ObjectRecord& a, const ObjectRecord& b) { return a.position < b.position; });
  return objects;
}

// Pairs the n-th written object with the table row of the n-th read call
// that wrote an object, keyed by the ordinal the object carries.
std::vector<AttributeRecord> MatchRows(const ReadLog& log, const std::vector<ObjectRecord>& objects,
                                       const SourceTable& table, const std::string& out) {
  if (log.row_written.size() > table.rows.size()) {
    throw CliError(table.file + " has " + std::to_string(table.rows.size()) + " rows for " +
                   std::to_string(log.row_written.size()) + " objects");
  }
  std::vector<AttributeRecord> records;
  std::size_t next = 0;
  for (std::size_t row = 0; row < log.row_written.size(); ++row) {
    if (!log.row_written[row]) continue;
    if (next >= objects.size()) break;
    records.push_back({objects[next++].ordinal(), row});
  }
  if (records.size() != objects.size() || next != objects.size()) {
    throw CliError(out + " holds " + std::to_string(objects.size()) + " objects but " +
                   std::to_string(log.objects) + " were read; attribute file not written");
  }
  int unusable = 0;
  std::vector<int> keys;
  for (const AttributeRecord& r : records) {
    if (r.key < 1) ++unusable;
    keys.push_back(r.key);
  }
  std::sort(keys.begin(), keys.end());
  const auto shared =
      keys.size() - static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
  if (unusable > 0) {
    std::fprintf(stderr,
                 "lumetra: import: warning: %d objects carry no ordinal (a style colour from the "
                 "source replaced it); their attributes cannot be found\n",
                 unusable);
  }
  if (shared > 0) {
    std::fprintf(stderr,
                 "lumetra: import: warning: %zu objects share their ordinal with another; "
                 "lookups show the first one's attributes\n",
                 static_cast<std::size_t>(shared));
  }
  return records;
}

std::string CreationStamp(const ObjectFile& file) {
  pipObjectFileExtraInfoStruct extra;
  std::memset(&extra, 0, sizeof extra);
  if (pipObjectHandleFileQueryEx(file.handle(), &extra) != 1) {
    throw CliError(file.path() + " has no extension block to stamp the attribute file with");
  }
  return std::string(extra.creationTime, strnlen(extra.creationTime, sizeof extra.creationTime));
}

}  // namespace

int RunImport(int argc, char** argv) {
  ImportOptions options = ParseImportOptions(argc, argv);
  std::unique_ptr<SourceTable> table;
  if (options.format == SourceFormat::kMif) {
    table = std::make_unique<SourceTable>(ReadMifTable(options.in));
  } else if (options.format == SourceFormat::kShp) {
    table = std::make_unique<SourceTable>(ReadDbfTable(options.in));
  } else if (options.format == SourceFormat::kTab) {
    table = std::make_unique<SourceTable>(ReadTabTable(options.in));
  }
  if (table) ResolveNameColumns(*table, &options);
  const std::string attribute_file = AttributeFileName(options.out);
  if (options.attributes && attribute_file.empty()) {
    std::fprintf(stderr,
                 "lumetra: import: note: %s does not end in 'b', so no attribute file is "
                 "written (it could not be found)\n",
                 options.out.c_str());
    options.attributes = false;
  }
  // A stale attribute file must not outlive the object file it described.
  if (!attribute_file.empty()) std::remove(attribute_file.c_str());

  const Library library;
  ReadLog log;
  {
    ImportHandle import(library, options);
    OpenReader(library, import.handle(), options);
    log = ReadObjects(library, import.handle(), options, table ? table->rows.size() : 0);
    import.Commit(options.out);
  }
  std::string summary = "imported " + std::to_string(log.objects) + " objects from " + options.in +
                        " into " + options.out;
  if (log.skipped > 0) summary += " (" + std::to_string(log.skipped) + " skipped)";
  if (log.refused > 0) summary += " (" + std::to_string(log.refused) + " left out)";
  if (options.attributes && table) {
    const ObjectFile file(library, options.out);
    const std::vector<AttributeRecord> records =
        MatchRows(log, ObjectsInFileOrder(file), *table, options.out);
    const std::vector<PlannedField> fields = PlanFields(*table);
    WriteAttributeFile(attribute_file, CreationStamp(file), *table, fields, records);
    summary += "\nattributes: " + std::to_string(records.size()) + " records, " +
               std::to_string(fields.size()) + " fields in " + attribute_file;
  }
  if (!options.quiet) std::printf("%s\n", summary.c_str());
  return kExitOk;
}

}  // namespace lumetra_cli
