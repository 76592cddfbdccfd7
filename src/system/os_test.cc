// clsOS through injected version records: the Name table, the service-pack text, failures.
#include "narwick/system/os.h"

#include <cstring>
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
  explicit FixedSource(VersionRecord record, bool succeeds = true) : record_(record), succeeds_(succeeds) {}
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

// A source whose call fails without filling anything.
class FailingSource final : public platform::VersionSource {
 public:
  bool Read(VersionRecord&) override { return false; }
};

// A source that faults while being asked.
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

VersionRecord WithServicePack(const std::string& bytes) {
  VersionRecord record;
  std::memcpy(record.service_pack.data(), bytes.data(), std::min(bytes.size(), record.service_pack.size()));
  return record;
}

OS NameOf(const VersionRecord& record) { return clsOS(std::make_shared<FixedSource>(record)).Name(); }

String ServicePackOf(const VersionRecord& record) {
  return clsOS(std::make_shared<FixedSource>(record)).ServicePack();
}

TEST(OsTest, NameByMajorAndMinor) {
  EXPECT_EQ(NameOf(Record(3, 51)), OS::WINDOWSNT351);
  EXPECT_EQ(NameOf(Record(3, 50)), OS::UNKNOWN);
  EXPECT_EQ(NameOf(Record(4, 0)), OS::WINDOWS95);
  EXPECT_EQ(NameOf(Record(4, 10)), OS::WINDOWS98);
  EXPECT_EQ(NameOf(Record(4, 90)), OS::WINDOWSME);
  EXPECT_EQ(NameOf(Record(4, 51)), OS::UNKNOWN);
  EXPECT_EQ(NameOf(Record(5, 0)), OS::WINDOWS2000);
  EXPECT_EQ(NameOf(Record(5, 1)), OS::WINDOWSXP);
  EXPECT_EQ(NameOf(Record(5, 2)), OS::WINDOWSSERVER2003);
  EXPECT_EQ(NameOf(Record(5, 3)), OS::UNKNOWN);
  EXPECT_EQ(NameOf(Record(7, 0)), OS::WINDOWS7);
  EXPECT_EQ(NameOf(Record(7, 99, 200)), OS::WINDOWS7);
  EXPECT_EQ(NameOf(Record(10, 0)), OS::UNKNOWN);
  EXPECT_EQ(NameOf(Record(0, 0)), OS::UNKNOWN);
  EXPECT_EQ(NameOf(Record(0xFFFFFFFFu, 0)), OS::UNKNOWN);
}

// The minor version and the product type decide only under their own majors.
TEST(OsTest, SecondTestBelongsToItsMajor) {
  EXPECT_EQ(NameOf(Record(5, 1, 1)), OS::WINDOWSXP);
  EXPECT_EQ(NameOf(Record(6, 1, 0)), OS::UNKNOWN);   // minor plays no part under 6
  EXPECT_EQ(NameOf(Record(6, 0, 1)), OS::WINDOWSVISTA);
  EXPECT_EQ(NameOf(Record(4, 0, 7)), OS::WINDOWS95);  // nor the product type under 4
}

// Major 6 over every product type byte: exactly the listed values name a system.
TEST(OsTest, NameUnderMajorSixByEveryProductType) {
  const int vista[] = {1, 6, 16, 4, 2, 5, 3, 11};
  const int server[] = {7, 13, 8, 12, 10, 14, 17, 15};
  for (int type = 0; type < 256; ++type) {
    OS expected = OS::UNKNOWN;
    for (int v : vista) {
      if (v == type) expected = OS::WINDOWSVISTA;
    }
    for (int s : server) {
      if (s == type) expected = OS::WINDOWSSERVER2008;
    }
    EXPECT_EQ(NameOf(Record(6, 0, static_cast<std::uint8_t>(type))), expected) << "product type " << type;
  }
}

// Major 4 minor 0 is always Windows 95: the platform id is not consulted.
TEST(OsTest, NeverNamesNt4) {
  VersionRecord record = Record(4, 0);
  record.platform_id = 2;
  EXPECT_EQ(NameOf(record), OS::WINDOWS95);
}

