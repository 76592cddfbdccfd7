// clsQueue: a random model check against std::deque with the ring's capacity rules, its
// message boxes, and the boundaries the model does not reach.
#include "narwick/collections/queue.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
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

// The exact text users see; every other check builds it from the standard description.
TEST_F(QueueTest, FailureBoxShowsNumberAndDescription) {
  queue_.Size(-1);  // modulus 0
  queue_.EnQueue(1);
  EXPECT_EQ(TakeBoxes(), (std::vector<Box>{{u"Error: 11. Division by zero", u"EnQueue"}}));
  Variant v = 3;
  EXPECT_FALSE(queue_.DeQueue(v));  // empty: answered before any arithmetic, no box
  EXPECT_TRUE(v.IsEmpty() && boxes_.empty());
}

TEST_F(QueueTest, SizeBelowMinusOneTakesTheModulusThenFails) {
  queue_.Size(2);  // store of positions 0..3
  queue_.Size(-6);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kSubscriptOutOfRange)});
  EXPECT_EQ(queue_.Size(), -5);
  // The ring now has 5 positions but the store only 4: position 4 fails, and the queue
  // keeps what it held.
  for (int v : {1, 2, 3, 4}) queue_.EnQueue(v);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kSubscriptOutOfRange)});
  // The three values still count under the negative modulus: a size for two is refused, a
  // size for three keeps them in order.
  queue_.Size(2);
  ASSERT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"Size", err::kSubscriptOutOfRange)});
  queue_.Size(3);
  EXPECT_EQ(Drain(), (std::vector<Variant>{1, 2, 3}));
}

TEST_F(QueueTest, DefaultRingHolds99Values) {
  for (int i = 0; i < 99; ++i) queue_.EnQueue(i);
  EXPECT_TRUE(TakeBoxes().empty());
  queue_.EnQueue(99);
  EXPECT_EQ(TakeBoxes(), std::vector<Box>{ErrorBox(u"EnQueue", err::kOverflow)});
}

// A taken slot keeps its value: an object stays alive until the tail comes back round.
TEST_F(QueueTest, ATakenObjectStaysReferencedUntilItsSlotIsReused) {
  queue_.Size(2);  // positions 0..2
  auto watched = std::make_shared<clsQueue>();
  const std::weak_ptr<clsQueue> alive = watched;
  queue_.EnQueue(Variant(MakeObject(std::move(watched))));  // slot 1
  Variant got;
  ASSERT_TRUE(queue_.DeQueue(got));
  EXPECT_EQ(got.ObjPtr(), alive.lock());
  got = Variant();
  queue_.EnQueue(1);  // slot 2
  queue_.EnQueue(2);  // slot 0
  ASSERT_TRUE(queue_.DeQueue(got));
  EXPECT_FALSE(alive.expired());
  queue_.EnQueue(3);  // slot 1 again
  EXPECT_TRUE(alive.expired());
}

TEST_F(QueueTest, EveryMemberAnswersByName) {
  Object q = CreateObject("Narwick.clsQueue");
  std::vector<std::string> names;
  for (const auto& member : q.get()->TypeInfo().members()) names.push_back(member.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Size", "Size", "DeQueue", "EnQueue", "Front"}));
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
