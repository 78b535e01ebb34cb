#include "storage/mapping_registry.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "fault_injection.h"
#include "frame/error.h"
#include "storage/qio.h"

namespace lumetra {

namespace {

// Reports code 100 with the system's message for the current errno.
bool ReportSystem(QError& err, const char* source_file, int line) {
  err.Set(100, std::strerror(errno), source_file, line);
  return false;
}

}  // namespace

MappedRegion::~MappedRegion() { Unmap(); }

MappedRegion::MappedRegion(MappedRegion&& other) noexcept : data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
  other.size_ = 0;
}

MappedRegion& MappedRegion::operator=(MappedRegion&& other) noexcept {
  if (this != &other) {
    Unmap();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void MappedRegion::Unmap() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
}

MappingRegistry& MappingRegistry::Instance() {
  static MappingRegistry registry;
  return registry;
}

bool MappingRegistry::FullPathKey(const char* name, std::string* key) {
  if (name == nullptr || *name == '\0') {
    errno = ENOENT;
    return false;
  }
  char buf[PATH_MAX];
  if (::realpath(name, buf) == nullptr) return false;
  if (std::strlen(buf) > kMaxPath) {
    errno = ENAMETOOLONG;
    return false;
  }
  key->assign(buf);
  std::replace(key->begin(), key->end(), '\\', '/');
  return true;
}

namespace {

MappingRegistry::Identity IdentityOf(const struct stat& st) {
  MappingRegistry::Identity id;
  id.device = static_cast<uint64_t>(st.st_dev);
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.size = static_cast<int64_t>(st.st_size);
  id.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return id;
}

}  // namespace

bool MappingRegistry::CurrentIdentity(const std::string& path, Identity* identity) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  *identity = IdentityOf(st);
  return true;
}

// Maps the whole file read-only.  The descriptor is only needed while the
// mapping is made; the mapping itself keeps the file's pages reachable.
bool MappingRegistry::MapFile(const std::string& path, QError& err, Identity* identity,
                              MappedRegion* region) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return ReportSystem(err, QERR_HERE);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return ReportSystem(err, QERR_HERE);
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return ReportSystem(err, QERR_HERE);
  }
  *identity = IdentityOf(st);
  if (st.st_size == 0) {
    *region = MappedRegion();  // nothing to map; an empty view
    return true;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  void* data = FaultInjected(FaultSite::kMap)
                   ? MAP_FAILED
                   : ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd.get(), 0);
  if (data == MAP_FAILED) return ReportSystem(err, QERR_HERE);
  ::posix_madvise(data, size, POSIX_MADV_RANDOM);
  *region = MappedRegion(static_cast<const uint8_t*>(data), size);
  return true;
}

bool MappingRegistry::Acquire(const char* name, QError& err, View* view) {
  SyncLock guard(lock_);
  std::string path;
  Identity current;
  if (!FullPathKey(name, &path) || !CurrentIdentity(path, &current)) {
    return ReportSystem(err, QERR_HERE);
  }
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const Entry& e) { return e.path == path && e.identity == current; });
  if (it == entries_.end()) {
    Entry entry;
    if (!MapFile(path, err, &entry.identity, &entry.region)) return false;
    entry.id = next_id_++;
    entry.path = path;
    entries_.push_front(std::move(entry));
    it = entries_.begin();
  }
  ++it->references;
  view->id = it->id;
  view->data = it->region.data();
  view->size = static_cast<int64_t>(it->region.size());
  return true;
}

bool MappingRegistry::Release(uint64_t view_id) {
  SyncLock guard(lock_);
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [view_id](const Entry& e) { return e.id == view_id; });
  if (it == entries_.end()) return false;
  if (--it->references == 0) entries_.erase(it);
  return true;
}

std::size_t MappingRegistry::EntryCountForTest() {
  SyncLock guard(lock_);
  return entries_.size();
}

uint32_t MappingRegistry::ReferenceCountForTest(const char* name) {
  std::string path;
  if (!FullPathKey(name, &path)) return 0;
  SyncLock guard(lock_);
  uint32_t references = 0;
  for (const Entry& e : entries_) {
    if (e.path == path) references += e.references;
  }
  return references;
}

}  // namespace lumetra
