// The progress gauge of the status panel: a bar over a white ground inside a one-pixel frame,
// with the percentage written across the middle.
#pragma once

#include <windows.h>

#include "common/UniqueResource.h"
#include "views/Palette.h"

class TGauge {
 public:

  TGauge() = default;
  TGauge(const TGauge&) = delete;
  TGauge& operator=(const TGauge&) = delete;

  bool Create(HWND parent, int id, int left, int top, int width, int height);
  HWND Handle() const { return window_.get(); }
  void SetFont(HFONT font) { font_ = font; }  // the text's font (bold)
  // 0 to 100; anything outside is clamped.
  void SetProgress(int percent);
  int Progress() const { return progress_; }
  void RepaintNow();

 private:
  friend struct TWindowRouting;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();

  UniqueWindow window_;
  HFONT font_ = nullptr;
  int progress_ = 0;
};
