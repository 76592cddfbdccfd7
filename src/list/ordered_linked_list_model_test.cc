// Differential test: random sequences of every member run on clsOrderedLinkedList and on a
// plain model written here from the literal algorithms (linear walks from the head sentinel,
// no index), comparing each result, the whole chain and the cursor after every step.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "list/ordered_list_store.h"
#include "narwick/frame/convert.h"
#include "narwick/list/ordered_linked_list.h"
#include "testing/test_support.h"

namespace narwick {

// Reads the node store behind a list without touching its cursor.
class OrderedLinkedListPeer {
 public:
  static list::OrderedListStore& Store(clsOrderedLinkedList& l) { return *l.store_; }
};

namespace {

using Items = list::Items;

// ---------------------------------------------------------------------------------------
// The model: nodes live until the model dies (as references would keep them), links are
// followed literally, every lookup walks from the head sentinel.
struct MNode {
  MNode* previous = nullptr;
  MNode* next = nullptr;
  Long index = -1;
  Items items;
};

class Model {
 public:
  Model() {
    head_ = Fresh();
    tail_ = Fresh();
    head_->next = tail_;
    tail_->previous = head_;
    cursor_ = Fresh();  // the placeholder
  }

  MNode* head() const { return head_; }
  MNode* tail() const { return tail_; }
  MNode* cursor() const { return cursor_; }

  // FindNodePosition, index mode.
  bool FindIndex(Long value) {
    cursor_ = head_;
    for (;;) {
      if (cursor_->next == nullptr) return false;
      if (value <= cursor_->index) break;
      cursor_ = cursor_->next;
    }
    return value == cursor_->index;
  }

  Variant NodeCount() {
    MNode* saved = cursor_;
    cursor_ = head_;
    Long count = -1;
    while (cursor_->next != nullptr) {
      cursor_ = cursor_->next;
      ++count;
    }
    cursor_ = saved;
    return Variant::FromLong(count);
  }

  // Returns nothing; a failure simply ends the member.
  void AddNewNode(Long index, const Items& items) {
    MNode* n = Fresh();
    n->index = index;
    n->items = items;
    if (FindIndex(index)) return;
    MNode* c = cursor_;
    MNode* p = c->previous;
    if (p == nullptr) return;  // Nothing.NextItem: run-time error 91, the member ends
    p->next = n;
    n->previous = p;
    n->next = c;
    c->previous = n;
  }

  Variant EmptyList() {
    for (MNode* node = head_; node != nullptr;) {
      MNode* next = node->next;
      node->previous = nullptr;
      node->next = nullptr;
      node = next;
    }
    head_ = Fresh();
    tail_ = Fresh();
    head_->next = tail_;
    tail_->previous = head_;
    cursor_ = head_;
    return VariantBool(true);
  }

  Variant DeleteNode(Long index) {
    if (!FindIndex(index)) return VariantBool(false);
    MNode* c = cursor_;
    if (c->previous == nullptr) return VariantBool(false);  // 91 on the head sentinel
    c->previous->next = c->next;
    c->next->previous = c->previous;
    c->previous = c->next = nullptr;
    cursor_ = nullptr;
    return VariantBool(true);
  }

  Variant DeleteCurrentNode() {
    MNode* c = cursor_;
    if (c == nullptr || c->previous == nullptr || c->next == nullptr) return VariantBool(false);
    MNode* p = c->previous;
    p->next = c->next;
    c->next->previous = p;
    c->previous = c->next = nullptr;
    cursor_ = p;
    return VariantBool(true);
  }

  Variant editItem(Long index, const Variant& item, Integer k) {
    if (!FindIndex(index)) return VariantBool(false);
    if (k >= 1 && k <= 12) cursor_->items[static_cast<std::size_t>(k - 1)] = item;
    return VariantBool(true);
  }

  Variant editCurrentItem(const Variant& item, Integer k) {
    if (cursor_ == nullptr) return VariantBool(false);
    if (k >= 1 && k <= 12) cursor_->items[static_cast<std::size_t>(k - 1)] = item;
    return VariantBool(true);
  }

