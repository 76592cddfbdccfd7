// Connection points: sinks are called in subscription order, synchronously.
#include "narwick/frame/events.h"

#include <algorithm>
#include <exception>

namespace narwick::frame {

std::uint32_t EventSource::Advise(EventCallback sink) {
  std::uint32_t cookie = next_cookie_++;
  sinks_.push_back({cookie, std::move(sink)});
  return cookie;
}

void EventSource::Unadvise(std::uint32_t cookie) {
  std::erase_if(sinks_, [cookie](const Sink& s) { return s.cookie == cookie; });
}

void EventSource::Raise(std::string_view name, Long dispid, std::span<Variant> args) {
  // A sink may unadvise itself while called: iterate over a snapshot.
  auto sinks = sinks_;
  for (auto& sink : sinks) {
    EventCall call{name, dispid, args};
    try {
      sink.callback(call);
    } catch (...) {
      // A listener's failure never fails the operation that raised the event.
    }
  }
}

}  // namespace narwick::frame
