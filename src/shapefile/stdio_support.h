// Runtime-library support shared by the dBase and shapefile routines:
// perror-style failure reports, an owner for buffered streams, an owner for
// malloc'ed blocks that end up in caller-visible C structures, and exact
// reads and writes.
//
// The db* and Shape* interfaces report failures only by printing to standard
// error and returning -1; every such print goes through ReportFailure or
// ReportCorruption so the format stays "<text>: <system error text>".
#ifndef LUMETRA_SHAPEFILE_STDIO_SUPPORT_H
#define LUMETRA_SHAPEFILE_STDIO_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace lumetra {
namespace shapefile {

// Sets errno to `error_number` and prints "<text>: <its system text>" to
// standard error, as perror does.  Returns -1 for use in return statements.
int ReportFailure(const char* text, int error_number);

// Reports input that contradicts itself: "<text>: <detail>: Invalid
// argument" with errno EINVAL.  The detail names the record and the bad
// values.  Returns -1.
int ReportCorruption(const char* text, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Reports a failed write or seek: errno as the failing call left it (EIO
// when it left none).  Returns -1.
int ReportWriteFailure(const char* text);

// Reports a failed or short stream operation on `stream`: the system's errno
// when the stream has its error flag set, otherwise (end of file reached
// early) ENODATA.  Returns -1.
int ReportStreamFailure(const char* text, std::FILE* stream);

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
// Owns a stream until it is released into a caller's structure.
using UniqueStream = std::unique_ptr<std::FILE, StreamCloser>;

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
// Owns a malloc'ed block until it is released into a caller's structure,
// whose close routine frees it.
template <typename T>
using UniqueBlock = std::unique_ptr<T, FreeDeleter>;

// Size of the stdio buffer given to every stream of these formats.
constexpr std::size_t kStreamBufferSize = 2048;

// Opens `path` with `mode` and gives it a fully buffered 2,048-byte buffer.
// When the file cannot be opened, prints `path` with the system error; when
// the buffer cannot be set, prints `setvbuf_text`.  Returns null on failure.
UniqueStream OpenBufferedStream(const char* path, const char* mode, const char* setvbuf_text);

// Reads up to `size` bytes; returns how many arrived (short only at end of
// file or on a stream error).
std::size_t ReadUpTo(std::FILE* stream, void* buffer, std::size_t size);

// Writes exactly `size` bytes; false (errno set) on a short write.
bool WriteAll(std::FILE* stream, const void* buffer, std::size_t size);

// realloc and calloc for the blocks handed to callers' structures, subject
// to the test limits below.
void* ReallocateBlock(void* block, std::size_t bytes);
void* ClearedBlock(std::size_t count, std::size_t size);

// Test seams.  SetAllocationLimitForTest makes every block of more than
// `bytes` bytes fail as if memory had run out (SIZE_MAX lifts the limit).
// FailWritesAfterForTest lets `count` more WriteAll calls succeed and fails
// the following ones with EIO (-1 lifts it).
void SetAllocationLimitForTest(std::size_t bytes);
void FailWritesAfterForTest(long count);

// Current size of the file behind `stream` in bytes, or -1 when unknown.
std::int64_t StreamFileSize(std::FILE* stream);

// Current position of `stream`, or -1.
std::int64_t StreamPosition(std::FILE* stream);

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_STDIO_SUPPORT_H