  Variant getListItem(Long index, Integer k) {
    if (FindIndex(index) && k >= 1 && k <= 12) return cursor_->items[static_cast<std::size_t>(k - 1)];
    return Variant();
  }

  Variant getListIndex(Long index) {
    if (FindIndex(index)) return Variant::FromLong(cursor_->index);
    return Variant();
  }

  Variant getCurrentListItem(Integer k) {
    if (cursor_ == nullptr) return Variant();
    if (k >= 1 && k <= 12) return cursor_->items[static_cast<std::size_t>(k - 1)];
    return Variant();
  }

  Variant getCurrentListIndex() {
    if (cursor_ == nullptr) return Variant();
    return Variant::FromLong(cursor_->index);
  }

  bool IsListEmpty() const { return head_->next->next == nullptr; }
  bool IsHeadNode() const { return cursor_ == nullptr || cursor_->previous == nullptr; }
  bool IsTailNode() const { return cursor_ == nullptr || cursor_->next == nullptr; }

  bool MoveFirst() {
    if (IsListEmpty()) return false;
    cursor_ = head_->next;
    return true;
  }
  bool MoveLast() {
    if (IsListEmpty()) return false;
    cursor_ = tail_->previous;
    return true;
  }
  bool MoveNext() {
    if (IsTailNode()) return false;
    cursor_ = cursor_->next;
    return true;
  }
  bool MovePrevious() {
    if (IsHeadNode()) return false;
    cursor_ = cursor_->previous;
    return true;
  }
  Variant UBoundNodeIndex() { return Variant::FromLong(MoveLast() ? cursor_->index : -1); }
  Variant LBoundNodeIndex() { return Variant::FromLong(MoveFirst() ? cursor_->index : -1); }

 private:
  MNode* Fresh() {
    nodes_.emplace_back();
    return &nodes_.back();
  }

  std::deque<MNode> nodes_;
  MNode* head_;
  MNode* tail_;
  MNode* cursor_;
};

// ---------------------------------------------------------------------------------------
// State snapshots in one comparable text.

std::string ItemText(const Variant& v) {
  std::ostringstream out;
  PrintTo(v, &out);
  return out.str();
}

std::string ItemsText(const Items& items) {
  std::string text;
  for (const Variant& v : items) text += ItemText(v) + ",";
  return text;
}

std::string CursorText(const void* cursor, const void* head, const void* tail, bool linked_prev,
                       bool linked_next, Long index, const Items* items) {
  if (cursor == nullptr) return "unset";
  std::string where = cursor == head   ? "head"
                      : cursor == tail ? "tail"
                      : (linked_prev && linked_next) ? "node"
                                                     : "off-chain";
  return where + " " + std::to_string(index) + " [" + ItemsText(*items) + "]";
}

std::string Snapshot(Model& m) {
  std::string text = "head[" + ItemsText(m.head()->items) + "] ";
  for (MNode* n = m.head()->next; n != m.tail(); n = n->next) {
    text += std::to_string(n->index) + "[" + ItemsText(n->items) + "] ";
  }
  text += "tail[" + ItemsText(m.tail()->items) + "] cursor: ";
  MNode* c = m.cursor();
  text += c == nullptr ? "unset"
                       : CursorText(c, m.head(), m.tail(), c->previous != nullptr, c->next != nullptr,
                                    c->index, &c->items);
  return text;
}

std::string Snapshot(clsOrderedLinkedList& l) {
  list::OrderedListStore& s = OrderedLinkedListPeer::Store(l);
  std::string text = "head[" + ItemsText(s.head()->items) + "] ";
  for (list::ListNode* n : s.Nodes()) text += std::to_string(n->index) + "[" + ItemsText(n->items) + "] ";
  text += "tail[" + ItemsText(s.tail()->items) + "] cursor: ";
  list::ListNode* c = s.cursor();
  text += c == nullptr ? "unset"
                       : CursorText(c, s.head(), s.tail(), c->previous != nullptr, c->next != nullptr,
                                    c->index, &c->items);
  return text;
}

// ---------------------------------------------------------------------------------------
// Random operations.

class Driver {
 public:
  explicit Driver(std::uint64_t seed) : rng_(seed) {}

