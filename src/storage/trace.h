// The file layer's optional trace stream: while it is set, every traced
// primitive (open, close, read, write, seek) appends one line to it.
//
// The stream is process-wide and initially absent; nothing in the library
// sets it.  Lines are written without a lock, so a stream shared by several
// threads may interleave lines.  Offsets print as plain decimal numbers.
#ifndef LUMETRA_STORAGE_TRACE_H
#define LUMETRA_STORAGE_TRACE_H

#include <cstdint>
#include <cstdio>

namespace lumetra {

// Sets the trace stream (null switches tracing off) and returns the previous
// one.  The stream is not owned; the caller keeps it open while it is set.
std::FILE* SetTraceStream(std::FILE* stream);
std::FILE* TraceStream();

// "Open( %s, %d ) = %d" or, for fd < 0, "Open( %s, %d ) = FAILED".
// rt_flags are the runtime-library flag values (kRtBinary etc.).
void TraceOpen(const char* name, int rt_flags, int fd);
// "Close( %d ) = %d".
void TraceClose(int fd, int result);
// "Read( %d, %u ) = %d", or "... = FAILED(%d)" when got != requested.
void TraceRead(int fd, uint32_t requested, int64_t got);
// "Write( %d, %u ) = %d", or "... = FAILED(%d)" when written != requested.
void TraceWrite(int fd, uint32_t requested, int64_t written);
// "Seek( %d, offset, origin ) = result", or "... = FAILED(result)" when the
// origin is SEEK_SET and the result differs from the offset.
void TraceSeek(int fd, int64_t offset, int origin, int64_t result);
// "Q_deletefile( %s ) = FAILED".
void TraceDeleteFailed(const char* name);

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_TRACE_H
