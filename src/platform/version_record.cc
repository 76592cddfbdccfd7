// The version record on Linux, from uname(2).
#include "platform/version_record.h"

#include <sys/utsname.h>

#include <cstdint>

namespace narwick::platform {

namespace {

class UnameVersionSource final : public VersionSource {
 public:
  bool Read(VersionRecord& record) override {
    struct utsname names {};
    if (uname(&names) != 0) return false;
    const VersionRecord filled = RecordFromKernelRelease(names.release);
    record.major = filled.major;
    record.minor = filled.minor;
    record.build = filled.build;
    return true;
  }
};

}  // namespace

VersionRecord RecordFromKernelRelease(std::string_view release) {
  VersionRecord record;
  std::uint32_t* const fields[] = {&record.major, &record.minor, &record.build};
  std::size_t pos = 0;
  for (std::uint32_t* field : fields) {
    std::uint32_t value = 0;
    bool any = false;
    for (; pos < release.size() && release[pos] >= '0' && release[pos] <= '9'; ++pos) {
      any = true;
      // A kernel never numbers this high; saturate rather than wrap on a corrupt text.
      const auto digit = static_cast<std::uint32_t>(release[pos] - '0');
      value = value > (UINT32_MAX - digit) / 10 ? UINT32_MAX : value * 10 + digit;
    }
    if (!any) break;
    *field = value;
    // Only a dot continues the numbers ("6.1.0-18-amd64" ends them at the '-').
    if (pos >= release.size() || release[pos] != '.') break;
    ++pos;
  }
  return record;
}

std::shared_ptr<VersionSource> MakeSystemVersionSource() {
  return std::make_shared<UnameVersionSource>();
}

}  // namespace narwick::platform
