#include "objects.h"

#include <cctype>
#include <cstring>

namespace lumetra_cli {
namespace {

std::string FixedText(const char* text, std::size_t size) {
  return std::string(text, strnlen(text, size));
}

}  // namespace

std::string ObjectRecord::name() const { return FixedText(info.name, sizeof info.name); }
std::string ObjectRecord::name2() const { return FixedText(info.name2, sizeof info.name2); }

ObjectRecord CurrentObject(const ObjectFile& file) {
  ObjectRecord record;
  int low = 0;
  int high = 0;
  if (pipObjectGetHandle64(file.handle(), &low, &high) != 1) {
    file.library().Fail("cannot locate the current object of " + file.path());
  }
  record.position = static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32 |
                    static_cast<std::uint32_t>(low);
  if (pipObjectGetInfo(file.handle(), &record.info) != 1) {
    file.library().Fail("cannot read an object of " + file.path());
  }
  return record;
}

ObjectCoords CurrentCoords(const ObjectFile& file) {
  int num_points = 0;
  int num_parts = 0;
  if (pipObjectGetNumCoords(file.handle(), &num_points, &num_parts) != 1) {
    file.library().Fail("cannot count the coordinates of an object of " + file.path());
  }
  if (num_points < 0 || num_parts < 0) {
    throw CliError("an object of " + file.path() + " reports negative counts");
  }
  ObjectCoords coords;
  // At least one slot each, so an empty object still passes valid arrays.
  coords.points.resize(2 * static_cast<std::size_t>(num_points) + 2);
  coords.part_counts.resize(static_cast<std::size_t>(num_parts) + 1);
  int parts_written = 0;
  if (pipObjectGetCoords(file.handle(), coords.points.data(), num_points + 1,
                         coords.part_counts.data(), num_parts + 1, &parts_written) != 1) {
    file.library().Fail("cannot read the coordinates of an object of " + file.path());
  }
  if (parts_written < 0 || parts_written > num_parts + 1) {
    throw CliError("an object of " + file.path() + " reports an impossible part count");
  }
  coords.part_counts.resize(static_cast<std::size_t>(parts_written));
  std::size_t total = 0;
  for (std::int32_t count : coords.part_counts) {
    if (count < 0) throw CliError("an object of " + file.path() + " has a negative part");
    total += static_cast<std::size_t>(count);
  }
  if (total > static_cast<std::size_t>(num_points) + 1) {
    throw CliError("an object of " + file.path() + " reports more points than it holds");
  }
  coords.points.resize(2 * total);
  return coords;
}

int ForEachNamed(const ObjectFile& file, const std::string& pattern,
                 const std::function<void(const ObjectRecord&)>& visit) {
  char name[PIP_NAME_SIZE];
  int result = pipObjectFindFirstName(file.handle(), pattern.c_str(), name, sizeof name);
  int count = 0;
  while (result == 1) {
    visit(CurrentObject(file));
    ++count;
    result = pipObjectFindNext(file.handle(), name, sizeof name);
  }
  if (result < 0) file.library().Fail("name search in " + file.path() + " failed");
  return count;
}

int ForEachInRect(const ObjectFile& file, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                  std::int32_t y2, const std::function<void(const ObjectRecord&)>& visit) {
  char name[PIP_NAME_SIZE];
  int result = pipObjectFindFirstRect(file.handle(), x1, y1, x2, y2, name, sizeof name);
  int count = 0;
  while (result == 1) {
    visit(CurrentObject(file));
    ++count;
    result = pipObjectFindNext(file.handle(), name, sizeof name);
  }
  if (result < 0) file.library().Fail("rectangle search in " + file.path() + " failed");
  return count;
}

Attributes::Attributes(const ObjectFile& file) : handle_(file.handle()) {
  int count = 0;
  if (pipObjectGetAttributeCount(handle_, &count) != 1 || count < 0) return;
  available_ = true;
  for (int i = 0; i < count; ++i) {
    pipAttributeInfoStruct info;
    std::memset(&info, 0, sizeof info);
    // Without a current object the call answers 0 but still describes the
    // field; -1 means there is no such field.
    if (pipObjectGetAttributeInfoByNumber(handle_, i, &info) < 0) break;
    AttributeField field;
    field.name = FixedText(info.name, sizeof info.name);
    field.type = info.type == 'N' ? 'N' : 'C';
    field.width = info.width;
    field.decimals = info.decimals;
    fields_.push_back(field);
  }
}

bool Attributes::Values(std::vector<std::string>* values) const {
  values->assign(fields_.size(), std::string());
  bool found = false;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    pipAttributeInfoStruct info;
    std::memset(&info, 0, sizeof info);
    if (pipObjectGetAttributeInfoByNumber(handle_, static_cast<int>(i), &info) == 1) {
      (*values)[i] = FixedText(info.value, sizeof info.value);
      found = true;
    }
  }
  return found;
}

namespace {

// Whether `text` (spaces around it allowed) is a plain decimal number,
// thousands commas allowed unless `list`.
bool IsNumberText(const std::string& text, bool list) {
  std::string t;
  for (char c : text) {
    if (c != ' ' && c != '\t' && !(c == ',' && !list)) t += c;
  }
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  bool digit = false;
  bool point = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      digit = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

// The value part of a criteria text (after the operator), or "" when it
// cannot be told; *in tells an IN list.
std::string CriteriaValue(const std::string& criteria, bool* in) {
  std::size_t i = 0;
  while (i < criteria.size() && std::isspace(static_cast<unsigned char>(criteria[i]))) ++i;
  while (i < criteria.size() &&
         (std::isalnum(static_cast<unsigned char>(criteria[i])) || criteria[i] == '_')) {
    ++i;
  }
  while (i < criteria.size() && criteria[i] == ' ') ++i;
  *in = criteria.size() >= i + 2 && std::toupper(static_cast<unsigned char>(criteria[i])) == 'I' &&
        std::toupper(static_cast<unsigned char>(criteria[i + 1])) == 'N';
  if (*in) i += 2;
  while (i < criteria.size() && std::strchr("=<> ", criteria[i]) != nullptr) ++i;
  return criteria.substr(i);
}

}  // namespace

void CheckCriteria(const ObjectFile& file, const std::string& criteria) {
  if (pipObjectValidateFilterCriteria(file.handle(), criteria.c_str()) != 1) {
    file.library().Fail("--where '" + criteria + "'");
  }
  bool in = false;
  std::string value = CriteriaValue(criteria, &in);
  if (value.find('\'') != std::string::npos) return;  // quoted: a text
  if (in) {
    for (char& c : value) {
      if (c == '(' || c == ')') c = ' ';
    }
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = in ? value.find(',', start) : std::string::npos;
    const std::string item =
        value.substr(start, comma == std::string::npos ? comma : comma - start);
    if (!IsNumberText(item, in)) {
      throw CliError("--where '" + criteria + "': '" + item +
                     "' is not a number (quote texts: NAME = 'Springfield')");
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

std::string AttributeFileName(const std::string& object_file) {
  if (object_file.empty()) return "";
  const char last = object_file.back();
  if (last != 'b' && last != 'B') return "";
  return object_file.substr(0, object_file.size() - 1) + "a";
}

}  // namespace lumetra_cli
