// QPair, the hashers QHash / QHashLong / QHashString, the map interface QMap
// and its chained implementation QHashMap.
//
// QHashMap maps keys -- 32-bit integers, or owned strings (BString) -- to
// values that are 32-bit integers or owned objects.  It keeps an
// insertion-order list, so iteration returns the entries in the order their
// keys were first inserted, whatever growth has done to the buckets.
//
// Ownership: the map owns its entries and, through their pairs, every owned
// key and value object.  Pointers returned by the find and iteration calls
// stay valid until that entry is removed, the map is cleared or destroyed.
//
// Thread rule: a map belongs to one thread at a time.
//
// Usage:
//   QHashMap seen;                            // integer keys (QHashLong)
//   seen.Insert(QPair(position_low, 1));
//   if (seen.FindInteger(position_low) != nullptr) { ... }
//   seen.StartIteration();
//   while (QPair* pair = seen.Next()) { ... }  // insertion order
#ifndef LUMETRA_STORAGE_HASH_MAP_H
#define LUMETRA_STORAGE_HASH_MAP_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/bstring.h"

// What one half of a QPair holds.
enum class QPairKind : std::uint8_t {
  kNone = 0,     // nothing (a default-constructed or moved-from pair)
  kObject = 1,   // an owned QPairObject, deleted with the pair
  kInteger = 2,  // a u32
};

// A tagged pair of values.  Each half is a u32 or an owned object; an owned
// object is deleted through its virtual destructor when the pair dies or
// the half is replaced.  Move-only.
class QPair {
 public:
  QPair() = default;
  QPair(std::uint32_t key, std::uint32_t value);
  QPair(std::uint32_t key, std::unique_ptr<QPairObject> value);
  QPair(std::unique_ptr<QPairObject> key, std::uint32_t value);
  QPair(std::unique_ptr<QPairObject> key, std::unique_ptr<QPairObject> value);
  // Shorthand for a string key (owned BString copy of `key`, null = "").
  QPair(const char* key, std::uint32_t value);
  QPair(const char* key, std::unique_ptr<QPairObject> value);
  QPair(QPair&&) noexcept = default;
  QPair& operator=(QPair&&) noexcept = default;
  QPair(const QPair&) = delete;
  QPair& operator=(const QPair&) = delete;
  ~QPair();

  QPairKind key_kind() const { return key_.kind; }
  QPairKind value_kind() const { return value_.kind; }
  // The integer of an integer half, 0 otherwise.
  std::uint32_t key_integer() const { return key_.integer; }
  std::uint32_t value_integer() const { return value_.integer; }
  // The object of an object half, null otherwise.  Still owned by the pair.
  QPairObject* key_object() const { return key_.object.get(); }
  QPairObject* value_object() const { return value_.object.get(); }
  // The key as a string when it is an owned BString, else null.
  const BString* key_string() const;

  // Replace the value; an owned object value is deleted first.
  void SetValue(std::uint32_t value);
  void SetValue(std::unique_ptr<QPairObject> value);
  // Moves the value half of `other` into this pair.
  void TakeValueFrom(QPair& other);

 private:
  struct Half {
    void SetInteger(std::uint32_t value);
    void SetObject(std::unique_ptr<QPairObject> value);

    QPairKind kind = QPairKind::kNone;
    std::uint32_t integer = 0;
    std::unique_ptr<QPairObject> object;
  };

  Half key_;
  Half value_;
};

// Chooses the bucket of a key.  A hasher serves one key kind.
class QHash {
 public:
  virtual ~QHash();
  // The key kind this hasher accepts (kInteger or kObject for strings).
  virtual QPairKind key_kind() const = 0;
  // Bucket of an integer key; `bucket_count` is never 0.  Default: key mod
  // bucket count.
  virtual std::uint32_t HashInteger(std::uint32_t key, std::uint32_t bucket_count) const;
  // Bucket of a string key of `length` bytes.  Default: FNV-1a mod bucket
  // count.
  virtual std::uint32_t HashString(const char* text, std::size_t length,
                                   std::uint32_t bucket_count) const;
};

// Integer keys, bucket = key mod bucket count.  The default hasher.
class QHashLong : public QHash {
 public:
  QPairKind key_kind() const override { return QPairKind::kInteger; }
};

// String keys (BString objects), compared byte for byte.
class QHashString : public QHash {
 public:
  QPairKind key_kind() const override { return QPairKind::kObject; }
};

// The map interface.
class QMap {
 public:
  QMap() = default;
  QMap(const QMap&) = delete;
  QMap& operator=(const QMap&) = delete;
  virtual ~QMap();

