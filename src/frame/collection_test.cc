// Collection against a plain model: positions, keys (case-insensitive), Before/After, errors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

TEST(CollectionTest, KeysIgnoreCaseAndPositionsAreOneBased) {
  Collection c;
  EXPECT_RUNTIME_ERROR(c.Item(1), err::kSubscriptOutOfRange);
  c.Add(u"a", u"Alpha");
  EXPECT_EQ(c.Item(u"ALPHA"), Variant(u"a"));
  EXPECT_EQ(c.Item(1), Variant(u"a"));
  EXPECT_RUNTIME_ERROR(c.Add(3, u"alpha"), err::kKeyAlreadyAssociated);
  EXPECT_EQ(c.Count(), 1);
  EXPECT_RUNTIME_ERROR(c.Item(u"gamma"), err::kInvalidProcedureCall);
  EXPECT_RUNTIME_ERROR(c.Item(0), err::kSubscriptOutOfRange);
  EXPECT_RUNTIME_ERROR(c.Item(2), err::kSubscriptOutOfRange);
  EXPECT_RUNTIME_ERROR(c.Item(Variant::Null()), err::kTypeMismatch);
  EXPECT_RUNTIME_ERROR(c.Add(4, Missing, 1, 1), err::kInvalidProcedureCall);  // Before and After
  EXPECT_EQ(c.Count(), 1);
}

TEST(CollectionTest, RandomOperationsMatchAVectorModel) {
  std::mt19937 rng(7);
  Collection c;
  std::vector<std::pair<int, std::u16string>> model;  // value, key
  for (int step = 0; step < 3000; ++step) {
    int op = static_cast<int>(rng() % 4);
    if (op <= 1 || model.empty()) {
      int value = static_cast<int>(rng() % 1000);
      std::u16string key = rng() % 2 ? u"k" + FromUtf8(std::to_string(rng() % 50)) : u"";
      bool taken = !key.empty() && std::any_of(model.begin(), model.end(),
                                               [&](const auto& e) { return e.second == key; });
      std::size_t at = model.size();
      Variant before = Missing;
      if (!model.empty() && rng() % 3 == 0) {
        at = rng() % model.size();
        before = static_cast<int>(at + 1);
      }
      if (taken) {
        EXPECT_RUNTIME_ERROR(c.Add(value, key, before), err::kKeyAlreadyAssociated);
      } else {
        c.Add(value, key.empty() ? Missing : Variant(key), before);
        model.insert(model.begin() + static_cast<long>(at), {value, key});
      }
    } else if (op == 2) {
      std::size_t at = rng() % model.size();
      c.Remove(static_cast<int>(at + 1));
      model.erase(model.begin() + static_cast<long>(at));
    } else {
      std::size_t at = rng() % model.size();
      EXPECT_EQ(c.Item(static_cast<int>(at + 1)), Variant(model[at].first));
      if (!model[at].second.empty()) {
        EXPECT_EQ(c.Item(UCase(model[at].second)), Variant(model[at].first));
      }
    }
    ASSERT_EQ(c.Count(), static_cast<Long>(model.size())) << "step " << step;
  }
}

}  // namespace
}  // namespace narwick
