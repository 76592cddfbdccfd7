// Connection-point events: hosts subscribe sinks, classes raise synchronously.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "narwick/frame/types.h"
#include "narwick/frame/variant.h"

namespace narwick {

// One raised event as a callback sink sees it. Arguments are by reference: a sink may
// change args[i], and the class reads the changed value back after the call.
struct EventCall {
  std::string_view name;
  Long dispid = 0;
  std::span<Variant> args;
};

using EventCallback = std::function<void(EventCall&)>;

namespace frame {

// The connection point of one object. Raising into no sink is a no-op; a sink that throws
// never fails the operation that raised the event.
class EventSource {
 public:
  std::uint32_t Advise(EventCallback sink);
  void Unadvise(std::uint32_t cookie);  // unknown cookies are ignored
  bool HasSinks() const { return !sinks_.empty(); }
  void Raise(std::string_view name, Long dispid, std::span<Variant> args);

 private:
  struct Sink {
    std::uint32_t cookie;
    EventCallback callback;
  };
  std::vector<Sink> sinks_;
  std::uint32_t next_cookie_ = 1;
};

}  // namespace frame
}  // namespace narwick
