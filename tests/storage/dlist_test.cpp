#include "storage/dlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// An element naming itself by an int; `stop` makes it end searches.
class Node : public QLRUObject {
 public:
  explicit Node(int id, bool stop = false) : id_(id), stop_(stop) {}
  bool Matches(const void* key) const override { return *static_cast<const int*>(key) == id_; }
  bool KeepSearching() const override { return !stop_; }
  int id() const { return id_; }

 private:
  int id_;
  bool stop_;
};

// The ids front to back ("1 2 3"); "!" is appended when the backward walk,
// the size or First/Last disagree with the forward walk.
std::string Order(const QDlist& list) {
  std::string forward, backward;
  std::size_t n = 0;
  for (QDlistObject* e = list.First(); e != nullptr; e = e->next(), ++n) {
    forward += (forward.empty() ? "" : " ") + std::to_string(static_cast<Node*>(e)->id());
  }
  for (QDlistObject* e = list.Last(); e != nullptr; e = e->previous()) {
    backward =
        std::to_string(static_cast<Node*>(e)->id()) + (backward.empty() ? "" : " ") + backward;
  }
  const bool consistent = forward == backward && n == list.size() && list.empty() == (n == 0) &&
                          (n == 0) == (list.First() == nullptr) &&
                          (n == 0) == (list.Last() == nullptr);
  return consistent ? forward : forward + "!";
}

TEST(QDlist, LabelDefaultsToUnknownAndIsCutToEightCharacters) {
  EXPECT_STREQ(QDlist().label(), "*UNKNOWN");
  EXPECT_STREQ(QDlist("").label(), "*UNKNOWN");
  EXPECT_STREQ(QDlist("pages").label(), "pages");
  EXPECT_STREQ(QDlist("0123456789").label(), "01234567");
}

TEST(QDlist, PushMoveRemoveAndUnlinkKeepBothDirectionsInStep) {
  QDlist list;
  Node a(1), b(2), c(3), d(4);
  EXPECT_EQ(Order(list), "");
  list.PushBack(&b);
  list.PushFront(&a);
  list.PushBack(&c);
  list.PushBack(&d);
  EXPECT_EQ(Order(list), "1 2 3 4");
  list.MoveToFront(&c);
  EXPECT_EQ(Order(list), "3 1 2 4");
  list.MoveToFront(&d);
  EXPECT_EQ(Order(list), "4 3 1 2");
  list.MoveToFront(&d);  // already first
  EXPECT_EQ(Order(list), "4 3 1 2");
  list.Remove(&a);
  EXPECT_FALSE(a.linked());
  EXPECT_EQ(Order(list), "4 3 2");
  b.Unlink();
  EXPECT_EQ(Order(list), "4 3");
  b.Unlink();  // not linked: nothing happens
  EXPECT_EQ(Order(list), "4 3");
}

TEST(QDlist, ElementsOfAnotherListAreIgnoredByMoveAndRemoveButPushMovesThem) {
  QDlist one, two;
  Node a(1), b(2);
  one.PushBack(&a);
  two.PushBack(&b);
  one.MoveToFront(&b);
  one.Remove(&b);
  EXPECT_EQ(Order(one), "1");
  EXPECT_EQ(Order(two), "2");
  one.PushBack(&b);
  EXPECT_EQ(Order(one), "1 2");
  EXPECT_EQ(Order(two), "");
}

TEST(QDlist, DestroyedElementOrListUnlinks) {
  QDlist list;
  Node a(1);
  {
    auto b = std::make_unique<Node>(2);
    list.PushBack(&a);
    list.PushBack(b.get());
  }
  EXPECT_EQ(Order(list), "1");
  Node c(3);
  {
    QDlist short_lived;
    short_lived.PushBack(&c);
  }
  EXPECT_FALSE(c.linked());
  EXPECT_EQ(c.next(), nullptr);
}

TEST(QDlist, FindReturnsTheFirstMatchAndStopsWhereTheSearchEnds) {
  QDlist list;
  Node a(1), b(2), c(2), d(3), stopper(5, true), e(6);
  QDlistObject plain;  // default: matches nothing, keeps searching
  EXPECT_FALSE(plain.Predicate());
  list.PushBack(&plain);
  for (Node* n : {&a, &b, &c, &d, &stopper, &e}) list.PushBack(n);
  const struct {
    int key;
    const QDlistObject* expected;
  } rows[] = {{1, &a}, {2, &b}, {3, &d}, {5, nullptr}, {6, nullptr}, {9, nullptr}};
  // 5 is the stopper itself, which is not matched; 6 lies behind it.
  for (const auto& row : rows) EXPECT_EQ(list.Find(&row.key), row.expected) << row.key;
  EXPECT_EQ(QDlist().Find(&rows[0].key), nullptr);
}

}  // namespace
