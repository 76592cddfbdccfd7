// clsOS over the version record: the Name decision table and the service-pack text rules.
#include "narwick/system/os.h"

#include <algorithm>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "narwick/frame/codepage.h"
#include "platform/version_record.h"
#include "system/os_rules.h"

namespace narwick {

namespace {

// The record as the class sees it after a call: zero apart from its size when nothing could
// be read, and whatever the source filled in otherwise, whether or not it reported success.
platform::VersionRecord ReadRecord(platform::VersionSource* source) {
  platform::VersionRecord record;
  trap::Skip([&] {
    if (source != nullptr) source->Read(record);
  });
  return record;
}

}  // namespace

clsOS::clsOS() { trap::Skip([&] { source_ = platform::MakeSystemVersionSource(); }); }

clsOS::clsOS(std::shared_ptr<platform::VersionSource> source) : source_(std::move(source)) {}

clsOS::~clsOS() = default;

const frame::ClassInfo& clsOS::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<clsOS>("clsOS")
                                           .Get("Name", &clsOS::NameValue)
                                           .Get("Build", &clsOS::Build)
                                           .Get("Major", &clsOS::Major)
                                           .Get("Minor", &clsOS::Minor)
                                           .Get("ServicePack", &clsOS::ServicePack)
                                           .Get("ServicePackMajor", &clsOS::ServicePackMajor)
                                           .Get("ServicePackMinor", &clsOS::ServicePackMinor)
                                           .Get("isServicePackInstalled", &clsOS::isServicePackInstalled)
                                           .Build();
  return info;
}

OPERATING_SYSTEM clsOS::Name() {
  const platform::VersionRecord record = ReadRecord(source_.get());
  return os::NameFor(record.major, record.minor, record.product_type);
}

Long clsOS::Build() { return static_cast<Long>(ReadRecord(source_.get()).build); }
Long clsOS::Major() { return static_cast<Long>(ReadRecord(source_.get()).major); }
Long clsOS::Minor() { return static_cast<Long>(ReadRecord(source_.get()).minor); }

String clsOS::ServicePack() {
  const platform::VersionRecord record = ReadRecord(source_.get());
  String result;
  trap::Skip([&] { result = os::ServicePackText(FromAnsi(record.service_pack)); });
  return result;
}

Long clsOS::ServicePackMajor() {
  return static_cast<std::int16_t>(ReadRecord(source_.get()).service_pack_major);
}
Long clsOS::ServicePackMinor() {
  return static_cast<std::int16_t>(ReadRecord(source_.get()).service_pack_minor);
}

VariantBool clsOS::isServicePackInstalled() { return !ServicePack().empty(); }

NARWICK_REGISTER_CLASS(clsOS);

}  // namespace narwick
