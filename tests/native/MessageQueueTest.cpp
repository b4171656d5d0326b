// The queue of scheduled messages: due-time order, first in first out among
// equal due times, the sentinels' refusals, and clearing without sending;
// arrivals posted by one thread and linked in by the taker.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/Exceptions.h"
#include "engine/MessageHandOff.h"
#include "engine/MidiOutMessageList.h"
#include "engine/ShortMessagePool.h"
#include "platform/sim/SimDriver.h"

namespace {

// A message that records its identity when sent, so order can be read back.
class TRecordingMessage : public TMidiOutMessage {
 public:
  TRecordingMessage(TDateTime Due, int Id, std::vector<int>* Sent, int* Freed)
      : Id(Id), FSent(Sent), FFreed(Freed) {
    DueTime = Due;
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
  TRecordingMessage* Make(TDateTime Due, int Id) { return new TRecordingMessage(Due, Id, &sent, &freed); }

  // Sends everything in the queue in queue order and returns the ids.
  std::vector<int> SendAll(TMidiOutMessageList& List) {
    sent.clear();
    TMidiOutMessage* m = List.TakeDue(1e9);
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
    // Reference: the plain forward walk from the earliest message, over a vector.
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
    for (int i = 5; i < 8; ++i) list.Post(Make(i, i));  // posted, never linked
    EXPECT_FALSE(list.Empty());
  }
  EXPECT_EQ(freed, 8);
  EXPECT_TRUE(sent.empty());
}

// What a run of posts and takes does, read back as the ids of the messages
// in the order they were taken; checked against the design's own walk from
// the earliest message over a plain vector, arrivals linked in posting order
// at each take.
struct TStep {
  enum { PostShort, PostLong, Take } What;
  int Device;      // short messages: each device's arrivals form one run
  double Due;      // the message's due time; for Take, the moment taken at
};

class TModel {
 public:
  void Arrive(double Due, int Id) { FPending.push_back({Due, Id}); }
  std::vector<int> Take(double Now) {
    for (const auto& m : FPending) {
      auto p = FQueue.begin();
      while (p != FQueue.end() && p->first <= m.first) ++p;
      FQueue.insert(p, m);
    }
    FPending.clear();
    std::vector<int> taken;
    while (!FQueue.empty() && FQueue.front().first <= Now) {
      taken.push_back(FQueue.front().second);
      FQueue.erase(FQueue.begin());
    }
    return taken;
  }

 private:
  std::vector<std::pair<double, int>> FQueue, FPending;
};

std::vector<int> TakenIds(TMidiOutMessage* Chain) {
  std::vector<int> ids;
  while (Chain != nullptr) {
    TMidiOutMessage* next = Chain->Next;
    if (auto* s = dynamic_cast<TMidiOutShortMessage*>(Chain)) {
      ids.push_back(static_cast<int>(s->Data >> 8));
    } else {
      ids.push_back(-static_cast<TMidiOutLongMessage*>(Chain)->Size);  // blocks: minus their id
    }
    Chain->Free();
    Chain = next;
  }
  return ids;
}

std::vector<TStep> Stream(int Arrivals, std::vector<double> Delays, double Spacing, int TakeEvery) {
  std::vector<TStep> steps;
  for (int i = 0; i < Arrivals; ++i) {
    const double now = i * Spacing;
    const int device = i % static_cast<int>(Delays.size());
    steps.push_back({TStep::PostShort, device, now + Delays[static_cast<std::size_t>(device)]});
    if (i % TakeEvery == TakeEvery - 1) steps.push_back({TStep::Take, 0, now});
  }
  steps.push_back({TStep::Take, 0, 1e9});
  return steps;
}

TEST_F(MessageQueue, PostedArrivalsLeaveInTheOrderOfTheDesignWalkForEveryMixOfRuns) {
  struct Case {
    std::string name;
    std::vector<TStep> steps;
    std::vector<int> expected;  // empty: as the model says
  };
  const auto P = [](int device, double due) { return TStep{TStep::PostShort, device, due}; };
  const auto L = [](double due) { return TStep{TStep::PostLong, 0, due}; };
  const auto T = [](double now) { return TStep{TStep::Take, 0, now}; };
  const std::vector<Case> cases = {
      {"equal due times stay first in, first out across runs",
       {P(0, 5), P(1, 5), L(5), P(2, 5), P(0, 5), T(1e9)}, {0, 1, -2, 3, 4}},
      {"a run behind another run's later message",
       {P(0, 10), P(1, 20), P(0, 30), P(1, 25), T(1e9)}, {0, 1, 3, 2}},
      {"clock set back: a run's next arrival due before its last",
       {P(0, 100), P(1, 50), P(0, 60), P(0, 40), L(45), L(30), T(1e9)}, {-5, 3, -4, 1, 2, 0}},
      {"the run's last message already sent",
       {P(0, 1), P(1, 50), T(2), P(0, 3), P(0, 70), P(1, 60), T(1e9)}, {0, 2, 1, 4, 3}},
      {"a take between posts links what came before it only",
       {P(0, 5), T(4), P(1, 4), T(4), T(5)}, {1, 0}},
      {"delays 0, 2 500 and 9 999 interleaved at 10 000 a second", Stream(30000, {0, 2500, 9999}, 0.1, 10), {}},
      {"a pool that runs out grows: nothing taken until all have arrived",
       Stream(3 * static_cast<int>(TShortMessagePool::BlocksPerChunk) + 7, {9999, 0, 2500}, 0.1, 1 << 30), {}},
  };
  for (const Case& c : cases) {
    TMidiOutMessageList list;
    TModel model;
    std::vector<int> taken, expected;
    int id = 0;
    for (const TStep& step : c.steps) {
      if (step.What == TStep::Take) {
        const std::vector<int> ids = TakenIds(list.TakeDue(step.Due));
        taken.insert(taken.end(), ids.begin(), ids.end());
        const std::vector<int> modelIds = model.Take(step.Due);
        expected.insert(expected.end(), modelIds.begin(), modelIds.end());
        continue;
      }
      TMidiOutMessage* m;
      if (step.What == TStep::PostLong) {
        const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(id), 0xF0);
        m = new TMidiOutLongMessage(bytes.data(), id);  // its size is its id
        m->DueTime = step.Due;
        model.Arrive(step.Due, -id);
      } else {
        m = new TMidiOutShortMessage(static_cast<DWORD>(0x90 | (id << 8)), step.Device, step.Due);
        model.Arrive(step.Due, id);
      }
      list.Post(m);
      ++id;
    }
    EXPECT_TRUE(list.Empty()) << c.name;
    EXPECT_EQ(taken, expected) << c.name;
    if (!c.expected.empty()) {
      EXPECT_EQ(taken, c.expected) << c.name;
    }
  }
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

#ifndef NDEBUG
// The hand-off's stack is safe against one poster only: a debug build stops
// at a post from a second thread instead of losing a message some day.
void PostFromTwoThreads() {
  TMessageHandOff handOff;
  TRecordingMessage first(0, 1, nullptr, nullptr);
  TRecordingMessage second(0, 2, nullptr, nullptr);
  handOff.Post(&first);
  std::thread([&] { handOff.Post(&second); }).join();
}

TEST(QueueHandOffDeathTest, APostFromASecondThreadStopsADebugBuild) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(PostFromTwoThreads(), "second thread");
}
#endif

}  // namespace
