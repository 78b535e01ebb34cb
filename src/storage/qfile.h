// Qfile: the file object every object file, paged file and tree is read
// through.
#ifndef LUMETRA_STORAGE_QFILE_H
#define LUMETRA_STORAGE_QFILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "storage/qio.h"

class QError;

// A file opened either through a descriptor (access 0) or as a shared
// read-only mapping of the whole file (access 1, open mode 4), with the
// delete-on-close rule for temporary files.
//
// Ownership: the error record is not owned and must outlive the Qfile.  The
// Qfile owns its descriptor or its reference to the shared mapping and gives
// it up in Close or in the destructor (which never throws, even with a
// throwing record).  Thread rule: one thread at a time per Qfile; the
// mapping registry behind mode 4 is locked internally.
//
// Open modes: 0 read only, 1 read/write, 2 write only, 3 read/write with
// appending writes, 4 shared read-only mapping (falls back to mode 0 when the
// file cannot be mapped), any other value read only.
//
// Positions: position() is the offset of the last Seek or successful ReadAt
// (0 after open).  Mapped readers position before every Read, which never
// advances it.
//
// Usage:
//   Qfile file(err);
//   if (!file.Open("data.obj", Qfile::kModeMapped)) return false;  // reported
//   uint8_t header[536];
//   if (!file.ReadAt("Reader::Open", 0, header, sizeof header)) return false;
class Qfile {
 public:
  static constexpr int kModeRead = 0;
  static constexpr int kModeReadWrite = 1;
  static constexpr int kModeWrite = 2;
  static constexpr int kModeAppend = 3;
  static constexpr int kModeMapped = 4;

  static constexpr uint32_t kAccessDescriptor = 0;
  static constexpr uint32_t kAccessMapped = 1;

  // Longest name kept by Open (longer names are cut before use).
  static constexpr std::size_t kMaxName = 255;
  // Longest name OpenTemporary builds.
  static constexpr std::size_t kMaxTemporaryName = 511;

  // A closed file reporting into err.
  explicit Qfile(QError& err);
  // As Qfile(err), then Open(name, mode); test is_open() for the outcome.
  Qfile(QError& err, const char* name, int mode);
  ~Qfile();
  Qfile(const Qfile&) = delete;
  Qfile& operator=(const Qfile&) = delete;

  // Opens name (cut to 255 characters) in the given mode.  True at once when
  // already open.  Failures: empty or null name (code 100, "NULL file name on
  // Qfile Open"), open(2) failing (errno, detail = the name); the object stays
  // closed and reusable.
  bool Open(const char* name, int mode);

  // Creates a new scratch file "qf.tmp.rNNNNNN.sXXXXXX" (read/write, 0600) in
  // directory, or when that is null or empty in $TEMP, else $TMP, else ".".
  // The file is removed again by Close.  False after reporting errno.
  bool OpenTemporary(const char* directory);

  // Closes the file and returns the object to its constructed state; a
  // temporary file is removed.  False when the file was not open (nothing
  // reported) or when closing or removal failed (reported).
  bool Close();

  // Descriptor access: reads up to len bytes at the descriptor position.
  // Returns the count read (0 at end of file); -1 after reporting errno on a
  // read error, or code 28 when strict and fewer than len bytes arrived.
  // Mapped access: copies from the view at position() without advancing it,
  // never past the mapped size; a short copy is treated as a short read.
  int32_t Read(void* buf, uint32_t len, bool strict);

  // Reads exactly len bytes at offset and makes offset the position.  True at
  // once for len 0.  Fails (reported; code 28 for a short read, errno for a
  // failed seek) when fewer than len bytes exist there; in mapped access an
  // offset at or past the mapped size fails.  caller names the calling
  // operation (e.g. "QTree::QTree"); it does not change the behaviour.
  bool ReadAt(const char* caller, int64_t offset, void* buf, uint32_t len);

  // Sets the position (and in descriptor access the descriptor's position).
  // False, reported, for negative offsets or a failed seek.
  bool Seek(int64_t offset);

  // Writes len bytes at the descriptor position.  False, reported, for a
  // failed or short write, a closed file or a mapped file.
  bool Write(const void* buf, uint32_t len);

  // Current size of the file in bytes: the mapped size in mapped access, the
  // descriptor's file status otherwise; -1 when closed or unknown.
  int64_t Size() const;

  const char* name() const { return name_.c_str(); }
  int descriptor() const { return fd_.get(); }
  const uint8_t* mapped_view() const { return view_; }
  int64_t mapped_size() const { return mapped_size_; }
  int64_t position() const { return position_; }
  uint32_t access() const { return access_; }
  bool is_open() const { return is_open_; }
  bool is_mapped() const { return is_mapped_; }
  bool delete_on_close() const { return delete_on_close_; }
  QError& error() const { return err_; }

 private:
  bool OpenDescriptor(int mode);
  bool OpenMapped();
  bool CloseMapped();
  bool CloseDescriptor();
  int32_t ReadMapped(void* buf, uint32_t len, bool strict);
  void ResetFields();

  QError& err_;
  std::string name_;
  UniqueFd fd_;
  const uint8_t* view_ = nullptr;
  int64_t mapped_size_ = 0;
  uint64_t mapping_id_ = 0;  // the registry entry while is_mapped_
  int64_t position_ = 0;
  uint32_t access_ = kAccessDescriptor;
  bool is_open_ = false;
  bool is_mapped_ = false;
  bool delete_on_close_ = false;
};

#endif  // LUMETRA_STORAGE_QFILE_H
