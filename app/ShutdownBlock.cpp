#include "ShutdownBlock.h"

namespace {

using CreateReasonProc = BOOL(WINAPI*)(HWND, LPCWSTR);
using DestroyReasonProc = BOOL(WINAPI*)(HWND);

// Looked up, not imported: a system without the call still runs the program.
template <typename Proc>
Proc User32Proc(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

}  // namespace

void TShutdownBlock::Register(HWND window, const std::wstring& text) {
  static const auto create = User32Proc<CreateReasonProc>("ShutdownBlockReasonCreate");
  if (create) create(window, text.c_str());
  reason_ = text;
}

void TShutdownBlock::Remove(HWND window) {
  if (reason_.empty()) return;
  static const auto destroy = User32Proc<DestroyReasonProc>("ShutdownBlockReasonDestroy");
  if (destroy) destroy(window);
  reason_.clear();
}
