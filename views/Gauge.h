// The progress gauge of the status panel: a bar over a white ground inside a one-pixel frame,
// with the percentage written across the middle. Readers see a progress bar whose value is that
// text.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/UniqueResource.h"
#include "views/Accessible.h"

class TGauge {
 public:
  TGauge() = default;
  // The window goes first: its last messages still find the gauge whole.
  ~TGauge() { window_.reset(); }
  TGauge(const TGauge&) = delete;
  TGauge& operator=(const TGauge&) = delete;

  bool Create(HWND parent, int id, int left, int top, int width, int height);
  HWND Handle() const { return window_.get(); }
  void SetFont(HFONT font) { font_ = font; }  // the text's font (bold)
  // 0 to 100; anything outside is clamped.
  void SetProgress(int percent);
  int Progress() const { return progress_; }
  // What the gauge shows: "57%".
  std::wstring Text() const;
  void RepaintNow();
  // What readers call it.
  void SetAccessibleName(std::wstring name) { accessibleName_ = std::move(name); }
  const std::wstring& AccessibleName() const { return accessibleName_; }

 private:
  friend struct TWindowRouting;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnPaint();
  LRESULT OnGetObject(WPARAM wParam, LPARAM lParam);
  void OnDestroy();

  UniqueWindow window_;
  HFONT font_ = nullptr;
  int progress_ = 0;
  std::wstring accessibleName_;
  std::shared_ptr<const TGauge*> self_ = std::make_shared<const TGauge*>(this);
  TAccessibleHost accessible_;
};
