// The layered-window calls of the window manager, as clsFormFade uses them.
#pragma once

#include <memory>

#include "narwick/frame/types.h"

namespace narwick::platform {

inline constexpr Long kExtendedStyleIndex = -20;
inline constexpr Long kLayeredBit = 0x80000;
inline constexpr Long kAlphaFlag = 2;

// A call that is missing altogether (no window system, no library) raises a run-time error;
// a call on a window that does not exist fails quietly, as the window manager's calls do.
class WindowLayer {
 public:
  virtual ~WindowLayer() = default;
  virtual Long GetWindowLongA(Long hwnd, Long index) = 0;
  virtual Long SetWindowLongA(Long hwnd, Long index, Long new_long) = 0;
  virtual Long SetLayeredWindowAttributes(Long hwnd, Long color_key, Byte alpha, Long flags) = 0;
};

// X11: the window handle is an X window id; the layered bit is the presence of the
// _NET_WM_WINDOW_OPACITY property and the alpha its value scaled to 32 bits. Xlib is loaded
// at run time, so the library loads without a display; none raises error 48.
std::unique_ptr<WindowLayer> MakeX11WindowLayer();

}  // namespace narwick::platform
