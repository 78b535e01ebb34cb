#include "source_table.h"

#include <lumetra/dbf.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli_common.h"

namespace lumetra_cli {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// The lines of a text file, whatever its line ends (CR, LF or CR LF).  An
// end-of-file byte (Ctrl-Z) ends the text.
std::vector<std::string> ReadLines(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw CliError(path + " is a directory, not a file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CliError("cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  const std::size_t eof_mark = text.find('\x1a');
  if (eof_mark != std::string::npos) text.resize(eof_mark);
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// "Char(40)", "Decimal(10,2)", "Integer", ... to a column description.
SourceColumn ParseMifColumn(const std::string& line) {
  std::string rest = Trim(line);
  SourceColumn column;
  std::size_t name_end = 0;
  while (name_end < rest.size() && !std::isspace(static_cast<unsigned char>(rest[name_end]))) {
    ++name_end;
  }
  column.name = rest.substr(0, name_end);
  if (column.name.size() >= 2 && column.name.front() == '"' && column.name.back() == '"') {
    column.name = column.name.substr(1, column.name.size() - 2);
  }
  const std::string type = Lower(Trim(rest.substr(name_end)));
  int first = 0;
  int second = 0;
  const std::size_t paren = type.find('(');
  if (paren != std::string::npos) {
    first = std::atoi(type.c_str() + paren + 1);
    const std::size_t comma = type.find(',', paren);
    if (comma != std::string::npos) second = std::atoi(type.c_str() + comma + 1);
  }
  const std::string word = Trim(type.substr(0, paren));
  if (word == "char") {
    column.kind = 'C';
    column.width = first;
  } else if (word == "integer" || word == "smallint" || word == "largeint") {
    column.kind = 'N';
    column.width = word == "smallint" ? 6 : (word == "integer" ? 11 : 20);
  } else if (word == "decimal") {
    column.kind = 'N';
    column.width = first;
    column.decimals = second;
  } else if (word == "float") {
    column.kind = 'F';
    column.width = 20;
  } else {
    column.kind = 'T';  // date, time, datetime, logical
    column.width = 20;
  }
  return column;
}

// The delimiter of a MIF "Delimiter" clause: the character between its
// quotes ("\t" written out also means TAB).
char ParseDelimiter(const std::string& clause, const std::string& where) {
  const std::size_t open = clause.find('"');
  const std::size_t close = open == std::string::npos ? open : clause.find('"', open + 1);
  if (close == std::string::npos || close == open + 1) {
    throw CliError(where + ": malformed Delimiter clause");
  }
  const std::string inner = clause.substr(open + 1, close - open - 1);
  if (inner == "\\t") return '\t';
  return inner[0];
}

std::string MidPathFor(const std::string& mif_path) {
  const std::size_t slash = mif_path.find_last_of('/');
  const std::size_t dot = mif_path.find_last_of('.');
  const bool has_ext = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string base = has_ext ? mif_path.substr(0, dot) : mif_path;
  bool upper = !has_ext;
  if (has_ext) {
    upper = true;
    for (std::size_t i = dot + 1; i < mif_path.size(); ++i) {
      if (std::islower(static_cast<unsigned char>(mif_path[i]))) upper = false;
    }
  }
  const std::string preferred = base + (upper ? ".MID" : ".mid");
  const std::string other = base + (upper ? ".mid" : ".MID");
  std::ifstream probe(preferred);
  if (probe) return preferred;
  std::ifstream probe_other(other);
  return probe_other ? other : preferred;
}

// RAII owner of an open dBase table.
class DbfTable {
 public:
  explicit DbfTable(const std::string& path) {
    std::memset(&table_, 0, sizeof table_);
    open_ = dbOpen(&table_, path.c_str()) == DB_OK;
  }
  ~DbfTable() {
    if (open_) dbClose(&table_);
  }
  DbfTable(const DbfTable&) = delete;
  DbfTable& operator=(const DbfTable&) = delete;
  bool open() const { return open_; }
  dbTable& table() { return table_; }

 private:
  dbTable table_;
  bool open_ = false;
};

std::string DbfValueText(const dbField& field) {
  switch (field.type) {
    case 'C':
    case 'D': {
      std::string text(field.value.text, strnlen(field.value.text, sizeof field.value.text));
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return text;
    }
    case 'N':
    case 'F': {
      char text[400];
      std::snprintf(text, sizeof text, "%.*f", static_cast<int>(field.decimals),
                    field.value.number);
      return text;
    }
    case 'L':
      return field.value.logical == ' ' || field.value.logical == '\0'
                 ? std::string()
                 : std::string(1, field.value.logical);
    default:
      return "";
  }
}

}  // namespace

int SourceTable::Find(const std::string& name) const {
  const std::string wanted = Lower(name);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (Lower(columns[i].name) == wanted) return static_cast<int>(i);
  }
  return -1;
}

std::string SourceTable::DefaultNameColumn() const {
  if (Find("NAME") >= 0) return columns[static_cast<std::size_t>(Find("NAME"))].name;
  for (const SourceColumn& column : columns) {
    if (column.kind == 'C') return column.name;
  }
  return columns.empty() ? std::string() : columns.front().name;
}

std::vector<std::string> SplitMidLine(const std::string& line, char delimiter) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && line[i] == ' ' && delimiter != ' ') ++i;
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && line[i] != delimiter) ++i;  // text after the quote is dropped
    } else {
      while (i < line.size() && line[i] != delimiter) field += line[i++];
      field = Trim(field);
    }
    fields.push_back(field);
    if (i >= line.size()) break;
    ++i;  // the delimiter
  }
  return fields;
}

