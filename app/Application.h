// The application object: title, message loop, termination, the switch that keeps the main
// window hidden, and the standard error display.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

// The common controls the program registers at its start: the page control and the standard ones.
inline constexpr DWORD CommonControlClasses = ICC_TAB_CLASSES | ICC_STANDARD_CLASSES;

class TApplication {
 public:
  std::wstring Title;
  // Cleared by a refused start-up: Run then never shows the main window.
  bool ShowMainForm = true;

  void Initialize();
  // Shows the main window (unless told not to) and runs the message loop until the program
  // ends. Each message goes to formKeys first (true: handled), then mainWindow's dialog-style
  // keyboard navigation.
  void Run(HWND mainWindow, const std::function<void()>& showMainWindow,
           const std::function<bool(const MSG&)>& formKeys = {});
  // Ends the message loop: at once when it runs, or before it starts.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // A box with an OK button and the stop icon, captioned with the title, owned by owner (which
  // it disables while it is up) when one is given.
  void ShowException(const std::wstring& message, HWND owner = nullptr);

 private:
  bool terminated_ = false;
};

extern TApplication Application;
