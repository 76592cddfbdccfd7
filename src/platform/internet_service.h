// The connection-state, URL-probe and autodial calls clsNetConnect makes, with their
// Windows meanings: zero results are failures, never errors.
#pragma once

#include <memory>
#include <string>

#include "narwick/frame/types.h"

namespace narwick::platform {

inline constexpr Long kConnectionModem = 1;
inline constexpr Long kConnectionLan = 2;
inline constexpr Long kConnectionProxy = 4;
inline constexpr Long kConnectionModemBusy = 8;

// An open session (InternetOpen) that keeps its connections for the next request.
class InternetSession {
 public:
  virtual ~InternetSession() = default;
  // True when the URL answered with any response (InternetOpenUrl with reload, no cache
  // write and keep-connection flags, the request handle closed at once).
  virtual bool OpenUrl(const std::string& url) = 0;
};

class InternetService {
 public:
  virtual ~InternetService() = default;
  // Non-zero when a connection exists; `flags` gets the connection kind bits.
  virtual Long GetConnectedState(Long& flags) = 0;
  // A session with the given agent name; null when none can be opened.
  virtual std::unique_ptr<InternetSession> Open(const std::string& agent) = 0;
  virtual Long Autodial(Long flags) = 0;  // non-zero on success
  virtual Long AutodialHangup() = 0;      // non-zero on success
};

// Linux: LAN when an interface other than loopback is up with an address and a default route
// exists; modem for an up point-to-point interface (ppp); proxy when the usual proxy
// variables are set. Requests through libcurl. There is no dial-up: autodial calls fail.
std::unique_ptr<InternetService> MakeLinuxInternetService();

}  // namespace narwick::platform
