// The system clipboard, for text. Adapters: Win32Clipboard (platform/win32);
// MemoryClipboard below, the portable one: a clipboard of this process.
// User-interface thread only.
#pragma once

#include "platform/text.h"

namespace hs {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  // Replaces the clipboard's content with `text`. False when the clipboard
  // could not be taken (another program holds it) or written.
  [[nodiscard]] virtual bool SetText(TextView text) = 0;
  // The clipboard's text; false when it holds none.
  [[nodiscard]] virtual bool GetText(Text* text) = 0;
};

class MemoryClipboard final : public Clipboard {
 public:
  [[nodiscard]] bool SetText(TextView text) override {
    text_ = Text(text);
    has_text_ = true;
    return true;
  }
  [[nodiscard]] bool GetText(Text* text) override {
    if (!has_text_) return false;
    *text = text_;
    return true;
  }

 private:
  Text text_;
  bool has_text_ = false;
};

}  // namespace hs
