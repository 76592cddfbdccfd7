// clsBinaryTree: an unbalanced binary search tree of Variant values, with its node record
// clsTreeNode.
#pragma once

#include <memory>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

// A plain record: the value and the two subtrees it owns. Releasing a node releases its
// whole subtree, however deep, without recursion.
class clsTreeNode {
 public:
  clsTreeNode() = default;
  explicit clsTreeNode(Variant value) : Value(std::move(value)) {}
  clsTreeNode(const clsTreeNode&) = delete;
  clsTreeNode& operator=(const clsTreeNode&) = delete;
  ~clsTreeNode();

  Variant Value;
  std::unique_ptr<clsTreeNode> LeftChild;   // values that compare smaller
  std::unique_ptr<clsTreeNode> RightChild;  // values that compare greater, and equal ones from Add
};

// Values are ordered by the Variant ordering (numbers by value, strings by character code, a
// number below any string, Empty as 0 or "", Null unordered). No member traps its errors: a
// comparison that cannot be made (an Error value against a number, an object) raises to the
// caller, and the tree keeps the nodes it had. Insertion and the walks use no recursion, so
// sorted input, which makes a chain as deep as the tree is large, cannot exhaust the stack.
class clsBinaryTree final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override;

  // Inserts the value; an equal (or unordered, as Null is) value goes to the right.
  void Add(const Variant& varNewItem);
  // Inserts the value unless an equal (or unordered) value is met on the way down.
  void AddUnique(const Variant& varNewItem);
  // The three depth-first walks. Visiting a node does nothing observable.
  void WalkInOrder();
  void WalkPreOrder();
  void WalkPostOrder();

  // For C++ hosts and tests: the top node, null while the tree is empty.
  const clsTreeNode* root() const { return root_.get(); }

 private:
  void Insert();

  std::unique_ptr<clsTreeNode> root_;
  bool duplicates_ = false;  // the duplicates flag: True during Add, False during AddUnique
  Variant new_value_;        // the value being added; keeps the last one after the call

  // Ends of the two outer spines. While every value in the tree is of a kind whose ordering
  // is total (see binary_tree.cc), a value at or beyond an end is attached there directly.
  clsTreeNode* leftmost_ = nullptr;
  clsTreeNode* rightmost_ = nullptr;
  bool totally_ordered_ = true;
};

}  // namespace narwick
