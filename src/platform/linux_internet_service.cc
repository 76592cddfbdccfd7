// Connection state from the Linux network stack, URL probes with libcurl.
#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "internet_service.h"

namespace narwick::platform {

namespace {

// A default route in /proc/net/route: destination 00000000 with mask 00000000.
bool HasDefaultRoute() {
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // header
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask;
    if (destination == "00000000" && mask == "00000000") return true;
  }
  // IPv6-only hosts: a default route has destination and prefix length zero.
  std::ifstream routes6("/proc/net/ipv6_route");
  while (std::getline(routes6, line)) {
    if (line.compare(0, 35, "00000000000000000000000000000000 00") == 0 &&
        line.find(" lo") == std::string::npos) {
      return true;
    }
  }
  return false;
}

bool ProxyConfigured() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

class CurlSession final : public InternetSession {
 public:
  CurlSession(CURL* curl, std::string agent) : curl_(curl), agent_(std::move(agent)) {}
  ~CurlSession() override { curl_easy_cleanup(curl_); }
  CurlSession(const CurlSession&) = delete;
  CurlSession& operator=(const CurlSession&) = delete;

  bool OpenUrl(const std::string& url) override {
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, agent_.c_str());
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &DiscardBody);
    // Reload from the network: ask intermediaries not to answer from a cache.
    struct curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
    // The system's own connect limit stands in for WinInet's; the class adds none.
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 60L);
    CURLcode result = curl_easy_perform(curl_);
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    // Any response at all, whatever its status, means the site answered.
    return result == CURLE_OK || status > 0;
  }

 private:
  CURL* curl_;
  std::string agent_;
};

class LinuxInternetService final : public InternetService {
 public:
  Long GetConnectedState(Long& flags) override {
    flags = 0;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
      bool lan = false, modem = false;
      for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr || (a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & IFF_LOOPBACK) != 0) continue;
        if ((a->ifa_flags & IFF_POINTOPOINT) != 0) {
          modem = true;
        } else {
          lan = true;
        }
      }
      freeifaddrs(list);
      if (modem) flags |= kConnectionModem;
      if (lan && HasDefaultRoute()) flags |= kConnectionLan;
    }
    if (ProxyConfigured()) flags |= kConnectionProxy;
    return flags != 0 ? 1 : 0;
  }

  std::unique_ptr<InternetSession> Open(const std::string& agent) override {
    InitCurlOnce();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return nullptr;
    return std::make_unique<CurlSession>(curl, agent);
  }

  Long Autodial(Long) override { return 0; }
  Long AutodialHangup() override { return 0; }
};

}  // namespace

std::unique_ptr<InternetService> MakeLinuxInternetService() {
  return std::make_unique<LinuxInternetService>();
}

}  // namespace narwick::platform
