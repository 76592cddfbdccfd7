// clsManageTypeCase: puts names, titles and postal addresses into normal, upper or lower
// case, then restores the capitals of known abbreviations from four fixed lists.
#pragma once

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

// The case modes. A stored value other than 2 or 3 formats as normal case.
enum class enumCaseFormating : Long {
  enumNormalCase = 1,
  enumUpperCase = 2,
  enumLowerCase = 3,
};

class clsManageTypeCase final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override;

  // Properties store and return their value without any check (not trapped).
  enumCaseFormating CaseFormating() const { return case_formating_; }
  void CaseFormating(enumCaseFormating value) { case_formating_ = value; }
  VariantBool KeepStandardMiscAbreviationsCAPS() const { return keep_misc_; }
  void KeepStandardMiscAbreviationsCAPS(VariantBool value) { keep_misc_ = value; }
  VariantBool KeepStandardAddressAbreviationsCAPS() const { return keep_address_; }
  void KeepStandardAddressAbreviationsCAPS(VariantBool value) { keep_address_ = value; }
  VariantBool KeepCanadianProvincesAbreviationsCAPS() const { return keep_canadian_; }
  void KeepCanadianProvincesAbreviationsCAPS(VariantBool value) { keep_canadian_ = value; }
  VariantBool KeepUSStatesAbreviationsCAPS() const { return keep_us_; }
  void KeepUSStatesAbreviationsCAPS(VariantBool value) { keep_us_ = value; }

  // `sString` in the current mode. Upper case applies no list. Normal case capitalises each
  // plain word and returns the words joined with one blank after every word (so the result
  // ends with a blank); normal and lower case then restore the enabled abbreviation lists
  // (the address list only when the misc flag is False). Blank text comes back unchanged.
  // Leaves with an empty string on any failure. `sString` is by reference and not changed.
  String modifyCase(const String& sString);

 private:
  enumCaseFormating case_formating_ = enumCaseFormating::enumNormalCase;  // CaseFormating
  VariantBool keep_misc_ = True;      // KeepStandardMiscAbreviationsCAPS
  VariantBool keep_address_ = True;   // KeepStandardAddressAbreviationsCAPS
  VariantBool keep_canadian_ = True;  // KeepCanadianProvincesAbreviationsCAPS
  VariantBool keep_us_ = True;        // KeepUSStatesAbreviationsCAPS
};

}  // namespace narwick
