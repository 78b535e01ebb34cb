// Data library files through the Dl* interface: open, every file and field
// attribute, value descriptions, searches by integer and text keys with
// their continuations, and every field of each record found.  Invariants:
// texts come back terminated within their buffers, a record read twice (by
// a second search for the same key) reads the same, and a failed open
// records an error.
#include <lumetra/datalib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr int kMaxFields = 32;
constexpr int kMaxRecords = 16;

std::string FieldText(DlField* field, const char* format) {
  char buffer[300];
  std::memset(buffer, 0, sizeof buffer);
  const int r = DlFieldGetString(field, format, buffer, 256);
  FUZZ_CHECK(lumetra_fuzz::Terminated(buffer, 256));
  return std::to_string(r) + ":" + buffer;
}

// Every field of the record the file stands on.
std::string RecordText(DlDataFile* file, int fields) {
  std::string text;
  for (int i = 0; i < fields; ++i) {
    DlField* field = DlFieldGetN(file, i);
    FUZZ_CHECK(field != nullptr);
    text += FieldText(field, nullptr) + "|" + FieldText(field, "SDESC") + "|" +
            FieldText(field, "LDESC") + "|" + std::to_string(DlFieldGetNum(field)) + ";";
  }
  return text;
}

void DescribeFields(DlDataFile* file, int fields) {
  char buffer[300];
  for (int code = 0; code <= 5; ++code) {
    if (DlFileGetAttribute(file, code, buffer, 255) == 1) {
      FUZZ_CHECK(lumetra_fuzz::Terminated(buffer, 256));
    }
  }
  for (int i = 0; i < fields; ++i) {
    DlField* field = DlFieldGetN(file, i);
    for (int code = 0; code <= 10; ++code) DlFieldGetAttribute(field, code, buffer, 255);
    if (DlFieldGetAttribute(field, DL_FIELD_ATTR_ID, buffer, 255) == 1) {
      FUZZ_CHECK(DlFieldGet(file, buffer) != nullptr);  // found by its own identifier
    }
    const int values = DlFieldGetAttribute(field, DL_FIELD_ATTR_VALUE_COUNT, buffer, 255);
    for (int v = 0; v < values && v < 8; ++v) {
      for (int which = 0; which <= 2; ++which) {
        if (DlFieldGetValueAttribute(field, v, which, buffer, 255) == 1) {
          FUZZ_CHECK(lumetra_fuzz::Terminated(buffer, 256));
        }
      }
    }
  }
}

// The records of one key: the first search and its continuations, each
// record's fields as text.
template <class First, class Next>
std::vector<std::string> Records(DlDataFile* file, int fields, First&& first, Next&& next) {
  std::vector<std::string> records;
  for (int r = first(); r == 1 && records.size() < kMaxRecords; r = next()) {
    records.push_back(RecordText(file, fields));
  }
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DlContext* context = DlInit(lumetra_fuzz::ScratchDir().c_str());
  FUZZ_CHECK(context != nullptr);
  lumetra_fuzz::WriteFile("fuzz.dld", data, size);
  DlDataFile* file = DlFileOpen(context, "fuzz");
  if (file == nullptr) {
    FUZZ_CHECK(DlErrorGet(context, nullptr, nullptr) != -1);
    return 0;
  }
  const int fields = DlFileNumFields(file);
  FUZZ_CHECK(fields >= 0);
  const int used = fields < kMaxFields ? fields : kMaxFields;
  DescribeFields(file, used);
  for (int key = 1; key <= 3; ++key) {
    auto first = [&] { return DlFileSearchInt(file, key); };
    auto next = [&] { return DlFileSearchNextInt(file, key); };
    FUZZ_CHECK(Records(file, used, first, next) == Records(file, used, first, next));
  }
  for (const char* key : {"1", "A", "17031", ""}) {
    auto first = [&] { return DlFileSearch(file, key); };
    auto next = [&] { return DlFileSearchNext(file, key); };
    FUZZ_CHECK(Records(file, used, first, next) == Records(file, used, first, next));
  }
  FUZZ_CHECK(DlFileClose(file) == 1);
  return 0;
}
