// clsNetConnect: whether the machine reaches the internet, how, and dial-up control.
#pragma once

#include <memory>

#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

namespace platform {
class InternetService;
}

enum class InetConnectionStates : Long {
  InternetConnectionModem = 1,
  InternetConnectionLan = 2,
  InternetConnectionProxy = 4,
  InternetConnectionModemBusy = 8,
};

enum class AutodialFlags : Long {
  InternetAutodialForceOnline = 1,
  InternetAutodialUnattended = 2,
  InternetAutodialFailIfSecurityCheck = 4,
};

// No member traps errors: a test-site collection set to Nothing, or an entry that does not
// convert to text, raises to the caller. Every read of Connected, ConnectMode and
// ConnectModeDesc refreshes the state first; a LAN, proxy or busy-modem state is confirmed by
// probing the test sites in collection order.
class clsNetConnect final : public frame::AutomationObject {
 public:
  clsNetConnect();
  explicit clsNetConnect(std::unique_ptr<platform::InternetService> service);  // for tests
  ~clsNetConnect() override;
  const frame::ClassInfo& TypeInfo() const override;

  /// The test-site collection itself (a shared reference).
  Object KnownTestSites() const;
  /// Replaces the reference; the host's collection is used from then on.
  void KnownTestSites(Object NewVal);
  VariantBool Connected();
  Long ConnectMode();  // all flag bits the system set
  String ConnectModeDesc();
  /// Starts a dial-up connection when not connected; False while connected.
  VariantBool Dial(Long Flags = static_cast<Long>(AutodialFlags::InternetAutodialUnattended));
  /// Ends an automatic dial-up connection when connected; False when not connected.
  VariantBool HangUp();
  void Refresh();

 private:
  bool ProbeTestSites();

  std::unique_ptr<platform::InternetService> service_;
  Object test_sites_;  // the test sites
  bool connected_ = false;
  Long mode_ = 0;
  String description_;
};

}  // namespace narwick
