// The process-wide registry of shared read-only file mappings behind Qfile's
// mode 4: every Qfile in the process that maps the same file shares one view.
#ifndef LUMETRA_STORAGE_MAPPING_REGISTRY_H
#define LUMETRA_STORAGE_MAPPING_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>

#include "frame/sync.h"

class QError;

namespace lumetra {

// Owns a read-only mapping of a whole file (munmap on destruction).  An empty
// file has no mapping: data() is null and size() 0.
class MappedRegion {
 public:
  MappedRegion() = default;
  // Takes ownership of the mapping [data, data + size).
  MappedRegion(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  ~MappedRegion();
  MappedRegion(MappedRegion&& other) noexcept;
  MappedRegion& operator=(MappedRegion&& other) noexcept;
  MappedRegion(const MappedRegion&) = delete;
  MappedRegion& operator=(const MappedRegion&) = delete;

  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void Unmap();

  const uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// Entries are keyed by the file's full path (symbolic links resolved,
// backslashes turned into '/') and reference counted: the first Acquire of a
// path maps the file, later ones share the view, and the last Release unmaps
// it.  The view covers the file as it was when it was mapped; a file that has
// since been replaced or has changed size or modification time gets a fresh
// entry instead of the stale view (the old entry lives on for its holders).
//
// Thread rule: all operations run under the registry's own process-wide lock.
// Lifetime: a function-local static; views stay valid until their last
// Release.
class MappingRegistry {
 public:
  // Longest full path accepted (the path buffer holds 1024 characters).
  static constexpr std::size_t kMaxPath = 1023;

  struct View {
    uint64_t id = 0;                // what Release takes; 0 = none
    const uint8_t* data = nullptr;  // null for an empty file
    int64_t size = 0;               // bytes in the view
  };

  // What tells one version of a file from another: device, inode, size and
  // modification time.
  struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtime_ns = 0;
    bool operator==(const Identity& o) const {
      return device == o.device && inode == o.inode && size == o.size && mtime_ns == o.mtime_ns;
    }
  };

  static MappingRegistry& Instance();

  MappingRegistry(const MappingRegistry&) = delete;
  MappingRegistry& operator=(const MappingRegistry&) = delete;

  // Maps name (or shares its existing mapping) and adds one reference.
  // Failures report code 100 with the system's message text and leave no
  // entry behind.
  bool Acquire(const char* name, QError& err, View* view);

  // Drops one reference of the entry view_id names; the last one unmaps it.
  // False when no entry has that id.
  bool Release(uint64_t view_id);

  // Number of entries, and the summed reference count of the entries for
  // name's full path (0 when there is none or name cannot be resolved).
  std::size_t EntryCountForTest();
  uint32_t ReferenceCountForTest(const char* name);

  // The registry key for name: its full path with '\' turned into '/'.  False
  // (errno set, ENAMETOOLONG for paths over kMaxPath) when it cannot be found.
  static bool FullPathKey(const char* name, std::string* key);

 private:
  struct Entry {
    uint64_t id = 0;
    std::string path;
    Identity identity;
    MappedRegion region;
    uint32_t references = 0;
  };

  MappingRegistry() = default;
  static bool MapFile(const std::string& path, QError& err, Identity* identity,
                      MappedRegion* region);
  static bool CurrentIdentity(const std::string& path, Identity* identity);

  CSynchronization lock_;
  std::list<Entry> entries_;  // most recently mapped first
  uint64_t next_id_ = 1;
};

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_MAPPING_REGISTRY_H
