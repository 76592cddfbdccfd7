#include "narwick/system/form_fade.h"

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "frame/trap.h"
#include "platform/window_layer.h"

namespace narwick {

using platform::kAlphaFlag;
using platform::kExtendedStyleIndex;
using platform::kLayeredBit;

namespace {
constexpr Long kDone = 0;
constexpr Long kPercOutOfRange = 1;
constexpr Long kCallFailed = 2;
constexpr Long kNoColorKey = 0;
}  // namespace

clsFormFade::clsFormFade() : clsFormFade(platform::MakeX11WindowLayer()) {}
clsFormFade::clsFormFade(std::unique_ptr<platform::WindowLayer> layer) : layer_(std::move(layer)) {}
clsFormFade::~clsFormFade() = default;

const frame::ClassInfo& clsFormFade::TypeInfo() const {
  static const frame::ClassInfo info = frame::MemberTable<clsFormFade>("clsFormFade")
      .Method("IsTransparent", &clsFormFade::IsTransparent, {"hWnd"})
      .Method("MakeTransparent", &clsFormFade::MakeTransparent, {"hWnd", "Perc"})
      .Method("MakeOpaque", &clsFormFade::MakeOpaque, {"hWnd"})
      .Build();
  return info;
}

VariantBool clsFormFade::IsTransparent(Long hWnd) {
  trap::IgnoreAll run;
  Long style = 0;
  run([&] { style = layer_->GetWindowLongA(hWnd, kExtendedStyleIndex); });
  return !run.failed() && (style & kLayeredBit) == kLayeredBit;
}

Long clsFormFade::MakeTransparent(Long hWnd, Integer Perc) {
  if (Perc < 0 || Perc > 255) return kPercOutOfRange;
  trap::IgnoreAll run;
  Long style = 0;
  run([&] { style = layer_->GetWindowLongA(hWnd, kExtendedStyleIndex); });
  run([&] { layer_->SetWindowLongA(hWnd, kExtendedStyleIndex, style | kLayeredBit); });
  run([&] { layer_->SetLayeredWindowAttributes(hWnd, kNoColorKey, static_cast<Byte>(Perc), kAlphaFlag); });
  return run.failed() ? kCallFailed : kDone;
}

Long clsFormFade::MakeOpaque(Long hWnd) {
  trap::IgnoreAll run;
  Long style = 0;
  run([&] { style = layer_->GetWindowLongA(hWnd, kExtendedStyleIndex); });
  run([&] { layer_->SetWindowLongA(hWnd, kExtendedStyleIndex, style & ~kLayeredBit); });
  run([&] { layer_->SetLayeredWindowAttributes(hWnd, kNoColorKey, 0, kAlphaFlag); });
  return run.failed() ? kCallFailed : kDone;
}

NARWICK_REGISTER_CLASS(clsFormFade);

}  // namespace narwick
