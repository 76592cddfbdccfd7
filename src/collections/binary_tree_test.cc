// clsBinaryTree: the documented shapes, errors passing to the caller, deep sorted input, and
// random insertions against a plain recursive tree and a stable sort.
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

TEST(BinaryTreeTest, EqualValuesGoRight) {
  clsBinaryTree tree;
  for (int v : {5, 3, 8, 5}) tree.Add(v);
  const clsTreeNode* root = tree.root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Value, Variant(5));
  EXPECT_EQ(root->LeftChild->Value, Variant(3));
  EXPECT_EQ(root->RightChild->Value, Variant(8));
  ASSERT_NE(root->RightChild->LeftChild, nullptr);
  EXPECT_EQ(root->RightChild->LeftChild->Value, Variant(5));
  EXPECT_EQ(InOrder(tree), (std::vector<Variant>{3, 5, 5, 8}));
  EXPECT_EQ(PreOrder(tree), (std::vector<Variant>{5, 3, 8, 5}));
  EXPECT_EQ(PostOrder(tree), (std::vector<Variant>{3, 5, 8, 5}));
}

TEST(BinaryTreeTest, AddUniqueSkipsEqualValues) {
  clsBinaryTree tree;
  for (int v : {5, 3, 5}) tree.AddUnique(v);
  EXPECT_EQ(PreOrder(tree), (std::vector<Variant>{5, 3}));
  tree.AddUnique(5.0);  // equal by value across kinds
  tree.AddUnique(Integer{3});
  EXPECT_EQ(PreOrder(tree), (std::vector<Variant>{5, 3}));
}

TEST(BinaryTreeTest, StringsCompareByCharacterCode) {
  clsBinaryTree tree;
  for (const char16_t* s : {u"b", u"B", u"a"}) tree.Add(s);
  const clsTreeNode* root = tree.root();
  EXPECT_EQ(root->Value, Variant(u"b"));
  EXPECT_EQ(root->LeftChild->Value, Variant(u"B"));
  EXPECT_EQ(root->LeftChild->RightChild->Value, Variant(u"a"));
  tree.Add(7);  // a number is below any string
  EXPECT_EQ(InOrder(tree), (std::vector<Variant>{7, u"B", u"a", u"b"}));
}

TEST(BinaryTreeTest, NullIsUnordered) {
  clsBinaryTree tree;
  tree.Add(Variant::Null());
  tree.Add(Variant::Null());
  ASSERT_NE(tree.root()->RightChild, nullptr);
  EXPECT_TRUE(tree.root()->RightChild->Value.IsNull());
  clsBinaryTree unique;
  unique.AddUnique(Variant::Null());
  unique.AddUnique(Variant::Null());
  unique.AddUnique(4);  // unordered against the Null root: not added either
  EXPECT_EQ(PreOrder(unique).size(), 1u);
}