TEST(OsTest, NumbersComeFromTheRecord) {
  VersionRecord record = Record(6, 1, 1);
  record.build = 7601;
  record.service_pack_major = 1;
  record.service_pack_minor = 2;
  clsOS os(std::make_shared<FixedSource>(record));
  EXPECT_EQ(os.Major(), 6);
  EXPECT_EQ(os.Minor(), 1);
  EXPECT_EQ(os.Build(), 7601);
  EXPECT_EQ(os.ServicePackMajor(), 1);
  EXPECT_EQ(os.ServicePackMinor(), 2);
}

TEST(OsTest, ServicePackNumbersAreSigned16BitAndDwordsWrap) {
  VersionRecord record;
  record.service_pack_major = 0xFFFF;
  record.service_pack_minor = 0x8000;
  record.build = 0x80000001u;
  clsOS os(std::make_shared<FixedSource>(record));
  EXPECT_EQ(os.ServicePackMajor(), -1);
  EXPECT_EQ(os.ServicePackMinor(), -32768);
  EXPECT_EQ(os.Build(), -2147483647);
}

TEST(OsTest, ServicePackIsCutAtTheFirstNulAndTrimmed) {
  EXPECT_EQ(ServicePackOf(WithServicePack("Service Pack 3")), u"Service Pack 3");
  EXPECT_EQ(ServicePackOf(WithServicePack("  Service Pack 2 ")), u"Service Pack 2");
  EXPECT_EQ(ServicePackOf(WithServicePack(std::string("SP1\0later text", 14))), u"SP1");
  EXPECT_EQ(ServicePackOf(WithServicePack("")), u"");
  EXPECT_EQ(ServicePackOf(WithServicePack("     ")), u"");
  // Only spaces are trimmed.
  EXPECT_EQ(ServicePackOf(WithServicePack("\tSP\t")), u"\tSP\t");
  // Bytes read through the code page.
  EXPECT_EQ(ServicePackOf(WithServicePack("Pack \x80\xE9")), u"Pack \u20AC\u00E9");
}

TEST(OsTest, ServicePackWithoutNulIsEmpty) {
  EXPECT_EQ(ServicePackOf(WithServicePack(std::string(128, 'A'))), u"");
  // 127 characters and the NUL in the last place are kept.
  EXPECT_EQ(ServicePackOf(WithServicePack(std::string(127, 'A'))), String(127, u'A'));
}

TEST(OsTest, IsServicePackInstalledFollowsTheText) {
  EXPECT_EQ(clsOS(std::make_shared<FixedSource>(WithServicePack("Service Pack 1"))).isServicePackInstalled().raw(), -1);
  EXPECT_EQ(clsOS(std::make_shared<FixedSource>(WithServicePack("   "))).isServicePackInstalled().raw(), 0);
  EXPECT_EQ(clsOS(std::make_shared<FixedSource>(WithServicePack(std::string(128, 'x')))).isServicePackInstalled().raw(), 0);
}

TEST(OsTest, FailedCallReadsWhatTheRecordHolds) {
  // A source that reports failure but filled the record is still read.
  EXPECT_EQ(clsOS(std::make_shared<FixedSource>(Record(5, 1), false)).Name(), OS::WINDOWSXP);
  // One that filled nothing leaves zeros.
  clsOS os(std::make_shared<FailingSource>());
  EXPECT_EQ(os.Name(), OS::UNKNOWN);
  EXPECT_EQ(os.Major(), 0);
  EXPECT_EQ(os.Build(), 0);
  EXPECT_EQ(os.ServicePack(), u"");
  EXPECT_FALSE(os.isServicePackInstalled());
}

TEST(OsTest, FaultsAreIgnored) {
  clsOS os(std::make_shared<ThrowingSource>());
  EXPECT_EQ(os.Major(), 5);  // what was filled before the fault
  EXPECT_EQ(os.Name(), OS::WINDOWS2000);
  EXPECT_EQ(os.ServicePack(), u"");
  clsOS none(nullptr);
  EXPECT_EQ(none.Name(), OS::UNKNOWN);
  EXPECT_EQ(none.Minor(), 0);
}

