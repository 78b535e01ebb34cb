#include "storage/dlist.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

std::vector<int> Ids(const QDlist& list) {
  std::vector<int> ids;
  for (QDlistObject* e = list.First(); e != nullptr; e = e->next()) {
    ids.push_back(static_cast<Node*>(e)->id());
  }
  return ids;
}

std::vector<int> IdsBackwards(const QDlist& list) {
  std::vector<int> ids;
  for (QDlistObject* e = list.Last(); e != nullptr; e = e->previous()) {
    ids.push_back(static_cast<Node*>(e)->id());
  }
  return ids;
}

TEST(QDlist, LabelDefaultsToUnknownAndIsCutToEightCharacters) {
  EXPECT_STREQ(QDlist().label(), "*UNKNOWN");
  EXPECT_STREQ(QDlist("").label(), "*UNKNOWN");
  EXPECT_STREQ(QDlist("pages").label(), "pages");
  EXPECT_STREQ(QDlist("0123456789").label(), "01234567");
}

TEST(QDlist, DefaultVirtualOperations) {
  QDlistObject plain;
  int key = 0;
  EXPECT_FALSE(plain.Matches(&key));
  EXPECT_TRUE(plain.KeepSearching());
  EXPECT_FALSE(plain.Predicate());
  EXPECT_FALSE(plain.linked());
}

TEST(QDlist, PushFrontBackAndWalkBothWays) {
  QDlist list;
  Node a(1), b(2), c(3);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.First(), nullptr);
  EXPECT_EQ(list.Last(), nullptr);
  list.PushBack(&b);
  list.PushFront(&a);
  list.PushBack(&c);
  EXPECT_EQ(Ids(list), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(IdsBackwards(list), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(list.First(), &a);
  EXPECT_EQ(list.Last(), &c);
}

TEST(QDlist, MoveToFrontKeepsTheOthersInOrder) {
  QDlist list;
  Node a(1), b(2), c(3), d(4);
  for (Node* n : {&a, &b, &c, &d}) list.PushBack(n);
  list.MoveToFront(&c);
  EXPECT_EQ(Ids(list), (std::vector<int>{3, 1, 2, 4}));
  list.MoveToFront(&d);
  EXPECT_EQ(Ids(list), (std::vector<int>{4, 3, 1, 2}));
  EXPECT_EQ(IdsBackwards(list), (std::vector<int>{2, 1, 3, 4}));
  list.MoveToFront(&d);  // already first
  EXPECT_EQ(Ids(list), (std::vector<int>{4, 3, 1, 2}));
}

TEST(QDlist, ElementsOfAnotherListAreIgnoredByMoveAndRemove) {
  QDlist one, two;
  Node a(1), b(2);
  one.PushBack(&a);
  two.PushBack(&b);
  one.MoveToFront(&b);
  one.Remove(&b);
  EXPECT_EQ(Ids(one), (std::vector<int>{1}));
  EXPECT_EQ(Ids(two), (std::vector<int>{2}));
  // Pushing moves an element from its old list.
  one.PushBack(&b);
  EXPECT_EQ(Ids(one), (std::vector<int>{1, 2}));
  EXPECT_TRUE(two.empty());
}

TEST(QDlist, RemoveAndUnlinkTakeElementsOff) {
  QDlist list;
  Node a(1), b(2), c(3);
  for (Node* n : {&a, &b, &c}) list.PushBack(n);
  list.Remove(&b);
  EXPECT_FALSE(b.linked());
  EXPECT_EQ(Ids(list), (std::vector<int>{1, 3}));
  c.Unlink();
  EXPECT_EQ(Ids(list), (std::vector<int>{1}));
  EXPECT_EQ(list.size(), 1u);
  c.Unlink();  // not linked: nothing happens
  EXPECT_EQ(list.size(), 1u);
}

TEST(QDlist, DestroyedElementLeavesItsList) {
  QDlist list;
  Node a(1);
  {
    auto b = std::make_unique<Node>(2);
    list.PushBack(&a);
    list.PushBack(b.get());
  }
  EXPECT_EQ(Ids(list), (std::vector<int>{1}));
  EXPECT_EQ(list.Last(), &a);
}

TEST(QDlist, ListDestroyedBeforeItsElementsUnlinksThem) {
  Node a(1);
  {
    QDlist list;
    list.PushBack(&a);
  }
  EXPECT_FALSE(a.linked());
  EXPECT_EQ(a.next(), nullptr);
}

TEST(QDlist, FindReturnsTheFirstMatchInListOrder) {
  QDlist list;
  Node a(1), b(2), c(2), d(3);
  for (Node* n : {&a, &b, &c, &d}) list.PushBack(n);
  int key = 2;
  EXPECT_EQ(list.Find(&key), &b);
  key = 3;
  EXPECT_EQ(list.Find(&key), &d);
  key = 9;
  EXPECT_EQ(list.Find(&key), nullptr);
  EXPECT_EQ(QDlist().Find(&key), nullptr);
}

TEST(QDlist, FindStopsAtAnElementThatEndsTheSearch) {
  QDlist list;
  Node a(1), stopper(2, true), c(3);
  for (Node* n : {&a, &stopper, &c}) list.PushBack(n);
  int key = 1;
  EXPECT_EQ(list.Find(&key), &a);
  key = 3;
  EXPECT_EQ(list.Find(&key), nullptr);  // never reaches c
  key = 2;
  EXPECT_EQ(list.Find(&key), nullptr);  // the stopper itself is not matched
}

}  // namespace
