// The named operations of the TAB table library over a process-wide table
// registry.  Each operation runs its work under one guard that turns a
// TabError (or any other exception) into the thread's last error and the
// operation's failure value.
#include "tab/tab_library.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "tab/tab_error.h"
#include "tab/tab_table_reader.h"
#include "tab/tab_table_writer.h"

namespace {

using lumetra::tab::TabError;
using lumetra::tab::TabTableReader;
using lumetra::tab::TabTableWriter;
using lumetra::tab::ThrowTabError;

struct Table {
  std::unique_ptr<TabTableReader> reader;
  std::unique_ptr<TabTableWriter> writer;
};

// The open tables.  Lookups and registration hold the lock; work on one
// table runs outside it (one thread at a time per handle).
struct Registry {
  std::mutex mutex;
  std::map<int, std::shared_ptr<Table>> tables;
  int next = 1;
  int users = 0;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();  // lives until the process ends
  return *registry;
}

thread_local int t_last_error = kTXErrNone;
thread_local std::string t_last_text;

void SetLastError(int code, const std::string& text) {
  t_last_error = code;
  t_last_text = text;
}

template <typename Result, typename Work>
Result Guard(Result failure, Work&& work) {
  try {
    Result result = work();
    SetLastError(kTXErrNone, std::string());
    return result;
  } catch (const TabError& e) {
    SetLastError(e.code(), e.what());
  } catch (const std::bad_alloc&) {
    SetLastError(kTXErrMemory, "not enough memory");
  } catch (const std::exception& e) {
    SetLastError(kTXErrFormat, e.what());
  } catch (...) {
    SetLastError(kTXErrFormat, "unexpected failure");
  }
  return failure;
}

int Register(std::shared_ptr<Table> table) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  while (r.tables.count(r.next) != 0 || r.next <= 0) {
    r.next = r.next <= 0 || r.next == INT32_MAX ? 1 : r.next + 1;
  }
  const int handle = r.next;
  r.tables[handle] = std::move(table);
  r.next = handle == INT32_MAX ? 1 : handle + 1;
  return handle;
}

std::shared_ptr<Table> Find(int handle) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  const auto it = r.tables.find(handle);
  if (it == r.tables.end()) ThrowTabError(kTXErrBadHandle, "no table has handle %d", handle);
  return it->second;
}

TabTableReader& Reader(int handle, std::shared_ptr<Table>* keep) {
  *keep = Find(handle);
  if (!(*keep)->reader) {
    ThrowTabError(kTXErrNotReadable, "table %d is being created and cannot be read", handle);
  }
  return *(*keep)->reader;
}

void NeedPointer(const void* p, const char* what) {
  if (p == nullptr) ThrowTabError(kTXErrArgument, "%s is null", what);
}

}  // namespace

bool TXInitialize(int version) {
  return Guard(false, [&] {
    if (version != kTXInterfaceVersion) {
      ThrowTabError(kTXErrArgument, "interface version %d is not %d", version, kTXInterfaceVersion);
    }
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ++r.users;
    return true;
  });
}

int TXTerminate() {
  return Guard(-1, [] {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.users == 0) ThrowTabError(kTXErrArgument, "the library is not in use");
    --r.users;
    return 0;
  });
}

int TXOpenTable(const char* path, int mode) {
  return Guard(0, [&] {
    NeedPointer(path, "table path");
    if (mode != kTXOpenRead) ThrowTabError(kTXErrArgument, "open mode %d is not supported", mode);
    auto table = std::make_shared<Table>();
    table->reader = std::make_unique<TabTableReader>(path);
    return Register(std::move(table));
  });
}

bool TXGetRowCount(int table, std::int32_t* rows) {
  return Guard(false, [&] {
    NeedPointer(rows, "row count");
    std::shared_ptr<Table> keep;
    *rows = Reader(table, &keep).rows();
    return true;
  });
}

