// clsNetConnect with a fake connection-state provider and real probes of an HTTP server
// that the test runs on 127.0.0.1 (nothing leaves the machine).
#include "narwick/system/net_connect.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "narwick/frame/collection.h"
#include "narwick/frame/convert.h"
#include "narwick/frame/error_numbers.h"
#include "platform/internet_service.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

// A listening socket on 127.0.0.1 at a port the system picks.
int ListenOnLoopback(int* port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(s, 16);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return s;
}

std::string LoopbackUrl(int port, const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

// A port on 127.0.0.1 with nothing listening: taken, noted, closed.
std::string UnreachableUrl() {
  int port = 0;
  close(ListenOnLoopback(&port));
  return LoopbackUrl(port, "/");
}

// Answers every request with 404 (any status counts as the site answering) and records paths.
class LocalHttpServer {
 public:
  LocalHttpServer() : listener_(ListenOnLoopback(&port_)), thread_([this] { Serve(); }) {}
  ~LocalHttpServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Url(const std::string& path) const { return LoopbackUrl(port_, path); }
  std::vector<std::string> paths() {
    std::lock_guard lock(mutex_);
    return paths_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      // The whole request is read before the reply, so closing sends no reset.
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd c{client, POLLIN, 0};
        if (poll(&c, 1, 2000) <= 0) break;
        ssize_t n = read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      auto first_space = request.find(' ');
      auto second_space = request.find(' ', first_space + 1);
      if (first_space != std::string::npos && second_space != std::string::npos) {
        std::lock_guard lock(mutex_);
        paths_.push_back(request.substr(first_space + 1, second_space - first_space - 1));
      }
      const char reply[] =
          "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      [[maybe_unused]] auto written = write(client, reply, sizeof reply - 1);
      close(client);
    }
  }

  int port_ = 0;
  int listener_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> paths_;
  std::thread thread_;
};

// Connection flags chosen by the test; sessions are real (libcurl) but only ever reach the
// local server, and every session opened is counted.
class FakeService final : public platform::InternetService {
 public:
  Long GetConnectedState(Long& out) override {
    out = flags;
    return connected;
  }
  std::unique_ptr<platform::InternetSession> Open(const std::string& agent) override {
    ++sessions;
    return real_->Open(agent);
  }
  Long Autodial(Long dial_flags) override {
    ++dials;
    last_dial_flags = dial_flags;
    return dial_result;
  }
  Long AutodialHangup() override {
    ++hangups;
    return hangup_result;
  }

  Long flags = 0, connected = 0, dial_result = 1, hangup_result = 1, last_dial_flags = -1;
  int sessions = 0, dials = 0, hangups = 0;

 private:
  std::unique_ptr<platform::InternetService> real_ = platform::MakeLinuxInternetService();
};

class NetConnectTest : public ::testing::Test {
 protected:
  // Replaces the default sites, so that no test ever probes outside the machine.
  void UseSites(std::initializer_list<std::string> urls) {
    auto sites = std::make_shared<Collection>();
    for (const auto& url : urls) sites->Add(FromUtf8(url));
    net_->KnownTestSites(MakeObject(sites));
  }
  void Connection(Long flags, Long connected = 1) {
    fake_.flags = flags;
    fake_.connected = connected;
  }
  std::unique_ptr<FakeService> owned_ = std::make_unique<FakeService>();
  FakeService& fake_ = *owned_;
  std::shared_ptr<clsNetConnect> net_ = std::make_shared<clsNetConnect>(std::move(owned_));
  LocalHttpServer server_;
};

TEST_F(NetConnectTest, DefaultSitesAreTwoPlainWebAddressesKeyedByThemselves) {
  Object sites = net_->KnownTestSites();
  ASSERT_EQ(CLng(sites.Call("Count")), 2);
  for (Long i = 1; i <= 2; ++i) {
    String url = CStr(sites.Call("Item", {i}));
    EXPECT_EQ(url.rfind(u"http://", 0), 0u);
    EXPECT_EQ(CStr(sites.Call("Item", {url})), url);
  }
}

TEST_F(NetConnectTest, ModemNotBusyTakesTheSystemsAnswerWithoutProbing) {
  UseSites({server_.Url("/a")});
  Connection(platform::kConnectionModem);
  EXPECT_TRUE(net_->Connected());
  EXPECT_EQ(net_->ConnectModeDesc(), u"Modem");
  EXPECT_EQ(fake_.sessions, 0);
  fake_.connected = 0;
  EXPECT_FALSE(net_->Connected());
  // The modem bit decides before the LAN and proxy bits.
  Connection(platform::kConnectionModem | platform::kConnectionLan | platform::kConnectionProxy);
  EXPECT_EQ(net_->ConnectModeDesc(), u"Modem");
  EXPECT_EQ(fake_.sessions, 0);
}

