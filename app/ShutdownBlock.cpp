#include "ShutdownBlock.h"

void TShutdownBlock::Register(HWND window, const std::wstring& text) {
  ShutdownBlockReasonCreate(window, text.c_str());
  reason_ = text;
}

void TShutdownBlock::Remove(HWND window) {
  if (reason_.empty()) return;
  ShutdownBlockReasonDestroy(window);
  reason_.clear();
}
