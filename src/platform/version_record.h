// The system's extended version record and the source that fills it, for clsOS.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace narwick::platform {

// The record in the layout of the Windows extended version structure (ANSI form, 156 bytes):
// size, major, minor, build, platform id (4 bytes each), the service-pack text (128 bytes,
// NUL-terminated, code page 1252), service-pack major and minor, suite mask (2 bytes each),
// product type and a reserved byte.
inline constexpr std::uint32_t kVersionRecordSize = 156;

struct VersionRecord {
  std::uint32_t size = kVersionRecordSize;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platform_id = 0;
  std::array<std::uint8_t, 128> service_pack{};
  std::uint16_t service_pack_major = 0;
  std::uint16_t service_pack_minor = 0;
  std::uint16_t suite_mask = 0;
  std::uint8_t product_type = 0;
  std::uint8_t reserved = 0;
};

// Where the record comes from. The class asks afresh for every property.
class VersionSource {
 public:
  virtual ~VersionSource() = default;
  // Fills `record`, which arrives zeroed apart from its size. False when the system could not
  // be asked; what was filled is still read, as the class reads the record either way.
  virtual bool Read(VersionRecord& record) = 0;
};

// The running Linux system: major, minor and build are the first three numbers of the kernel
// release from uname(2); there is no service pack, suite or product type, so those stay 0.
std::shared_ptr<VersionSource> MakeSystemVersionSource();

// The record for a kernel release text such as "6.1.0-18-amd64": its leading dot-separated
// numbers become major, minor and build; missing or non-numeric parts are 0.
VersionRecord RecordFromKernelRelease(std::string_view release);

}  // namespace narwick::platform
