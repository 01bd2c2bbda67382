// The link's life in one place: the worker, its wake-up events, the link component with its
// reply-length interface, the count of the link's use, and the global the progress callback
// reads. The window asks it to make, configure and start the link, to give commands, whether
// the link is in use, and to close it. Every call it makes of the link on the window thread goes
// through the window's nesting, since the component may run a message loop of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>

#include "UThreadComPort.h"
#include "common/UniqueResource.h"

class TLinkLife {
 public:
  // Runs a call on the window thread as the window's nested call.
  using TNesting = std::function<void(const std::function<void()>&)>;
  explicit TLinkLife(TNesting nesting) : nesting_(std::move(nesting)) {}
  // Covers an early exit: the close, then what it used goes.
  ~TLinkLife();
  TLinkLife(const TLinkLife&) = delete;
  TLinkLife& operator=(const TLinkLife&) = delete;

  enum class TFailure { None, Thread, Event };
  // Takes the worker made suspended and makes its wake-up events; what failed, with the
  // system's code in code.
  TFailure MakeWorker(std::unique_ptr<TThreadComPort> worker, DWORD& code);
  // The component's creation, then whether it tells the reply's length; what create answered,
  // E_POINTER when it answered success with no object.
  HRESULT CreateLink(const std::function<HRESULT(ComPtr<IComPort>&)>& create);
  void Configure(const char* title, HWND owner);
  // From now on the worker is the link's caller.
  void Start();
  // False, and nothing given, when the link may take no new work.
  bool GiveCommand(int32_t command);

  // A call under way on any thread, or due to be (a command given, the worker's start or end).
  bool InUse() const { return worker_ && worker_->LinkUse.InUse(); }
  // Made, started and not yet closing.
  bool MayTakeWork() const { return worker_ && worker_->Port && started_ && !closing_; }

  // The worker's end (its hand-offs served meanwhile), then Reset, Close, Shutdown and the last
  // Release; the link is closed and released once, whoever comes. A failed wait of the worker's
  // is handed back (its system code; 0 for none), once.
  DWORD Close();
  // The worker and its events go; only once the close has run and nothing of it is on the stack.
  void Free();

 private:
  // Nested and counted as the link's use.
  template <typename Call>
  auto LinkCall(Call&& call) {
    const auto use = worker_->LinkUse.Count();
    if constexpr (std::is_void_v<decltype(call())>) {
      nesting_([&] { call(); });
    } else {
      decltype(call()) result{};
      nesting_([&] { result = call(); });
      return result;
    }
  }

  TNesting nesting_;
  bool started_ = false, closing_ = false;
  // Declared before the worker: the worker's destructor may still signal its event. The named
  // one is held for whoever looks for a running copy; the worker waits on its own.
  UniqueHandle namedEvent_, wakeEvent_;
  std::unique_ptr<TThreadComPort> worker_;
};
