// The node store of the ordered list: a doubly linked chain of nodes between a head and a
// tail sentinel, the cursor, and an ordered index beside the chain. The index answers every
// lookup by node index in O(log n) and leaves the cursor exactly where a walk from the head
// sentinel would have stopped. Items are carried, never interpreted.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <set>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick::list {

inline constexpr int kItemCount = 12;
using Items = std::array<Variant, kItemCount>;

// clsLinkedListNode: a plain record. A node is "real" when both links are set; the head
// sentinel has no predecessor, the tail sentinel no successor, and a node off the chain (the
// placeholder a new list's cursor starts on) has neither.
//
// The real nodes live inside the ordered index (one allocation per node, the key beside the
// links); a set hands its elements out as const, so the fields are mutable. An index is only
// ever rewritten in a way that keeps the order of the index.
struct ListNode {
  ListNode() = default;
  explicit ListNode(Long node_index) : index(node_index) {}

  mutable ListNode* previous = nullptr;  // PreviousItem
  mutable ListNode* next = nullptr;      // NextItem
  mutable Long index = -1;               // Index
  mutable Items items;                   // Item1 .. Item12
};

inline bool IsRealNode(const ListNode* node) {
  return node != nullptr && node->previous != nullptr && node->next != nullptr;
}

class OrderedListStore {
 public:
  OrderedListStore();
  ~OrderedListStore();
  OrderedListStore(const OrderedListStore&) = delete;
  OrderedListStore& operator=(const OrderedListStore&) = delete;

  // The cursor (currentNode); null while unset. A node off the chain (the placeholder, or a
  // node that left the list while the cursor was remembered on it) lives only as long as the
  // cursor or a remembered cursor stands on it, as the reference to it would keep it: moving
  // the cursor away destroys it and releases its items.
  ListNode* cursor() const { return cursor_; }
  void set_cursor(ListNode* node);
  ListNode* head() const { return head_.get(); }
  ListNode* tail() const { return tail_.get(); }
  ListNode* first() const { return head_->next; }  // the tail sentinel on an empty list
  ListNode* last() const { return tail_->previous; }

