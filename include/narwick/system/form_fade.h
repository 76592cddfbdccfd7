// clsFormFade: makes a top-level window see-through and opaque again.
#pragma once

#include <memory>

#include "narwick/frame/dispatch.h"
#include "narwick/frame/object.h"
#include "narwick/frame/types.h"

namespace narwick {

namespace platform {
class WindowLayer;
}

// On Linux the window handle is an X11 window id. Every member ignores failing statements;
// a call that is missing altogether (no display, no Xlib) is the failure result 2.
class clsFormFade final : public frame::AutomationObject {
 public:
  clsFormFade();
  explicit clsFormFade(std::unique_ptr<platform::WindowLayer> layer);  // for tests
  ~clsFormFade() override;
  const frame::ClassInfo& TypeInfo() const override;

  /// True when the window is layered (whatever its alpha); False on any failure.
  VariantBool IsTransparent(Long hWnd);
  /// Layers the window with alpha `Perc` (0 transparent .. 255 opaque): 0 done,
  /// 1 `Perc` outside 0..255 (nothing changed), 2 a run-time error occurred.
  Long MakeTransparent(Long hWnd, Integer Perc);
  /// Clears the layered bit, then sets alpha 0 (ignored on a window no longer layered):
  /// 0 done, 2 a run-time error occurred.
  Long MakeOpaque(Long hWnd);

 private:
  std::unique_ptr<platform::WindowLayer> layer_;
};

}  // namespace narwick
