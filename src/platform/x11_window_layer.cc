// The window layer on X11, through Xlib loaded with dlopen.
//
// Windows keeps a layered bit and an alpha per window; a compositing X window manager reads
// one property, _NET_WM_WINDOW_OPACITY (CARDINAL/32, 0xFFFFFFFF = opaque). So the property's
// presence is the layered bit, and its value the alpha. Setting the bit without an alpha makes
// the window layered and fully opaque, as a freshly layered window is; the alpha call on a
// window that is not layered fails quietly, as SetLayeredWindowAttributes does.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <mutex>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "window_layer.h"

namespace narwick::platform {

namespace {

// The few Xlib types and entry points used, declared here so the library needs no Xlib at
// build or load time (layouts as in <X11/Xlib.h>).
using Display = struct _XDisplay;
using Atom = unsigned long;
using XWindow = unsigned long;
struct XErrorEvent {
  int type;
  Display* display;
  unsigned long resourceid;
  unsigned long serial;
  unsigned char error_code;
  unsigned char request_code;
  unsigned char minor_code;
};
using XErrorHandler = int (*)(Display*, XErrorEvent*);

constexpr Atom kXaCardinal = 6;
constexpr int kPropModeReplace = 0;
constexpr int kSuccess = 0;

struct Xlib {
  Display* (*OpenDisplay)(const char*);
  int (*CloseDisplay)(Display*);
  Atom (*InternAtom)(Display*, const char*, int);
  int (*GetWindowProperty)(Display*, XWindow, Atom, long, long, int, Atom, Atom*, int*,
                           unsigned long*, unsigned long*, unsigned char**);
  int (*ChangeProperty)(Display*, XWindow, Atom, Atom, int, int, const unsigned char*, int);
  int (*DeleteProperty)(Display*, XWindow, Atom);
  int (*Free)(void*);
  int (*Sync)(Display*, int);
  XErrorHandler (*SetErrorHandler)(XErrorHandler);
};

// Loads Xlib once per process; null when it is not installed.
const Xlib* LoadXlib() {
  static Xlib xlib{};
  static bool loaded = [] {
    void* handle = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    // dlsym hands out object pointers; copy the bits into the function pointer.
    auto bind = [handle](auto& fn, const char* name) {
      void* symbol = dlsym(handle, name);
      std::memcpy(&fn, &symbol, sizeof fn);
      return symbol != nullptr;
    };
    return bind(xlib.OpenDisplay, "XOpenDisplay") && bind(xlib.CloseDisplay, "XCloseDisplay") &&
           bind(xlib.InternAtom, "XInternAtom") &&
           bind(xlib.GetWindowProperty, "XGetWindowProperty") &&
           bind(xlib.ChangeProperty, "XChangeProperty") &&
           bind(xlib.DeleteProperty, "XDeleteProperty") && bind(xlib.Free, "XFree") &&
           bind(xlib.Sync, "XSync") && bind(xlib.SetErrorHandler, "XSetErrorHandler");
  }();
  return loaded ? &xlib : nullptr;
}

// X reports a bad window id asynchronously through the error handler; Xlib's default handler
// would end the process. Errors are counted instead, under a lock because the handler is global.
std::mutex error_mutex;
int error_count = 0;
int CountError(Display*, XErrorEvent*) {
  ++error_count;
  return 0;
}

// One display connection for the duration of one call.
class Connection {
 public:
  Connection() : xlib_(LoadXlib()) {
    if (xlib_ == nullptr) Raise(err::kErrorLoadingDll);
    display_ = xlib_->OpenDisplay(nullptr);
    if (display_ == nullptr) Raise(err::kErrorLoadingDll);
    lock_ = std::unique_lock(error_mutex);
    error_count = 0;
    previous_ = xlib_->SetErrorHandler(&CountError);
    opacity_ = xlib_->InternAtom(display_, "_NET_WM_WINDOW_OPACITY", 0);
  }
  ~Connection() {
    xlib_->Sync(display_, 0);
    xlib_->SetErrorHandler(previous_);
    xlib_->CloseDisplay(display_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The opacity, or nothing when the property is absent or the window does not exist.
  bool ReadOpacity(XWindow window, std::uint32_t& opacity) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    int status = xlib_->GetWindowProperty(display_, window, opacity_, 0, 1, 0, kXaCardinal, &type,
                                          &format, &items, &after, &data);
    xlib_->Sync(display_, 0);
    bool present = status == kSuccess && error_count == 0 && data != nullptr && items == 1 && format == 32;
    // Format-32 items come back as longs, whatever the wire size.
    if (present) opacity = static_cast<std::uint32_t>(*reinterpret_cast<unsigned long*>(data));
    if (data != nullptr) xlib_->Free(data);
    return present;
  }

  void WriteOpacity(XWindow window, std::uint32_t opacity) {
    unsigned long value = opacity;
    xlib_->ChangeProperty(display_, window, opacity_, kXaCardinal, 32, kPropModeReplace,
                          reinterpret_cast<const unsigned char*>(&value), 1);
  }

  void RemoveOpacity(XWindow window) { xlib_->DeleteProperty(display_, window, opacity_); }

 private:
  const Xlib* xlib_;
  Display* display_ = nullptr;
  std::unique_lock<std::mutex> lock_;
  XErrorHandler previous_ = nullptr;
  Atom opacity_ = 0;
};

XWindow WindowOf(Long hwnd) { return static_cast<XWindow>(static_cast<std::uint32_t>(hwnd)); }

class X11WindowLayer final : public WindowLayer {
 public:
  Long GetWindowLongA(Long hwnd, Long index) override {
    Connection x;
    std::uint32_t opacity = 0;
    if (index != kExtendedStyleIndex) return 0;
    return x.ReadOpacity(WindowOf(hwnd), opacity) ? kLayeredBit : 0;
  }

  Long SetWindowLongA(Long hwnd, Long index, Long new_long) override {
    Connection x;
    if (index != kExtendedStyleIndex) return 0;
    std::uint32_t opacity = 0;
    bool layered = x.ReadOpacity(WindowOf(hwnd), opacity);
    if ((new_long & kLayeredBit) != 0) {
      if (!layered) x.WriteOpacity(WindowOf(hwnd), 0xFFFFFFFFu);
    } else if (layered) {
      x.RemoveOpacity(WindowOf(hwnd));
    }
    return layered ? kLayeredBit : 0;
  }

  Long SetLayeredWindowAttributes(Long hwnd, Long, Byte alpha, Long flags) override {
    Connection x;
    std::uint32_t opacity = 0;
    if ((flags & kAlphaFlag) == 0 || !x.ReadOpacity(WindowOf(hwnd), opacity)) return 0;
    // 0..255 onto 0..0xFFFFFFFF, so that 255 is exactly opaque.
    x.WriteOpacity(WindowOf(hwnd), static_cast<std::uint32_t>(alpha) * 0x01010101u);
    return 1;
  }
};

}  // namespace

std::unique_ptr<WindowLayer> MakeX11WindowLayer() { return std::make_unique<X11WindowLayer>(); }

}  // namespace narwick::platform
