// clsQueue: a first-in, first-out queue of Variant values kept in a fixed ring of slots.
#pragma once

#include <vector>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

// The ring has `Size` positions and holds at most `Size` - 1 values: one position always
// stays free so that a full ring differs from an empty one. Objects are kept as references,
// other values as copies; a slot keeps its value after it was taken until the tail comes
// back to it.
//
// Every member except the Size get reports a run-time failure in a message box (through the
// host's message-box hook) titled with the member's name, with the text "Error: <number>.
// <description>", and returns normally with its result as it stood. Two cases that would
// lose values without a word are refused that way instead:
//   - EnQueue on a full ring: "Error: 6. Overflow", the value is not added;
//   - setting Size below the number of values held: "Error: 9. Subscript out of range",
//     nothing changes.
// A resize that can hold every value keeps them all, in order.
class clsQueue final : public frame::AutomationObject {
 public:
  clsQueue();
  const frame::ClassInfo& TypeInfo() const override;

  // The number of ring positions (one more than the values the ring can hold); not trapped.
  Integer Size() const { return modulus_; }
  // Makes room for `intValue` values: Size then reads intValue + 1.
  void Size(Integer intValue);
  // Takes the value at the head into `varData`. False, with `varData` Empty, when the queue
  // is empty.
  VariantBool DeQueue(Variant& varData);
  // Adds `varData` (by reference, not changed) at the tail.
  void EnQueue(const Variant& varData);
  // Copies the value at the head into `varData` without taking it; False and Empty when the
  // queue is empty.
  VariantBool Front(Variant& varData);

 private:
  Integer Count() const;
  Integer Next(Integer position) const;
  // DeQueue (`take`) and Front: the value at the front, reporting a fault as `member`.
  VariantBool ReadFront(Variant& varData, bool take, StringView member);

  std::vector<Variant> store_;  // the ring's slots, positions 0 .. modulus (the last unused)
  Integer modulus_ = 100;       // positions in use: 0 .. modulus - 1
  Integer head_ = 0;            // position of the value taken last
  Integer tail_ = 0;            // position of the value added last
};

}  // namespace narwick
