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

OrderedListStore::~OrderedListStore() = default;

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

void OrderedListStore::set_cursor(ListNode* node) {
  const ListNode* left = cursor_;
  cursor_ = node;
  if (left != node) ReleaseOffChain(left);
}

void OrderedListStore::ReleaseOffChain(const ListNode* node) {
  // Every cursor move comes here; almost always nothing is off the chain.
  if (detached_.empty() && detached_real_.empty()) return;
  if (node == nullptr || node == cursor_ || IsPinned(node)) return;
  std::erase_if(detached_, [&](const std::unique_ptr<ListNode>& kept) { return kept.get() == node; });
  std::erase_if(detached_real_, [&](const Index::node_type& kept) { return &kept.value() == node; });
}

void OrderedListStore::Retire(Index::iterator it) {
  if (IsPinned(&*it)) {
    ListNode* node = Ptr(*it);
    node->previous = nullptr;
    node->next = nullptr;
    detached_real_.push_back(index_.extract(it));  // the node keeps its address
  } else {
    index_.erase(it);
  }
}

void OrderedListStore::RetireSentinel(std::unique_ptr<ListNode> node) {
  node->previous = nullptr;
  node->next = nullptr;
  if (IsPinned(node.get())) detached_.push_back(std::move(node));
}

// The walk from the head sentinel stops on the head when the value is not above its index
// (-1), and otherwise on the first real node whose index is not below the value: the real
// nodes ascend strictly, so that node is the lower bound in the index.
bool OrderedListStore::Seek(Long value) {
  if (value <= head_->index) {
    set_cursor(head_.get());
    return value == head_->index;
  }
  auto it = index_.lower_bound(value);
  if (it == index_.end()) {
    set_cursor(tail_.get());
    return false;
  }
  set_cursor(Ptr(*it));
  return it->index == value;
}

bool OrderedListStore::Remove(Long index) {
  if (!Seek(index) || !IsRealNode(cursor_)) return false;
  auto it = index_.find(index);
  Unlink(Ptr(*it));
  cursor_ = nullptr;
  Retire(it);
  return true;
}

bool OrderedListStore::RemoveCursorNode() {
  ListNode* node = cursor_;
  // Sentinels lack a link, and so does a node off the chain.
  if (!IsRealNode(node)) return false;
  auto it = index_.find(node->index);
  if (it == index_.end() || &*it != node) return false;
  ListNode* predecessor = node->previous;
  Unlink(node);
  cursor_ = predecessor;
  Retire(it);
  return true;
}

void OrderedListStore::Clear() {
  while (!index_.empty()) {
    auto it = index_.begin();
    ListNode* node = Ptr(*it);
    node->previous = nullptr;
    node->next = nullptr;
    Retire(it);
  }
  RetireSentinel(std::move(head_));
  RetireSentinel(std::move(tail_));
  MakeSentinels();
  cursor_ = head_.get();
  // The placeholder and other nodes off the chain are unreachable now unless remembered.
  std::erase_if(detached_, [&](const std::unique_ptr<ListNode>& node) { return !IsPinned(node.get()); });
  std::erase_if(detached_real_, [&](const Index::node_type& node) { return !IsPinned(&node.value()); });
}

void OrderedListStore::Renumber(Long first) {
  Long number = first;
  for (ListNode* node = head_->next; node != tail_.get(); node = node->next) node->index = number++;
}

Long OrderedListStore::FirstFreeIndex(Long first, Long last) const {
  Long candidate = first;
  for (auto it = index_.lower_bound(first); it != index_.end() && candidate <= last; ++it) {
    if (it->index != candidate) break;
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
  // Left off the chain and not put back (a failure ended the member first): nothing holds it.
  store_.ReleaseOffChain(saved_);
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
    if (it == index_.end() || &*it != next) return "index and chain disagree";
    if (next->index <= last_index) return "indexes do not ascend";
    last_index = next->index;
    ++it;
  }
  if (it != index_.end()) return "index holds nodes outside the chain";
  return {};
}

}  // namespace narwick::list