  std::size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }

  // The index search from the head sentinel (FindNodePosition by index). True when a node has
  // `value` as index; the cursor is then on it, otherwise on the first node with a greater
  // index, or on the tail sentinel. A value of -1 finds the head sentinel; below -1 the walk
  // stops on the head sentinel without a match.
  bool Seek(Long value);

  // Adds a node at its index position (AddNewNode, InsertNodeInOrder). Nothing is added when
  // the index is taken, or when it is below -1: the walk stops on the head sentinel, and there
  // is no place in front of it. The cursor is left where the index search left it.
  // `fill(Items&)` stores the items of a node that is going to be added, before it is linked.
  template <class Fill>
  bool Insert(Long index, Fill&& fill);
  bool Insert(Long index, Items&& items) {
    return Insert(index, [&](Items& target) { target = std::move(items); });
  }

  // Unlinks and destroys the node with that index (DeleteNode); the cursor becomes unset.
  // False, with the cursor where the search left it, when there is none or it is the head.
  bool Remove(Long index);
  // Unlinks and destroys the cursor's node when it is a real node (DeleteCurrentNode); the
  // cursor goes to its predecessor.
  bool RemoveCursorNode();
  // Discards every node, makes fresh sentinels and puts the cursor on the head (EmptyList).
  void Clear();

  // Rewrites the indexes in chain order as first, first + 1, ... ; the cursor stays.
  void Renumber(Long first);
  // The fixed-length queue insert: a node with the items goes in front of the first node, the
  // chain is renumbered 0, 1, ... and, for a positive max_length, cut to max_length nodes.
  // The cursor ends on the tail sentinel.
  template <class Fill>
  void PushFront(Fill&& fill, Long max_length);

  // The lowest index in first .. last that no node has, or last + 1 when all are taken.
  Long FirstFreeIndex(Long first, Long last) const;

  // The real nodes in chain order, for walks that must not disturb the cursor.
  std::vector<ListNode*> Nodes() const;

  // Remembers the cursor so that it can be put back exactly as it was. While remembered, the
  // node stays alive even if it leaves the list (it then stands off the chain, like the
  // placeholder, keeping its index and items).
  class CursorMemo {
   public:
    explicit CursorMemo(OrderedListStore& store);
    ~CursorMemo();
    CursorMemo(const CursorMemo&) = delete;
    CursorMemo& operator=(const CursorMemo&) = delete;
    void Restore() { store_.set_cursor(saved_); }

   private:
    OrderedListStore& store_;
    ListNode* saved_;
  };

  // Empty when chain, links, index order and the index agree; otherwise what is wrong.
  std::string CheckInvariants() const;

 private:
  struct ByIndex {
    using is_transparent = void;
    bool operator()(const ListNode& a, const ListNode& b) const { return a.index < b.index; }
    bool operator()(const ListNode& a, Long b) const { return a.index < b; }
    bool operator()(Long a, const ListNode& b) const { return a < b.index; }
  };
  // Node indexes are rewritten in place by the renumbering members; they keep the chain order,
  // so the ordering of the set stays valid.
  using Index = std::set<ListNode, ByIndex>;

  static ListNode* Ptr(const ListNode& node) { return const_cast<ListNode*>(&node); }
  static void Link(ListNode* node, ListNode* successor);
  static void Unlink(ListNode* node);
  // Removes a real node from the index and destroys it, unless the cursor is remembered on it:
  // then it is kept, off the chain, at the same address.
  void Retire(Index::iterator it);
  void RetireSentinel(std::unique_ptr<ListNode> node);
  void MakeSentinels();
  bool IsPinned(const ListNode* node) const;
  // Destroys `node` if it is off the chain and neither the cursor nor remembered. Only
  // compares the address, so `node` may be one that is already gone.
  void ReleaseOffChain(const ListNode* node);

  std::unique_ptr<ListNode> head_;  // headNode
  std::unique_ptr<ListNode> tail_;  // tailNode
  // Nodes off the chain that the cursor may stand on: the placeholder of a new list, and
  // nodes that left the list while the cursor was remembered on them.
  std::vector<std::unique_ptr<ListNode>> detached_;
  std::vector<Index::node_type> detached_real_;
  Index index_;                     // the real nodes, ordered by index
  ListNode* cursor_ = nullptr;      // currentNode
  std::vector<const ListNode*> pins_;
};

template <class Fill>
bool OrderedListStore::Insert(Long index, Fill&& fill) {
  if (index <= head_->index) {
    set_cursor(head_.get());
    return false;
  }
  auto it = index_.lower_bound(index);
  ListNode* successor = it == index_.end() ? tail_.get() : Ptr(*it);
  set_cursor(successor);
  if (it != index_.end() && it->index == index) return false;
  auto added = index_.emplace_hint(it, index);
  try {
    fill(added->items);
  } catch (...) {
    index_.erase(added);
    throw;
  }
  Link(Ptr(*added), successor);
  return true;
}

template <class Fill>
void OrderedListStore::PushFront(Fill&& fill, Long max_length) {
  // Renumbering the former nodes 1, 2, ... first keeps the index free of two zeros; the new
  // node then takes 0 at the front, as the walk that renumbers the whole chain would give.
  Renumber(1);
  auto added = index_.emplace_hint(index_.begin(), Long{0});
  try {
    fill(added->items);
  } catch (...) {
    index_.erase(added);
    throw;
  }
  Link(Ptr(*added), head_->next);
  set_cursor(tail_.get());
  if (max_length > 0) {
    while (!index_.empty() && tail_->previous->index >= max_length) {
      auto last = std::prev(index_.end());
      Unlink(Ptr(*last));
      Retire(last);
    }
  }
}

}  // namespace narwick::list
