// clsQueue: the ring of slots, and its failures reported in message boxes.
//
// Positions advance as (position + 1) mod modulus in 16-bit arithmetic; a modulus of 0 is
// division by zero (error 11). Head and tail always lie in 0 .. |modulus| - 1, so the queue
// is empty exactly when they are equal and holds (tail - head) mod |modulus| values.
//
// Two behaviours of the ring as first defined lost values without a word, and are changed:
//   - EnQueue on a full ring moved the tail onto the head, after which the queue read as
//     empty. Here the value is refused with error 6 (Overflow), shown like any other failure.
//   - Setting Size kept head, tail and slots where they were, so values stored across the
//     end of the old ring came back out of order. Here a resize moves the values held, in
//     order, to positions 1 .. count (head 0, tail count); a size too small for them is
//     refused with error 9 (Subscript out of range) and changes nothing.
// Every member also changes the queue only once its work can no longer fail, so a failure
// leaves the queue as it was.
#include "narwick/collections/queue.h"

#include <cstdlib>

#include "frame/checked.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/host.h"
#include "queue_messages.h"

namespace narwick {

namespace {

// The handler every trapping member shares: the box titled with the member's name.
auto ReportIn(StringView member) {
  return [member](const RuntimeError& error) {
    MsgBox(queue_messages::FailureText(error.number(), error.description()), member);
  };
}

}  // namespace

clsQueue::clsQueue() {
  trap::Leave(
      0,
      [&] {
        store_.assign(101, Variant());
        modulus_ = 100;
        head_ = tail_ = 0;
        return 0;
      },
      ReportIn(queue_messages::kClassInitialize));
}

const frame::ClassInfo& clsQueue::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<clsQueue>("clsQueue")
      .Get<Integer() const>("Size", &clsQueue::Size)
      .Let<void(Integer)>("Size", &clsQueue::Size, {"intValue"})
      .Method("DeQueue", &clsQueue::DeQueue, {"varData"})
      .Method("EnQueue", &clsQueue::EnQueue, {"varData"})
      .Method("Front", &clsQueue::Front, {"varData"})
      .Build();
  return info;
}

Integer clsQueue::Next(Integer position) const {
  if (modulus_ == 0) Raise(err::kDivisionByZero);
  return static_cast<Integer>(checked::Add(position, Integer{1}) % modulus_);
}

Integer clsQueue::Count() const {
  if (modulus_ == 0) return 0;  // only reachable empty: head and tail are both 0
  const int ring = std::abs(static_cast<int>(modulus_));
  return static_cast<Integer>(((tail_ - head_) % ring + ring) % ring);
}

void clsQueue::Size(Integer intValue) {
  trap::Leave(
      0,
      [&] {
        const Integer modulus = checked::Add(intValue, Integer{1});  // 6 at 32767, nothing changed
        const Integer count = Count();
        if (count > 0 && count > intValue) Raise(err::kSubscriptOutOfRange);
        if (intValue < -1) {
          // The store cannot have positions 0 .. N + 1. As the ring always did, the modulus is
          // taken before the store fails; the queue is empty here, so restarting head and tail
          // at 0 loses nothing and keeps them inside the new ring.
          modulus_ = modulus;
          head_ = tail_ = 0;
          Raise(err::kSubscriptOutOfRange);
        }
        std::vector<Variant> store(static_cast<std::size_t>(intValue) + 2);
        Integer from = head_;
        for (Integer i = 1; i <= count; ++i) {
          from = Next(from);
          // A value is only ever stored in a slot the store has.
          store[static_cast<std::size_t>(i)] = store_[static_cast<std::size_t>(from)];
        }
        store_.swap(store);
        modulus_ = modulus;
        head_ = 0;
        tail_ = count;
        return 0;
      },
      ReportIn(queue_messages::kSize));
}

void clsQueue::EnQueue(const Variant& varData) {
  trap::Leave(
      0,
      [&] {
        const Integer next = Next(tail_);  // 11 with a modulus of 0
        if (next == head_) Raise(err::kOverflow);  // full: one position always stays free
        if (static_cast<std::size_t>(next) >= store_.size()) Raise(err::kSubscriptOutOfRange);
        store_[static_cast<std::size_t>(next)] = varData;  // objects by reference, the rest copied
        tail_ = next;
        return 0;
      },
      ReportIn(queue_messages::kEnQueue));
}

VariantBool clsQueue::DeQueue(Variant& varData) { return ReadFront(varData, true, queue_messages::kDeQueue); }

VariantBool clsQueue::Front(Variant& varData) { return ReadFront(varData, false, queue_messages::kFront); }

VariantBool clsQueue::ReadFront(Variant& varData, bool take, StringView member) {
  return trap::Leave(
      False,
      [&] {
        if (head_ == tail_) {
          varData = Variant();
          return False;
        }
        const Integer next = Next(head_);
        if (static_cast<std::size_t>(next) >= store_.size()) Raise(err::kSubscriptOutOfRange);
        varData = store_[static_cast<std::size_t>(next)];  // a taken slot keeps its value
        if (take) head_ = next;
        return True;
      },
      ReportIn(member));
}

NARWICK_REGISTER_CLASS(clsQueue);

}  // namespace narwick