TEST_F(NetConnectTest, LanIsConfirmedByTheFirstSiteThatAnswers) {
  UseSites({UnreachableUrl(), server_.Url("/first"), server_.Url("/second")});
  Connection(platform::kConnectionLan);
  EXPECT_TRUE(net_->Connected());
  EXPECT_EQ(net_->ConnectModeDesc(), u"LAN");
  // Connected and ConnectModeDesc each refreshed and probed: /first answered both times.
  EXPECT_EQ(server_.paths(), (std::vector<std::string>{"/first", "/first"}));
  fake_.connected = 0;  // the probe's answer replaces the system's
  EXPECT_TRUE(net_->Connected());
  UseSites({UnreachableUrl()});
  EXPECT_FALSE(net_->Connected());
}

// Every kind but a modem that is not busy is probed: no sites, no connection.
TEST_F(NetConnectTest, EmptySiteCollectionMeansNotConnectedForProbedKinds) {
  UseSites({});
  const std::pair<Long, const char16_t*> kinds[] = {
      {platform::kConnectionLan, u"LAN"},
      {platform::kConnectionProxy, u"Proxy Server"},
      {platform::kConnectionModem | platform::kConnectionModemBusy, u"Modem (Busy)"},
      {platform::kConnectionLan | platform::kConnectionProxy, u"LAN"}};
  for (const auto& [flags, description] : kinds) {
    Connection(flags);
    EXPECT_FALSE(net_->Connected()) << flags;
    EXPECT_EQ(net_->ConnectModeDesc(), description);
  }
}

TEST_F(NetConnectTest, UnknownKindsKeepThePreviousDescriptionAndAllBits) {
  UseSites({});
  Connection(0x40);
  EXPECT_EQ(net_->ConnectModeDesc(), u"");
  EXPECT_TRUE(net_->Connected());  // no known kind: the system's answer stands
  fake_.flags = platform::kConnectionProxy;
  EXPECT_EQ(net_->ConnectModeDesc(), u"Proxy Server");
  fake_.flags = 0x40 | 0x20 | platform::kConnectionModemBusy;  // busy without the modem bit
  EXPECT_EQ(net_->ConnectModeDesc(), u"Proxy Server");
  EXPECT_EQ(net_->ConnectMode(), 0x68);
}

TEST_F(NetConnectTest, DialAndHangUpFollowTheConnection) {
  UseSites({server_.Url("/")});
  Connection(platform::kConnectionLan);
  EXPECT_FALSE(net_->Dial());
  EXPECT_EQ(fake_.dials, 0);
  EXPECT_TRUE(net_->HangUp());
  fake_.hangup_result = 0;
  EXPECT_FALSE(net_->HangUp());
  Connection(0, 0);
  EXPECT_FALSE(net_->HangUp());
  EXPECT_EQ(fake_.hangups, 2);
  EXPECT_EQ(MakeObject(net_).Call("Dial"), Variant(true));
  EXPECT_EQ(fake_.last_dial_flags, 2);  // unattended unless the host says otherwise
  fake_.dial_result = 0;
  EXPECT_FALSE(net_->Dial());
}

TEST_F(NetConnectTest, NothingAsTestSitesPassesTheErrorToTheCaller) {
  net_->KnownTestSites(Object());
  Connection(platform::kConnectionLan);
  EXPECT_RUNTIME_ERROR(net_->Connected(), err::kObjectVariableNotSet);
  auto sites = std::make_shared<Collection>();
  sites->Add(Variant::Null());  // no text: the probe does not swallow the error
  net_->KnownTestSites(MakeObject(sites));
  EXPECT_RUNTIME_ERROR(net_->Connected(), err::kInvalidUseOfNull);
}

TEST_F(NetConnectTest, LateBoundMembersAndSharedCollection) {
  Object net = MakeObject(net_);
  Object sites = CreateObject("VBA.Collection");
  sites.Call("Add", {FromUtf8(server_.Url("/late"))});
  net.Set("KnownTestSites", sites);
  EXPECT_EQ(net.Get("KnownTestSites"), Variant(sites));  // the same reference
  Connection(platform::kConnectionLan);
  EXPECT_EQ(net.Get("Connected"), Variant(true));
  EXPECT_EQ(net.Get("ConnectMode"), Variant(platform::kConnectionLan));
  EXPECT_EQ(net.Get("ConnectModeDesc"), Variant(u"LAN"));
  net.Call("Refresh");
  EXPECT_EQ(net.Call("Dial"), Variant(false));
  EXPECT_EQ(net.Call("Dial", {1}), Variant(false));
  EXPECT_EQ(net.Call("HangUp"), Variant(true));
}

TEST(NetConnectPlatformTest, LinuxStateNeverReportsBitsOutsideTheKnownKinds) {
  auto service = platform::MakeLinuxInternetService();
  Long flags = -1;
  Long result = service->GetConnectedState(flags);
  EXPECT_EQ(
      flags & ~(platform::kConnectionModem | platform::kConnectionLan | platform::kConnectionProxy),
      0);
  EXPECT_EQ(result != 0, flags != 0);
  EXPECT_EQ(service->Autodial(2), 0);
  EXPECT_EQ(service->AutodialHangup(), 0);
}

}  // namespace
}  // namespace narwick
