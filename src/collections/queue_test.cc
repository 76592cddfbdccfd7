// clsQueue: the documented cases, its message boxes, and a random model check against
// std::deque with the ring's capacity rules.
#include "narwick/collections/queue.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/host.h"
#include "narwick/frame/object.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

struct Box {
  String prompt;
  String title;
  friend bool operator==(const Box&, const Box&) = default;
};

void PrintTo(const Box& box, std::ostream* os) {
  *os << "[" << ToUtf8(box.title) << "] " << ToUtf8(box.prompt);
}

Box ErrorBox(const char16_t* title, Long number) {
  const std::string digits = std::to_string(number);
  return {u"Error: " + String(digits.begin(), digits.end()) + u". " +
              String(StandardDescription(number)),
          title};
}

class QueueTest : public ::testing::Test {
 protected:
  QueueTest() {
    SetMessageBoxHook([this](StringView prompt, StringView title) {
      boxes_.push_back({String(prompt), String(title)});
    });
  }
  ~QueueTest() override { SetMessageBoxHook(nullptr); }

  void EnQueueAll(std::initializer_list<Variant> values) {
    for (const Variant& v : values) queue_.EnQueue(v);
  }
  // Takes every value; the queue is empty afterwards.
  std::vector<Variant> Drain() {
    std::vector<Variant> out;
    Variant v;
    while (queue_.DeQueue(v)) out.push_back(v);
    EXPECT_TRUE(v.IsEmpty());
    return out;
  }
  std::vector<Box> TakeBoxes() { return std::exchange(boxes_, {}); }

  clsQueue queue_;
  std::vector<Box> boxes_;
};

TEST_F(QueueTest, NewQueueIsEmptyWithSize100) {
  EXPECT_EQ(queue_.Size(), 100);
  Variant v = 5;
  EXPECT_EQ(queue_.DeQueue(v).raw(), 0);
  EXPECT_TRUE(v.IsEmpty());
  v = 5;
  EXPECT_EQ(queue_.Front(v).raw(), 0);
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(QueueTest, FirstInFirstOut) {
  EnQueueAll({1, 2, 3});
  Variant v;
  EXPECT_EQ(queue_.DeQueue(v).raw(), -1);
  EXPECT_EQ(v, Variant(1));
  EXPECT_EQ(Drain(), (std::vector<Variant>{2, 3}));
}

TEST_F(QueueTest, FrontDoesNotTake) {
  queue_.EnQueue(u"a");
  Variant v;
  EXPECT_EQ(queue_.Front(v).raw(), -1);
  EXPECT_EQ(v, Variant(u"a"));
  v = Variant();
  EXPECT_EQ(queue_.Front(v).raw(), -1);
  EXPECT_EQ(v, Variant(u"a"));
  EXPECT_EQ(Drain(), std::vector<Variant>{u"a"});
}

TEST_F(QueueTest, ValuesWrapThroughASmallRing) {
  queue_.Size(3);
  EXPECT_EQ(queue_.Size(), 4);
  EnQueueAll({1, 2, 3});
  Variant v;
  queue_.DeQueue(v);
  queue_.DeQueue(v);
  EnQueueAll({4, 5});
  EXPECT_EQ(Drain(), (std::vector<Variant>{3, 4, 5}));
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(QueueTest, ObjectsComeBackAsTheSameObject) {
  Object object = CreateObject("Narwick.clsQueue");
  queue_.EnQueue(Variant(object));
  Variant v;
  ASSERT_EQ(queue_.DeQueue(v).raw(), -1);
  ASSERT_TRUE(v.IsObject());
  EXPECT_EQ(v.Obj(), object);
}

TEST_F(QueueTest, ModulusZeroFailsWithDivisionByZero) {
  queue_.Size(-1);
  EXPECT_EQ(queue_.Size(), 0);
  queue_.EnQueue(1);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kDivisionByZero)});
  EXPECT_EQ(TakeBoxes().size(), 0u);
  Variant v = 3;
  EXPECT_EQ(queue_.DeQueue(v).raw(), 0);  // empty: answered before any arithmetic
  EXPECT_TRUE(v.IsEmpty());
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_EQ(ErrorBox(u"EnQueue", 11).prompt, u"Error: 11. Division by zero");
}

TEST_F(QueueTest, SizeOverflowKeepsTheQueue) {
  EnQueueAll({1, 2});
  queue_.Size(32767);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kOverflow)});
  EXPECT_EQ(queue_.Size(), 100);
  EXPECT_EQ(Drain(), (std::vector<Variant>{1, 2}));
}

TEST_F(QueueTest, SizeBelowMinusOneTakesTheModulusThenFails) {
  queue_.Size(2);  // store of positions 0..3
  queue_.Size(-6);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kSubscriptOutOfRange)});
  EXPECT_EQ(queue_.Size(), -5);
  // The ring now has 5 positions but the store only 4: position 4 fails, and the queue
  // keeps what it held.
  EnQueueAll({1, 2, 3, 4});
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kSubscriptOutOfRange)});
  EXPECT_EQ(Drain(), (std::vector<Variant>{1, 2, 3}));
}

TEST_F(QueueTest, FullRingRefusesTheValue) {
  queue_.Size(2);
  EnQueueAll({1, 2, 3});
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kOverflow)});
  EXPECT_EQ(Drain(), (std::vector<Variant>{1, 2}));
  // The default ring holds 99 values.
  clsQueue fresh;
  for (int i = 0; i < 99; ++i) fresh.EnQueue(i);
  EXPECT_TRUE(TakeBoxes().empty());
  fresh.EnQueue(99);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kOverflow)});
}

