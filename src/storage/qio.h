// The qio module: raw descriptor routines used by the tree builder and its
// block sort, the page checksum, and UniqueFd, the owner of a descriptor.
//
// Every routine takes a descriptor and the error record it reports into; each
// failure is reported exactly once (code = errno for failed system calls,
// 100 for bad requests) and turned into false / -1 for the caller.  With a
// throwing record (QErrorEx) the report unwinds instead.  Offsets are 64-bit
// byte offsets from the start of the file; transfer lengths are 32-bit.
// Thread rule: the routines keep no state; a descriptor belongs to one thread
// at a time.
#ifndef LUMETRA_STORAGE_QIO_H
#define LUMETRA_STORAGE_QIO_H

#include <cstddef>
#include <cstdint>

class QError;

// The runtime-library open flags as the trace lines print them.  The
// descriptor routines translate them to the POSIX flags they stand for.
constexpr int kRtBinary = 0x8000;
constexpr int kRtReadOnly = 0x0000;
constexpr int kRtWriteOnly = 0x0001;
constexpr int kRtReadWrite = 0x0002;
constexpr int kRtAppend = 0x0008;
constexpr int kRtCreate = 0x0100;
constexpr int kRtTruncate = 0x0200;
constexpr int kRtExclusive = 0x0400;

// Translates runtime-library flags (above) to open(2) flags, always adding
// O_CLOEXEC.
int RtFlagsToPosix(int rt_flags);

// Reports the current errno to err with detail (null = none) as made at
// source_file:line; code 100 when errno is 0 (a failure without a system
// cause, such as a short write).  Returns the code.
int QioReportErrno(QError& err, const char* source_file, int line, const char* detail);

// Opens name with runtime-library flags rt_flags and permissions perm (used
// with kRtCreate), traced as an open; retries on EINTR.  Returns the
// descriptor or -1 with errno set; reports nothing.
int QioOpen(const char* name, int rt_flags, unsigned perm);

// lseek, traced as a seek.  Returns the resulting offset or -1 with errno set;
// reports nothing.
int64_t QioSeek(int fd, int64_t offset, int origin);

// Owns one open descriptor and closes it (untraced, unreported) when it goes
// away.  -1 means "none".
class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes ownership of fd.
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives up ownership and returns the descriptor.
  int Release();
  // Closes the owned descriptor (if any) and takes ownership of fd.
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Attempts QioScratchFile makes before giving up.
constexpr uint32_t kQioScratchAttempts = 0x800000;

// Creates (or truncates) `name` write-only with permissions 0666 masked by
// the umask, as the owner's read/write permission means on POSIX (runtime
// flags binary|create|truncate|write-only, traced as an open).  Returns the
// descriptor, or -1 after reporting errno with the file name.
int QioCreate(QError& err, const char* name);

// Reads up to len bytes at the current position (traced).  Returns the count
// read (0 at end of file); -1 after reporting errno when the read failed.
int32_t QioRead(int fd, QError& err, void* buf, uint32_t len);

// Writes len bytes at the current position (traced).  False after reporting
// a failed or short write.
bool QioWrite(int fd, QError& err, const void* buf, uint32_t len);

// Writes len bytes at offset.  False after reporting a failed seek, a failed
// write or a short write.
bool QioWriteAt(int fd, QError& err, int64_t offset, const void* buf, uint32_t len);

// Writes count zero bytes starting at offset (in chunks of at most 1024).
bool QioZeroFillAt(int fd, QError& err, int64_t offset, int64_t count);

// Appends count zero bytes at the end of the file.  Returns the old end
// offset (where the zeros start), or -1 after reporting.
int64_t QioAppendZeros(int fd, QError& err, int64_t count);

// Pads the file with zeros up to the next multiple of page_size (nothing if it
// already is one).  page_size 0 is a bad request (code 100).
bool QioAlignEnd(int fd, QError& err, uint32_t page_size);

// Stores the page checksum in the last two bytes of page (page_size >= 2,
// else code 100) and writes the page at offset.
bool QioWritePage(int fd, QError& err, int64_t offset, uint8_t* page, uint32_t page_size);

// Closes fd (traced).  False after reporting errno when close fails.
bool QioClose(int fd, QError& err);

// Creates a new scratch file "qtb.tmp.N" in the current directory, exclusive,
// read/write, permissions 0600, trying the numbers 0, 0, 1, 2, ... for at most
// max_attempts attempts while the name is taken.  The name that succeeded is
// left in name_out (which must hold it, else code 100) so the caller can
// delete it later.  Returns the descriptor, or -1 after reporting (the last
// errno with the last name tried; a failure other than "name taken" stops at
// once).
int QioScratchFile(QError& err, char* name_out, std::size_t name_size,
                   uint32_t max_attempts = kQioScratchAttempts);

// Removes the named file.  Returns 0, or -1 when it could not be removed; a
// null name traces "Q_deletefile( (null) ) = FAILED" and returns -1.
int QioDeleteFile(const char* name);

// The page checksum: the sum over i = 0 .. n-3 of page[i] << (i mod 8) in
// 32-bit arithmetic, cut to its low 16 bits.  Pages shorter than 2 bytes sum
// to 0.
uint16_t PageChecksum(const uint8_t* page, uint32_t n);

// Stores PageChecksum little-endian in the page's last two bytes (n >= 2;
// shorter pages are left alone).
void StorePageChecksum(uint8_t* page, uint32_t n);

// True when the page's last two bytes hold its checksum (false for n < 2).
bool PageChecksumValid(const uint8_t* page, uint32_t n);

#endif  // LUMETRA_STORAGE_QIO_H
