// narwick window opacity|opaque|status: clsFormFade on an X11 window id.
#include <cstdio>
#include <string>

#include "command.h"
#include "narwick/frame/error.h"
#include "narwick/system/form_fade.h"
#include "platform/window_layer.h"

namespace narwick::cli::window_command {
namespace {

// Window ids as xwininfo and xdotool print them: decimal or 0x-prefixed hexadecimal.
Long ParseWindowId(const std::string& text) {
  std::size_t used = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value > 0xFFFFFFFFul) throw Failure("not a window id: " + text);
  return static_cast<Long>(static_cast<std::uint32_t>(value));
}

int Report(Long result) {
  switch (result) {
    case 0: return kExitSuccess;
    case 1: std::fprintf(stderr, "narwick: the alpha must lie between 0 and 255\n"); return kExitUsage;
    default:
      std::fprintf(stderr, "narwick: the window system could not be reached (is DISPLAY set?)\n");
      return kExitFailure;
  }
}

void Setup(CLI::App& app, int& exit_code) {
  auto* window = app.add_subcommand("window", "Window transparency of an X11 window (compositing window managers)");
  window->require_subcommand(1);

  static std::string id_text;
  static int alpha = 0;
  auto* opacity = window->add_subcommand("opacity", "Make the window layered with alpha 0 (invisible) to 255 (opaque)");
  opacity->add_option("WINDOW-ID", id_text, "X11 window id, decimal or 0x hexadecimal")->required();
  opacity->add_option("ALPHA", alpha, "alpha 0..255 (not a percentage)")->required();
  opacity->callback([&exit_code] {
    clsFormFade fade;
    exit_code = Report(fade.MakeTransparent(ParseWindowId(id_text), static_cast<Integer>(alpha < -1 ? -1 : alpha > 256 ? 256 : alpha)));
  });

  auto* opaque = window->add_subcommand("opaque", "Make the window opaque again");
  opaque->add_option("WINDOW-ID", id_text, "X11 window id")->required();
  opaque->callback([&exit_code] {
    clsFormFade fade;
    exit_code = Report(fade.MakeOpaque(ParseWindowId(id_text)));
  });

  auto* status = window->add_subcommand("status", "Print \"transparent\" when the window is layered, else \"opaque\"");
  status->add_option("WINDOW-ID", id_text, "X11 window id")->required();
  status->callback([&exit_code] {
    const Long id = ParseWindowId(id_text);
    // IsTransparent answers False also when there is no window system; a script must not
    // read that as "opaque", so the display is tried first.
    try {
      platform::MakeX11WindowLayer()->GetWindowLongA(id, platform::kExtendedStyleIndex);
    } catch (const RuntimeError&) {
      exit_code = Report(2);
      return;
    }
    clsFormFade fade;
    std::printf("%s\n", fade.IsTransparent(id) ? "transparent" : "opaque");
    exit_code = kExitSuccess;
  });
}

}  // namespace
}  // namespace narwick::cli::window_command

NARWICK_COMMAND(window, narwick::cli::window_command::Setup);
