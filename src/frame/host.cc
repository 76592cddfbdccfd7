// The host hooks and their defaults.
#include "narwick/frame/host.h"

#include <cstdio>

#include "narwick/frame/variant.h"

namespace narwick {

namespace {

MessageBoxHook& MessageBox() {
  static MessageBoxHook hook;
  return hook;
}

MessagePumpHook& MessagePump() {
  static MessagePumpHook hook;
  return hook;
}

}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { MessageBox() = std::move(hook); }
void SetMessagePumpHook(MessagePumpHook hook) { MessagePump() = std::move(hook); }

void MsgBox(StringView prompt, StringView title) {
  if (MessageBox()) {
    MessageBox()(prompt, title);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", ToUtf8(title).c_str(), ToUtf8(prompt).c_str());
}

void DoEvents() {
  if (MessagePump()) MessagePump()();
}

}  // namespace narwick
