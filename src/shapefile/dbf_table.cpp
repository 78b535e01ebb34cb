// The exported db* routines: dBase III tables read record by record or
// created and appended to.  See <lumetra/dbf.h> for the caller's contract and
// docs/formats/dbase.md for the bytes.
//
// Invariants the routines keep for a table they set up:
//  - record holds recordLength + 1 bytes; every field unpacked from or packed
//    into it lies inside [1, recordLength), checked per call because the
//    caller owns the structure and may change it;
//  - after dbOpen the field array is the library's (freed by dbClose), after
//    dbCreate it stays the caller's;
//  - a failed dbOpen or dbCreate leaves no stream or buffer behind, so a
//    following dbClose is harmless and omitting it leaks nothing.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "lumetra/dbf.h"
#include "shapefile/dbf_layout.h"
#include "shapefile/dbf_value.h"
#include "shapefile/stdio_support.h"

namespace lumetra {
namespace shapefile {
namespace {

constexpr char kExtension[] = ".dbf";

std::string TableFileName(const char* name) {
  const std::size_t length = std::strlen(name);
  if (length > 4 && std::strcmp(name + length - 4, kExtension) == 0) return name;
  return std::string(name) + kExtension;
}

std::uint16_t RecordLengthOf(const dbTable& table) {
  return static_cast<std::uint16_t>(table.recordLength);
}

std::uint16_t HeaderLengthOf(const dbTable& table) {
  return static_cast<std::uint16_t>(table.headerLength);
}

// Fails when the fields, laid out one after another behind the deletion
// byte, would not fit a record of the table's length.
int CheckFieldsFit(const dbTable& table, const char* text) {
  std::size_t end = 1;
  for (int i = 0; i < table.numFields; ++i) {
    end += table.fields[i].length;
    if (end > RecordLengthOf(table)) {
      return ReportCorruption(text, "field %d (%.11s) ends at byte %zu, past the record length %u",
                              i, table.fields[i].name, end, RecordLengthOf(table));
    }
  }
  return 0;
}

void FieldFromDescriptor(const DbfFieldDescriptor& descriptor, dbField* field) {
  std::memset(field, 0, sizeof *field);
  field->dataAddress = static_cast<int>(descriptor.data_address);
  std::memcpy(field->name, descriptor.name, sizeof descriptor.name);
  field->type = descriptor.type;
  field->length = descriptor.length;
  field->decimals = descriptor.decimals;
  BuildNumberFormat(field);
}

// Checks the header read by dbOpen against itself before anything is
// allocated from it.  The allocations it allows are bounded by the 16-bit
// lengths (at most 2,046 fields, 65,536 record bytes).  Returns the field
// count, or -1.
int CheckOpenedHeader(const DbfHeader& header, const std::string& path) {
  const int num_fields = (static_cast<int>(header.header_length) - 1) / 32 - 1;
  if (num_fields < 0) {
    return ReportCorruption("dbOpen", "%s: header length %u leaves no room for the terminator",
                            path.c_str(), header.header_length);
  }
  if (header.record_length == 0) {
    return ReportCorruption("dbOpen", "%s: record length 0 has no deletion byte", path.c_str());
  }
  if (header.num_records > static_cast<std::uint32_t>(INT_MAX)) {
    return ReportCorruption("dbOpen", "%s: record count %u is out of range", path.c_str(),
                            header.num_records);
  }
  return num_fields;
}

// Fails when the file is too short for the records its header declares.
// Sequential reading starts right after the terminator, which is where the
// records must begin.
int CheckRecordsPresent(const DbfHeader& header, int num_fields, std::int64_t file_size,
                        const std::string& path) {
  const std::int64_t needed =
      static_cast<std::int64_t>(DbfHeaderLengthFor(static_cast<std::size_t>(num_fields))) +
      static_cast<std::int64_t>(header.num_records) *
          static_cast<std::int64_t>(header.record_length);
  if (file_size >= 0 && file_size < needed) {
    return ReportCorruption("dbOpen",
                            "%s: %u records of %u bytes need %lld bytes, the file holds %lld",
                            path.c_str(), header.num_records, header.record_length,
                            static_cast<long long>(needed), static_cast<long long>(file_size));
  }
  return 0;
}

// Reads the descriptors and the terminator into `fields`.
int ReadFields(std::FILE* stream, int num_fields, dbField* fields) {
  std::uint8_t bytes[DbfFieldDescriptor::kEncodedSize];
  for (int i = 0; i < num_fields; ++i) {
    if (ReadUpTo(stream, bytes, sizeof bytes) != sizeof bytes) {
      return ReportStreamFailure("ReadFields: fread 1", stream);
    }
    FieldFromDescriptor(DbfFieldDescriptor::DecodeFrom(bytes), &fields[i]);
  }
  if (ReadUpTo(stream, bytes, 1) != 1) return ReportStreamFailure("ReadFields: fread 2", stream);
  return 0;
}

int OpenTable(dbTable* table, const char* file_name) {
  const std::string path = TableFileName(file_name);
  UniqueStream stream = OpenBufferedStream(path.c_str(), "rb", "dbOpen: setvbuf");
  if (!stream) return -1;

  std::uint8_t bytes[DbfHeader::kEncodedSize];
  if (ReadUpTo(stream.get(), bytes, sizeof bytes) != sizeof bytes) {
    return ReportStreamFailure("dbOpen: fread", stream.get());
  }
  const DbfHeader header = DbfHeader::DecodeFrom(bytes);
  const int num_fields = CheckOpenedHeader(header, path);
  if (num_fields < 0) return -1;

  UniqueBlock<char> record(static_cast<char*>(ClearedBlock(header.record_length + 1u, 1)));
  UniqueBlock<dbField> fields(
      static_cast<dbField*>(ClearedBlock(num_fields > 0 ? num_fields : 1, sizeof(dbField))));
  if (!record || !fields) return ReportFailure("dbOpen: _CALLOC", ENOMEM);
  if (ReadFields(stream.get(), num_fields, fields.get()) != 0) return -1;
  if (CheckRecordsPresent(header, num_fields, StreamFileSize(stream.get()), path) != 0) return -1;

  table->version = header.version;
  std::memcpy(table->date, header.date, sizeof table->date);
  table->numRecords = static_cast<int>(header.num_records);
  table->headerLength = static_cast<short>(header.header_length);
  table->recordLength = static_cast<short>(header.record_length);
  table->mode = DB_MODE_READ;
  table->numFields = num_fields;
  table->fields = fields.get();
  if (CheckFieldsFit(*table, "ReadFields") != 0) {
    table->fields = nullptr;
    table->numFields = 0;
    return -1;
  }
  table->stream = stream.release();
  table->record = record.release();
  fields.release();
  return 0;
}

// Fixes the lengths of the typed fields, builds the number formats and
// returns the record length, or -1 when the fields do not fit a record.
long PrepareCreatedFields(dbTable* table) {
  long record_length = 1;
  for (int i = 0; i < table->numFields; ++i) {
    dbField& field = table->fields[i];
    if (field.type == 'D') field.length = 8;
    if (field.type == 'L') field.length = 1;
    if (field.type == 'M') field.length = 10;
    if (field.type == 'N' || field.type == 'F') BuildNumberFormat(&field);
    record_length += field.length;
  }
  if (record_length > 0xFFFF) {
    return ReportCorruption("dbCreate", "fields need a record of %ld bytes, at most 65535 fit",
                            record_length);
  }
  return record_length;
}

int WriteDescriptors(std::FILE* stream, const dbTable& table) {
  std::uint8_t bytes[DbfFieldDescriptor::kEncodedSize];
  for (int i = 0; i < table.numFields; ++i) {
    const dbField& field = table.fields[i];
    DbfFieldDescriptor descriptor;
    std::memcpy(descriptor.name, field.name, strnlen(field.name, kDbfNameLength));
    descriptor.type = field.type;
    descriptor.length = field.length;
    descriptor.decimals = field.decimals;
    descriptor.EncodeTo(bytes);
    if (!WriteAll(stream, bytes, sizeof bytes)) return ReportWriteFailure("fwrite");
  }
  if (!WriteAll(stream, &kDbfTerminator, 1)) return ReportWriteFailure("fwrite");
  return 0;
}

int CreateTable(dbTable* table, const char* file_name) {
  if (table->numFields < 0 || table->numFields > kDbfMaxFields ||
      (table->numFields > 0 && table->fields == nullptr)) {
    return ReportCorruption("dbCreate", "%d fields at %p cannot make a table (0 to %d fields)",
                            table->numFields, static_cast<void*>(table->fields), kDbfMaxFields);
  }
  const long record_length = PrepareCreatedFields(table);
  if (record_length < 0) return -1;

  const std::string path = TableFileName(file_name);
  UniqueStream stream = OpenBufferedStream(path.c_str(), "wb", "dbCreate: setvbuf");
  if (!stream) return -1;
  table->version = kDbfVersion;
  table->numRecords = 0;
  const std::uint8_t placeholder[DbfHeader::kEncodedSize] = {};
  if (!WriteAll(stream.get(), placeholder, sizeof placeholder)) {
    return ReportWriteFailure("fwrite");
  }
  table->recordLength = static_cast<short>(record_length);
  table->headerLength =
      static_cast<short>(DbfHeaderLengthFor(static_cast<std::size_t>(table->numFields)));
  UniqueBlock<char> record(
      static_cast<char*>(ClearedBlock(static_cast<std::size_t>(record_length) + 1, 1)));
  if (!record) return ReportFailure("_CALLOC", ENOMEM);
  if (WriteDescriptors(stream.get(), *table) != 0) return -1;
  table->stream = stream.release();
  table->record = record.release();
  return 0;
}

bool IsEndOfFileMarker(const std::uint8_t* bytes, std::size_t got, std::FILE* stream) {
  return got == 1 && bytes[0] == kDbfEndOfFileMarker && std::feof(stream) && !std::ferror(stream);
}

int ReadRecord(dbTable* table) {
  const std::size_t record_length = RecordLengthOf(*table);
  auto* bytes = reinterpret_cast<std::uint8_t*>(table->record);
  const std::size_t got = ReadUpTo(table->stream, bytes, record_length);
  if (got == 0 && !std::ferror(table->stream)) return DB_END;
  // Writers commonly close the records with one 0x1A byte: the end as well.
  if (got < record_length && IsEndOfFileMarker(bytes, got, table->stream)) return DB_END;
  if (got < record_length) return ReportStreamFailure("dbRead: fread", table->stream);
  if (CheckFieldsFit(*table, "dbRead") != 0) return -1;
  std::size_t offset = 1;
  for (int i = 0; i < table->numFields; ++i) {
    UnpackField(bytes + offset, &table->fields[i]);
    offset += table->fields[i].length;
  }
  return DB_OK;
}

int WriteRecord(dbTable* table) {
  if (table->numRecords == INT_MAX) return ReportFailure("fwrite", EFBIG);
  if (CheckFieldsFit(*table, "dbWrite") != 0) return -1;
  const std::size_t record_length = RecordLengthOf(*table);
  auto* bytes = reinterpret_cast<std::uint8_t*>(table->record);
  std::memset(bytes, 0, record_length + 1);
  bytes[0] = kDbfLiveRecord;
  std::size_t offset = 1;
  for (int i = 0; i < table->numFields; ++i) {
    PackField(table->fields[i], bytes + offset);
    offset += table->fields[i].length;
  }
  if (!WriteAll(table->stream, bytes, record_length)) return ReportWriteFailure("fwrite");
  ++table->numRecords;
  return 0;
}

// Rewrites the header of a created table with the final record count and
// today's local date.
int FinishCreatedTable(dbTable* table) {
  DbfHeader header;
  header.version = kDbfVersion;
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  if (localtime_r(&now, &local) != nullptr) {
    header.date[0] = static_cast<std::uint8_t>(local.tm_year);
    header.date[1] = static_cast<std::uint8_t>(local.tm_mon + 1);
    header.date[2] = static_cast<std::uint8_t>(local.tm_mday);
  }
  header.num_records = static_cast<std::uint32_t>(table->numRecords);
  header.header_length = HeaderLengthOf(*table);
  header.record_length = RecordLengthOf(*table);
  std::uint8_t bytes[DbfHeader::kEncodedSize];
  header.EncodeTo(bytes);
  errno = 0;
  if (std::fseek(table->stream, 0, SEEK_SET) != 0 ||
      !WriteAll(table->stream, bytes, sizeof bytes)) {
    return ReportWriteFailure("fwrite");
  }
  std::memcpy(table->date, header.date, sizeof table->date);
  table->version = kDbfVersion;
  return 0;
}

// Rejects a table that is not set up for `mode`.
int CheckReady(const dbTable* table, int mode, const char* text) {
  if (table == nullptr) return ReportFailure(text, EINVAL);
  if (table->stream == nullptr || table->record == nullptr || table->mode != mode) {
    return ReportFailure(text, EBADF);
  }
  if (table->numFields < 0 || (table->numFields > 0 && table->fields == nullptr)) {
    return ReportFailure(text, EINVAL);
  }
  return 0;
}

}  // namespace
}  // namespace shapefile
}  // namespace lumetra

