// clsManageTypeCase through its typed and late-bound interfaces.
#include "narwick/text/manage_type_case.h"

#include <gtest/gtest.h>

#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/object.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

TEST(ManageTypeCaseTest, DefaultsAndPropertiesDriveTheFormatter) {
  clsManageTypeCase tc;
  EXPECT_EQ(tc.CaseFormating(), enumCaseFormating::enumNormalCase);
  for (VariantBool keep :
       {tc.KeepStandardMiscAbreviationsCAPS(), tc.KeepStandardAddressAbreviationsCAPS(),
        tc.KeepCanadianProvincesAbreviationsCAPS(), tc.KeepUSStatesAbreviationsCAPS()}) {
    EXPECT_EQ(keep.raw(), -1);
  }
  EXPECT_EQ(tc.modifyCase(u"rr #3 main st nw"), u"rr #3 Main st nw ");
  tc.KeepStandardMiscAbreviationsCAPS(False);
  EXPECT_EQ(tc.modifyCase(u"rr #3 main st nw"), u"RR #3 Main st NW ");
  tc.KeepStandardAddressAbreviationsCAPS(False);
  tc.KeepUSStatesAbreviationsCAPS(False);
  EXPECT_EQ(tc.modifyCase(u"new york ny"), u"New York ny ");
  tc.KeepCanadianProvincesAbreviationsCAPS(False);
  EXPECT_EQ(tc.modifyCase(u"toronto, on"), u"Toronto, on ");
  tc.CaseFormating(enumCaseFormating::enumUpperCase);
  EXPECT_EQ(tc.modifyCase(u"toronto, on"), u"TORONTO, ON");
  tc.CaseFormating(enumCaseFormating::enumLowerCase);
  EXPECT_EQ(tc.modifyCase(u"TORONTO, ON"), u"toronto, on");
}

TEST(ManageTypeCaseTest, LateBoundByProgId) {
  Object tc = CreateObject("Narwick.clsManageTypeCase");
  Object other = CreateObject("Narwick.clsManageTypeCase");
  EXPECT_EQ(tc.Get("CaseFormating"), Variant(1));
  EXPECT_EQ(tc.Get("KeepUSStatesAbreviationsCAPS"), Variant(true));
  Variant text = u"john smith cpa";
  EXPECT_EQ(tc.Call("modifyCase", {ByRef(text)}), Variant(u"John Smith CPA "));
  EXPECT_EQ(text, Variant(u"john smith cpa"));  // by reference, not changed
  tc.Let("CaseFormating", 3);
  EXPECT_EQ(tc.Call("modifyCase", {u"JOHN SMITH CPA"}), Variant(u"john smith CPA"));
  EXPECT_EQ(other.Call("modifyCase", {u"xyz"}), Variant(u"Xyz "));  // objects share nothing
  // The stored value is kept without a check; unknown modes format as normal case.
  tc.Let("CaseFormating", 9);
  EXPECT_EQ(tc.Get("CaseFormating"), Variant(9));
  EXPECT_EQ(tc.Call("modifyCase", {u"ANN"}), Variant(u"Ann "));
  tc.Let("KeepStandardMiscAbreviationsCAPS", false);
  EXPECT_EQ(tc.Get("KeepStandardMiscAbreviationsCAPS").Int(), 0);
  EXPECT_EQ(tc.Call("modifyCase", {u"rr 2"}), Variant(u"RR 2 "));
  // A number passed for the String parameter is converted first.
  EXPECT_EQ(tc.Call("modifyCase", {42}), Variant(u"42 "));
  EXPECT_RUNTIME_ERROR(tc.Call("modifyCase"), err::kArgumentNotOptional);
}

TEST(ManageTypeCaseTest, EveryMemberAnswersByName) {
  Object tc = MakeObject(std::make_shared<clsManageTypeCase>());
  int calls = 0;
  for (const auto& member : tc.get()->TypeInfo().members()) {
    switch (member.kind) {
      case frame::MemberKind::kPropertyGet:
        EXPECT_FALSE(tc.Get(member.name).IsEmpty()) << member.name;
        break;
      case frame::MemberKind::kPropertyLet: {
        const Variant before = tc.Get(member.name);
        tc.Let(member.name, before);
        EXPECT_EQ(tc.Get(member.name), before) << member.name;
        break;
      }
      case frame::MemberKind::kMethod:
        EXPECT_EQ(tc.Call(member.name, {u"xy cde"}), Variant(u"xy Cde ")) << member.name;
        break;
      case frame::MemberKind::kPropertySet:
        ADD_FAILURE() << "unexpected property set " << member.name;
        break;
    }
    ++calls;
  }
  EXPECT_EQ(calls, 11);
}

}  // namespace
}  // namespace narwick
