#include "datalib/dl_file.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/paged_file.h"
#include "storage/qfile.h"
#include "storage/record_mgr.h"
#include "storage/tree_page.h"

namespace fmt = lumetra::dlformat;
using lumetra::GetU16;
using lumetra::GetU32;
using lumetra::GetU64;

namespace {

constexpr int kBadRequestCode = 100;
constexpr int kCorruptCode = 111;
// Numeric keys hold at most 12 characters: -99999999999 ... 999999999999.
constexpr std::int64_t kNumericKeyLimit = 1000000000000LL;

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

bool IsAlnum(int c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int Sign(std::int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

// ---- DLFilePage ----------------------------------------------------------------------

DLFilePage::DLFilePage() : QIndexedFilePage(/*copy_pages=*/true) {}

void DLFilePage::SetBlocks(std::uint32_t text_blocks, std::uint32_t numeric_blocks) {
  text_blocks_ = text_blocks;
  numeric_blocks_ = numeric_blocks;
  blocks_known_ = true;
  blocks_ready_ = false;
  columns_.assign(numeric_blocks, lumetra::ColumnReader());
}

void DLFilePage::SetPageRange(std::uint32_t first_page, std::uint32_t page_limit) {
  first_page_ = first_page;
  page_limit_ = page_limit;
}

bool DLFilePage::Corrupt(QError& err, const char* what) {
  err.SetF(kCorruptCode, QERR_HERE, "Data page %u of the data library file is corrupt: %s",
           static_cast<unsigned>(page_number()), what);
  blocks_ready_ = false;
  return false;
}

bool DLFilePage::Load(QRecordMgr& pages, std::uint32_t page_number, QError& err) {
  // The view keeps its own copy of a checked page and the file never
  // changes: the page in the view serves until another one is needed.
  if (blocks_ready_ && loaded() && this->page_number() == page_number) return true;
  blocks_ready_ = false;
  if (page_number < first_page_ || page_number >= page_limit_) {
    err.SetF(kCorruptCode, QERR_HERE, "Page %u of %s is not a data page (data pages %u to %u)",
             static_cast<unsigned>(page_number), pages.label(), static_cast<unsigned>(first_page_),
             static_cast<unsigned>(page_limit_ - 1));
    return false;
  }
  if (!QIndexedFilePage::Load(pages, page_number, err)) return false;
  if (!blocks_known_) return true;
  return CheckBlocks(err);
}

// The offset table lies between the page head and the records and names
// blocks that lie there too, in ascending order; every string heap's
// offsets stay inside its block.  Checked once per load, so reads need
// only compare an entry with the record count.
bool DLFilePage::CheckBlocks(QError& err) {
  const std::uint64_t blocks = std::uint64_t{text_blocks_} + numeric_blocks_;
  const std::uint64_t records_start = record_area_end() - std::uint64_t{count()} * record_size();
  const std::uint64_t table_size = (blocks + 1) * fmt::kOffsetEntrySize;
  if (fmt::kPayloadStart + table_size > records_start) {
    return Corrupt(err, "the offset table overlaps the records");
  }
  block_begin_.assign(blocks + 1, 0);
  std::uint64_t previous = table_size;
  for (std::uint64_t k = 0; k <= blocks; ++k) {
    const std::uint64_t offset = GetU32(data() + fmt::kPayloadStart + k * fmt::kOffsetEntrySize);
    if (offset < previous || fmt::kPayloadStart + offset > records_start) {
      return Corrupt(err, "a block offset lies outside the payload or out of order");
    }
    previous = offset;
    block_begin_[k] = static_cast<std::uint32_t>(fmt::kPayloadStart + offset);
  }
  for (std::uint32_t b = 0; b < text_blocks_; ++b) {
    if (!CheckHeap(b, err)) return false;
  }
  for (std::uint32_t j = 0; j < numeric_blocks_; ++j) {
    const std::uint32_t k = text_blocks_ + j;
    if (!columns_[j].Open(data() + block_begin_[k], block_begin_[k + 1] - block_begin_[k],
                          count())) {
      return Corrupt(err, columns_[j].error());
    }
  }
  blocks_ready_ = true;
  return true;
}

bool DLFilePage::CheckHeap(std::uint32_t block, QError& err) {
  const std::uint8_t* heap = data() + block_begin_[block];
  const std::uint64_t size = block_begin_[block + 1] - block_begin_[block];
  const std::uint64_t table = (std::uint64_t{count()} + 1) * fmt::kHeapOffsetSize;
  if (table > size) return Corrupt(err, "a string heap is shorter than its offsets");
  std::uint32_t previous = static_cast<std::uint32_t>(table);
  for (std::uint32_t i = 0; i <= count(); ++i) {
    const std::uint32_t offset = GetU16(heap + i * fmt::kHeapOffsetSize);
    if (offset < previous || offset > size) {
      return Corrupt(err, "a string heap offset lies outside its block or out of order");
    }
    previous = offset;
  }
  return true;
}

int DLFilePage::Compare(const void* a, const void* b) const {
  return DLFile::CompareKeys(key_type_, a, b);
}

bool DLFilePage::Text(std::uint32_t block, std::uint32_t entry, std::string* text,
                      QError& err) const {
  if (!blocks_ready_ || block >= text_blocks_ || entry >= count()) {
    err.SetF(kBadRequestCode, QERR_HERE, "Text entry %u of block %u is not on data page %u",
             static_cast<unsigned>(entry), static_cast<unsigned>(block),
             static_cast<unsigned>(page_number()));
    return false;
  }
  const std::uint8_t* heap = data() + block_begin_[block];
  const std::uint32_t begin = GetU16(heap + entry * fmt::kHeapOffsetSize);
  const std::uint32_t end = GetU16(heap + (entry + 1) * fmt::kHeapOffsetSize);
  text->assign(reinterpret_cast<const char*>(heap) + begin, end - begin);
  return true;
}

bool DLFilePage::Number(std::uint32_t block, std::uint32_t entry, std::int32_t* value,
                        QError& err) {
  if (!blocks_ready_ || block >= numeric_blocks_ || entry >= count()) {
    err.SetF(kBadRequestCode, QERR_HERE, "Numeric entry %u of block %u is not on data page %u",
             static_cast<unsigned>(entry), static_cast<unsigned>(block),
             static_cast<unsigned>(page_number()));
    return false;
  }
  if (!columns_[block].Get(entry, value)) {
    err.SetF(kCorruptCode, QERR_HERE, "Numeric block %u of data page %u is corrupt: %s",
             static_cast<unsigned>(block), static_cast<unsigned>(page_number()),
             columns_[block].error());
    // A failed reader stays failed until reopened: reload the page next time.
    blocks_ready_ = false;
    return false;
  }
  return true;
}

// ---- DLFile --------------------------------------------------------------------------

DLFile::DLFile(const char* name, QError* err)
    : QIndexedFile(name, fmt::kKind, fmt::kCacheSlots, std::make_unique<DLFilePage>(), err),
      page_(static_cast<DLFilePage*>(page_view())) {}

bool DLFile::Open() {
  if (!ready()) return false;
  const char* name = paged_file()->file().name();
  if (key_length() != fmt::kKeyLength || value_length() != fmt::kValueLength) {
    error().SetF(kCorruptCode, QERR_HERE,
                 "%s: %u-byte keys and %u-byte values, expected 12-byte keys and 8-byte values",
                 name, static_cast<unsigned>(key_length()), static_cast<unsigned>(value_length()));
    return false;
  }
  if (paged_file()->header_page_size() < fmt::kTreeRootOffset + 8 + 2) {
    error().SetF(kCorruptCode, QERR_HERE, "%s: header page too small", name);
    return false;
  }
  tree_root_ = GetU64(paged_file()->header_page() + fmt::kTreeRootOffset);
  const std::uint8_t* page = paged_file()->record_mgr()->GetPage(fmt::kDefinitionPage);
  if (page == nullptr) return false;
  if (!definition_.DecodeFrom(page, paged_file()->page_size()) ||
      definition_.version != fmt::kDefinitionVersion ||
      (definition_.key_type != fmt::kTextKey && definition_.key_type != fmt::kNumericKey)) {
    error().SetF(kCorruptCode, QERR_HERE, "%s: the definition header is corrupt", name);
    return false;
  }
  page_->set_key_type(definition_.key_type);
  page_->SetPageRange(fmt::kFirstDataPage, paged_file()->page_count());
  return OpenTree(tree_root_);
}

void DLFile::SetBlocks(std::uint32_t text_blocks, std::uint32_t numeric_blocks) {
  page_->SetBlocks(text_blocks, numeric_blocks);
}

int DLFile::Compare(const void* a, const void* b) const {
  return CompareKeys(definition_.key_type, a, b);
}

bool DLFile::Locator(std::uint32_t id, std::uint32_t* locator) {
  std::uint8_t value[fmt::kValueLength];
  if (!Get(id, nullptr, value)) return false;
  *locator = GetU32(value);
  return true;
}

bool DLFile::LoadLocatorPage(std::uint32_t locator, std::uint32_t* entry) {
  const std::uint32_t page_number = fmt::LocatorPage(locator);
  if (!(page_->loaded() && page_->blocks_ready() && page_->page_number() == page_number)) {
    if (!ready() || !page_->Load(*paged_file()->record_mgr(), page_number, error())) return false;
    if (!page_->blocks_ready()) {
      error().SetF(kCorruptCode, QERR_HERE, "%s: data page %u has no field blocks",
                   paged_file()->file().name(), static_cast<unsigned>(page_number));
      return false;
    }
  }
  *entry = fmt::LocatorEntry(locator);
  if (*entry >= page_->count()) {
    error().SetF(kBadRequestCode, QERR_HERE, "Record locator %08X names no record of %s",
                 static_cast<unsigned>(locator), paged_file()->file().name());
    return false;
  }
  return true;
}

bool DLFile::ReadText(std::uint32_t locator, std::uint32_t block, std::string* text) {
  std::uint32_t entry = 0;
  return LoadLocatorPage(locator, &entry) && page_->Text(block, entry, text, error());
}

bool DLFile::ReadNumber(std::uint32_t locator, std::uint32_t block, std::int32_t* value) {
  std::uint32_t entry = 0;
  return LoadLocatorPage(locator, &entry) && page_->Number(block, entry, value, error());
}

// ---- Keys ----------------------------------------------------------------------------

int DLFile::CompareKeys(char key_type, const void* a, const void* b) {
  return key_type == fmt::kNumericKey ? CompareNumber(a, b) : CompareText(a, b);
}

int DLFile::CompareText(const void* a, const void* b) {
  return lumetra::CompareNameKeys(a, b, fmt::kKeyLength);
}

int DLFile::CompareNumber(const void* a, const void* b) {
  const std::int64_t x = KeyNumber(static_cast<const std::uint8_t*>(a));
  const std::int64_t y = KeyNumber(static_cast<const std::uint8_t*>(b));
  return Sign(x - y);
}

std::int64_t DLFile::KeyNumber(const std::uint8_t* key) {
  std::uint32_t i = 0;
  while (i < fmt::kKeyLength && key[i] == ' ') ++i;
  bool negative = false;
  if (i < fmt::kKeyLength && (key[i] == '-' || key[i] == '+')) negative = key[i++] == '-';
  std::int64_t value = 0;
  for (; i < fmt::kKeyLength && IsDigit(key[i]); ++i) value = value * 10 + (key[i] - '0');
  return negative ? -value : value;
}

bool DLFile::NumberKey(std::int64_t number, std::uint8_t* key) {
  if (number >= kNumericKeyLimit || number <= -kNumericKeyLimit / 10) return false;
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
  if (n < 0 || n > static_cast<int>(fmt::kKeyLength)) return false;
  std::memset(key, 0, fmt::kKeyLength);
  std::memcpy(key, text, static_cast<std::size_t>(n));
  return true;
}

void DLFile::TextKey(const std::string& text, std::uint8_t* key) {
  std::memset(key, 0, fmt::kKeyLength);
  const std::size_t n = text.size() < fmt::kKeyLength ? text.size() : fmt::kKeyLength;
  std::memcpy(key, text.data(), n);
}

std::string DLFile::CleanKey(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (IsAlnum(static_cast<unsigned char>(c))) out.push_back(c);
  }
  return out;
}

bool DLFile::MakeSearchKey(char key_type, bool cleaned, const char* text, std::uint8_t* key) {
  if (key_type != fmt::kNumericKey) {
    TextKey(cleaned ? CleanKey(text) : std::string(text), key);
    return true;
  }
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  std::int64_t value = 0;
  for (; IsDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value >= kNumericKeyLimit) return false;
  }
  return NumberKey(negative ? -value : value, key);
}