TEST_F(QueueTest, ResizeKeepsOrderAcrossTheRingEnd) {
  queue_.Size(3);
  EnQueueAll({1, 2, 3});
  Variant v;
  queue_.DeQueue(v);
  queue_.DeQueue(v);
  EnQueueAll({4, 5});  // stored across the end of the ring
  queue_.Size(10);
  EnQueueAll({6});
  EXPECT_EQ(Drain(), (std::vector<Variant>{3, 4, 5, 6}));
  EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(QueueTest, ShrinkingBelowTheValuesHeldIsRefused) {
  EnQueueAll({1, 2, 3});
  queue_.Size(2);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kSubscriptOutOfRange)});
  EXPECT_EQ(queue_.Size(), 100);
  queue_.Size(3);  // exactly enough
  EXPECT_TRUE(TakeBoxes().empty());
  EXPECT_EQ(queue_.Size(), 4);
  EXPECT_EQ(Drain(), (std::vector<Variant>{1, 2, 3}));
}

TEST_F(QueueTest, LateBoundMembers) {
  Object q = CreateObject("Narwick.clsQueue");
  q.Let("Size", 4);
  EXPECT_EQ(q.Get("Size"), Variant(Integer{5}));
  Variant in = u"x";
  q.Call("EnQueue", {ByRef(in)});
  EXPECT_EQ(in, Variant(u"x"));
  Variant out;
  EXPECT_EQ(q.Call("Front", {ByRef(out)}), Variant(true));
  EXPECT_EQ(out, Variant(u"x"));
  out = Variant();
  EXPECT_EQ(q.Call("DeQueue", {ByRef(out)}), Variant(true));
  EXPECT_EQ(out, Variant(u"x"));
  EXPECT_EQ(q.Call("DeQueue", {ByRef(out)}), Variant(false));
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_RUNTIME_ERROR(q.Let("Size", 40000), err::kOverflow);  // the argument's own conversion
}

TEST_F(QueueTest, EveryMemberAnswersByName) {
  Object q = MakeObject(std::make_shared<clsQueue>());
  int seen = 0;
  for (const auto& member : q.get()->TypeInfo().members()) {
    Variant arg = 7;
    if (member.kind == frame::MemberKind::kPropertyGet) {
      EXPECT_EQ(q.Get(member.name), Variant(Integer{100}));
    } else if (member.kind == frame::MemberKind::kPropertyLet) {
      q.Let(member.name, 100);
      q.Let(member.name, 99);
    } else if (member.name == "EnQueue") {
      q.Call(member.name, {ByRef(arg)});
    } else {
      q.Call(member.name, {ByRef(arg)});  // DeQueue, Front on whatever the queue holds
    }
    ++seen;
  }
  EXPECT_EQ(seen, 5);
  EXPECT_TRUE(TakeBoxes().empty());
}

// Random operations against std::deque: capacity Size - 1, refusals leave the queue as it
// was, and each refusal shows exactly one box.
TEST_F(QueueTest, MatchesADequeModel) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  std::deque<Variant> model;
  int modulus = 100;
  std::vector<Object> objects;
  for (int i = 0; i < 5; ++i) objects.push_back(CreateObject("Narwick.clsQueue"));
  for (int step = 0; step < 100000; ++step) {
    const int op = std::uniform_int_distribution<int>(0, 99)(rng);
    SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
    if (op < 45) {
      Variant value;
      switch (rng() % 4) {
        case 0: value = static_cast<int>(rng() % 1000); break;
        case 1: value = u"s" + String(1, static_cast<char16_t>(u'a' + rng() % 26)); break;
        case 2: value = Variant(objects[rng() % objects.size()]); break;
        default: value = static_cast<double>(rng() % 100) / 4; break;
      }
      queue_.EnQueue(value);
      if (modulus == 0) {
        ASSERT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kDivisionByZero)});
      } else if (static_cast<int>(model.size()) == modulus - 1) {
        ASSERT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kOverflow)});
      } else {
        model.push_back(value);
      }
    } else if (op < 85) {
      Variant got = u"stale";
      const bool take = op < 70;
      const VariantBool ok = take ? queue_.DeQueue(got) : queue_.Front(got);
      if (model.empty()) {
        ASSERT_FALSE(ok);
        ASSERT_TRUE(got.IsEmpty());
      } else {
        ASSERT_EQ(ok.raw(), -1);
        ASSERT_EQ(got, model.front());
        if (take) model.pop_front();
      }
    } else if (op < 99) {
      const auto n = static_cast<Integer>(std::uniform_int_distribution<int>(-1, 12)(rng));
      queue_.Size(n);
      if (!model.empty() && static_cast<int>(model.size()) > n) {
        ASSERT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kSubscriptOutOfRange)});
      } else {
        modulus = n + 1;
      }
    } else {
      queue_.Size(32767);
      ASSERT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kOverflow)});
    }
    ASSERT_EQ(queue_.Size(), modulus);
    ASSERT_TRUE(boxes_.empty());
  }
  std::vector<Variant> rest(model.begin(), model.end());
  EXPECT_EQ(Drain(), rest);
}

}  // namespace
}  // namespace narwick