using namespace lumetra::shapefile;

int dbOpen(dbTable* table, const char* fileName) {
  if (table == nullptr || fileName == nullptr) return ReportFailure("dbOpen", EINVAL);
  std::memset(table, 0, sizeof *table);
  return OpenTable(table, fileName);
}

int dbCreate(dbTable* table, const char* fileName) {
  if (table == nullptr || fileName == nullptr) return ReportFailure("dbCreate", EINVAL);
  // Marked as created first: the field array is the caller's from here on,
  // and dbClose must never free it, even after a failure.
  table->mode = DB_MODE_WRITE;
  table->stream = nullptr;
  table->record = nullptr;
  return CreateTable(table, fileName);
}

int dbRead(dbTable* table) {
  if (CheckReady(table, DB_MODE_READ, "dbRead") != 0) return DB_ERROR;
  return ReadRecord(table);
}

int dbReadByRecno(dbTable* table, int recno) {
  if (CheckReady(table, DB_MODE_READ, "dbReadByRecno") != 0) return DB_ERROR;
  if (recno < 0) return ReportFailure("dbReadByRecno: fseek", EINVAL);
  const std::int64_t offset = static_cast<std::int64_t>(HeaderLengthOf(*table)) +
                              static_cast<std::int64_t>(recno) * RecordLengthOf(*table);
  if (fseeko(table->stream, static_cast<off_t>(offset), SEEK_SET) != 0) {
    return ReportFailure("dbReadByRecno: fseek", errno);
  }
  return ReadRecord(table);
}

int dbWrite(dbTable* table) {
  if (CheckReady(table, DB_MODE_WRITE, "fwrite") != 0) return DB_ERROR;
  return WriteRecord(table);
}

int dbClose(dbTable* table) {
  if (table == nullptr) return 0;
  int result = 0;
  if (table->stream != nullptr) {
    if (table->mode == DB_MODE_WRITE && FinishCreatedTable(table) != 0) result = -1;
    const bool closed = std::fclose(table->stream) == 0;
    if (!closed && table->mode == DB_MODE_WRITE && result == 0)
      result = ReportFailure("fwrite", errno);
    table->stream = nullptr;
  }
  // The field array is the library's only when dbOpen set it up, which it
  // does together with the record buffer.
  if (table->mode == DB_MODE_READ && table->record != nullptr) {
    std::free(table->fields);
    table->fields = nullptr;
    table->numFields = 0;
  }
  std::free(table->record);
  table->record = nullptr;
  return result;
}
