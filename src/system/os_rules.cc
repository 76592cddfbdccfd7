// The Name decision table and the service-pack cutting.
#include "system/os_rules.h"

#include <array>

namespace narwick::os {

namespace {

using P = VISTA_VERSION_PRODUCT_TYPE;

// Tested in this order; the first match decides.
constexpr std::array kVistaProducts = {
    P::PRODUCT_TYPE_VISTA_ULTIMATE,       P::PRODUCT_TYPE_VISTA_BUSINESS_1,
    P::PRODUCT_TYPE_VISTA_BUSINESS_2,     P::PRODUCT_TYPE_VISTA_ENTERPRISE,
    P::PRODUCT_TYPE_VISTA_HOME_BASIC_1,   P::PRODUCT_TYPE_VISTA_HOME_BASIC_2,
    P::PRODUCT_TYPE_VISTA_PREMIUM,        P::PRODUCT_TYPE_VISTA_STARTER,
};
constexpr std::array kServer2008Products = {
    P::PRODUCT_TYPE_SERVER2008_STANDARD_1,   P::PRODUCT_TYPE_SERVER2008_STANDARD_2,
    P::PRODUCT_TYPE_SERVER2008_DATACENTER_1, P::PRODUCT_TYPE_SERVER2008_DATACENTER_2,
    P::PRODUCT_TYPE_SERVER2008_ENTERPRISE_1, P::PRODUCT_TYPE_SERVER2008_ENTERPRISE_2,
    P::PRODUCT_TYPE_SERVER2008_WEBSERVER,    P::PRODUCT_TYPE_SERVER2008_ENTERPRISE_IA64,
};

template <std::size_t N>
bool IsOneOf(std::uint8_t product_type, const std::array<P, N>& products) {
  for (P p : products) {
    if (static_cast<Long>(p) == product_type) return true;
  }
  return false;
}

}  // namespace

OPERATING_SYSTEM NameFor(std::uint32_t major, std::uint32_t minor, std::uint8_t product_type) {
  using OS = OPERATING_SYSTEM;
  switch (major) {
    case 3:
      return minor == 51 ? OS::WINDOWSNT351 : OS::UNKNOWN;
    case 4:
      switch (minor) {
        case 0: return OS::WINDOWS95;
        case 10: return OS::WINDOWS98;
        case 90: return OS::WINDOWSME;
        default: return OS::UNKNOWN;
      }
    case 5:
      switch (minor) {
        case 0: return OS::WINDOWS2000;
        case 1: return OS::WINDOWSXP;
        case 2: return OS::WINDOWSSERVER2003;
        default: return OS::UNKNOWN;
      }
    case 6:
      if (IsOneOf(product_type, kVistaProducts)) return OS::WINDOWSVISTA;
      if (IsOneOf(product_type, kServer2008Products)) return OS::WINDOWSSERVER2008;
      return OS::UNKNOWN;
    case 7:
      return OS::WINDOWS7;
    default:
      return OS::UNKNOWN;
  }
}

String ServicePackText(StringView text) {
  const std::size_t nul = text.find(u'\0');
  if (nul == StringView::npos) return String();
  StringView kept = text.substr(0, nul);
  // Only the space character is trimmed, not tabs or other blanks.
  while (!kept.empty() && kept.front() == u' ') kept.remove_prefix(1);
  while (!kept.empty() && kept.back() == u' ') kept.remove_suffix(1);
  return String(kept);
}

}  // namespace narwick::os