SourceTable ReadMifTable(const std::string& mif_path) {
  SourceTable table;
  const std::vector<std::string> mif = ReadLines(mif_path);
  char delimiter = '\t';
  bool data_found = false;
  for (std::size_t n = 0; n < mif.size() && !data_found; ++n) {
    const std::string line = Trim(mif[n]);
    const std::string where = mif_path + ", line " + std::to_string(n + 1);
    const std::string keyword = Lower(line.substr(0, line.find_first_of(" \t(")));
    if (keyword == "data") {
      data_found = true;
    } else if (keyword == "delimiter") {
      delimiter = ParseDelimiter(line, where);
    } else if (keyword == "columns") {
      const int count = std::atoi(line.c_str() + keyword.size());
      if (count < 0 || static_cast<std::size_t>(count) > mif.size() - n - 1) {
        throw CliError(where + ": column count " + std::to_string(count) + " exceeds the file");
      }
      for (int k = 0; k < count; ++k) table.columns.push_back(ParseMifColumn(mif[++n]));
    }
  }
  if (!data_found) throw CliError(mif_path + ": no Data line in the MIF header");
  table.file = MidPathFor(mif_path);
  std::vector<std::string> mid = ReadLines(table.file);
  for (std::size_t n = 0; n < mid.size(); ++n) {
    std::vector<std::string> fields = SplitMidLine(mid[n], delimiter);
    fields.resize(table.columns.size());
    table.rows.push_back(std::move(fields));
  }
  return table;
}

SourceTable ReadDbfTable(const std::string& shp_path) {
  const std::size_t slash = shp_path.find_last_of('/');
  const std::size_t dot = shp_path.find_last_of('.');
  const bool has_ext =
      dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  SourceTable table;
  table.file = (has_ext ? shp_path.substr(0, dot) : shp_path) + ".dbf";
  CapturedStderr routines;  // the dBase routines' own words, reworded below
  DbfTable dbf(table.file);
  if (!dbf.open()) {
    const std::string reason = RoutineReason(routines.Release(), table.file);
    throw CliError("cannot read " + table.file + ": not a valid dBase table (" +
                   (reason.empty() ? "truncated or damaged" : reason) + ")");
  }
  dbTable& t = dbf.table();
  for (int i = 0; i < t.numFields; ++i) {
    const dbField& field = t.fields[i];
    SourceColumn column;
    column.name = std::string(field.name, strnlen(field.name, sizeof field.name));
    column.width = field.length;
    column.decimals = field.decimals;
    column.kind = field.type == 'C' ? 'C' : (field.type == 'N' || field.type == 'F') ? 'N' : 'T';
    table.columns.push_back(column);
  }
  while (true) {
    const int status = dbRead(&t);
    if (status == DB_END) break;
    if (status != DB_OK) {
      throw CliError("cannot read row " + std::to_string(table.rows.size() + 1) + " of " +
                     table.file + " (truncated or damaged)");
    }
    std::vector<std::string> row;
    row.reserve(static_cast<std::size_t>(t.numFields));
    for (int i = 0; i < t.numFields; ++i) row.push_back(DbfValueText(t.fields[i]));
    table.rows.push_back(std::move(row));
  }
  return table;
}

}  // namespace lumetra_cli
