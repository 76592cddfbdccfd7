// clsFormFade on real windows of a private Xvfb server (scripts/run-tests.sh starts one and
// names it in NARWICK_TEST_DISPLAY), plus the failure paths through a fake window layer.
#include "narwick/system/form_fade.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "narwick/frame/error_numbers.h"
#include "platform/window_layer.h"
#include "testing/test_support.h"
#include "x_test_window.h"

namespace narwick {
namespace {

// One test on one window: Xvfb resets itself when its last client leaves, and a connection
// opened during that reset fails, so a test per case would race the server between cases.
TEST(XWindowTest, TransparencyOnARealWindow) {
  const char* display = std::getenv("NARWICK_TEST_DISPLAY");
  if (display == nullptr) GTEST_SKIP() << "no test X server (NARWICK_TEST_DISPLAY unset)";
  setenv("DISPLAY", display, 1);
  testing::XTestWindow window(display);
  ASSERT_TRUE(window.ok());
  const Long handle = window.handle();
  clsFormFade fade;
  EXPECT_FALSE(fade.IsTransparent(handle));
  EXPECT_EQ(fade.MakeTransparent(handle, 256), 1);  // out of range: nothing changes
  EXPECT_EQ(fade.MakeTransparent(handle, -1), 1);
  EXPECT_EQ(window.Opacity(), std::nullopt);
  EXPECT_EQ(fade.MakeTransparent(handle, 128), 0);
  EXPECT_TRUE(fade.IsTransparent(handle));
  EXPECT_EQ(window.Opacity(), 128u * 0x01010101u);
  EXPECT_EQ(fade.MakeTransparent(handle, 255), 0);  // fully opaque, yet still layered
  EXPECT_TRUE(fade.IsTransparent(handle));
  EXPECT_EQ(window.Opacity(), 0xFFFFFFFFu);
  EXPECT_EQ(fade.MakeTransparent(handle, 0), 0);
  EXPECT_EQ(window.Opacity(), 0u);
  EXPECT_EQ(fade.MakeOpaque(handle), 0);
  EXPECT_FALSE(fade.IsTransparent(handle));
  EXPECT_EQ(window.Opacity(), std::nullopt);

  const Long bogus = 0x7ffffff0;  // no such window: every call fails quietly
  EXPECT_FALSE(fade.IsTransparent(bogus));
  EXPECT_EQ(fade.MakeTransparent(bogus, 100), 0);
  EXPECT_EQ(fade.MakeOpaque(bogus), 0);

  Object late = CreateObject("Narwick.clsFormFade");
  EXPECT_EQ(late.Call("MakeTransparent", {handle, 10}), Variant(0));
  EXPECT_EQ(late.Call("IsTransparent", {handle}), Variant(true));
  EXPECT_EQ(late.Call("MakeOpaque", {handle}), Variant(0));
  EXPECT_EQ(window.Opacity(), std::nullopt);
}

// Records the calls; can fail the alpha call as a window manager without it would.
class FakeLayer final : public platform::WindowLayer {
 public:
  FakeLayer(Long& style, bool alpha_missing) : style_(style), alpha_missing_(alpha_missing) {}
  Long GetWindowLongA(Long, Long) override { return style_; }
  Long SetWindowLongA(Long, Long, Long value) override { return std::exchange(style_, value); }
  Long SetLayeredWindowAttributes(Long, Long, Byte, Long) override {
    if (alpha_missing_) Raise(err::kErrorLoadingDll);
    return 1;
  }

 private:
  Long& style_;
  bool alpha_missing_;
};

TEST(FormFadeTest, MissingAlphaCallGivesTwoAfterTheBitIsSet) {
  Long style = 0x10;
  clsFormFade fade(std::make_unique<FakeLayer>(style, true));
  EXPECT_EQ(fade.MakeTransparent(1, 50), 2);
  EXPECT_EQ(style, 0x10 | platform::kLayeredBit);
  EXPECT_TRUE(fade.IsTransparent(1));
  EXPECT_EQ(fade.MakeOpaque(1), 2);
  EXPECT_EQ(style, 0x10);
  EXPECT_FALSE(fade.IsTransparent(1));  // other style bits do not make a window layered
}

TEST(FormFadeTest, NoDisplayIsTheMissingCallFailure) {
  const char* saved = std::getenv("DISPLAY");
  const std::optional<std::string> restore =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("DISPLAY", ":9999", 1);  // no server there
  clsFormFade fade;
  EXPECT_FALSE(fade.IsTransparent(1));
  EXPECT_EQ(fade.MakeTransparent(1, 50), 2);
  EXPECT_EQ(fade.MakeOpaque(1), 2);
  EXPECT_EQ(fade.MakeTransparent(1, 300), 1);
  if (restore) {
    setenv("DISPLAY", restore->c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

}  // namespace
}  // namespace narwick
