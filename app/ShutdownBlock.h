// The reason a window gives the system for holding off the end of the session. The reason is
// kept here whether or not the system took it: where the calls are stubs that fail (Wine has
// them so), the window still knows what it registered.
#pragma once

#include <windows.h>

#include <string>

class TShutdownBlock {
 public:
  // Registers text for window, in place of a reason registered before.
  void Register(HWND window, const std::wstring& text);
  // Removes the registered reason, if there is one.
  void Remove(HWND window);
  // The registered reason; empty when none.
  const std::wstring& Reason() const { return reason_; }

 private:
  std::wstring reason_;
};