  Long RandomIndex() {
    switch (rng_() % 8) {
      case 0: return static_cast<Long>(rng_() % 4) - 3;  // -3 .. 0: sentinel and below
      default: return static_cast<Long>(rng_() % 24);
    }
  }
  Integer RandomItemNumber() { return static_cast<Integer>(static_cast<int>(rng_() % 15) - 1); }
  Variant RandomValue() {
    static const char16_t* const kTexts[] = {u"", u"a", u"b", u"A", u"5", u"x~y", u"10", u"9"};
    switch (rng_() % 6) {
      case 0: return Variant();
      case 1: return Variant(static_cast<int>(rng_() % 20) - 5);
      case 2: return Variant(static_cast<double>(rng_() % 100) / 4.0);
      case 3: return Variant(kTexts[rng_() % 8]);
      case 4: return Variant(rng_() % 2 == 0);
      default: return Variant(Integer{static_cast<Integer>(rng_() % 7)});
    }
  }
  // Items as AddNewNode receives them: some left out.
  std::array<Variant, 12> RandomArgs() {
    std::array<Variant, 12> args;
    for (auto& a : args) a = rng_() % 3 == 0 ? Missing : RandomValue();
    return args;
  }
  static Items Stored(const std::array<Variant, 12>& args) {
    Items items;
    for (std::size_t k = 0; k < 12; ++k) {
      if (!args[k].IsMissing()) items[k] = args[k];
    }
    return items;
  }
  std::uint64_t Next() { return rng_(); }

