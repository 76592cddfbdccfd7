// The four fixed abbreviation lists whose capitals the case formatter restores. Each entry is
// its own pattern and replacement; its blanks, commas, periods and number signs decide where
// it matches. Order matters: entries are applied one after another.
#pragma once

#include <span>
#include <string_view>

namespace narwick::text {

// Professional designations and degrees (10 entries).
std::span<const std::u16string_view> MiscAbbreviations();
// Rural routes, post-office boxes, compass directions (22 entries, no comma forms).
std::span<const std::u16string_view> AddressAbbreviations();
// Canadian provinces and territories: 13 codes as " XX " then as " XX," (26 entries).
std::span<const std::u16string_view> CanadianProvinceAbbreviations();
// United States states and DC: 51 codes as " XX " then as " XX," (102 entries).
std::span<const std::u16string_view> USStateAbbreviations();

}  // namespace narwick::text
