// What the worker asks of the window. Every call comes on the window thread, inside a
// hand-off, while the worker waits; "repaint" means painted before the call returns.
#pragma once

#include <cstdint>
#include <string>

class TWorkerWindow {
 public:
  // uaStatus: lbStatus shows text, red when failed, else in the window-text colour.
  virtual void ShowStatusLine(const std::wstring& text, bool failed) = 0;
  // uaCompRows: dgComp hidden, its row count set, shown again.
  virtual void SetComponentRows(int32_t rowCount) = 0;
  // uaUpdateGrid: dgUpdate repainted.
  virtual void RepaintUpdateGrid() = 0;
  // uaGauge: the gauge shows percent (0 to 100) and is repainted.
  virtual void ShowGauge(int32_t percent) = 0;

 protected:
  ~TWorkerWindow() = default;
};