 private:
  std::mt19937_64 rng_;
};

Variant B(VariantBool b) { return Variant(b); }
Variant B(bool b) { return Variant(VariantBool(b)); }

// Runs one random member on both; returns a description for failure messages.
std::string Step(Driver& d, Model& m, clsOrderedLinkedList& l, Variant& model_result, Variant& real_result) {
  const int kOps = 20;
  int op = static_cast<int>(d.Next() % kOps);
  Long index = d.RandomIndex();
  Integer k = d.RandomItemNumber();
  switch (op) {
    case 0: case 1: case 2: {
      auto args = d.RandomArgs();
      m.AddNewNode(index, Driver::Stored(args));
      l.AddNewNode(index, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7],
                   args[8], args[9], args[10], args[11]);
      model_result = real_result = Variant();
      return "AddNewNode " + std::to_string(index);
    }
    case 3:
      model_result = m.NodeCount();
      real_result = Variant::FromLong(l.NodeCount());
      return "NodeCount";
    case 4:
      if (d.Next() % 8 != 0) return "skip";
      model_result = m.EmptyList();
      real_result = B(l.EmptyList());
      return "EmptyList";
    case 5:
      model_result = m.DeleteNode(index);
      real_result = B(l.DeleteNode(index));
      return "DeleteNode " + std::to_string(index);
    case 6:
      model_result = m.DeleteCurrentNode();
      real_result = B(l.DeleteCurrentNode());
      return "DeleteCurrentNode";
    case 7: {
      Variant v = d.RandomValue();
      model_result = m.editItem(index, v, k);
      real_result = B(l.editItem(index, v, k));
      return "editItem " + std::to_string(index) + " " + std::to_string(k);
    }
    case 8: {
      Variant v = d.RandomValue();
      model_result = m.editCurrentItem(v, k);
      real_result = B(l.editCurrentItem(v, k));
      return "editCurrentItem " + std::to_string(k);
    }
    case 9:
      model_result = m.getListItem(index, k);
      real_result = l.getListItem(index, k);
      return "getListItem " + std::to_string(index) + " " + std::to_string(k);
    case 10:
      model_result = m.getListIndex(index);
      real_result = l.getListIndex(index);
      return "getListIndex " + std::to_string(index);
    case 11:
      model_result = m.getCurrentListItem(k);
      real_result = l.getCurrentListItem(k);
      return "getCurrentListItem " + std::to_string(k);
    case 12:
      model_result = m.getCurrentListIndex();
      real_result = l.getCurrentListIndex();
      return "getCurrentListIndex";
    case 13:
      model_result = B(m.MoveFirst());
      real_result = B(l.MoveFirst());
      return "MoveFirst";
    case 14:
      model_result = B(m.MoveLast());
      real_result = B(l.MoveLast());
      return "MoveLast";
    case 15:
      model_result = B(m.MoveNext());
      real_result = B(l.MoveNext());
      return "MoveNext";
    case 16:
      model_result = B(m.MovePrevious());
      real_result = B(l.MovePrevious());
      return "MovePrevious";
    case 17:
      model_result = Variant(int{m.IsHeadNode()} * 4 + int{m.IsTailNode()} * 2 + int{m.IsListEmpty()});
      real_result = Variant(int{bool(l.IsHeadNode())} * 4 + int{bool(l.IsTailNode())} * 2 +
                            int{bool(l.IsListEmpty())});
      return "IsHeadNode/IsTailNode/IsListEmpty";
    case 18:
      model_result = m.UBoundNodeIndex();
      real_result = Variant::FromLong(l.UBoundNodeIndex());
      return "UBoundNodeIndex";
    default:
      model_result = m.LBoundNodeIndex();
      real_result = Variant::FromLong(l.LBoundNodeIndex());
      return "LBoundNodeIndex";
  }
}

// The state as rows (head sentinel, real nodes, tail sentinel) plus the cursor, compared
// structurally; the text form is only built for a failure message.
struct State {
  std::vector<std::pair<Long, Items>> rows;
  std::string cursor_kind;
  Long cursor_index = 0;
  Items cursor_items;
  bool operator==(const State&) const = default;
};

template <class Node>
void Describe(State& s, const Node* cursor, const Node* head, const Node* tail) {
  if (cursor == nullptr) {
    s.cursor_kind = "unset";
    return;
  }
  s.cursor_kind = cursor == head ? "head"
                  : cursor == tail ? "tail"
                  : (cursor->previous != nullptr && cursor->next != nullptr) ? "node"
                                                                           : "off-chain";
  s.cursor_index = cursor->index;
  s.cursor_items = cursor->items;
}

State Capture(Model& m) {
  State s;
  for (const MNode* n = m.head(); n != nullptr; n = n->next) s.rows.emplace_back(n->index, n->items);
  Describe(s, m.cursor(), m.head(), m.tail());
  return s;
}

State Capture(clsOrderedLinkedList& l) {
  list::OrderedListStore& store = OrderedLinkedListPeer::Store(l);
  State s;
  s.rows.emplace_back(store.head()->index, store.head()->items);
  for (const list::ListNode* n : store.Nodes()) s.rows.emplace_back(n->index, n->items);
  s.rows.emplace_back(store.tail()->index, store.tail()->items);
  Describe(s, store.cursor(), store.head(), store.tail());
  return s;
}

void ExpectSameState(Model& m, clsOrderedLinkedList& l, const std::string& where) {
  State expected = Capture(m);
  State actual = Capture(l);
  if (!(expected == actual)) {
    FAIL() << where << "\n model: " << Snapshot(m) << "\n  list: " << Snapshot(l);
  }
  std::string fault = OrderedLinkedListPeer::Store(l).CheckInvariants();
  if (!fault.empty()) FAIL() << where << ": " << fault;
}

TEST(OrderedLinkedListModelTest, RandomSequencesMatchTheLinearWalk) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    Driver d(seed);
    Model m;
    clsOrderedLinkedList l;
    ExpectSameState(m, l, "seed " + std::to_string(seed) + " at creation");
    for (int step = 0; step < 1000 && !::testing::Test::HasFatalFailure(); ++step) {
      Variant model_result, real_result;
      std::string what = Step(d, m, l, model_result, real_result);
      std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step) + ": " + what;
      ASSERT_EQ(real_result, model_result) << where;
      ExpectSameState(m, l, where);
    }
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace narwick
