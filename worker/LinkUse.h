// How much the link is in use, on any thread: calls under way, and calls that are due (the
// worker's first calls once it is resumed, a command given until the worker wakes for it, the
// worker's last call once it is told to stop). While anything is counted, nothing may end:
// the session is not let go, and nothing a call uses is released.
#pragma once

#include <array>
#include <atomic>

class TLinkUse {
 public:
  // Uses that are due rather than under way.
  enum TDue { WorkerStart, Command, WorkerEnd, DueKinds };

  // Counts a call under way for as long as it lives.
  class TScope {
   public:
    explicit TScope(TLinkUse& use) : use_(use) { ++use_.count_; }
    ~TScope() { --use_.count_; }
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

   private:
    TLinkUse& use_;
  };
  [[nodiscard]] TScope Count() { return TScope(*this); }

  // Counted once however often it falls due, until it is settled.
  void Owe(TDue due) {
    if (!due_[due].exchange(true)) ++count_;
  }
  void Settle(TDue due) {
    if (due_[due].exchange(false)) --count_;
  }
  void SettleAll() {
    for (int due = 0; due < DueKinds; ++due) Settle(static_cast<TDue>(due));
  }

  bool InUse() const { return count_.load() > 0; }

 private:
  std::atomic<int> count_{0};
  std::array<std::atomic<bool>, DueKinds> due_{};
};
