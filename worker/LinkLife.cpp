#include "LinkLife.h"

#include <utility>

#include "link/LinkConfiguration.h"

namespace {

// Every copy creates it and holds it for its whole life: the one outside trace of a running copy.
constexpr wchar_t EventName[] = L"QemUtil.Thread.Event";

}  // namespace

TLinkLife::~TLinkLife() {
  if (!worker_) return;
  Close();
  Free();
}

TLinkLife::TFailure TLinkLife::MakeWorker(std::unique_ptr<TThreadComPort> worker, DWORD& code) {
  worker_ = std::move(worker);
  if (!worker_ || !worker_->Started()) {
    code = worker_ ? worker_->StartError() : ERROR_OUTOFMEMORY;
    return TFailure::Thread;
  }
  ThreadComPort = worker_.get();
  // The event by its name is shared by every running copy: a signal there would wake whichever
  // copy's worker waits first. This copy's commands and its stop go to an event of its own.
  namedEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, EventName));
  wakeEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!wakeEvent_) {
    code = GetLastError();
    return TFailure::Event;
  }
  worker_->Event = wakeEvent_.get();
  return TFailure::None;
}

HRESULT TLinkLife::CreateLink(const std::function<HRESULT(ComPtr<IComPort>&)>& create) {
  // The worker holds the only reference.
  const HRESULT created = LinkCall([&] { return create(worker_->Port); });
  if (FAILED(created)) return created;
  if (!worker_->Port) return E_POINTER;
  LinkCall([&] { worker_->AskForReceivedSize(); });
  return created;
}

void TLinkLife::Configure(const char* title, HWND owner) {
  LinkCall([&] { ::ConfigureLink(*worker_->Port.get(), title, owner); });
}

void TLinkLife::Start() {
  worker_->Start();
  started_ = true;
}

bool TLinkLife::GiveCommand(int32_t command) {
  if (!MayTakeWork()) return false;
  worker_->GiveCommand(command);
  return true;
}

DWORD TLinkLife::Close() {
  if (!worker_) return 0;
  closing_ = true;
  worker_->Stop();
  const DWORD failure = std::exchange(worker_->WaitFailure, 0);
  // Each of these calls may show the component's dialog, and so may its last Release. Port is
  // empty once the release has begun, so that the link is closed and released once. A worker
  // that may still be inside the link keeps it: better left open than freed under a caller.
  if (!worker_->Port || !worker_->Ended()) return failure;
  LinkCall([&] {
    worker_->Port->Reset();
    worker_->Port->Close();
    worker_->Port->Shutdown();
  });
  LinkCall([&] { worker_->ReleaseLink(); });
  return failure;
}

void TLinkLife::Free() {
  if (!worker_) return;
  // The worker before its events: should no close have run, its destructor still wakes it
  // through its own event and waits for its end, rather than for ever.
  worker_.reset();
  ThreadComPort = nullptr;
  wakeEvent_.reset();
  namedEvent_.reset();
}
