// QDlistObject / QDlist: an intrusive, circular, doubly linked list with a
// sentinel element, and QLRUObject, the element kind of lists kept in
// most-recently-used order.
//
// An element carries its own links, so putting it on a list, moving it to the
// front and taking it off never allocate.  A list does not own its elements:
// whoever created an element keeps it alive (typically in a
// std::unique_ptr) and an element that is destroyed while linked takes itself
// off its list first.  An element is on at most one list at a time.
//
// Thread rule: a list and its elements belong to one thread at a time.
//
// Usage:
//   struct Slot : QLRUObject { ... bool Matches(const void* key) const override; };
//   QDlist lru("pages");
//   lru.PushBack(slot.get());
//   QDlistObject* hit = lru.Find(&page_number);
//   if (hit != nullptr) lru.MoveToFront(hit);
#ifndef LUMETRA_STORAGE_DLIST_H
#define LUMETRA_STORAGE_DLIST_H

#include <cstddef>

class QDlist;

// One element of a QDlist.  The virtual operations steer QDlist::Find.
class QDlistObject {
 public:
  QDlistObject() = default;
  QDlistObject(const QDlistObject&) = delete;
  QDlistObject& operator=(const QDlistObject&) = delete;
  // Takes the element off its list when it is still linked.
  virtual ~QDlistObject();

  // True when this element is the one `key` names.  Default: false.
  virtual bool Matches(const void* key) const;
  // False stops a Find at this element with no result.  Default: true.
  virtual bool KeepSearching() const;
  // A further yes/no property a derived kind may answer.  Default: false.
  virtual bool Predicate() const;

  // The neighbours on the list; null when not linked or at either end.
  QDlistObject* next() const;
  QDlistObject* previous() const;
  bool linked() const { return next_ != nullptr; }

  // Takes the element off its list; does nothing when it is not linked.
  void Unlink();

 private:
  friend class QDlist;

  QDlistObject* next_ = nullptr;
  QDlistObject* previous_ = nullptr;
  QDlist* list_ = nullptr;
};

// The element kind of lists ordered most recently used first.  It adds no
// state; the order is kept by the list's owner (MoveToFront on every use,
// eviction from Last()).
class QLRUObject : public QDlistObject {};

// The list head: a sentinel element (its own next and previous while empty)
// and a label of up to 8 characters ("*UNKNOWN" when none is given).
class QDlist {
 public:
  static constexpr std::size_t kLabelLength = 8;
  static constexpr const char* kDefaultLabel = "*UNKNOWN";

  // `label` is copied, cut to 8 characters; null or empty gives "*UNKNOWN".
  explicit QDlist(const char* label = nullptr);
  QDlist(const QDlist&) = delete;
  QDlist& operator=(const QDlist&) = delete;
  // Unlinks every element left on the list (it does not destroy them).
  ~QDlist();

  const char* label() const { return label_; }
  bool empty() const { return sentinel_.next_ == &sentinel_; }
  std::size_t size() const { return size_; }

  // First and last element, or null when the list is empty.
  QDlistObject* First() const;
  QDlistObject* Last() const;

  // Link `element` at the front / back.  An element still on a list (this
  // one or another) is taken off it first.  Null is ignored.
  void PushFront(QDlistObject* element);
  void PushBack(QDlistObject* element);
  // Moves an element of this list to the front; other elements are ignored.
  void MoveToFront(QDlistObject* element);
  // Takes an element of this list off it; other elements are ignored.
  void Remove(QDlistObject* element);

  // Walks from the first element: stops with null at the end of the list or
  // at the first element whose KeepSearching() is false, and returns the
  // first element whose Matches(key) is true.
  QDlistObject* Find(const void* key) const;

 private:
  friend class QDlistObject;

  void LinkAfter(QDlistObject* position, QDlistObject* element);
  void UnlinkElement(QDlistObject* element);

  mutable QDlistObject sentinel_;
  std::size_t size_ = 0;
  char label_[kLabelLength + 1];
};

#endif  // LUMETRA_STORAGE_DLIST_H
