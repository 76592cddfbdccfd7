// The three depth-first walks over clsTreeNode, with an explicit stack so that a chain as
// deep as the tree is large does not exhaust the call stack.
#pragma once

#include <utility>
#include <vector>

#include "narwick/collections/binary_tree.h"

namespace narwick::tree_walk {

// Left subtree, node, right subtree.
template <class Visit>
void InOrder(const clsTreeNode* root, Visit&& visit) {
  std::vector<const clsTreeNode*> pending;
  const clsTreeNode* node = root;
  while (node != nullptr || !pending.empty()) {
    for (; node != nullptr; node = node->LeftChild.get()) pending.push_back(node);
    node = pending.back();
    pending.pop_back();
    visit(*node);
    node = node->RightChild.get();
  }
}

// Node, left subtree, right subtree.
template <class Visit>
void PreOrder(const clsTreeNode* root, Visit&& visit) {
  std::vector<const clsTreeNode*> pending;
  if (root != nullptr) pending.push_back(root);
  while (!pending.empty()) {
    const clsTreeNode* node = pending.back();
    pending.pop_back();
    visit(*node);
    if (node->RightChild) pending.push_back(node->RightChild.get());
    if (node->LeftChild) pending.push_back(node->LeftChild.get());  // popped first
  }
}

// Left subtree, right subtree, node.
template <class Visit>
void PostOrder(const clsTreeNode* root, Visit&& visit) {
  // Each node is pushed twice: first to expand its children, then (marked) to be visited
  // once both subtrees are done.
  std::vector<std::pair<const clsTreeNode*, bool>> pending;
  if (root != nullptr) pending.emplace_back(root, false);
  while (!pending.empty()) {
    auto [node, expanded] = pending.back();
    pending.pop_back();
    if (expanded) {
      visit(*node);
      continue;
    }
    pending.emplace_back(node, true);
    if (node->RightChild) pending.emplace_back(node->RightChild.get(), false);
    if (node->LeftChild) pending.emplace_back(node->LeftChild.get(), false);
  }
}

}  // namespace narwick::tree_walk