bool TXGetFieldCount(int table, std::int32_t* fields) {
  return Guard(false, [&] {
    NeedPointer(fields, "field count");
    std::shared_ptr<Table> keep;
    *fields = static_cast<std::int32_t>(Reader(table, &keep).fields().size());
    return true;
  });
}

bool TXGetObjectCounts(int table, std::int32_t* points, std::int32_t* lines, std::int32_t* regions,
                       std::int32_t* others) {
  return Guard(false, [&] {
    NeedPointer(points, "point count");
    NeedPointer(lines, "line count");
    NeedPointer(regions, "region count");
    NeedPointer(others, "other count");
    std::shared_ptr<Table> keep;
    Reader(table, &keep).ObjectCounts(points, lines, regions, others);
    return true;
  });
}

bool TXGetFieldDefs(int table, TXFieldDef* defs) {
  return Guard(false, [&] {
    NeedPointer(defs, "field definitions");
    std::shared_ptr<Table> keep;
    const auto& fields = Reader(table, &keep).fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      TXFieldDef& d = defs[i];
      std::memset(&d, 0, sizeof d);
      std::memcpy(d.name, fields[i].name.data(), std::min<std::size_t>(fields[i].name.size(), 31));
      d.type = fields[i].type;
      d.width = static_cast<std::uint8_t>(fields[i].width);
      d.decimals = static_cast<std::uint8_t>(fields[i].decimals);
    }
    return true;
  });
}

bool TXFetchRow(int table, std::int32_t row, std::string* text, TXObject* object) {
  return Guard(false, [&] {
    NeedPointer(text, "row text");
    NeedPointer(object, "object");
    std::shared_ptr<Table> keep;
    Reader(table, &keep).Fetch(row, text, object);
    return true;
  });
}

int TXGetLastError() { return t_last_error; }

const char* TXGetLastErrorText() { return t_last_text.c_str(); }

bool TXCloseTable(int table) {
  return Guard(false, [&] {
    std::shared_ptr<Table> taken;
    {
      Registry& r = TheRegistry();
      std::lock_guard<std::mutex> lock(r.mutex);
      const auto it = r.tables.find(table);
      if (it == r.tables.end()) ThrowTabError(kTXErrBadHandle, "no table has handle %d", table);
      taken = std::move(it->second);
      r.tables.erase(it);
    }
    if (taken->writer) taken->writer->Finish();
    return true;
  });
}

bool TXSetCoordSys(int code, TXCoordSys* coordsys) {
  return Guard(false, [&] {
    NeedPointer(coordsys, "coordinate system");
    std::memset(coordsys, 0, sizeof *coordsys);
    if (code == 0) {  // longitude/latitude, WGS 84, degrees
      coordsys->projection = 1;
      coordsys->datum = 104;
      coordsys->ellipsoid = 28;
      coordsys->units = 13;
    } else if (code == 1) {  // non-earth, metres
      coordsys->projection = 0;
      coordsys->units = 7;
    } else {
      ThrowTabError(kTXErrArgument, "coordinate system code %d is not known", code);
    }
    return true;
  });
}

int TXCreateTable(const char* path, const TXFieldDef* defs, int num_fields, const TXTableInfo* info,
                  int mode) {
  return Guard(0, [&] {
    NeedPointer(path, "table path");
    NeedPointer(defs, "field definitions");
    NeedPointer(info, "table information");
    if (mode != kTXCreateReplace)
      ThrowTabError(kTXErrArgument, "create mode %d is not supported", mode);
    auto table = std::make_shared<Table>();
    table->writer = std::make_unique<TabTableWriter>(path, defs, num_fields, *info);
    return Register(std::move(table));
  });
}

bool TXInsertRow(int table, const char* text, const TXObject* object, std::uint32_t* row) {
  return Guard(false, [&] {
    const std::shared_ptr<Table> keep = Find(table);
    if (!keep->writer) ThrowTabError(kTXErrNotWritable, "table %d is open for reading", table);
    const std::uint32_t written = keep->writer->Insert(text, object);
    if (row != nullptr) *row = written;
    return true;
  });
}
