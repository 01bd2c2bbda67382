// The recording ComPort: every contracted slot forwarded unchanged to the component's own object
// on the calling thread, and written to the session's recording once it returns, numbered as it
// entered. Slots outside the contract are not forwarded: the vendor's component may have nothing
// behind them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

#include "RecorderConfig.h"
#include "Recording.h"
#include "common/ComObject.h"
#include "common/ThreadKinds.h"
#include "link/Varnel_tlb.h"

class TRecordingPort final : public TComObject<TRecordingPort, IComPort> {
 public:
  // Takes over inner's reference. The recording goes into config.Folder; a note there says when
  // it cannot be made (WriteErrorNote, the module's).
  TRecordingPort(IComPort* inner, const TRecorderConfig& config, double createMs);
  ~TRecordingPort() override;

  // Only what the vendor's component has, so the program meets it as it is.
  void* InterfaceFor(REFIID iid);

#define RECORDER_DECLARE_METHOD(slot, result, name, parameters) \
  result STDMETHODCALLTYPE name parameters override;
  VARNEL_ICOMPORT_METHODS(RECORDER_DECLARE_METHOD)
#undef RECORDER_DECLARE_METHOD

  using TClock = std::chrono::steady_clock;
  static double MillisecondsBetween(TClock::time_point from, TClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  }

 private:
  class TCall;
  int32_t Plain(const char* method, int32_t (STDMETHODCALLTYPE IComPort::*forward)());
  int32_t Setting(const char* method, std::string_view key, int32_t value,
                  int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t));
  int32_t Wait(const char* method, int32_t kind, int32_t timeoutMs,
               int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t, int32_t));
  int32_t Unlisted(const char* method);
  void StartRecording(const TRecorderConfig& config, double createMs);

  IComPort* inner_;
  const TClock::time_point start_;
  TThreadKinds threads_;  // made on the creating thread, with the object
  // Shared with the transfers, whose progress calls may come after this object is gone.
  std::shared_ptr<TRecording> recording_;
  std::atomic<int64_t> sequence_{0};
  std::mutex requestMutex_;
  std::vector<uint8_t> lastRequest_;  // the last request's code and flag
};
