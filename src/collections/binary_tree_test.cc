// clsBinaryTree: random insertions against a plain recursive tree and a stable sort, errors
// passing to the caller, and deep sorted input.
#include "narwick/collections/binary_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "binary_tree_walk.h"
#include "frame/member_table.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/object.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

std::vector<Variant> InOrder(const clsBinaryTree& tree) {
  std::vector<Variant> out;
  tree_walk::InOrder(tree.root(), [&](const clsTreeNode& n) { out.push_back(n.Value); });
  return out;
}
std::vector<Variant> PreOrder(const clsBinaryTree& tree) {
  std::vector<Variant> out;
  tree_walk::PreOrder(tree.root(), [&](const clsTreeNode& n) { out.push_back(n.Value); });
  return out;
}
std::vector<Variant> PostOrder(const clsBinaryTree& tree) {
  std::vector<Variant> out;
  tree_walk::PostOrder(tree.root(), [&](const clsTreeNode& n) { out.push_back(n.Value); });
  return out;
}

// The tree written out as (left value right).
std::string Shape(const clsTreeNode* n) {
  if (n == nullptr) return "";
  const std::string value = n->Value.IsNull() ? "Null" : ToUtf8(CStr(n->Value));
  return "(" + Shape(n->LeftChild.get()) + value + Shape(n->RightChild.get()) + ")";
}

TEST(BinaryTreeTest, SmallShapes) {
  const Variant null = Variant::Null();
  const struct {
    bool unique;
    std::vector<Variant> input;
    const char* shape;
  } cases[] = {
      {false, {5, 3, 8, 5}, "((3)5((5)8))"},  // the equal 5 goes right, then left of 8
      {true, {5, 3, 5}, "((3)5)"},
      {false, {u"b", u"B", u"a"}, "((B(a))b)"},  // by character code: "B" < "a" < "b"
      {false, {null, null}, "(Null(Null))"},     // unordered counts as equal
      {true, {null, null}, "(Null)"},
  };
  for (const auto& c : cases) {
    clsBinaryTree tree;
    for (const Variant& v : c.input) c.unique ? tree.AddUnique(v) : tree.Add(v);
    EXPECT_EQ(Shape(tree.root()), c.shape);
  }
}

TEST(BinaryTreeTest, FailedComparisonsReachTheCallerAndKeepTheTree) {
  Object tree = CreateObject("Narwick.clsBinaryTree");
  tree.Call("Add", {1});
  tree.Call("Add", {u"x"});
  EXPECT_RUNTIME_ERROR(tree.Call("Add", {ErrorCode{5}}), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(tree.Call("AddUnique", {Variant(CreateObject("Narwick.clsBinaryTree"))}),
                       err::kTypeMismatch);
  const auto* typed = tree.As<clsBinaryTree>();
  EXPECT_EQ(InOrder(*typed), (std::vector<Variant>{1, u"x"}));
  // Into an empty tree nothing is compared: the first value becomes the root.
  clsBinaryTree fresh;
  fresh.Add(ErrorCode{5});
  EXPECT_EQ(fresh.root()->Value, Variant(ErrorCode{5}));
  EXPECT_RUNTIME_ERROR(fresh.Add(5), err::kTypeMismatch);
}

TEST(BinaryTreeTest, EveryMemberAnswersByName) {
  Object tree = MakeObject(std::make_shared<clsBinaryTree>());
  std::vector<std::string> names;
  for (const auto& member : tree.get()->TypeInfo().members()) {
    names.push_back(member.name);
    if (member.params.empty()) {
      EXPECT_TRUE(tree.Call(member.name).IsEmpty());  // a walk, of the empty tree too
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Add", "AddUnique", "WalkInOrder", "WalkPreOrder",
                                             "WalkPostOrder"}));
  Variant v = u"keep";
  tree.Call("Add", {ByRef(v)});
  tree.Call("AddUnique", {ByRef(v)});
  tree.Call("Add", {ByRef(v)});
  EXPECT_EQ(v, Variant(u"keep"));  // the argument is not changed
  EXPECT_EQ(InOrder(*tree.As<clsBinaryTree>()), (std::vector<Variant>{u"keep", u"keep"}));
}

