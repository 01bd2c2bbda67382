// Links for the benchmarks: one that does no work (or only paces itself to a rate), and a
// decorator that measures a link's own time, leaving out the time spent in our callback.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "link/Varnel_tlb.h"

double BenchNow();

// The stand-in from bin/sim beside the benchmark's folder, configured as the window does it,
// reading the configuration file named by configPath; null when it is not there.
IComPort* CreateStandIn(const std::wstring& configPath);

// Calls the progress callback once per step bytes; with bytesPerSecond > 0 it waits so that
// the file takes as long as it would at that rate. Everything else succeeds at once.
class NullLink : public IComPort {
 public:
  NullLink(int32_t step, int32_t bytesPerSecond) : step_(step), rate_(bytesPerSecond) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }  // lives on the caller's stack

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info*) override { return 0; }
  int32_t STDMETHODCALLTYPE Reset() override { return 0; }
  int32_t STDMETHODCALLTYPE Shutdown() override { return 0; }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE Close() override { return 0; }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved9() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved10() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved11() override { return 0; }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t, int32_t, const uint8_t*) override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved13() override { return 0; }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t*, BSTR*,
                                     ProgressProc progress) override;
  int32_t STDMETHODCALLTYPE WaitData(int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t, int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t, int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved18() override { return 0; }
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override { return nullptr; }
  int32_t STDMETHODCALLTYPE Reserved20() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved21() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved22() override { return 0; }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    if (*text) SysFreeString(*text);
    *text = nullptr;
    return 0;
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t) override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved25() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved26() override { return 0; }
  int32_t STDMETHODCALLTYPE Reserved27() override { return 0; }
  int32_t STDMETHODCALLTYPE Initialize() override { return 0; }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    *state = 0;
    return 0;
  }

 private:
  int32_t step_;
  int32_t rate_;
};

// Forwards to another link. The calls the update job makes are timed; the time SendFile
// spends back in the progress callback is the program's, not the link's, and is left out.
class TimedLink : public IComPort {
 public:
  explicit TimedLink(IComPort* inner);
  double OwnSeconds() const;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) override {
    return inner_->Configure(info);
  }
  int32_t STDMETHODCALLTYPE Reset() override { return inner_->Reset(); }
  int32_t STDMETHODCALLTYPE Shutdown() override { return inner_->Shutdown(); }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t o) override { return inner_->SetErrorOption(o); }
  int32_t STDMETHODCALLTYPE Close() override { return inner_->Close(); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t ms) override { return inner_->SetTimeout(ms); }
  int32_t STDMETHODCALLTYPE Reserved9() override { return inner_->Reserved9(); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return inner_->Reserved10(); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return inner_->Reserved11(); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length, const uint8_t* bytes) override;
  int32_t STDMETHODCALLTYPE Reserved13() override { return inner_->Reserved13(); }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* name,
                                     ProgressProc progress) override;
  int32_t STDMETHODCALLTYPE WaitData(int32_t ms) override { return inner_->WaitData(ms); }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t ms) override {
    return inner_->WaitAnswer(kind, ms);
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t ms) override;
  int32_t STDMETHODCALLTYPE Reserved18() override { return inner_->Reserved18(); }
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override { return inner_->GetReceivedData(); }
  int32_t STDMETHODCALLTYPE Reserved20() override { return inner_->Reserved20(); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return inner_->Reserved21(); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return inner_->Reserved22(); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override;
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t i) override { return inner_->SetInteractive(i); }
  int32_t STDMETHODCALLTYPE Reserved25() override { return inner_->Reserved25(); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return inner_->Reserved26(); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return inner_->Reserved27(); }
  int32_t STDMETHODCALLTYPE Initialize() override { return inner_->Initialize(); }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    return inner_->QueryState(state);
  }

 private:
  IComPort* inner_;
  double callSeconds_ = 0;
  double callbackSecondsBefore_;
};
