// The ComPort of replay mode: each call answered from a recording (SimReplay.h) instead of the
// simulated unit, with the recorded result, out-values, reply bytes and progress calls, after
// the recorded duration. A call the recording does not have at that point fails with status 6
// and an error text (given once) that says what was expected, and is journaled as a
// divergence with where the replay goes on from.

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "common/ComObject.h"
#include "Module.h"
#include "SimConfig.h"
#include "SimJournal.h"
#include "SimReplay.h"
#include "SimStatus.h"
#include "common/GuardedBuffer.h"
#include "common/Sha256.h"
#include "common/ThreadKinds.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "link/Varnel_tlb.h"

namespace {

using TClock = std::chrono::steady_clock;

class TReplayPort final : public TComObject<TReplayPort, IComPort> {
 public:
  explicit TReplayPort(const TSimConfig& config)
      : journal_(config.Journal),
        replay_(TSimReplay::Load(config.Replay)),
        speed_(config.ReplaySpeed) {
    journal_.Write("# created: replay " +
                   TSimJournal::Quote(WideFromUtf8(Utf8FromPath(config.Replay))) + ", calls " +
                   std::to_string(replay_.CallCount()) + ", speed " + std::to_string(speed_));
    for (const std::wstring& note : replay_.Notes())
      journal_.Write("# replay: " + Utf8FromWide(note));
    const std::wstring& error = !config.Error.empty() ? config.Error : replay_.Error();
    if (!error.empty()) {
      unusable_ = error;
      journal_.Write("# config: " + Utf8FromWide(error));
    }
  }

  ~TReplayPort() {
    std::lock_guard lock(lateMutex_);
    if (late_.joinable()) late_.join();
  }
  TReplayPort(const TReplayPort&) = delete;
  TReplayPort& operator=(const TReplayPort&) = delete;

