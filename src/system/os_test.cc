// clsOS through injected version records: the Name table, the service-pack text, failures.
#include "narwick/system/os.h"

#include <cstring>
#include <set>
#include <string>

#include "narwick/frame/codepage.h"
#include "narwick/frame/dispatch.h"
#include "narwick/frame/error_numbers.h"
#include "platform/version_record.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

using platform::VersionRecord;
using OS = OPERATING_SYSTEM;

// Hands out a fixed record and counts the reads.
class FixedSource final : public platform::VersionSource {
 public:
  explicit FixedSource(VersionRecord record, bool succeeds = true)
      : record_(record), succeeds_(succeeds) {}
  bool Read(VersionRecord& record) override {
    ++reads;
    record = record_;
    return succeeds_;
  }
  int reads = 0;

 private:
  VersionRecord record_;
  bool succeeds_;
};

// A source that fills the major version, then faults.
class ThrowingSource final : public platform::VersionSource {
 public:
  bool Read(VersionRecord& record) override {
    record.major = 5;
    Raise(err::kInternalError);
  }
};

VersionRecord Record(std::uint32_t major, std::uint32_t minor, std::uint8_t product_type = 0) {
  VersionRecord record;
  record.major = major;
  record.minor = minor;
  record.product_type = product_type;
  return record;
}

clsOS OsOf(const VersionRecord& record) { return clsOS(std::make_shared<FixedSource>(record)); }

TEST(OsTest, NameByMajorMinorAndProductType) {
  struct Case {
    std::uint32_t major, minor;
    std::uint8_t product_type;
    OS expected;
  };
  // The minor version and the product type decide only under their own majors.
  const Case cases[] = {
      {3, 51, 0, OS::WINDOWSNT351}, {3, 50, 0, OS::UNKNOWN},   {4, 0, 0, OS::WINDOWS95},
      {4, 10, 0, OS::WINDOWS98},    {4, 90, 0, OS::WINDOWSME}, {4, 51, 0, OS::UNKNOWN},
      {5, 0, 0, OS::WINDOWS2000},   {5, 1, 0, OS::WINDOWSXP},  {5, 2, 0, OS::WINDOWSSERVER2003},
      {5, 3, 0, OS::UNKNOWN},       {7, 0, 0, OS::WINDOWS7},   {7, 99, 200, OS::WINDOWS7},
      {10, 0, 0, OS::UNKNOWN},      {0, 0, 0, OS::UNKNOWN},    {0xFFFFFFFFu, 0, 0, OS::UNKNOWN},
      {5, 1, 1, OS::WINDOWSXP},     {6, 1, 0, OS::UNKNOWN},    {6, 1, 1, OS::WINDOWSVISTA},
      {4, 0, 7, OS::WINDOWS95}};
  for (const Case& c : cases) {
    EXPECT_EQ(OsOf(Record(c.major, c.minor, c.product_type)).Name(), c.expected)
        << c.major << "." << c.minor << " type " << int{c.product_type};
  }
  // 4.0 is Windows 95 whatever the platform id: NT 4 is never named.
  VersionRecord nt4 = Record(4, 0);
  nt4.platform_id = 2;
  EXPECT_EQ(OsOf(nt4).Name(), OS::WINDOWS95);
  // Under major 6 exactly the listed product types name a system.
  const std::set<int> vista = {1, 6, 16, 4, 2, 5, 3, 11}, server = {7, 13, 8, 12, 10, 14, 17, 15};
  for (int type = 0; type < 256; ++type) {
    const OS expected = vista.count(type)    ? OS::WINDOWSVISTA
                        : server.count(type) ? OS::WINDOWSSERVER2008
                                             : OS::UNKNOWN;
    EXPECT_EQ(OsOf(Record(6, 0, static_cast<std::uint8_t>(type))).Name(), expected)
        << "product type " << type;
  }
}

// The 16-bit service-pack numbers are signed; the 32-bit fields wrap into a Long.
TEST(OsTest, NumbersComeFromTheRecord) {
  VersionRecord record = Record(6, 1, 1);
  record.build = 0x80000001u;
  record.service_pack_major = 0xFFFF;
  record.service_pack_minor = 0x8000;
  clsOS os = OsOf(record);
  EXPECT_EQ(os.Major(), 6);
  EXPECT_EQ(os.Minor(), 1);
  EXPECT_EQ(os.Build(), -2147483647);
  EXPECT_EQ(os.ServicePackMajor(), -1);
  EXPECT_EQ(os.ServicePackMinor(), -32768);
}

// Cut at the first NUL (none in the 128 bytes: empty), spaces trimmed, bytes through the
// code page; isServicePackInstalled follows the text.
TEST(OsTest, ServicePackText) {
  const std::pair<std::string, String> cases[] = {
      {"Service Pack 3", u"Service Pack 3"},
      {"  Service Pack 2 ", u"Service Pack 2"},
      {std::string("SP1\0later text", 14), u"SP1"},
      {"", u""},
      {"     ", u""},
      {"\tSP\t", u"\tSP\t"},  // only spaces are trimmed
      {"Pack \x80\xE9", u"Pack \u20AC\u00E9"},
      {std::string(128, 'A'), u""},
      {std::string(127, 'A'), String(127, u'A')},
  };
  for (const auto& [bytes, expected] : cases) {
    VersionRecord record;
    std::memcpy(record.service_pack.data(), bytes.data(), bytes.size());
    clsOS os = OsOf(record);
    EXPECT_EQ(os.ServicePack(), expected) << bytes;
    EXPECT_EQ(os.isServicePackInstalled().raw(), expected.empty() ? 0 : -1) << bytes;
  }
}

