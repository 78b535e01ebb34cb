#include "tab/tab_definition.h"

#include <cctype>
#include <cstdlib>

#include "frame/ascii_case.h"
#include "tab/tab_error.h"
#include "tab/tab_library.h"

namespace lumetra::tab {
namespace {

struct TypeName {
  const char* name;
  std::uint8_t type;
  int width;    // fixed width, 0 when the definition gives it
  int version;  // lowest table version with the type
};

constexpr TypeName kTypes[] = {
    {"Char", kTXChar, 0, 300},         {"Integer", kTXInteger, 4, 300},
    {"SmallInt", kTXSmallInt, 2, 300}, {"Decimal", kTXDecimal, 0, 300},
    {"Float", kTXFloat, 8, 300},       {"Date", kTXDate, 4, 300},
    {"Logical", kTXLogical, 1, 300},   {"Time", kTXTime, 4, 900},
    {"DateTime", kTXDateTime, 8, 900}, {"LargeInt", kTXLargeInt, 8, 1200},
};

const TypeName* FindType(const std::string& word) {
  for (const TypeName& t : kTypes) {
    if (lumetra::EqualNoCase(word, t.name)) return &t;
  }
  return nullptr;
}

const TypeName* FindType(std::uint8_t type) {
  for (const TypeName& t : kTypes) {
    if (t.type == type) return &t;
  }
  return nullptr;
}

std::string Trim(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      lines.push_back(Trim(line));
      line.clear();
    } else {
      line += c;
    }
  }
  lines.push_back(Trim(line));
  return lines;
}

// The first word of `line` (letters, digits, '_') and the rest after it.
std::string FirstWord(const std::string& line, std::string* rest) {
  std::size_t n = 0;
  while (n < line.size() && !std::isspace(static_cast<unsigned char>(line[n])) && line[n] != '(') {
    ++n;
  }
  *rest = Trim(line.substr(n));
  return line.substr(0, n);
}

[[noreturn]] void Refuse(const std::string& path, std::size_t line, const std::string& text,
                         const char* why) {
  ThrowTabError(kTXErrFormat, "%s line %zu: %s: \"%.60s\"", path.c_str(), line + 1, why,
                text.c_str());
}

TabField ParseField(const std::string& line, const std::string& path, std::size_t number) {
  std::string rest;
  TabField field;
  field.name = FirstWord(line, &rest);
  if (field.name.size() >= 2 && (field.name.front() == '"' || field.name.front() == '`')) {
    field.name = field.name.substr(1, field.name.size() - 2);
  }
  std::string after;
  const TypeName* type = FindType(FirstWord(rest, &after));
  if (field.name.empty() || field.name.size() > 31 || type == nullptr) {
    Refuse(path, number, line, "not a column definition");
  }
  field.type = type->type;
  field.width = type->width;
  if (type->width == 0) {
    if (after.empty() || after[0] != '(') Refuse(path, number, line, "column width missing");
    char* end = nullptr;
    const long width = std::strtol(after.c_str() + 1, &end, 10);
    long decimals = 0;
    if (*end == ',') decimals = std::strtol(end + 1, &end, 10);
    if (width < 1 || width > kMaxCharWidth || decimals < 0 || decimals >= width) {
      Refuse(path, number, line, "column width out of range");
    }
    field.width = static_cast<int>(width);
    field.decimals = static_cast<int>(decimals);
  }
  return field;
}

}  // namespace

int FixedWidth(std::uint8_t type) {
  const TypeName* t = FindType(type);
  return t != nullptr ? t->width : 0;
}

std::vector<TabField> ParseTabDefinition(const std::string& text, const std::string& path) {
  const std::vector<std::string> lines = Lines(text);
  std::size_t i = 0;
  while (i < lines.size() && !lumetra::EqualNoCase(lines[i], "Definition Table")) ++i;
  if (i == lines.size()) {
    ThrowTabError(kTXErrFormat, "%s: no \"Definition Table\" section: not a TAB table header",
                  path.c_str());
  }
  long count = -1;
  for (++i; i < lines.size() && count < 0; ++i) {
    std::string rest;
    const std::string word = FirstWord(lines[i], &rest);
    if (lumetra::EqualNoCase(word, "Type")) {
      std::string after;
      const std::string kind = FirstWord(rest, &after);
      if (!lumetra::EqualNoCase(kind, "NATIVE")) {
        Refuse(path, i, lines[i], "only native tables can be read");
      }
    } else if (lumetra::EqualNoCase(word, "Fields")) {
      char* end = nullptr;
      count = std::strtol(rest.c_str(), &end, 10);
      if (end == rest.c_str() || count < 1 || count > kMaxFields) {
        Refuse(path, i, lines[i], "column count out of range");
      }
    }
  }
  if (count < 0) ThrowTabError(kTXErrFormat, "%s: no \"Fields\" line", path.c_str());
  std::vector<TabField> fields;
  for (; i < lines.size() && static_cast<long>(fields.size()) < count; ++i) {
    if (!lines[i].empty()) fields.push_back(ParseField(lines[i], path, i));
  }
  if (static_cast<long>(fields.size()) != count) {
    ThrowTabError(kTXErrFormat, "%s: declares %ld columns but defines %zu", path.c_str(), count,
                  fields.size());
  }
  return fields;
}

std::string FormatTabDefinition(const std::vector<TabField>& fields) {
  int version = 300;
  std::string columns;
  for (const TabField& f : fields) {
    const TypeName* t = FindType(f.type);
    if (t == nullptr) continue;
    if (t->version > version) version = t->version;
    columns += "    " + f.name + " " + t->name;
    if (f.type == kTXChar) columns += " (" + std::to_string(f.width) + ")";
    if (f.type == kTXDecimal) {
      columns += " (" + std::to_string(f.width) + "," + std::to_string(f.decimals) + ")";
    }
    columns += " ;\n";
  }
  return "!table\n!version " + std::to_string(version) +
         "\n!charset Neutral\n\nDefinition Table\n  Type NATIVE Charset \"Neutral\"\n  Fields " +
         std::to_string(fields.size()) + "\n" + columns;
}

}  // namespace lumetra::tab
