// clsOS: which Windows version the version record names, with its numbers and service pack.
#pragma once

#include <memory>

#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

namespace platform {
class VersionSource;
}

// The result of clsOS.Name.
enum class OPERATING_SYSTEM : Long {
  UNKNOWN = 8,
  WINDOWS95 = 0,
  WINDOWS98 = 1,
  WINDOWSME = 2,
  WINDOWSNT351 = 3,
  WINDOWSNT400 = 4,
  WINDOWS2000 = 5,
  WINDOWSXP = 6,
  WINDOWSSERVER2003 = 7,
  WINDOWSVISTA = 9,
  WINDOWSSERVER2008 = 16,
  WINDOWS7 = 17,
};

// Major version numbers by system. Several systems share a value.
enum class MAJORVERSION_NUMBERS : Long {
  MAJORVERSION_WIN95 = 4,
  MAJORVERSION_WIN98 = 4,
  MAJORVERSION_WINME = 4,
  MAJORVERSION_WINNT351 = 3,
  MAJORVERSION_WINNT400 = 4,
  MAJORVERSION_WIN2000 = 5,
  MAJORVERSION_WINXP = 5,
  MAJORVERSION_WINSERVER2003 = 5,
  MAJORVERSION_WINVISTA = 6,
  MAJORVERSION_WINSERVER2008 = 6,
  MAJORVERSION_WINDOWS7 = 7,
};

// Minor version numbers by system. The last two members carry the names of two members of
// MAJORVERSION_NUMBERS with other values, as the type library has them; scoped enumerations
// keep the two apart.
enum class MINORVERSION_NUMBERS : Long {
  MINORVERSION_WIN95 = 0,
  MINORVERSION_WIN98 = 10,
  MINORVERSION_WINME = 90,
  MINORVERSION_WINNT351 = 51,
  MINORVERSION_WINNT400 = 0,
  MINORVERSION_WIN2000 = 0,
  MINORVERSION_WINXP = 1,
  MINORVERSION_WINSERVER2003 = 2,
  MAJORVERSION_WINVISTA = 0,
  MAJORVERSION_WINSERVER2008 = 0,
};

// Product types that tell Vista editions from Server 2008 editions in Name.
enum class VISTA_VERSION_PRODUCT_TYPE : Long {
  PRODUCT_TYPE_VISTA_ULTIMATE = 1,
  PRODUCT_TYPE_VISTA_BUSINESS_1 = 6,
  PRODUCT_TYPE_VISTA_BUSINESS_2 = 16,
  PRODUCT_TYPE_VISTA_ENTERPRISE = 4,
  PRODUCT_TYPE_VISTA_HOME_BASIC_1 = 2,
  PRODUCT_TYPE_VISTA_HOME_BASIC_2 = 5,
  PRODUCT_TYPE_VISTA_PREMIUM = 3,
  PRODUCT_TYPE_VISTA_STARTER = 11,
  PRODUCT_TYPE_SERVER2008_STANDARD_1 = 7,
  PRODUCT_TYPE_SERVER2008_STANDARD_2 = 13,
  PRODUCT_TYPE_SERVER2008_DATACENTER_1 = 8,
  PRODUCT_TYPE_SERVER2008_DATACENTER_2 = 12,
  PRODUCT_TYPE_SERVER2008_ENTERPRISE_1 = 10,
  PRODUCT_TYPE_SERVER2008_ENTERPRISE_2 = 14,
  PRODUCT_TYPE_SERVER2008_WEBSERVER = 17,
  PRODUCT_TYPE_SERVER2008_ENTERPRISE_IA64 = 15,
};

// Every property reads the version record afresh and skips any failing statement: a record
// that cannot be read stays zero (Name UNKNOWN, numbers 0, ServicePack ""). On Linux the
// record comes from the kernel release (see docs/os.md).
class clsOS final : public frame::AutomationObject {
 public:
  clsOS();  // the running system
  // Reads its records from `source` instead (tests, other hosts).
  explicit clsOS(std::shared_ptr<platform::VersionSource> source);
  ~clsOS() override;

  const frame::ClassInfo& TypeInfo() const override;

  OPERATING_SYSTEM Name();
  Long Build();
  Long Major();
  Long Minor();
  // The service-pack text up to its first NUL, without leading and trailing spaces; "" when
  // the text has no NUL at all.
  String ServicePack();
  Long ServicePackMajor();  // read as a signed 16-bit value
  Long ServicePackMinor();  // read as a signed 16-bit value
  VariantBool isServicePackInstalled();

 private:
  Long NameValue() { return static_cast<Long>(Name()); }

  std::shared_ptr<platform::VersionSource> source_;
};

}  // namespace narwick
