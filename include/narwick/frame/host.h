// Services a host provides to the library: a modal message box and its message loop.
#pragma once

#include <functional>

#include "narwick/frame/types.h"

namespace narwick {

// Shows `prompt` in a modal box titled `title`. Default: prints "title: prompt" to stderr.
using MessageBoxHook = std::function<void(StringView prompt, StringView title)>;
// Lets the host's message loop run (DoEvents). Default: does nothing.
using MessagePumpHook = std::function<void()>;

// Installing an empty function restores the default. Hooks are process-wide, like the host.
void SetMessageBoxHook(MessageBoxHook hook);
void SetMessagePumpHook(MessagePumpHook hook);

void MsgBox(StringView prompt, StringView title);
void DoEvents();

}  // namespace narwick