// Sorted input makes a chain as deep as the tree (right children going up, left ones going
// down); nothing may recurse over it, neither the walks nor the release.
TEST(BinaryTreeTest, FiftyThousandSortedValues) {
  constexpr int kCount = 50000;
  for (const bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "ascending" : "descending");
    auto tree = std::make_unique<clsBinaryTree>();
    for (int i = 0; i < kCount; ++i) {
      const std::string digits = std::to_string(2000000 - i);  // fixed width
      ascending ? tree->Add(i) : tree->AddUnique(u"k" + String(digits.begin(), digits.end()));
    }
    int depth = 0;
    for (const clsTreeNode* n = tree->root(); n != nullptr; ++depth) {
      ASSERT_EQ(ascending ? n->LeftChild : n->RightChild, nullptr);
      n = (ascending ? n->RightChild : n->LeftChild).get();
    }
    EXPECT_EQ(depth, kCount);
    tree->WalkInOrder();
    tree->WalkPreOrder();
    tree->WalkPostOrder();
    EXPECT_EQ(InOrder(*tree).size(), static_cast<std::size_t>(kCount));
    tree.reset();
  }
}

// A plain recursive tree following the insertion rule as stated, for shape comparison.
struct ModelNode {
  Variant value;
  std::unique_ptr<ModelNode> left, right;
};

void ModelInsert(std::unique_ptr<ModelNode>& link, const Variant& v, bool duplicates) {
  if (!link) {
    link = std::make_unique<ModelNode>(ModelNode{v, nullptr, nullptr});
    return;
  }
  if (Less(v, link->value)) {
    ModelInsert(link->left, v, duplicates);
  } else if (Greater(v, link->value)) {
    ModelInsert(link->right, v, duplicates);
  } else if (duplicates) {
    ModelInsert(link->right, v, duplicates);
  }
}

void ModelWalk(const ModelNode* n, bool pre, std::vector<Variant>& out) {
  if (n == nullptr) return;
  if (pre) out.push_back(n->value);
  ModelWalk(n->left.get(), pre, out);
  ModelWalk(n->right.get(), pre, out);
  if (!pre) out.push_back(n->value);
}

Variant RandomValue(std::mt19937& rng, bool only_total_kinds) {
  const int n = static_cast<int>(rng() % 40) - 20;
  switch (rng() % (only_total_kinds ? 6 : 9)) {
    case 0: return n;
    case 1: return static_cast<Integer>(n);
    case 2: return n / 2.0;
    case 3: return String(1, static_cast<char16_t>(u'a' + (rng() % 6))) + (rng() % 2 ? u"x" : u"");
    case 4: return n % 2 == 0;
    case 5: return Date{static_cast<double>(n)};
    case 6: return Variant();
    case 7: return static_cast<float>(n) / 3.0f;
    default: return Variant::Null();
  }
}

// Runs of sorted values reach the spine shortcuts; mixed values the full path.
std::vector<Variant> RandomInput(std::mt19937& rng, bool only_total_kinds) {
  std::vector<Variant> values;
  const int count = static_cast<int>(rng() % 300);
  while (static_cast<int>(values.size()) < count) {
    const int mode = static_cast<int>(rng() % 4);
    if (mode == 0) {
      values.push_back(RandomValue(rng, only_total_kinds));
    } else {
      const int base = static_cast<int>(rng() % 200) - 100;
      const int run = static_cast<int>(rng() % 20);
      for (int i = 0; i < run; ++i) values.push_back(mode == 1 ? base + i : (mode == 2 ? base - i : base));
    }
  }
  return values;
}

TEST(BinaryTreeTest, ShapeMatchesAPlainTreeAndInOrderIsAStableSort) {
  const unsigned seed = 1205;
  std::mt19937 rng(seed);
  for (int round = 0; round < 600; ++round) {
    const bool only_total_kinds = round % 3 != 0;
    const bool duplicates = round % 2 == 0;
    const std::vector<Variant> input = RandomInput(rng, only_total_kinds);
    clsBinaryTree tree;
    std::unique_ptr<ModelNode> model;
    for (const Variant& v : input) {
      duplicates ? tree.Add(v) : tree.AddUnique(v);
      ModelInsert(model, v, duplicates);
    }
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    std::vector<Variant> pre, post;
    ModelWalk(model.get(), true, pre);
    ModelWalk(model.get(), false, post);
    ASSERT_EQ(PreOrder(tree), pre);
    ASSERT_EQ(PostOrder(tree), post);
    if (!only_total_kinds) continue;
    // The tie rule: equal values keep their insertion order (Add) or only the first stays.
    std::vector<Variant> expected;
    for (const Variant& v : input) {
      const auto same = [&](const Variant& e) { return Equal(e, v); };
      if (duplicates || std::none_of(expected.begin(), expected.end(), same)) expected.push_back(v);
    }
    std::stable_sort(expected.begin(), expected.end(), Less);
    ASSERT_EQ(InOrder(tree), expected);
  }
}

}  // namespace
}  // namespace narwick
