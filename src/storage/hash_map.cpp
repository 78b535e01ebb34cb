#include "storage/hash_map.h"

#include <cstring>
#include <new>
#include <utility>

// ---- QPair ------------------------------------------------------------------

void QPair::Half::SetInteger(std::uint32_t value) {
  object.reset();
  kind = QPairKind::kInteger;
  integer = value;
}

void QPair::Half::SetObject(std::unique_ptr<QPairObject> value) {
  object = std::move(value);  // the old object, if any, is deleted here
  integer = 0;
  kind = QPairKind::kObject;
}

QPair::QPair(std::uint32_t key, std::uint32_t value) {
  key_.SetInteger(key);
  value_.SetInteger(value);
}

QPair::QPair(std::uint32_t key, std::unique_ptr<QPairObject> value) {
  key_.SetInteger(key);
  value_.SetObject(std::move(value));
}

QPair::QPair(std::unique_ptr<QPairObject> key, std::uint32_t value) {
  key_.SetObject(std::move(key));
  value_.SetInteger(value);
}

QPair::QPair(std::unique_ptr<QPairObject> key, std::unique_ptr<QPairObject> value) {
  key_.SetObject(std::move(key));
  value_.SetObject(std::move(value));
}

QPair::QPair(const char* key, std::uint32_t value)
    : QPair(std::unique_ptr<QPairObject>(std::make_unique<BString>(key)), value) {}

QPair::QPair(const char* key, std::unique_ptr<QPairObject> value)
    : QPair(std::unique_ptr<QPairObject>(std::make_unique<BString>(key)), std::move(value)) {}

QPair::~QPair() = default;

const BString* QPair::key_string() const { return dynamic_cast<const BString*>(key_.object.get()); }

void QPair::SetValue(std::uint32_t value) { value_.SetInteger(value); }

void QPair::SetValue(std::unique_ptr<QPairObject> value) { value_.SetObject(std::move(value)); }

void QPair::TakeValueFrom(QPair& other) {
  if (&other == this) return;
  value_.object.reset();
  value_ = std::move(other.value_);
  other.value_ = Half();
}

// ---- Hashers and QMap ---------------------------------------------------------

QHash::~QHash() = default;

std::uint32_t QHash::HashInteger(std::uint32_t key, std::uint32_t bucket_count) const {
  return key % bucket_count;
}

std::uint32_t QHash::HashString(const char* text, std::size_t length,
                                std::uint32_t bucket_count) const {
  std::uint32_t hash = 2166136261u;  // FNV-1a, 32 bits
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(text[i]);
    hash *= 16777619u;
  }
  return hash % bucket_count;
}

QMap::~QMap() = default;

QPair* QMap::FindString(const char* text) {
  return FindString(text == nullptr ? "" : text, text == nullptr ? 0 : std::strlen(text));
}

bool QMap::RemoveString(const char* text) {
  return RemoveString(text == nullptr ? "" : text, text == nullptr ? 0 : std::strlen(text));
}

// ---- QHashMap -------------------------------------------------------------------

struct QHashMap::Entry {
  explicit Entry(QPair p) : pair(std::move(p)) {}

  std::unique_ptr<Entry> next_in_bucket;  // the bucket chain owns its entries
  QPair pair;
  Entry* previous_in_order = nullptr;
  Entry* next_in_order = nullptr;
};

constexpr std::uint32_t QHashMap::kGrowthTable[QHashMap::kGrowthSteps];

namespace {
thread_local std::size_t bucket_limit_for_test = 0;
}  // namespace

void QHashMap::SetBucketLimitForTest(std::size_t max_buckets) {
  bucket_limit_for_test = max_buckets;
}

QHashMap::QHashMap(std::unique_ptr<QHash> hasher, bool ordered)
    : hasher_(std::move(hasher)), ordered_(ordered) {
  if (hasher_ == nullptr) hasher_ = std::make_unique<QHashLong>();
  AllocateBuckets(kInitialBuckets, &buckets_);  // failure leaves no buckets
}

QHashMap::~QHashMap() { Clear(); }

