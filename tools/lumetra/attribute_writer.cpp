#include "attribute_writer.h"

#include <lumetra/datalib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>

#include "cli_common.h"

namespace lumetra_cli {
namespace {

constexpr std::size_t kMaxIdLength = 11;
constexpr int kMaxWidth = 255;
constexpr int kMaxDecimals = 9;
const char* const kKeyField = "recid";

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Unique identifiers: cut to 11 characters; clashes (without regard to
// case, also with the record-id names) get "_2", "_3", ...
std::string UniqueId(const std::string& wanted, std::size_t column, std::set<std::string>* used) {
  std::string base = wanted.empty() ? "FIELD" + std::to_string(column + 1) : wanted;
  if (base.size() > kMaxIdLength) base.resize(kMaxIdLength);
  std::string id = base;
  for (int n = 2; used->count(Upper(id)) != 0; ++n) {
    const std::string suffix = "_" + std::to_string(n);
    id = base.substr(0, kMaxIdLength - suffix.size()) + suffix;
  }
  used->insert(Upper(id));
  return id;
}

// Digits after the decimal point of a plain decimal text; -1 when the text
// is not one.
int FractionDigits(const std::string& text) {
  std::string trimmed;
  for (char c : text) {
    if (c != ' ') trimmed += c;
  }
  std::size_t i = 0;
  if (i < trimmed.size() && (trimmed[i] == '-' || trimmed[i] == '+')) ++i;
  int digits = 0;
  int fraction = -1;
  for (; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == '.' && fraction < 0) {
      fraction = 0;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      ++digits;
      if (fraction >= 0) ++fraction;
    } else {
      return -1;
    }
  }
  if (digits == 0 && !trimmed.empty()) return -1;
  return fraction < 0 ? 0 : fraction;
}

PlannedField PlanNumeric(const SourceTable& table, std::size_t column, int longest) {
  const SourceColumn& source = table.columns[column];
  PlannedField field;
  field.column = column;
  int decimals = source.decimals;
  bool numeric = true;
  if (source.kind == 'F') {
    decimals = 0;
    for (const std::vector<std::string>& row : table.rows) {
      const int digits = FractionDigits(row[column]);
      if (digits < 0) numeric = false;
      if (digits > decimals) decimals = digits;
    }
  }
  if (decimals > kMaxDecimals || decimals < 0) numeric = false;
  std::string canonical;
  for (std::size_t r = 0; numeric && r < table.rows.size(); ++r) {
    numeric = CanonicalNumber(table.rows[r][column], decimals, &canonical);
  }
  field.type = numeric ? 'N' : 'C';
  field.decimals = numeric ? decimals : 0;
  const int declared = source.kind == 'N' ? source.width : 0;
  field.width = std::max(declared, longest);
  return field;
}

}  // namespace

bool CanonicalNumber(const std::string& text, int decimals, std::string* out) {
  if (FractionDigits(text) < 0 || decimals < 0 || decimals > kMaxDecimals) return false;
  bool negative = false;
  std::string whole;
  std::string fraction;
  bool in_fraction = false;
  for (char c : text) {
    if (c == ' ' || c == '+') continue;
    if (c == '-') {
      negative = true;
    } else if (c == '.') {
      in_fraction = true;
    } else {
      (in_fraction ? fraction : whole) += c;
    }
  }
  while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
  if (whole.size() + static_cast<std::size_t>(decimals) > 12) return false;
  std::int64_t scaled = 0;
  for (char c : whole) scaled = scaled * 10 + (c - '0');
  for (int i = 0; i < decimals; ++i) {
    const char c = static_cast<std::size_t>(i) < fraction.size() ? fraction[i] : '0';
    scaled = scaled * 10 + (c - '0');
  }
  if (fraction.size() > static_cast<std::size_t>(decimals) && fraction[decimals] >= '5') {
    ++scaled;  // half away from zero: the sign is applied afterwards
  }
  if (scaled > 2147483647LL) return false;
  std::int64_t unit = 1;
  for (int i = 0; i < decimals; ++i) unit *= 10;
  char buffer[48];
  if (decimals == 0) {
    std::snprintf(buffer, sizeof buffer, "%s%lld", negative && scaled != 0 ? "-" : "",
                  static_cast<long long>(scaled));
  } else {
    std::snprintf(buffer, sizeof buffer, "%s%lld.%0*lld", negative && scaled != 0 ? "-" : "",
                  static_cast<long long>(scaled / unit), decimals,
                  static_cast<long long>(scaled % unit));
  }
  *out = buffer;
  return true;
}

std::vector<PlannedField> PlanFields(const SourceTable& table) {
  std::vector<PlannedField> fields;
  std::set<std::string> used = {Upper(kKeyField), "QRECID"};
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const SourceColumn& source = table.columns[c];
    int longest = 1;
    for (const std::vector<std::string>& row : table.rows) {
      longest = std::max(longest, static_cast<int>(row[c].size()));
    }
    PlannedField field;
    if (source.kind == 'N' || source.kind == 'F') {
      field = PlanNumeric(table, c, longest);
    } else {
      field.column = c;
      field.type = 'C';
      field.width = std::max(source.width, longest);
    }
    field.width = std::min(std::max(field.width, 1), kMaxWidth);
    field.id = UniqueId(source.name, c, &used);
    fields.push_back(field);
  }
  return fields;
}

