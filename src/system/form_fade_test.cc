// clsFormFade on real windows of a private Xvfb server (scripts/run-tests.sh starts one and
// names it in NARWICK_TEST_DISPLAY), plus the failure paths through a fake window layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "narwick/frame/error_numbers.h"
#include "narwick/system/form_fade.h"
#include "platform/window_layer.h"
#include "testing/test_support.h"
#include "x_test_window.h"

namespace narwick {
namespace {

class XWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("NARWICK_TEST_DISPLAY");
    if (display == nullptr) GTEST_SKIP() << "no test X server (NARWICK_TEST_DISPLAY unset)";
    setenv("DISPLAY", display, 1);
    window_.emplace(display);
    ASSERT_TRUE(window_->ok());
  }
  std::optional<std::uint32_t> Opacity() const { return window_->Opacity(); }
  Long Handle() const { return window_->handle(); }

  std::optional<testing::XTestWindow> window_;
  clsFormFade fade_;
};

TEST_F(XWindowTest, TransparentThenOpaque) {
  EXPECT_FALSE(fade_.IsTransparent(Handle()));
  EXPECT_EQ(fade_.MakeTransparent(Handle(), 128), 0);
  EXPECT_TRUE(fade_.IsTransparent(Handle()));
  EXPECT_EQ(Opacity(), 128u * 0x01010101u);
  EXPECT_EQ(fade_.MakeOpaque(Handle()), 0);
  EXPECT_FALSE(fade_.IsTransparent(Handle()));
  EXPECT_EQ(Opacity(), std::nullopt);
}

TEST_F(XWindowTest, FullAlphaStillCountsAsTransparentAndZeroIsInvisible) {
  EXPECT_EQ(fade_.MakeTransparent(Handle(), 255), 0);
  EXPECT_TRUE(fade_.IsTransparent(Handle()));
  EXPECT_EQ(Opacity(), 0xFFFFFFFFu);
  EXPECT_EQ(fade_.MakeTransparent(Handle(), 0), 0);
  EXPECT_EQ(Opacity(), 0u);
}

TEST_F(XWindowTest, AlphaOutsideTheRangeChangesNothing) {
  EXPECT_EQ(fade_.MakeTransparent(Handle(), 256), 1);
  EXPECT_EQ(fade_.MakeTransparent(Handle(), -1), 1);
  EXPECT_EQ(Opacity(), std::nullopt);
}

TEST_F(XWindowTest, ABadWindowIdFailsQuietly) {
  Long bogus = 0x7ffffff0;
  EXPECT_FALSE(fade_.IsTransparent(bogus));
  EXPECT_EQ(fade_.MakeTransparent(bogus, 100), 0);
  EXPECT_EQ(fade_.MakeOpaque(bogus), 0);
}

TEST_F(XWindowTest, LateBoundByProgId) {
  Object fade = CreateObject("Narwick.clsFormFade");
  EXPECT_EQ(fade.Call("MakeTransparent", {Handle(), 10}), Variant(0));
  EXPECT_EQ(fade.Call("IsTransparent", {Handle()}), Variant(true));
  EXPECT_EQ(fade.Call("MakeOpaque", {Handle()}), Variant(0));
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
}

TEST(FormFadeTest, NoDisplayIsTheMissingCallFailure) {
  const char* saved = std::getenv("DISPLAY");
  std::optional<std::string> restore = saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("DISPLAY", ":9999", 1);  // no server there
  clsFormFade fade;
  EXPECT_FALSE(fade.IsTransparent(1));
  EXPECT_EQ(fade.MakeTransparent(1, 50), 2);
  EXPECT_EQ(fade.MakeOpaque(1), 2);
  EXPECT_EQ(fade.MakeTransparent(1, 300), 1);
  if (restore) setenv("DISPLAY", restore->c_str(), 1); else unsetenv("DISPLAY");
}

}  // namespace
}  // namespace narwick
