// A window on the test X server, seen as another X client sees it. Kept apart from the tests
// because Xlib's macros (True, False, None, Bool) collide with gtest and the library.
#pragma once

#include <cstdint>
#include <optional>

namespace narwick::testing {

class XTestWindow {
 public:
  // Opens `display` and maps a small window; ok() is false when the display cannot be opened.
  explicit XTestWindow(const char* display);
  ~XTestWindow();
  XTestWindow(const XTestWindow&) = delete;
  XTestWindow& operator=(const XTestWindow&) = delete;

  bool ok() const { return display_ != nullptr; }
  std::int32_t handle() const { return static_cast<std::int32_t>(window_); }
  // The _NET_WM_WINDOW_OPACITY property, or nothing when the window has none.
  std::optional<std::uint32_t> Opacity() const;

 private:
  void* display_ = nullptr;
  unsigned long window_ = 0;
};

}  // namespace narwick::testing