  // The vendor's component has nothing else, and the recording was made through it.
  void* InterfaceFor(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IComPort ? static_cast<IComPort*>(this) : nullptr;
  }

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) override {
    if (!info) return Plain(ReplayCall("Configure", {}));
    return Plain(ReplayCall(
        "Configure",
        {ReplayNumber(info->Mode), ReplayText(FromCp1251(info->AppTitle ? info->AppTitle : "")),
         ReplayNumber(info->Flag)}));
  }
  int32_t STDMETHODCALLTYPE Reset() override { return Plain("Reset()"); }
  int32_t STDMETHODCALLTYPE Shutdown() override { return Plain("Shutdown()"); }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t option) override {
    return Plain(ReplayCall("SetErrorOption", {ReplayNumber(option)}));
  }
  int32_t STDMETHODCALLTYPE Close() override { return Plain("Close()"); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t milliseconds) override {
    return Plain(ReplayCall("SetTimeout", {ReplayNumber(milliseconds)}));
  }
  int32_t STDMETHODCALLTYPE Reserved9() override { return Plain("Reserved9()"); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return Plain("Reserved10()"); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return Plain("Reserved11()"); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length,
                                       const uint8_t* bytes) override {
    if (!bytes || length <= 0 || length > 4100)
      return Plain(ReplayCall("SendPacket", {ReplayNumber(kind), ReplayNumber(length)}));
    return Plain(ReplayCall("SendPacket", {ReplayNumber(kind), ReplayNumber(length),
                                           ReplayHex({bytes, static_cast<size_t>(length)})}));
  }
  int32_t STDMETHODCALLTYPE Reserved13() override { return Plain("Reserved13()"); }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                     ProgressProc progress) override {
    return Guarded([&] {
      const std::wstring name =
          fileName && *fileName ? std::wstring(*fileName, SysStringLen(*fileName)) : L"";
      const std::string call =
          bytes && size > 0
              ? ReplayCall(
                    "SendFile",
                    {ReplayNumber(size), ReplayText(name),
                     ReplayText(WideFromUtf8(Sha256Hex({bytes, static_cast<size_t>(size)})))})
              : ReplayCall("SendFile", {ReplayNumber(size), ReplayText(name)});
      const TClock::time_point begin = TClock::now();
      const TRecordedCall* recorded = Find(call);
      if (!recorded) return Refused(call);
      if (progress) Report(*recorded, begin, progress);
      WaitUntil(begin, recorded->DurationMs);
      if (progress) ReportLate(*recorded, begin, progress);
      return Log(call, recorded->Result);
    });
  }
  int32_t STDMETHODCALLTYPE WaitData(int32_t timeoutMs) override {
    return Plain(ReplayCall("WaitData", {ReplayNumber(timeoutMs)}));
  }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t timeoutMs) override {
    return Plain(ReplayCall("WaitAnswer", {ReplayNumber(kind), ReplayNumber(timeoutMs)}));
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t timeoutMs) override {
    return Plain(ReplayCall("WaitConfirm", {ReplayNumber(kind), ReplayNumber(timeoutMs)}));
  }
  int32_t STDMETHODCALLTYPE Reserved18() override { return Plain("Reserved18()"); }
  // The recorded bytes end right at a no-access page, so the program can read exactly as far
  // as it could read the component's.
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override {
    try {
      const std::string call = "GetReceivedData()";
      const TClock::time_point begin = TClock::now();
      const TRecordedCall* recorded = Find(call);
      if (!recorded) return Refused(call), nullptr;
      WaitUntil(begin, recorded->DurationMs);
      std::lock_guard lock(replyMutex_);
      if (!recorded->Reply) return Log(call, 0), nullptr;
      const std::vector<uint8_t>& bytes = *recorded->Reply;
      reply_ = std::make_unique<GuardedBuffer>(std::max<size_t>(bytes.size(), 1));
      if (reply_->Span().empty()) return Log(call, 0), nullptr;
      std::copy(bytes.begin(), bytes.end(), reply_->Span().begin());
      Log(call, static_cast<int32_t>(bytes.size()));
      return reply_->Span().data();
    } catch (...) {
      return nullptr;
    }
  }
  int32_t STDMETHODCALLTYPE Reserved20() override { return Plain("Reserved20()"); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return Plain("Reserved21()"); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return Plain("Reserved22()"); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    return Guarded([&] {
      const std::string call = "GetErrorText()";
      int32_t result = SimOk;
      // After a divergence the text tells of it once, whatever the recording has next.
      std::wstring answer = TakeDivergence();
      if (answer.empty()) {
        const TClock::time_point begin = TClock::now();
        if (const TRecordedCall* recorded = Find(call)) {
          WaitUntil(begin, recorded->DurationMs);
          answer = recorded->Text.value_or(L"");
          result = recorded->Result;
        } else {
          answer = TakeDivergence();
        }
      }
      if (text) {
        SysFreeString(*text);
        *text = answer.empty() ? nullptr
                               : SysAllocStringLen(answer.data(), static_cast<UINT>(answer.size()));
      }
      return Log("GetErrorText(" + TSimJournal::Quote(answer) + ")", result);
    });
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t interactive) override {
    return Plain(ReplayCall("SetInteractive", {ReplayNumber(interactive)}));
  }
  int32_t STDMETHODCALLTYPE Reserved25() override { return Plain("Reserved25()"); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return Plain("Reserved26()"); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return Plain("Reserved27()"); }
  int32_t STDMETHODCALLTYPE Initialize() override { return Plain("Initialize()"); }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    return Guarded([&] {
      const std::string call = "QueryState()";
      const TClock::time_point begin = TClock::now();
      const TRecordedCall* recorded = Find(call);
      if (!recorded) {
        if (state) *state = 1;
        return Refused(call);
      }
      WaitUntil(begin, recorded->DurationMs);
      if (state && recorded->State) *state = *recorded->State;
      return Log(call, recorded->Result);
    });
  }

 private:
  template <typename Call>
  static int32_t Guarded(Call call) {
    try {
      return call();
    } catch (...) {
      return SimInternalError;
    }
  }

  // A call with nothing but its result to give.
  int32_t Plain(const std::string& call) {
    return Guarded([&] {
      const TClock::time_point begin = TClock::now();
      const TRecordedCall* recorded = Find(call);
      if (!recorded) return Refused(call);
      WaitUntil(begin, recorded->DurationMs);
      return Log(call, recorded->Result);
    });
  }

  // The recorded call that answers this one, or null after journalling why there is none.
  const TRecordedCall* Find(const std::string& call) {
    if (!unusable_.empty()) return nullptr;
    std::wstring divergence, resync;
    std::vector<std::string> passedOver;
    const TRecordedCall* recorded =
        replay_.Take(threads_.OfThisThread(), call, divergence, passedOver, &resync);
    for (const std::string& skipped : passedOver)
      journal_.Write("# replay: passed over " + skipped + ", which the program did not make");
    if (recorded) return recorded;
    journal_.Write("# divergence: " + Utf8FromWide(divergence));
    journal_.Write("# replay: " + Utf8FromWide(resync));
    std::lock_guard lock(errorMutex_);
    diverged_ = divergence;
    return nullptr;
  }

  // What the last divergence was, once; an unusable recording's error every time.
  std::wstring TakeDivergence() {
    std::lock_guard lock(errorMutex_);
    std::wstring text = diverged_;
    if (unusable_.empty()) diverged_.clear();
    return text;
  }

  int32_t Refused(const std::string& call) {
    if (!unusable_.empty()) {
      std::lock_guard lock(errorMutex_);
      diverged_ = unusable_;
      return Log(call, SimConfigError);
    }
    return Log(call, SimUnitError);  // 6: the program shows the text that says what happened
  }

  int32_t Log(const std::string& call, int32_t result) {
    journal_.Write(call + " = " + std::to_string(result));
    return result;
  }

  void WaitUntil(TClock::time_point begin, double milliseconds) const {
    if (speed_ <= 0) return;
    std::this_thread::sleep_until(
        begin + std::chrono::duration_cast<TClock::duration>(
                    std::chrono::duration<double, std::milli>(milliseconds / speed_)));
  }

  // The recorded progress calls at their moments, from a thread of their own where the
  // component made them from one.
  void Report(const TRecordedCall& recorded, TClock::time_point begin, ProgressProc progress) {
    auto report = [&] {
      for (const TRecordedProgress& call : recorded.Progress) {
        if (call.Late) continue;
        WaitUntil(begin, call.AtMs);
        progress(call.Total, call.Current);
      }
    };
    bool own = false;
    for (const TRecordedProgress& call : recorded.Progress) own = own || call.OwnThread;
    if (!own) return report();
    std::thread reporter(report);
    reporter.join();
  }

  // Those the component made as SendFile returned or after: from a thread of their own once
  // the call has returned, as the component did.
  void ReportLate(const TRecordedCall& recorded, TClock::time_point begin, ProgressProc progress) {
    const auto late = std::count_if(recorded.Progress.begin(), recorded.Progress.end(),
                                    [](const TRecordedProgress& call) { return call.Late; });
    if (late == 0) return;
    journal_.Write("# replay: " + std::to_string(late) + " progress calls after SendFile returned");
    std::lock_guard lock(lateMutex_);
    if (late_.joinable()) late_.join();
    late_ = std::thread([this, &recorded, begin, progress] {
      for (const TRecordedProgress& call : recorded.Progress) {
        if (!call.Late) continue;
        WaitUntil(begin, call.AtMs);
        progress(call.Total, call.Current);
      }
    });
  }

  TSimJournal journal_;
  TSimReplay replay_;
  const double speed_;
  TThreadKinds threads_;  // made on the creating thread, with the object
  std::wstring unusable_;
  std::mutex errorMutex_;
  std::wstring diverged_;
  std::mutex replyMutex_;
  std::unique_ptr<GuardedBuffer> reply_;
  std::mutex lateMutex_;
  std::thread late_;  // the last transfer's late progress calls
};

}  // namespace

HRESULT CreateReplayPort(const TSimConfig& config, REFIID iid, void** object) {
  return MakeComObject<TReplayPort>(iid, object, config);
}
