// What the worker asks of the window. Every call comes on the window thread, inside a
// hand-off, while the worker waits; "repaint" means painted before the call returns.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "model/TFileStruct.h"
#include "model/TUpdateStruct.h"

class TWorkerWindow {
 public:
  // uaStatus: lbStatus shows text, red when failed, else in the window-text colour.
  virtual void ShowStatusLine(const std::wstring& text, bool failed) = 0;
  // uaCompRows: the window takes records as its FileList and, together with it, sets
  // dgComp's row count (dgComp hidden, row count set, shown again), so that the grid never
  // shows a row without its record.
  virtual void InstallComponentList(TFileList&& records, int32_t rowCount) = 0;
  // uaUpdateGrid: dgUpdate repainted.
  virtual void RepaintUpdateGrid() = 0;
  // uaGauge: the gauge shows percent (0 to 100) and is repainted.
  virtual void ShowGauge(int32_t percent) = 0;

  // For the update job, read inside a hand-off: the candidates as they stand (the worker's
  // references keep them alive through a rescan) and the folder text of this moment.
  virtual TUpdateList UpdateCandidates() = 0;
  virtual std::wstring UpdateFolder() = 0;

  // Bracket each wake-up that is not the worker's end: JobStarted before the link's
  // initialisation, with the command the worker woke for (cmNone after a lost command), and
  // JobEnded once Command is cleared. The window holds off the session's end in between.
  virtual void JobStarted(int32_t command) = 0;
  virtual void JobEnded() = 0;

  // Runs a hand-off's work; the window keeps its life's events from ending anything the work
  // uses while a message loop of the work's own runs.
  virtual void RunHandOff(const std::function<void()>& work) { work(); }
  // A hand-off whose work threw: the window reports the error; the worker goes on.
  virtual void ShowError(std::exception_ptr error) = 0;

 protected:
  ~TWorkerWindow() = default;
};