// What the source filled is read whether it reported failure or faulted; no source reads as
// zeros.
TEST(OsTest, FailedAndFaultingSourcesReadWhatTheRecordHolds) {
  EXPECT_EQ(clsOS(std::make_shared<FixedSource>(Record(5, 1), false)).Name(), OS::WINDOWSXP);
  clsOS faulting(std::make_shared<ThrowingSource>());
  EXPECT_EQ(faulting.Major(), 5);
  EXPECT_EQ(faulting.Name(), OS::WINDOWS2000);
  EXPECT_EQ(faulting.ServicePack(), u"");
  clsOS none(nullptr);
  EXPECT_EQ(none.Name(), OS::UNKNOWN);
  EXPECT_EQ(none.Minor(), 0);
}

// Scripts use these numbers; the two version enums share member names with other values.
TEST(OsTest, EnumerationsKeepTheirValuesInSeparateScopes) {
  EXPECT_EQ(static_cast<Long>(MAJORVERSION_NUMBERS::MAJORVERSION_WINVISTA), 6);
  EXPECT_EQ(static_cast<Long>(MINORVERSION_NUMBERS::MAJORVERSION_WINVISTA), 0);
  EXPECT_EQ(static_cast<Long>(MAJORVERSION_NUMBERS::MAJORVERSION_WINSERVER2008), 6);
  EXPECT_EQ(static_cast<Long>(MINORVERSION_NUMBERS::MAJORVERSION_WINSERVER2008), 0);
  // Name reaches scripts as these numbers.
  const OS systems[] = {OS::WINDOWS95,   OS::WINDOWS98,         OS::WINDOWSME,
                        OS::WINDOWSNT351, OS::WINDOWSNT400,     OS::WINDOWS2000,
                        OS::WINDOWSXP,   OS::WINDOWSSERVER2003, OS::UNKNOWN,
                        OS::WINDOWSVISTA, OS::WINDOWSSERVER2008, OS::WINDOWS7};
  const Long numbers[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 17};
  for (std::size_t i = 0; i < std::size(systems); ++i) {
    EXPECT_EQ(static_cast<Long>(systems[i]), numbers[i]) << i;
  }
  EXPECT_EQ(static_cast<Long>(VISTA_VERSION_PRODUCT_TYPE::PRODUCT_TYPE_SERVER2008_ENTERPRISE_IA64),
            15);
}

// --- the Linux record -------------------------------------------------------------------

TEST(OsTest, KernelReleaseGivesMajorMinorBuild) {
  struct Case {
    const char* release;
    std::uint32_t major, minor, build;
  };
  for (const Case& c :
       {Case{"6.1.0-18-amd64", 6, 1, 0}, Case{"5.15.153.1-microsoft-standard-WSL2", 5, 15, 153},
        Case{"4.19", 4, 19, 0}, Case{"", 0, 0, 0},
        Case{"99999999999.x", 4294967295u, 0, 0}}) {  // saturates, no wrap
    VersionRecord r = platform::RecordFromKernelRelease(c.release);
    EXPECT_EQ(r.major, c.major) << c.release;
    EXPECT_EQ(r.minor, c.minor) << c.release;
    EXPECT_EQ(r.build, c.build) << c.release;
    EXPECT_EQ(r.service_pack[0], 0);
    EXPECT_EQ(r.product_type, 0);
    EXPECT_EQ(r.size, platform::kVersionRecordSize);
  }
}

TEST(OsTest, RunningSystemGivesTheKernelNumbers) {
  clsOS os;
  VersionRecord expected;
  ASSERT_TRUE(platform::MakeSystemVersionSource()->Read(expected));
  EXPECT_EQ(os.Major(), static_cast<Long>(expected.major));
  EXPECT_GT(os.Major(), 0);
  EXPECT_EQ(os.ServicePack(), u"");
  EXPECT_EQ(os.ServicePackMajor(), 0);
}

TEST(OsTest, EveryMemberByName) {
  VersionRecord record = Record(6, 0, 3);
  record.build = 6002;
  record.service_pack_major = 2;
  std::memcpy(record.service_pack.data(), " Service Pack 2", 15);
  auto source = std::make_shared<FixedSource>(record);
  Object os = MakeObject(std::make_shared<clsOS>(source));
  const std::pair<const char*, Variant> expected[] = {
      {"Name", Variant(static_cast<int>(OS::WINDOWSVISTA))},
      {"Build", Variant(6002)},
      {"Major", Variant(6)},
      {"Minor", Variant(0)},
      {"ServicePack", Variant(u"Service Pack 2")},
      {"ServicePackMajor", Variant(2)},
      {"ServicePackMinor", Variant(0)},
      {"isServicePackInstalled", Variant(true)}};
  EXPECT_EQ(os.get()->TypeInfo().members().size(), std::size(expected));
  for (const auto& [name, value] : expected) EXPECT_EQ(os.Get(name), value) << name;
  EXPECT_EQ(source->reads, 8);  // every property asks afresh
  EXPECT_EQ(CreateObject("Narwick.clsOS").Get("Major"), Variant(clsOS().Major()));
}

}  // namespace
}  // namespace narwick