TEST(BinaryTreeTest, EmptyTreeWalksReturnAtOnce) {
  clsBinaryTree tree;
  tree.WalkInOrder();
  tree.WalkPreOrder();
  tree.WalkPostOrder();
  EXPECT_EQ(tree.root(), nullptr);
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

TEST(BinaryTreeTest, ArgumentIsNotChanged) {
  Object tree = CreateObject("Narwick.clsBinaryTree");
  Variant v = u"keep";
  tree.Call("Add", {ByRef(v)});
  tree.Call("AddUnique", {ByRef(v)});
  EXPECT_EQ(v, Variant(u"keep"));
}

TEST(BinaryTreeTest, EveryMemberAnswersByName) {
  Object tree = MakeObject(std::make_shared<clsBinaryTree>());
  int seen = 0;
  for (const auto& member : tree.get()->TypeInfo().members()) {
    ASSERT_EQ(member.kind, frame::MemberKind::kMethod);
    if (member.params.empty()) {
      EXPECT_TRUE(tree.Call(member.name).IsEmpty());
    } else {
      tree.Call(member.name, {seen});
    }
    ++seen;
  }
  EXPECT_EQ(seen, 5);
  EXPECT_EQ(InOrder(*tree.As<clsBinaryTree>()), (std::vector<Variant>{0, 1}));
}

// Sorted input makes a chain as deep as the tree; nothing may recurse over it.
TEST(BinaryTreeTest, FiftyThousandSortedValues) {
  constexpr int kCount = 50000;
  auto tree = std::make_unique<clsBinaryTree>();
  for (int i = 0; i < kCount; ++i) tree->Add(i);
  // A chain of right children.
  int depth = 0;
  for (const clsTreeNode* n = tree->root(); n != nullptr; n = n->RightChild.get()) {
    EXPECT_EQ(n->LeftChild, nullptr);
    ++depth;
  }
  EXPECT_EQ(depth, kCount);
  tree->WalkInOrder();
  tree->WalkPreOrder();
  tree->WalkPostOrder();
  // Values that take the whole path down the chain.
  tree->Add(kCount - 1.5);
  tree->AddUnique(kCount - 2);
  tree->Add(Variant());  // Empty equals 0, so it lands right of 0; later insertions take the full path
  tree->Add(kCount / 2 + 0.5);
  const std::vector<Variant> in_order = InOrder(*tree);
  ASSERT_EQ(in_order.size(), static_cast<std::size_t>(kCount + 3));
  EXPECT_EQ(in_order[0], Variant(0));
  EXPECT_TRUE(in_order[1].IsEmpty());
  EXPECT_EQ(in_order[kCount / 2 + 2], Variant(kCount / 2 + 0.5));
  EXPECT_EQ(in_order[kCount + 1], Variant(kCount - 1.5));
  EXPECT_EQ(in_order[kCount + 2], Variant(kCount - 1));
  EXPECT_EQ(PostOrder(*tree).back(), Variant(0));
  tree.reset();  // releases the chain without recursion

  clsBinaryTree descending;
  for (int i = kCount; i > 0; --i) {
    const std::string digits = std::to_string(1000000 + i);  // fixed width: sorts as numbers do
    descending.AddUnique(u"k" + String(digits.begin(), digits.end()));
  }
  int left_depth = 0;
  for (const clsTreeNode* n = descending.root(); n != nullptr; n = n->LeftChild.get()) ++left_depth;
  EXPECT_EQ(left_depth, kCount);
  const std::vector<Variant> sorted = InOrder(descending);
  EXPECT_EQ(sorted.size(), static_cast<std::size_t>(kCount));
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), Less));
  descending.WalkInOrder();
  descending.WalkPreOrder();
  descending.WalkPostOrder();
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

void ModelPre(const ModelNode* n, std::vector<Variant>& out) {
  if (n == nullptr) return;
  out.push_back(n->value);
  ModelPre(n->left.get(), out);
  ModelPre(n->right.get(), out);
}
void ModelPost(const ModelNode* n, std::vector<Variant>& out) {
  if (n == nullptr) return;
  ModelPost(n->left.get(), out);
  ModelPost(n->right.get(), out);
  out.push_back(n->value);
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
    ModelPre(model.get(), pre);
    ModelPost(model.get(), post);
    ASSERT_EQ(PreOrder(tree), pre);
    ASSERT_EQ(PostOrder(tree), post);
    if (!only_total_kinds) continue;
    // The tie rule: equal values keep their insertion order (Add) or only the first stays.
    std::vector<Variant> expected;
    if (duplicates) {
      expected = input;
      std::stable_sort(expected.begin(), expected.end(), Less);
    } else {
      for (const Variant& v : input) {
        if (std::none_of(expected.begin(), expected.end(), [&](const Variant& e) { return Equal(e, v); })) {
          expected.push_back(v);
        }
      }
      std::stable_sort(expected.begin(), expected.end(), Less);
    }
    ASSERT_EQ(InOrder(tree), expected);
  }
}

}  // namespace
}  // namespace narwick