namespace {

struct BuilderDeleter {
  void operator()(DlBuilder* builder) const { DlBuilderAbort(builder); }
};
using BuilderPtr = std::unique_ptr<DlBuilder, BuilderDeleter>;

[[noreturn]] void FailDl(const std::string& path, const std::string& what) {
  char message[DL_ERROR_TEXT_SIZE] = {0};
  char detail[DL_ERROR_TEXT_SIZE] = {0};
  DlErrorGet(nullptr, message, detail);
  std::string reason = detail[0] != '\0' ? detail : message;
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  throw CliError("cannot write the attribute file " + path + " (" + what + ")" +
                 (reason.empty() ? "" : ": " + reason));
}

void AddFields(DlBuilder* builder, const std::string& path, const SourceTable& table,
               const std::vector<PlannedField>& fields) {
  if (DlBuilderAddField(builder, kKeyField, "", 'N', 11, 0, "Object ordinal",
                        "Ordinal of the object in the object file") != 1) {
    FailDl(path, "key field");
  }
  for (const PlannedField& field : fields) {
    const SourceColumn& source = table.columns[field.column];
    const std::string description = "Column " + source.name + " of " + BaseName(table.file);
    if (DlBuilderAddField(builder, field.id.c_str(), "", field.type, field.width, field.decimals,
                          source.name.substr(0, 31).c_str(), description.c_str()) != 1) {
      FailDl(path, "field " + field.id);
    }
  }
}

}  // namespace

void WriteAttributeFile(const std::string& path, const std::string& stamp, const SourceTable& table,
                        const std::vector<PlannedField>& fields,
                        const std::vector<AttributeRecord>& records) {
  std::remove(path.c_str());
  BuilderPtr builder(DlBuilderCreate(path.c_str(), 'N', kKeyField, stamp.c_str()));
  if (!builder) FailDl(path, "create");
  AddFields(builder.get(), path, table, fields);
  std::vector<std::string> texts(fields.size() + 1);
  std::vector<const char*> values(fields.size() + 1);
  for (const AttributeRecord& record : records) {
    texts[0] = std::to_string(record.key);
    const std::vector<std::string>& row = table.rows[record.row];
    for (std::size_t f = 0; f < fields.size(); ++f) {
      const std::string& value = row[fields[f].column];
      if (fields[f].type != 'N' || !CanonicalNumber(value, fields[f].decimals, &texts[f + 1])) {
        texts[f + 1] = value;
      }
    }
    for (std::size_t i = 0; i < texts.size(); ++i) values[i] = texts[i].c_str();
    if (DlBuilderAddRecord(builder.get(), values.data()) != 1) {
      FailDl(path, "record of object " + std::to_string(record.key));
    }
  }
  if (DlBuilderFinish(builder.release()) != 1) FailDl(path, "finish");
}

}  // namespace lumetra_cli
