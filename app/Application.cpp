#include "Application.h"

TApplication Application;

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX controls{sizeof controls, CommonControlClasses};
  InitCommonControlsEx(&controls);
}

void TApplication::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::Run(HWND mainWindow, const std::function<void()>& showMainWindow,
                       const std::function<bool(const MSG&)>& formKeys) {
  if (terminated_) return;
  if (ShowMainForm && showMainWindow) showMainWindow();
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (formKeys && formKeys(message)) continue;
    if (mainWindow && IsWindow(mainWindow) && IsDialogMessageW(mainWindow, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  terminated_ = true;
}

void TApplication::ShowException(const std::wstring& message, HWND owner) {
  MessageBoxW(owner, message.c_str(), Title.c_str(), MB_OK | MB_ICONSTOP);
}
