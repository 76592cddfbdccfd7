#include "narwick/system/net_connect.h"

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "platform/internet_service.h"

namespace narwick {

namespace {

// Plain-web home pages of two large public sites; only probed when the host keeps them.
constexpr char16_t kDefaultSite1[] = u"http://www.google.com/";
constexpr char16_t kDefaultSite2[] = u"http://www.microsoft.com/";
// The agent name the probe announces: the component's application title.
constexpr char kAgent[] = "Narwick";

constexpr char16_t kModem[] = u"Modem";
constexpr char16_t kModemBusy[] = u"Modem (Busy)";
constexpr char16_t kLan[] = u"LAN";
constexpr char16_t kProxy[] = u"Proxy Server";

}  // namespace

clsNetConnect::clsNetConnect() : clsNetConnect(platform::MakeLinuxInternetService()) {}

clsNetConnect::clsNetConnect(std::unique_ptr<platform::InternetService> service)
    : service_(std::move(service)) {
  auto sites = std::make_shared<Collection>();
  sites->Add(kDefaultSite1, kDefaultSite1);
  sites->Add(kDefaultSite2, kDefaultSite2);
  test_sites_ = MakeObject(std::move(sites));
}

clsNetConnect::~clsNetConnect() = default;

const frame::ClassInfo& clsNetConnect::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<clsNetConnect>("clsNetConnect")
      .Get<Object() const>("KnownTestSites", &clsNetConnect::KnownTestSites)
      .Let<void(Object)>("KnownTestSites", &clsNetConnect::KnownTestSites, {"NewVal"})
      .Set<void(Object)>("KnownTestSites", &clsNetConnect::KnownTestSites, {"NewVal"})
      .Get("Connected", &clsNetConnect::Connected)
      .Get("ConnectMode", &clsNetConnect::ConnectMode)
      .Get("ConnectModeDesc", &clsNetConnect::ConnectModeDesc)
      .Method("Dial", &clsNetConnect::Dial,
              {frame::Opt("Flags", static_cast<Long>(AutodialFlags::InternetAutodialUnattended))})
      .Method("HangUp", &clsNetConnect::HangUp)
      .Method("Refresh", &clsNetConnect::Refresh)
      .Build();
  return info;
}

Object clsNetConnect::KnownTestSites() const { return test_sites_; }

void clsNetConnect::KnownTestSites(Object NewVal) { test_sites_ = std::move(NewVal); }

VariantBool clsNetConnect::Connected() {
  Refresh();
  return connected_;
}

Long clsNetConnect::ConnectMode() {
  Refresh();
  return mode_;
}

String clsNetConnect::ConnectModeDesc() {
  Refresh();
  return description_;
}

VariantBool clsNetConnect::Dial(Long Flags) {
  if (Connected()) return false;
  return service_->Autodial(Flags) != 0;
}

VariantBool clsNetConnect::HangUp() {
  if (!Connected()) return false;
  return service_->AutodialHangup() != 0;
}

void clsNetConnect::Refresh() {
  Long flags = 0;
  connected_ = service_->GetConnectedState(flags) != 0;
  mode_ = flags;
  if ((flags & platform::kConnectionModem) != 0) {
    description_ = kModem;
    // A modem that is not busy is taken at the system's word.
    if ((flags & platform::kConnectionModemBusy) == 0) return;
    description_ = kModemBusy;
  } else if ((flags & platform::kConnectionLan) != 0) {
    description_ = kLan;
  } else if ((flags & platform::kConnectionProxy) != 0) {
    description_ = kProxy;
  } else {
    return;  // no kind the class knows: the description stays as it was
  }
  connected_ = ProbeTestSites();
}

bool clsNetConnect::ProbeTestSites() {
  std::unique_ptr<platform::InternetSession> session = service_->Open(kAgent);
  if (session == nullptr) return false;
  // The collection is read late-bound, so a host's own collection object serves as well.
  Long count = CLng(test_sites_.Call("Count"));
  for (Long i = 1; i <= count; ++i) {
    std::string url = ToUtf8(CStr(test_sites_.Call("Item", {i})));
    if (session->OpenUrl(url)) return true;
  }
  return false;
}

NARWICK_REGISTER_CLASS(clsNetConnect);

}  // namespace narwick