  // Inserts the pair, or replaces the value of the entry with an equal key
  // (that entry keeps its place and the count is unchanged; the new pair's
  // key is dropped).  False when the key's kind does not suit the map.
  virtual bool Insert(QPair pair) = 0;
  // The pair with this key, or null.  Null too when the kind of key does
  // not suit the map.
  virtual QPair* FindString(const char* text, std::size_t length) = 0;
  virtual QPair* FindInteger(std::uint32_t key) = 0;
  // Removes the entry with this key, deleting its owned objects.  False
  // when there is none.
  virtual bool RemoveString(const char* text, std::size_t length) = 0;
  virtual bool RemoveInteger(std::uint32_t key) = 0;
  // Removes every entry.
  virtual void Clear() = 0;
  // Puts the iteration cursor on the first entry (the first inserted one in
  // an ordered map).
  virtual void StartIteration() = 0;
  // The pair under the cursor, advancing the cursor; null at the end.
  virtual QPair* Next() = 0;

  // NUL-terminated shorthands of the string operations (null = "").
  QPair* FindString(const char* text);
  bool RemoveString(const char* text);
};

// A chained hash map with an insertion-order list.
//
// Buckets start at 29 with a grow threshold of 145 entries.  When the count
// reaches the threshold the bucket array grows along kGrowthTable (the first
// growth picks the first size at least twice the threshold, so 29 -> 401;
// each later growth takes the next size) and the threshold becomes the new
// bucket count; at 819229 buckets the map stops growing.  A growth whose
// allocation fails keeps the old buckets; a map whose first allocation
// failed has no buckets, refuses inserts and finds nothing.
class QHashMap : public QMap {
 public:
  static constexpr std::uint32_t kInitialBuckets = 29;
  static constexpr std::uint32_t kInitialThreshold = 145;
  static constexpr int kGrowthSteps = 15;
  static constexpr std::uint32_t kGrowthTable[kGrowthSteps] = {
      53,    101,   211,   401,    809,    1601,   3203,  6421,
      12809, 25601, 51203, 102407, 204803, 409609, 819229};

  // `hasher` null gives a QHashLong (integer keys).  `ordered` makes
  // iteration follow insertion order; without it iteration runs in bucket
  // order.  Either way entries are deleted in insertion order.
  explicit QHashMap(std::unique_ptr<QHash> hasher = nullptr, bool ordered = true);
  // Deletes all entries in insertion order, then the buckets and hasher.
  ~QHashMap() override;

  bool Insert(QPair pair) override;
  QPair* FindString(const char* text, std::size_t length) override;
  QPair* FindInteger(std::uint32_t key) override;
  bool RemoveString(const char* text, std::size_t length) override;
  bool RemoveInteger(std::uint32_t key) override;
  void Clear() override;
  void StartIteration() override;
  QPair* Next() override;
  using QMap::FindString;
  using QMap::RemoveString;

  std::uint32_t count() const { return count_; }
  std::uint32_t bucket_count() const { return static_cast<std::uint32_t>(buckets_.size()); }
  std::uint32_t grow_threshold() const { return grow_threshold_; }
  // Index into kGrowthTable of the current size; -1 before the first growth.
  int size_step() const { return size_step_; }
  bool ordered() const { return ordered_; }
  QPairKind key_kind() const { return hasher_->key_kind(); }

  // Makes every bucket allocation of more than `max_buckets` buckets fail
  // on this thread (0 lifts the limit), to exercise the allocation-failure
  // paths.
  static void SetBucketLimitForTest(std::size_t max_buckets);

 private:
  struct Entry;
  // A lookup key: an integer, or a string of `length` bytes.
  struct Key {
    bool is_string;
    std::uint32_t integer;
    const char* text;
    std::size_t length;
  };

  static bool AllocateBuckets(std::size_t count, std::vector<std::unique_ptr<Entry>>* out);
  bool KeyOf(const QPair& pair, Key* key) const;
  bool Suits(const Key& key) const;
  std::uint32_t BucketOf(const Key& key, std::size_t bucket_count) const;
  static bool KeyEquals(const Entry& entry, const Key& key);
  Entry* FindEntry(const Key& key) const;
  QPair* FindPair(const Key& key);
  bool Remove(const Key& key);
  void DestroyEntry(Entry* entry);
  void GrowIfNeeded();
  void Rehash(std::vector<std::unique_ptr<Entry>>* new_buckets);
  Entry* FirstInBucketOrder(std::size_t from_bucket) const;
  Entry* NextInBucketOrder(const Entry* entry) const;

  std::unique_ptr<QHash> hasher_;
  std::vector<std::unique_ptr<Entry>> buckets_;
  std::uint32_t count_ = 0;
  std::uint32_t grow_threshold_ = kInitialThreshold;
  int size_step_ = -1;
  bool ordered_;
  Entry* first_ = nullptr;  // insertion-order list
  Entry* last_ = nullptr;
  Entry* cursor_ = nullptr;
};

#endif  // LUMETRA_STORAGE_HASH_MAP_H
