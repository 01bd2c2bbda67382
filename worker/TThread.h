// A thread that starts suspended, runs Execute once, and hands work to the thread that
// created it: Synchronize blocks the caller until that thread has run the work, and WaitFor
// on that thread keeps serving such hand-offs while it waits for the end.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

#include "common/UniqueResource.h"

class TThread {
 public:
  // Must be constructed on the thread that will serve the hand-offs (the window thread).
  explicit TThread(bool createSuspended);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Ends a resumed thread first (Terminate and WaitFor). A derived class whose Execute uses
  // its own members must do the same in its own destructor, before those members go.
  virtual ~TThread();

  void Resume();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits for the thread's end, and returns only then. On the window thread it serves hand-offs
  // (sent messages) while it waits, and nothing else: user input stays queued.
  void WaitFor();
  // Never resumed, or its thread has ended: nothing of it runs any more.
  bool Ended() const;
  // False when the system refused the thread or its hand-off window; nothing runs then, and
  // StartError tells why.
  bool Started() const { return static_cast<bool>(thread_); }
  DWORD StartError() const { return startError_; }

  // Runs work on the window thread and returns when it has run. On the window thread it
  // runs at once.
  void Synchronize(const std::function<void()>& work);
  bool OnWindowThread() const { return GetCurrentThreadId() == windowThreadId_; }

 protected:
  virtual void Execute() = 0;
  // On the window thread: runs a hand-off's work, which may run a message loop of its own (a
  // message box, a dialog of the link) while this thread waits for it.
  virtual void RunHandOff(const std::function<void()>& work) { work(); }
  // On the window thread: the work of a hand-off threw. The calling thread goes on.
  virtual void HandOffFailed(std::exception_ptr error) = 0;

 private:
  static unsigned __stdcall ThreadStart(void* self);
  static LRESULT CALLBACK HandOffProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::atomic<bool> terminated_{false};
  DWORD windowThreadId_;
  UniqueWindow handOffWindow_;
  UniqueHandle thread_;
  DWORD startError_ = ERROR_SUCCESS;
  bool resumed_ = false;
  bool abandoned_ = false;  // set before the resumption that only lets the thread end
};