TEST(OsTest, EveryPropertyAsksAfresh) {
  auto source = std::make_shared<FixedSource>(Record(5, 1));
  clsOS os(source);
  os.Name();
  os.Major();
  os.isServicePackInstalled();
  EXPECT_EQ(source->reads, 3);
}

TEST(OsTest, EnumerationsKeepTheirValuesInSeparateScopes) {
  EXPECT_EQ(static_cast<Long>(MAJORVERSION_NUMBERS::MAJORVERSION_WINVISTA), 6);
  EXPECT_EQ(static_cast<Long>(MINORVERSION_NUMBERS::MAJORVERSION_WINVISTA), 0);
  EXPECT_EQ(static_cast<Long>(MAJORVERSION_NUMBERS::MAJORVERSION_WINSERVER2008), 6);
  EXPECT_EQ(static_cast<Long>(MINORVERSION_NUMBERS::MAJORVERSION_WINSERVER2008), 0);
  EXPECT_EQ(static_cast<Long>(OS::UNKNOWN), 8);
  EXPECT_EQ(static_cast<Long>(OS::WINDOWS7), 17);
  EXPECT_EQ(static_cast<Long>(VISTA_VERSION_PRODUCT_TYPE::PRODUCT_TYPE_SERVER2008_ENTERPRISE_IA64), 15);
}

// --- the Linux record -------------------------------------------------------------------

TEST(OsTest, KernelReleaseGivesMajorMinorBuild) {
  VersionRecord r = platform::RecordFromKernelRelease("6.1.0-18-amd64");
  EXPECT_EQ(r.major, 6u);
  EXPECT_EQ(r.minor, 1u);
  EXPECT_EQ(r.build, 0u);
  r = platform::RecordFromKernelRelease("5.15.153.1-microsoft-standard-WSL2");
  EXPECT_EQ(r.major, 5u);
  EXPECT_EQ(r.minor, 15u);
  EXPECT_EQ(r.build, 153u);
  r = platform::RecordFromKernelRelease("4.19");
  EXPECT_EQ(r.major, 4u);
  EXPECT_EQ(r.minor, 19u);
  EXPECT_EQ(r.build, 0u);
  r = platform::RecordFromKernelRelease("");
  EXPECT_EQ(r.major, 0u);
  r = platform::RecordFromKernelRelease("99999999999.x");
  EXPECT_EQ(r.major, 4294967295u);  // saturates instead of wrapping
  EXPECT_EQ(r.service_pack[0], 0);
  EXPECT_EQ(r.product_type, 0);
  EXPECT_EQ(r.size, platform::kVersionRecordSize);
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
  Object os = MakeObject(std::make_shared<clsOS>(std::make_shared<FixedSource>(record)));
  std::size_t called = 0;
  for (const auto& member : os.get()->TypeInfo().members()) {
    ++called;
    const Variant value = os.Get(member.name);
    if (member.name == "Name") {
      EXPECT_EQ(value, Variant(static_cast<int>(OS::WINDOWSVISTA)));
    } else if (member.name == "Build") {
      EXPECT_EQ(value, Variant(6002));
    } else if (member.name == "Major") {
      EXPECT_EQ(value, Variant(6));
    } else if (member.name == "Minor") {
      EXPECT_EQ(value, Variant(0));
    } else if (member.name == "ServicePack") {
      EXPECT_EQ(value, Variant(u"Service Pack 2"));
    } else if (member.name == "ServicePackMajor") {
      EXPECT_EQ(value, Variant(2));
    } else if (member.name == "ServicePackMinor") {
      EXPECT_EQ(value, Variant(0));
    } else if (member.name == "isServicePackInstalled") {
      EXPECT_EQ(value, Variant(true));
    } else {
      ADD_FAILURE() << "member without a case: " << member.name;
    }
  }
  EXPECT_EQ(called, 8u);
  EXPECT_EQ(CreateObject("Narwick.clsOS").Get("Major"), Variant(clsOS().Major()));
}

}  // namespace
}  // namespace narwick
