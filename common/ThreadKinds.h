// Which thread a call of the link component comes from, told the same way by the recorder and
// by the stand-in's replay: the thread that created the object, the first other thread that
// calls (the program's worker), or any later one.
#pragma once

#include <mutex>
#include <string_view>
#include <thread>

enum class TThreadKind { Creator, Worker, Other };

inline std::string_view ThreadKindName(TThreadKind kind) {
  switch (kind) {
    case TThreadKind::Creator: return "creator";
    case TThreadKind::Worker: return "worker";
    case TThreadKind::Other: break;
  }
  return "other";
}

class TThreadKinds {
 public:
  // Made on the creating thread.
  TThreadKinds() : creator_(std::this_thread::get_id()) {}

  TThreadKind OfThisThread() {
    const std::thread::id self = std::this_thread::get_id();
    if (self == creator_) return TThreadKind::Creator;
    std::lock_guard lock(mutex_);
    if (worker_ == std::thread::id()) worker_ = self;
    return worker_ == self ? TThreadKind::Worker : TThreadKind::Other;
  }

 private:
  const std::thread::id creator_;
  std::mutex mutex_;
  std::thread::id worker_;
};
