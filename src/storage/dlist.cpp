#include "storage/dlist.h"

#include <algorithm>
#include <cstring>

QDlistObject::~QDlistObject() { Unlink(); }

bool QDlistObject::Matches(const void* /*key*/) const { return false; }

bool QDlistObject::KeepSearching() const { return true; }

bool QDlistObject::Predicate() const { return false; }

QDlistObject* QDlistObject::next() const {
  if (list_ == nullptr || next_ == &list_->sentinel_) return nullptr;
  return next_;
}

QDlistObject* QDlistObject::previous() const {
  if (list_ == nullptr || previous_ == &list_->sentinel_) return nullptr;
  return previous_;
}

void QDlistObject::Unlink() {
  if (list_ != nullptr) list_->UnlinkElement(this);
}

QDlist::QDlist(const char* label) {
  sentinel_.next_ = &sentinel_;
  sentinel_.previous_ = &sentinel_;
  if (label == nullptr || label[0] == '\0') label = kDefaultLabel;
  const std::size_t n = std::min<std::size_t>(std::strlen(label), kLabelLength);
  std::memcpy(label_, label, n);
  label_[n] = '\0';
}

QDlist::~QDlist() {
  while (!empty()) UnlinkElement(sentinel_.next_);
  // The sentinel is a member; keep its destructor from touching this list.
  sentinel_.next_ = nullptr;
  sentinel_.previous_ = nullptr;
}

QDlistObject* QDlist::First() const { return empty() ? nullptr : sentinel_.next_; }

QDlistObject* QDlist::Last() const { return empty() ? nullptr : sentinel_.previous_; }

void QDlist::PushFront(QDlistObject* element) {
  if (element == nullptr || element == &sentinel_) return;
  element->Unlink();
  LinkAfter(&sentinel_, element);
}

void QDlist::PushBack(QDlistObject* element) {
  if (element == nullptr || element == &sentinel_) return;
  element->Unlink();
  LinkAfter(sentinel_.previous_, element);
}

void QDlist::MoveToFront(QDlistObject* element) {
  if (element == nullptr || element->list_ != this) return;
  if (sentinel_.next_ == element) return;
  UnlinkElement(element);
  LinkAfter(&sentinel_, element);
}

void QDlist::Remove(QDlistObject* element) {
  if (element != nullptr && element->list_ == this) UnlinkElement(element);
}

QDlistObject* QDlist::Find(const void* key) const {
  for (QDlistObject* element = sentinel_.next_; element != &sentinel_; element = element->next_) {
    if (!element->KeepSearching()) return nullptr;
    if (element->Matches(key)) return element;
  }
  return nullptr;
}

void QDlist::LinkAfter(QDlistObject* position, QDlistObject* element) {
  element->previous_ = position;
  element->next_ = position->next_;
  position->next_->previous_ = element;
  position->next_ = element;
  element->list_ = this;
  ++size_;
}

void QDlist::UnlinkElement(QDlistObject* element) {
  element->previous_->next_ = element->next_;
  element->next_->previous_ = element->previous_;
  element->next_ = nullptr;
  element->previous_ = nullptr;
  element->list_ = nullptr;
  --size_;
}
