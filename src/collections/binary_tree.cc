// clsBinaryTree: insertion without recursion, and two exact shortcuts for sorted input.
//
// The insertion follows the path from the root, comparing the new value with each node: to
// the left when smaller, to the right when greater, and on equal (or unordered) values to
// the right for Add or nowhere for AddUnique. Sorted input turns that path into the whole
// tree, n comparisons per insertion.
//
// The shortcuts. For values of kinds whose ordering is a total preorder (whole numbers,
// Boolean, Double and Date other than NaN, strings), the ordering is transitive, so every
// node on the right spine compares at most equal to the rightmost node, and every node on
// the left spine at least equal to the leftmost. A value that compares at least equal to the
// rightmost therefore goes right at every spine node (stopping at some equal node for
// AddUnique, in which case the rightmost is equal too), and a value strictly below the
// leftmost goes left at every spine node. The shortcut gives the same tree as the path
// would. Comparisons between such values cannot fail, so no error is skipped either.
// Empty (equal both to 0 and to ""), Single (compared at single precision), Currency, Null,
// Error and objects break transitivity or can fail; once one of them is in the tree, every
// insertion takes the full path.
#include "narwick/collections/binary_tree.h"

#include <cmath>
#include <compare>
#include <vector>

#include "binary_tree_walk.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "narwick/frame/convert.h"

namespace narwick {

namespace {

bool IsTotallyOrdered(const Variant& v) {
  switch (v.VarType()) {
    case VbVarType::vbInteger:
    case VbVarType::vbLong:
    case VbVarType::vbByte:
    case VbVarType::vbBoolean:
    case VbVarType::vbString:
      return true;
    case VbVarType::vbDouble:
    case VbVarType::vbDate:
      return !std::isnan(v.Real());
    default:
      return false;
  }
}

}  // namespace

clsTreeNode::~clsTreeNode() {
  // Detach the subtrees into a work list so that releasing a deep chain takes no recursion:
  // each node popped from the list has no children left when it is destroyed.
  std::vector<std::unique_ptr<clsTreeNode>> pending;
  if (LeftChild) pending.push_back(std::move(LeftChild));
  if (RightChild) pending.push_back(std::move(RightChild));
  while (!pending.empty()) {
    std::unique_ptr<clsTreeNode> node = std::move(pending.back());
    pending.pop_back();
    if (node->LeftChild) pending.push_back(std::move(node->LeftChild));
    if (node->RightChild) pending.push_back(std::move(node->RightChild));
  }
}

const frame::ClassInfo& clsBinaryTree::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<clsBinaryTree>("clsBinaryTree")
      .Method("Add", &clsBinaryTree::Add, {"varNewItem"})
      .Method("AddUnique", &clsBinaryTree::AddUnique, {"varNewItem"})
      .Method("WalkInOrder", &clsBinaryTree::WalkInOrder)
      .Method("WalkPreOrder", &clsBinaryTree::WalkPreOrder)
      .Method("WalkPostOrder", &clsBinaryTree::WalkPostOrder)
      .Build();
  return info;
}

void clsBinaryTree::Add(const Variant& varNewItem) {
  duplicates_ = true;
  new_value_ = varNewItem;
  Insert();
}

void clsBinaryTree::AddUnique(const Variant& varNewItem) {
  duplicates_ = false;
  new_value_ = varNewItem;
  Insert();
}

void clsBinaryTree::Insert() {
  const bool ordered_value = IsTotallyOrdered(new_value_);
  if (!root_) {
    root_ = std::make_unique<clsTreeNode>(new_value_);
    leftmost_ = rightmost_ = root_.get();
    totally_ordered_ = ordered_value;
    return;
  }

  if (totally_ordered_ && ordered_value) {
    const std::partial_ordering to_max = Compare(new_value_, rightmost_->Value);
    if (to_max == std::partial_ordering::greater ||
        (to_max == std::partial_ordering::equivalent && duplicates_)) {
      rightmost_->RightChild = std::make_unique<clsTreeNode>(new_value_);
      rightmost_ = rightmost_->RightChild.get();
      return;
    }
    if (to_max == std::partial_ordering::equivalent) return;  // AddUnique: already present
    if (Compare(new_value_, leftmost_->Value) == std::partial_ordering::less) {
      leftmost_->LeftChild = std::make_unique<clsTreeNode>(new_value_);
      leftmost_ = leftmost_->LeftChild.get();
      return;
    }
  }

  // The full path. Only an empty link receives the new node, and only once every comparison
  // has been made, so a comparison that fails leaves the tree as it was. While the shortcuts
  // are in use this path never ends below a spine end (those values took a shortcut), and a
  // value of another kind turns them off for good, so the spine ends need no update here.
  std::unique_ptr<clsTreeNode>* link = &root_;
  while (*link) {
    clsTreeNode* node = link->get();
    const std::partial_ordering order = Compare(new_value_, node->Value);
    if (order == std::partial_ordering::less) {
      link = &node->LeftChild;
    } else if (order == std::partial_ordering::greater || duplicates_) {
      link = &node->RightChild;  // greater; or equal / unordered with duplicates allowed
    } else {
      return;  // equal or unordered, and AddUnique
    }
  }
  *link = std::make_unique<clsTreeNode>(new_value_);
  totally_ordered_ = totally_ordered_ && ordered_value;
}

void clsBinaryTree::WalkInOrder() {
  tree_walk::InOrder(root_.get(), [](const clsTreeNode&) {});
}

void clsBinaryTree::WalkPreOrder() {
  tree_walk::PreOrder(root_.get(), [](const clsTreeNode&) {});
}

void clsBinaryTree::WalkPostOrder() {
  tree_walk::PostOrder(root_.get(), [](const clsTreeNode&) {});
}

NARWICK_REGISTER_CLASS(clsBinaryTree);

}  // namespace narwick
