// clsManageTypeCase: the Automation shell over the case formatter's core.
#include "narwick/text/manage_type_case.h"

#include "case_formatter.h"
#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"

namespace narwick {

const frame::ClassInfo& clsManageTypeCase::TypeInfo() const {
  using C = clsManageTypeCase;
  static const frame::ClassInfo info =
      frame::MemberTable<C>("clsManageTypeCase")
          .Get<enumCaseFormating() const>("CaseFormating", &C::CaseFormating)
          .Let<void(enumCaseFormating)>("CaseFormating", &C::CaseFormating, {"value"})
          .Get<VariantBool() const>("KeepStandardMiscAbreviationsCAPS", &C::KeepStandardMiscAbreviationsCAPS)
          .Let<void(VariantBool)>("KeepStandardMiscAbreviationsCAPS", &C::KeepStandardMiscAbreviationsCAPS, {"value"})
          .Get<VariantBool() const>("KeepStandardAddressAbreviationsCAPS", &C::KeepStandardAddressAbreviationsCAPS)
          .Let<void(VariantBool)>("KeepStandardAddressAbreviationsCAPS", &C::KeepStandardAddressAbreviationsCAPS, {"value"})
          .Get<VariantBool() const>("KeepCanadianProvincesAbreviationsCAPS", &C::KeepCanadianProvincesAbreviationsCAPS)
          .Let<void(VariantBool)>("KeepCanadianProvincesAbreviationsCAPS", &C::KeepCanadianProvincesAbreviationsCAPS, {"value"})
          .Get<VariantBool() const>("KeepUSStatesAbreviationsCAPS", &C::KeepUSStatesAbreviationsCAPS)
          .Let<void(VariantBool)>("KeepUSStatesAbreviationsCAPS", &C::KeepUSStatesAbreviationsCAPS, {"value"})
          .Method("modifyCase", &C::modifyCase, {"sString"})
          .Build();
  return info;
}

String clsManageTypeCase::modifyCase(const String& sString) {
  return trap::Leave(String(), [&] {
    const text::AbbreviationFlags flags{bool(keep_misc_), bool(keep_address_), bool(keep_canadian_),
                                        bool(keep_us_)};
    return text::ModifyCase(sString, static_cast<std::int32_t>(case_formating_), flags);
  });
}

NARWICK_REGISTER_CLASS(clsManageTypeCase);

}  // namespace narwick
