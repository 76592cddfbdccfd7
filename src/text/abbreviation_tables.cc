// The abbreviation lists, compiled in exactly as the formatter has always held them.
#include "abbreviation_tables.h"

#include <iterator>

namespace narwick::text {

namespace {

constexpr std::u16string_view kMisc[] = {
    u" CPA ", u" CGA ", u" CMA ", u" CA ", u" B. Sc.", u" B.Sc.", u" B. A.", u" B.A.",
    u" H.B.Sc ", u" P.Eng ",
};

constexpr std::u16string_view kAddress[] = {
    u" RR ", u" RR #", u" RR#", u" R.R.", u" R.R. #", u" R.R.#", u" PO ", u" PO. ", u" P.O.",
    u" P.O ", u" NW ", u" NE ", u" SW ", u" SE ", u" N.W.", u" N.E.", u" S.W.", u" S.E.",
    u" N ", u" E ", u" S ", u" W ",
};

// Each code first between blanks, then followed by a comma.
constexpr std::u16string_view kCanadianProvinces[] = {
    u" AB ", u" BC ", u" MB ", u" NB ", u" NL ", u" NT ", u" NS ", u" NU ", u" ON ", u" PE ",
    u" QC ", u" SK ", u" YT ", u" AB,", u" BC,", u" MB,", u" NB,", u" NL,", u" NT,", u" NS,",
    u" NU,", u" ON,", u" PE,", u" QC,", u" SK,", u" YT,",
};

constexpr std::u16string_view kUSStates[] = {
    u" AL ", u" AK ", u" AZ ", u" AR ", u" CA ", u" CO ", u" CT ", u" DE ", u" DC ", u" FL ",
    u" GA ", u" HI ", u" ID ", u" IL ", u" IN ", u" IA ", u" KS ", u" KY ", u" LA ", u" ME ",
    u" MD ", u" MA ", u" MI ", u" MN ", u" MS ", u" MO ", u" MT ", u" NE ", u" NV ", u" NH ",
    u" NJ ", u" NM ", u" NY ", u" NC ", u" ND ", u" OH ", u" OK ", u" OR ", u" PA ", u" RI ",
    u" SC ", u" SD ", u" TN ", u" TX ", u" UT ", u" VT ", u" VA ", u" WA ", u" WV ", u" WI ",
    u" WY ", u" AL,", u" AK,", u" AZ,", u" AR,", u" CA,", u" CO,", u" CT,", u" DE,", u" DC,",
    u" FL,", u" GA,", u" HI,", u" ID,", u" IL,", u" IN,", u" IA,", u" KS,", u" KY,", u" LA,",
    u" ME,", u" MD,", u" MA,", u" MI,", u" MN,", u" MS,", u" MO,", u" MT,", u" NE,", u" NV,",
    u" NH,", u" NJ,", u" NM,", u" NY,", u" NC,", u" ND,", u" OH,", u" OK,", u" OR,", u" PA,",
    u" RI,", u" SC,", u" SD,", u" TN,", u" TX,", u" UT,", u" VT,", u" VA,", u" WA,", u" WV,",
    u" WI,", u" WY,",
};

static_assert(std::size(kMisc) == 10);
static_assert(std::size(kAddress) == 22);
static_assert(std::size(kCanadianProvinces) == 26);
static_assert(std::size(kUSStates) == 102);

}  // namespace

std::span<const std::u16string_view> MiscAbbreviations() { return kMisc; }
std::span<const std::u16string_view> AddressAbbreviations() { return kAddress; }
std::span<const std::u16string_view> CanadianProvinceAbbreviations() { return kCanadianProvinces; }
std::span<const std::u16string_view> USStateAbbreviations() { return kUSStates; }

}  // namespace narwick::text