bool QHashMap::AllocateBuckets(std::size_t count, std::vector<std::unique_ptr<Entry>>* out) {
  if (bucket_limit_for_test != 0 && count > bucket_limit_for_test) return false;
  try {
    std::vector<std::unique_ptr<Entry>> buckets(count);
    *out = std::move(buckets);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool QHashMap::KeyOf(const QPair& pair, Key* key) const {
  if (pair.key_kind() == QPairKind::kInteger) {
    *key = Key{false, pair.key_integer(), nullptr, 0};
    return true;
  }
  const BString* text = pair.key_string();
  if (text == nullptr) return false;
  *key = Key{true, 0, text->c_str(), text->length()};
  return true;
}

bool QHashMap::Suits(const Key& key) const {
  const QPairKind wanted = key.is_string ? QPairKind::kObject : QPairKind::kInteger;
  return !buckets_.empty() && hasher_->key_kind() == wanted;
}

std::uint32_t QHashMap::BucketOf(const Key& key, std::size_t bucket_count) const {
  const auto count = static_cast<std::uint32_t>(bucket_count);
  const std::uint32_t bucket = key.is_string ? hasher_->HashString(key.text, key.length, count)
                                             : hasher_->HashInteger(key.integer, count);
  return bucket < count ? bucket : bucket % count;  // guards a careless hasher
}

bool QHashMap::KeyEquals(const Entry& entry, const Key& key) {
  if (!key.is_string) {
    return entry.pair.key_kind() == QPairKind::kInteger && entry.pair.key_integer() == key.integer;
  }
  const BString* text = entry.pair.key_string();
  return text != nullptr && text->Equals(key.text, key.length);
}

QHashMap::Entry* QHashMap::FindEntry(const Key& key) const {
  if (!Suits(key)) return nullptr;
  for (Entry* entry = buckets_[BucketOf(key, buckets_.size())].get(); entry != nullptr;
       entry = entry->next_in_bucket.get()) {
    if (KeyEquals(*entry, key)) return entry;
  }
  return nullptr;
}

QPair* QHashMap::FindPair(const Key& key) {
  Entry* entry = FindEntry(key);
  return entry == nullptr ? nullptr : &entry->pair;
}

bool QHashMap::Insert(QPair pair) {
  Key key;
  if (!KeyOf(pair, &key) || !Suits(key)) return false;
  if (Entry* existing = FindEntry(key)) {
    existing->pair.TakeValueFrom(pair);
    return true;
  }
  const std::uint32_t bucket = BucketOf(key, buckets_.size());
  auto entry = std::make_unique<Entry>(std::move(pair));
  Entry* added = entry.get();
  entry->next_in_bucket = std::move(buckets_[bucket]);
  buckets_[bucket] = std::move(entry);
  added->previous_in_order = last_;
  if (last_ != nullptr)
    last_->next_in_order = added;
  else
    first_ = added;
  last_ = added;
  ++count_;
  GrowIfNeeded();
  return true;
}

void QHashMap::GrowIfNeeded() {
  if (count_ < grow_threshold_) return;
  int step = size_step_ + 1;
  if (size_step_ < 0) {
    step = 0;
    while (step < kGrowthSteps && kGrowthTable[step] < 2 * grow_threshold_) ++step;
  }
  if (step >= kGrowthSteps) return;  // at the largest size: no more growth
  std::vector<std::unique_ptr<Entry>> bigger;
  if (!AllocateBuckets(kGrowthTable[step], &bigger)) return;  // keep the old size
  Rehash(&bigger);
  buckets_ = std::move(bigger);
  size_step_ = step;
  grow_threshold_ = kGrowthTable[step];
}

void QHashMap::Rehash(std::vector<std::unique_ptr<Entry>>* new_buckets) {
  for (std::unique_ptr<Entry>& head : buckets_) {
    while (head != nullptr) {
      std::unique_ptr<Entry> entry = std::move(head);
      head = std::move(entry->next_in_bucket);
      Key key;
      KeyOf(entry->pair, &key);
      std::unique_ptr<Entry>& target = (*new_buckets)[BucketOf(key, new_buckets->size())];
      entry->next_in_bucket = std::move(target);
      target = std::move(entry);
    }
  }
}

QPair* QHashMap::FindString(const char* text, std::size_t length) {
  if (text == nullptr) length = 0;
  return FindPair(Key{true, 0, text == nullptr ? "" : text, length});
}

QPair* QHashMap::FindInteger(std::uint32_t key) { return FindPair(Key{false, key, nullptr, 0}); }

bool QHashMap::RemoveString(const char* text, std::size_t length) {
  if (text == nullptr) length = 0;
  return Remove(Key{true, 0, text == nullptr ? "" : text, length});
}

bool QHashMap::RemoveInteger(std::uint32_t key) { return Remove(Key{false, key, nullptr, 0}); }

bool QHashMap::Remove(const Key& key) {
  Entry* entry = FindEntry(key);
  if (entry == nullptr) return false;
  DestroyEntry(entry);
  return true;
}

void QHashMap::DestroyEntry(Entry* entry) {
  if (cursor_ == entry) {
    cursor_ = ordered_ ? entry->next_in_order : NextInBucketOrder(entry);
  }
  if (entry->previous_in_order != nullptr) {
    entry->previous_in_order->next_in_order = entry->next_in_order;
  } else {
    first_ = entry->next_in_order;
  }
  if (entry->next_in_order != nullptr) {
    entry->next_in_order->previous_in_order = entry->previous_in_order;
  } else {
    last_ = entry->previous_in_order;
  }
  Key key;
  KeyOf(entry->pair, &key);
  std::unique_ptr<Entry>* link = &buckets_[BucketOf(key, buckets_.size())];
  while (link->get() != entry) link = &(*link)->next_in_bucket;
  std::unique_ptr<Entry> doomed = std::move(*link);
  *link = std::move(doomed->next_in_bucket);
  --count_;
  // `doomed` goes here, with the pair's owned key and value objects.
}

void QHashMap::Clear() {
  // Entries die in insertion order, so owned objects see a predictable
  // destruction sequence.
  while (first_ != nullptr) DestroyEntry(first_);
  cursor_ = nullptr;
}

void QHashMap::StartIteration() { cursor_ = ordered_ ? first_ : FirstInBucketOrder(0); }

QPair* QHashMap::Next() {
  Entry* entry = cursor_;
  if (entry == nullptr) return nullptr;
  cursor_ = ordered_ ? entry->next_in_order : NextInBucketOrder(entry);
  return &entry->pair;
}

QHashMap::Entry* QHashMap::FirstInBucketOrder(std::size_t from_bucket) const {
  for (std::size_t i = from_bucket; i < buckets_.size(); ++i) {
    if (buckets_[i] != nullptr) return buckets_[i].get();
  }
  return nullptr;
}

QHashMap::Entry* QHashMap::NextInBucketOrder(const Entry* entry) const {
  if (entry->next_in_bucket != nullptr) return entry->next_in_bucket.get();
  Key key;
  KeyOf(entry->pair, &key);
  return FirstInBucketOrder(BucketOf(key, buckets_.size()) + 1);
}
