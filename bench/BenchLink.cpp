#include "BenchLink.h"

#include "Stamps.h"
#include "link/LinkConfiguration.h"
#include "support/StandIn.h"

namespace {

// The callback has no context, so the one being timed is kept here (one transfer at a time).
ProgressProc timedProgress = nullptr;
double callbackSeconds = 0;

void __stdcall TimedProgress(int32_t total, int32_t current) {
  const double start = BenchNow();
  timedProgress(total, current);
  callbackSeconds += BenchNow() - start;
}

HRESULT AnswerQuery(IComPort* self, REFIID iid, void** out) {
  if (iid == IID_IUnknown || iid == IID_IComPort) {
    *out = self;
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace

double BenchNow() { return CounterMs() / 1000.0; }

IComPort* CreateStandIn(const std::wstring& configPath) {
  SetEnvironmentVariableW(L"QEMUTIL_SIM_CONFIG", configPath.c_str());
  ComPtr<IComPort> port = NewStandIn();
  if (!port) return nullptr;
  ConfigureLink(*port.get(), "QemUtil benchmark", nullptr);
  return port.release();
}

HRESULT NullLink::QueryInterface(REFIID iid, void** out) { return AnswerQuery(this, iid, out); }

int32_t NullLink::SendFile(int32_t size, const uint8_t*, BSTR*, ProgressProc progress) {
  const double start = BenchNow();
  const int32_t total = (size + step_ - 1) / step_;
  for (int32_t current = 0; current < total; ++current) {
    if (rate_ > 0) {
      const double due = start + static_cast<double>(current + 1) * step_ / rate_;
      while (BenchNow() < due) Sleep(1);
    }
    progress(total, current);
  }
  return 0;
}

HRESULT TimedLink::QueryInterface(REFIID iid, void** out) { return AnswerQuery(this, iid, out); }

TimedLink::TimedLink(IComPort* inner) : inner_(inner), callbackSecondsBefore_(callbackSeconds) {}

double TimedLink::OwnSeconds() const {
  return callSeconds_ - (callbackSeconds - callbackSecondsBefore_);
}

int32_t TimedLink::SendFile(int32_t size, const uint8_t* bytes, BSTR* name, ProgressProc progress) {
  timedProgress = progress;
  const double start = BenchNow();
  const int32_t result = inner_->SendFile(size, bytes, name, &TimedProgress);
  callSeconds_ += BenchNow() - start;
  return result;
}

int32_t TimedLink::SendPacket(int32_t kind, int32_t length, const uint8_t* bytes) {
  const double start = BenchNow();
  const int32_t result = inner_->SendPacket(kind, length, bytes);
  callSeconds_ += BenchNow() - start;
  return result;
}

int32_t TimedLink::WaitConfirm(int32_t kind, int32_t ms) {
  const double start = BenchNow();
  const int32_t result = inner_->WaitConfirm(kind, ms);
  callSeconds_ += BenchNow() - start;
  return result;
}

int32_t TimedLink::GetErrorText(BSTR* text) {
  const double start = BenchNow();
  const int32_t result = inner_->GetErrorText(text);
  callSeconds_ += BenchNow() - start;
  return result;
}
