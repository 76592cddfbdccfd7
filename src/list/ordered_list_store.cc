#include "list/ordered_list_store.h"

#include <algorithm>
#include <utility>

namespace narwick::list {

OrderedListStore::OrderedListStore() {
  MakeSentinels();
  // A new list's cursor stands on a node of its own that is not in the chain.
  detached_.push_back(std::make_unique<ListNode>());
  cursor_ = detached_.back().get();
}

OrderedListStore::~OrderedListStore() {
  for (ListNode* node : index_) delete node;
}

void OrderedListStore::MakeSentinels() {
  head_ = std::make_unique<ListNode>();
  tail_ = std::make_unique<ListNode>();
  head_->next = tail_.get();
  tail_->previous = head_.get();
}

void OrderedListStore::Link(ListNode* node, ListNode* successor) {
  ListNode* predecessor = successor->previous;
  predecessor->next = node;
  node->previous = predecessor;
  node->next = successor;
  successor->previous = node;
}

void OrderedListStore::Unlink(ListNode* node) {
  node->previous->next = node->next;
  node->next->previous = node->previous;
  node->previous = nullptr;
  node->next = nullptr;
}

bool OrderedListStore::IsPinned(const ListNode* node) const {
  return std::find(pins_.begin(), pins_.end(), node) != pins_.end();
}

void OrderedListStore::Retire(ListNode* node) {
  if (IsPinned(node)) {
    node->previous = nullptr;
    node->next = nullptr;
    detached_.emplace_back(node);
  } else {
    delete node;
  }
}

// The walk from the head sentinel stops on the head when the value is not above its index
// (-1), and otherwise on the first real node whose index is not below the value: the real
// nodes ascend strictly, so that node is the lower bound in the index.
bool OrderedListStore::Seek(Long value) {
  if (value <= head_->index) {
    cursor_ = head_.get();
    return value == head_->index;
  }
  auto it = index_.lower_bound(value);
  if (it == index_.end()) {
    cursor_ = tail_.get();
    return false;
  }
  cursor_ = *it;
  return (*it)->index == value;
}

bool OrderedListStore::Insert(Long index, Items&& items) {
  if (index <= head_->index) {
    cursor_ = head_.get();
    return false;
  }
  auto it = index_.lower_bound(index);
  ListNode* successor = it == index_.end() ? tail_.get() : *it;
  cursor_ = successor;
  if (successor->index == index && successor != tail_.get()) return false;
  auto node = std::make_unique<ListNode>();
  node->index = index;
  node->items = std::move(items);
  index_.insert(it, node.get());
  Link(node.get(), successor);
  node.release();
  return true;
}

bool OrderedListStore::Remove(Long index) {
  if (!Seek(index) || !IsRealNode(cursor_)) return false;
  ListNode* node = cursor_;
  index_.erase(node);
  Unlink(node);
  cursor_ = nullptr;
  Retire(node);
  return true;
}

bool OrderedListStore::RemoveCursorNode() {
  ListNode* node = cursor_;
  if (!IsRealNode(node) || node == head_.get() || node == tail_.get()) return false;
  // A node remembered by a memo may stand off the chain with its old links cleared, so a
  // real node is one that the index holds.
  auto it = index_.find(node);
  if (it == index_.end() || *it != node) return false;
  ListNode* predecessor = node->previous;
  index_.erase(it);
  Unlink(node);
  cursor_ = predecessor;
  Retire(node);
  return true;
}

void OrderedListStore::Clear() {
  std::vector<ListNode*> nodes(index_.begin(), index_.end());
  index_.clear();
  for (ListNode* node : nodes) {
    node->previous = nullptr;
    node->next = nullptr;
    Retire(node);
  }
  ListNode* old_head = head_.release();
  ListNode* old_tail = tail_.release();
  old_head->next = nullptr;
  old_tail->previous = nullptr;
  Retire(old_head);
  Retire(old_tail);
  MakeSentinels();
  cursor_ = head_.get();
  // The placeholder and other nodes off the chain are unreachable now unless remembered.
  std::erase_if(detached_, [&](const std::unique_ptr<ListNode>& node) { return !IsPinned(node.get()); });
}

void OrderedListStore::Renumber(Long first) {
  Long number = first;
  for (ListNode* node = head_->next; node != tail_.get(); node = node->next) node->index = number++;
}

void OrderedListStore::PushFront(Items&& items, Long max_length) {
  // Renumbering the former nodes 1, 2, ... first keeps the index free of two zeros; the new
  // node then takes 0 at the front, as the walk that renumbers the whole chain would give.
  Renumber(1);
  auto node = std::make_unique<ListNode>();
  node->index = 0;
  node->items = std::move(items);
  index_.insert(index_.begin(), node.get());
  Link(node.get(), head_->next);
  node.release();
  if (max_length > 0) {
    while (!index_.empty() && tail_->previous->index >= max_length) {
      ListNode* victim = tail_->previous;
      index_.erase(std::prev(index_.end()));
      Unlink(victim);
      Retire(victim);
    }
  }
  cursor_ = tail_.get();
}

Long OrderedListStore::FirstFreeIndex(Long first, Long last) const {
  Long candidate = first;
  for (auto it = index_.lower_bound(first); it != index_.end() && candidate <= last; ++it) {
    if ((*it)->index != candidate) break;
    ++candidate;
  }
  return candidate;
}

std::vector<ListNode*> OrderedListStore::Nodes() const {
  std::vector<ListNode*> nodes;
  nodes.reserve(index_.size());
  for (ListNode* node = head_->next; node != tail_.get(); node = node->next) nodes.push_back(node);
  return nodes;
}

OrderedListStore::CursorMemo::CursorMemo(OrderedListStore& store)
    : store_(store), saved_(store.cursor_) {
  store_.pins_.push_back(saved_);
}

OrderedListStore::CursorMemo::~CursorMemo() {
  auto it = std::find(store_.pins_.rbegin(), store_.pins_.rend(), saved_);
  if (it != store_.pins_.rend()) store_.pins_.erase(std::next(it).base());
}

std::string OrderedListStore::CheckInvariants() const {
  if (head_->previous != nullptr) return "head sentinel has a predecessor";
  if (tail_->next != nullptr) return "tail sentinel has a successor";
  if (head_->index != -1 || tail_->index != -1) return "sentinel index is not -1";
  auto it = index_.begin();
  Long last_index = -1;
  for (ListNode* node = head_.get(); node != tail_.get(); node = node->next) {
    ListNode* next = node->next;
    if (next == nullptr) return "chain ends before the tail sentinel";
    if (next->previous != node) return "previous link does not mirror next link";
    if (next == tail_.get()) break;
    if (it == index_.end() || *it != next) return "index and chain disagree";
    if (next->index <= last_index) return "indexes do not ascend";
    last_index = next->index;
    ++it;
  }
  if (it != index_.end()) return "index holds nodes outside the chain";
  return {};
}

}  // namespace narwick::list
