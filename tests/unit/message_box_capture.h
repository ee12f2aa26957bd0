// A scripted user for the posix platform's message boxes: answers each with
// OK and keeps what it showed, so a test can check texts and captions.
#pragma once
#ifndef _WIN32
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "posix_hooks.h"

struct CapturedBox {
  PlatWindow owner;
  std::string text;
  std::string caption;
  PlatButtons buttons;
  PlatIcon icon;
};

class MessageBoxCapture {
 public:
  MessageBoxCapture() {
    const PosixUiDriver driver = {&Answer, nullptr, this};
    PosixSetUiDriver(&driver);
  }
  ~MessageBoxCapture() { PosixSetUiDriver(nullptr); }
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  // The boxes shown since the last call, oldest first.
  std::vector<CapturedBox> Take() { return std::move(boxes_); }

 private:
  static PlatAnswer Answer(void* ctx, PlatWindow owner, const char* text,
                           const char* caption, PlatButtons buttons,
                           PlatIcon icon) {
    static_cast<MessageBoxCapture*>(ctx)->boxes_.push_back(
        {owner, text, caption, buttons, icon});
    return kPlatIdOk;
  }
  std::vector<CapturedBox> boxes_;
};
#endif
