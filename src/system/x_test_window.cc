#include "x_test_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace narwick::testing {

XTestWindow::XTestWindow(const char* display) {
  Display* d = XOpenDisplay(display);
  display_ = d;
  if (d == nullptr) return;
  window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
  XSync(d, False);
}

XTestWindow::~XTestWindow() {
  if (display_ == nullptr) return;
  auto* d = static_cast<Display*>(display_);
  XDestroyWindow(d, window_);
  XCloseDisplay(d);
}

std::optional<std::uint32_t> XTestWindow::Opacity() const {
  auto* d = static_cast<Display*>(display_);
  Atom atom = XInternAtom(d, "_NET_WM_WINDOW_OPACITY", False);
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(d, window_, atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data);
  std::optional<std::uint32_t> value;
  if (data != nullptr && items == 1) value = static_cast<std::uint32_t>(*reinterpret_cast<unsigned long*>(data));
  if (data != nullptr) XFree(data);
  return value;
}

}  // namespace narwick::testing
