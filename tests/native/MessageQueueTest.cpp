// The queue of scheduled messages: due-time order, first in first out among
// equal due times, the sentinels' refusals, and clearing without sending.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/Exceptions.h"
#include "engine/MidiOutMessageList.h"
#include "platform/sim/SimDriver.h"

namespace {

// A message that records its identity when sent, so order can be read back.
class TRecordingMessage : public TMidiOutMessage {
 public:
  TRecordingMessage(TDateTime due, int id, std::vector<int>* sent, int* freed)
      : Id(id), FSent(sent), FFreed(freed) {
    DueTime = due;
  }
  ~TRecordingMessage() override {
    if (FFreed) ++*FFreed;
  }
  void Send() override { FSent->push_back(Id); }
  int Id;

 private:
  std::vector<int>* FSent;
  int* FFreed;
};

class MessageQueue : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  std::vector<int> sent;
  int freed = 0;
  TRecordingMessage* Make(TDateTime due, int id) { return new TRecordingMessage(due, id, &sent, &freed); }

  // Sends everything in the queue in queue order and returns the ids.
  std::vector<int> SendAll(TMidiOutMessageList& list) {
    sent.clear();
    TMidiOutMessage* m = list.TakeDue(1e9);
    while (m) {
      TMidiOutMessage* next = m->Next;
      m->Send();
      m->Free();
      m = next;
    }
    return sent;
  }
};

TEST_F(MessageQueue, NewListIsEmptyAndClearDoesNothing) {
  TMidiOutMessageList list;
  EXPECT_EQ(list.First(), list.Tail());
  EXPECT_TRUE(list.Empty());
  list.Clear();
  EXPECT_EQ(list.Head()->Next, list.Tail());
  EXPECT_EQ(list.Tail()->Prev, list.Head());
  EXPECT_EQ(list.Head()->DueTime, 0.0);
  EXPECT_GT(list.Tail()->DueTime, sim::NowValue() + 36524.0);
}

TEST_F(MessageQueue, LeavesInDueTimeOrderFirstInFirstOutAmongEquals) {
  struct Case {
    const char* name;
    std::vector<double> dues;
    std::vector<int> expected;  // ids (positions of insertion) in sending order
  };
  const Case cases[] = {
      {"mixed", {5, 3, 5, 4}, {1, 3, 0, 2}},
      {"all equal", {7, 7, 7}, {0, 1, 2}},
      {"ascending", {1, 2, 3}, {0, 1, 2}},
      {"descending", {3, 2, 1}, {2, 1, 0}},
      {"earliest last goes first", {10, 20, 30, 1}, {3, 0, 1, 2}},
  };
  for (const Case& c : cases) {
    TMidiOutMessageList list;
    for (std::size_t i = 0; i < c.dues.size(); ++i) list.Insert(Make(c.dues[i], static_cast<int>(i)));
    EXPECT_EQ(SendAll(list), c.expected) << c.name;
  }
}

TEST_F(MessageQueue, EarliestMessageIsLinkedRightAfterHead) {
  TMidiOutMessageList list;
  list.Insert(Make(5, 0));
  list.Insert(Make(6, 1));
  TRecordingMessage* early = Make(1, 2);
  list.Insert(early);
  EXPECT_EQ(list.Head()->Next, early);
  EXPECT_EQ(early->Prev, list.Head());
  // Prev links mirror Next links all the way.
  for (TMidiOutMessage* p = list.Head(); p != list.Tail(); p = p->Next) EXPECT_EQ(p->Next->Prev, p);
}

// The walk from the latest end must give exactly the order of a walk from
// the front: ordered by due time, equal due times in insertion order.
TEST_F(MessageQueue, BackwardInsertionMatchesForwardWalkOnRandomAndOrderedArrivals) {
  std::mt19937 random(42);
  for (int round = 0; round < 3; ++round) {
    std::vector<double> dues;
    for (int i = 0; i < 2000; ++i) {
      if (round == 0) dues.push_back(static_cast<double>(random() % 50));  // many equal times
      if (round == 1) dues.push_back(i / 3);                               // in order, with ties
      if (round == 2) dues.push_back(static_cast<double>(random() % 100000) / 7.0);
    }
    // Reference: a forward walk over a plain vector, as the original design walks.
    std::vector<std::pair<double, int>> reference;
    for (int i = 0; i < static_cast<int>(dues.size()); ++i) {
      auto p = reference.begin();
      while (p != reference.end() && p->first <= dues[i]) ++p;
      reference.insert(p, {dues[i], i});
    }
    TMidiOutMessageList list;
    for (int i = 0; i < static_cast<int>(dues.size()); ++i) list.Insert(Make(dues[i], i));
    std::vector<int> expected;
    for (const auto& r : reference) expected.push_back(r.second);
    EXPECT_EQ(SendAll(list), expected) << "round " << round;
  }
}

TEST_F(MessageQueue, TakeDueStopsAtTheFirstMessageNotYetDue) {
  TMidiOutMessageList list;
  list.Insert(Make(1, 0));
  list.Insert(Make(2, 1));
  list.Insert(Make(3, 2));
  TMidiOutMessage* due = list.TakeDue(2.0);  // equal counts as due
  std::vector<int> ids;
  for (TMidiOutMessage* m = due; m;) {
    TMidiOutMessage* next = m->Next;
    ids.push_back(static_cast<TRecordingMessage*>(m)->Id);
    m->Free();
    m = next;
  }
  EXPECT_EQ(ids, (std::vector<int>{0, 1}));
  EXPECT_EQ(static_cast<TRecordingMessage*>(list.First())->Id, 2);
  EXPECT_EQ(list.First()->Prev, list.Head());
  EXPECT_EQ(list.TakeDue(2.5), nullptr);
}

TEST_F(MessageQueue, SentinelsRefuseToBeFreedSentOrLinkedPast) {
  TMidiOutMessageList list;
  list.Insert(Make(1, 0));
  try {
    list.Head()->Free();
    FAIL() << "freeing the head must raise";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "This object cannot Free().");
  }
  try {
    list.Tail()->Free();
    FAIL() << "freeing the tail must raise";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "This object cannot Free().");
  }
  try {
    list.Tail()->Send();
    FAIL() << "sending a sentinel must raise";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "This object cannot send message.");
  }
  TRecordingMessage* loose = Make(2, 1);
  try {
    list.Head()->InsertBefore(loose);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Cannot add node before this object.");
  }
  try {
    list.Tail()->InsertAfter(loose);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Cannot add node after this object.");
  }
  EXPECT_EQ(loose->Next, nullptr);
  EXPECT_EQ(loose->Prev, nullptr);
  delete loose;
  // The list is still whole and usable.
  list.Insert(Make(0.5, 2));
  EXPECT_EQ(SendAll(list), (std::vector<int>{2, 0}));
}

TEST_F(MessageQueue, DestroyingAListFreesEveryMessageWithoutSendingAny) {
  {
    TMidiOutMessageList list;
    for (int i = 0; i < 5; ++i) list.Insert(Make(i, i));
  }
  EXPECT_EQ(freed, 5);
  EXPECT_TRUE(sent.empty());
}

TEST_F(MessageQueue, FreeingAMessageUnlinksItFromItsList) {
  TMidiOutMessageList list;
  TRecordingMessage* a = Make(1, 0);
  TRecordingMessage* b = Make(2, 1);
  list.Insert(a);
  list.Insert(b);
  a->Free();
  EXPECT_EQ(list.First(), b);
  EXPECT_EQ(b->Prev, list.Head());
  EXPECT_EQ(SendAll(list), (std::vector<int>{1}));
}

}  // namespace
