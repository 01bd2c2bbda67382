// The recording ComPort: every contracted slot forwarded unchanged to the component's own object
// on the calling thread, and written to the session's recording once it returns. Slots outside
// the contract are not forwarded: the vendor's component may have nothing behind them.

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Module.h"
#include "common/ComObject.h"
#include "Recording.h"
#include "common/Sha256.h"
#include "common/ThreadKinds.h"
#include "common/UniqueResource.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "link/FileListReply.h"
#include "link/ReadableMemory.h"
#include "link/Varnel_tlb.h"

namespace {

using TClock = std::chrono::steady_clock;

// What a call of a slot outside the contract gets: a failure no component status is.
constexpr int32_t NotContracted = static_cast<int32_t>(E_NOTIMPL);

double MillisecondsBetween(TClock::time_point from, TClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

std::string Utf8OfBstr(BSTR text) {
  return text ? Utf8FromWide(std::wstring_view(text, SysStringLen(text))) : std::string();
}

class TRecordingPort;

// The transfer under way: ProgressProc carries no context, so the one callback of our own
// finds it here. One at a time; a second, concurrent one is forwarded unrecorded.
struct TTransfer {
  ProgressProc Forward = nullptr;
  std::thread::id Caller;
  TClock::time_point Start;
  std::mutex Mutex;
  std::string Calls;  // JSON array items
};
std::atomic<TTransfer*> ActiveTransfer{nullptr};

void __stdcall RecordProgress(int32_t total, int32_t current) {
  TTransfer* transfer = ActiveTransfer.load();
  if (!transfer) return;
  try {
    TJsonObject call;
    call.Text("thread", std::this_thread::get_id() == transfer->Caller ? "caller" : "own")
        .Number("total", total)
        .Number("current", current)
        .Milliseconds("at", MillisecondsBetween(transfer->Start, TClock::now()));
    std::lock_guard lock(transfer->Mutex);
    if (!transfer->Calls.empty()) transfer->Calls += ',';
    transfer->Calls += call.Close();
  } catch (...) {
  }
  if (transfer->Forward) transfer->Forward(total, current);
}

class TRecordingPort final : public TComObject<TRecordingPort, IComPort> {
  // One call's line: taken apart so that nothing of the recording can change the answer.
  class TCall {
   public:
    TCall(TRecordingPort& port, const char* method)
        : port_(port), method_(method), thread_(port.threads_.OfThisThread()) {}

    template <typename Forward>
    auto Timed(Forward forward) {
      begin_ = TClock::now();
      auto result = forward();
      end_ = TClock::now();
      return result;
    }
    template <typename Fill>
    void Args(Fill fill) {
      Guard([&] { fill(args_); });
    }
    template <typename Fill>
    void Out(Fill fill) {
      Guard([&] { fill(out_); });
    }
    template <typename Fill>
    void Extra(Fill fill) {
      Guard([&] { fill(extra_); });
    }
    int32_t Done(std::optional<int32_t> result) {
      Guard([&] {
        TJsonObject line;
        line.Number("seq", ++port_.sequence_)
            .Milliseconds("t", MillisecondsBetween(port_.start_, begin_))
            .Text("thread", ThreadKindName(thread_))
            .Text("method", method_);
        line.Raw("args", args_.Close());
        if (result) line.Number("result", *result);
        if (!out_.Empty()) line.Raw("out", out_.Close());
        line.Milliseconds("ms", MillisecondsBetween(begin_, end_));
        line.Merge(extra_);
        if (port_.recording_) port_.recording_->Write(line.Close());
      });
      return result.value_or(0);
    }

   private:
    template <typename Work>
    static void Guard(Work work) {
      try {
        work();
      } catch (...) {
      }
    }
    TRecordingPort& port_;
    const char* method_;
    TThreadKind thread_;
    TClock::time_point begin_ = TClock::now(), end_ = begin_;
    TJsonObject args_, out_, extra_;
  };

 public:
  TRecordingPort(IComPort* inner, const TRecorderConfig& config, double createMs)
      : inner_(inner), start_(TClock::now()) {
    try {
      StartRecording(config, createMs);
    } catch (...) {
    }
  }
  void StartRecording(const TRecorderConfig& config, double createMs) {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    recording_ = std::make_unique<TRecording>(config.Folder, local ? *local : std::tm{});
    if (!recording_->IsOpen())
      WriteErrorNote(config.Folder, L"запись сеанса не создана: папка недоступна для записи");
    char started[32] = {};
    if (local) std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%S", local);
    const std::u8string component = config.Component.u8string();
    TJsonObject header;
    header.Text("recording", "ComPort")
        .Text("component", std::string(component.begin(), component.end()))
        .Text("started", started)
        .Number("width", sizeof(void*) * 8)
        .Milliseconds("create_ms", createMs);
    recording_->Write(header.Close());
  }
  ~TRecordingPort() {
    inner_->Release();
    if (recording_) try {
        recording_->Write(TJsonObject()
                              .Milliseconds("ended", MillisecondsBetween(start_, TClock::now()))
                              .Close());
      } catch (...) {
      }
  }
  TRecordingPort(const TRecordingPort&) = delete;
  TRecordingPort& operator=(const TRecordingPort&) = delete;

  // Only what the vendor's component has, so the program meets it as it is.
  void* InterfaceFor(REFIID iid) {
    return iid == IID_IUnknown || iid == IID_IComPort ? static_cast<IComPort*>(this) : nullptr;
  }

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) override {
    TCall call(*this, "Configure");
    if (info)
      call.Args([&](TJsonObject& a) {
        a.Number("mode", info->Mode)
            .Text("title", Utf8FromWide(FromCp1251(info->AppTitle ? info->AppTitle : "")))
            .Number("window", static_cast<int64_t>(reinterpret_cast<uintptr_t>(info->AppWindow)))
            .Bool("flag", info->Flag);
      });
    return call.Done(call.Timed([&] { return inner_->Configure(info); }));
  }
  int32_t STDMETHODCALLTYPE Reset() override { return Plain("Reset", &IComPort::Reset); }
  int32_t STDMETHODCALLTYPE Shutdown() override { return Plain("Shutdown", &IComPort::Shutdown); }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t option) override {
    return Setting("SetErrorOption", "option", option, &IComPort::SetErrorOption);
  }
  int32_t STDMETHODCALLTYPE Close() override { return Plain("Close", &IComPort::Close); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t milliseconds) override {
    return Setting("SetTimeout", "ms", milliseconds, &IComPort::SetTimeout);
  }
  int32_t STDMETHODCALLTYPE Reserved9() override { return Unlisted("Reserved9"); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return Unlisted("Reserved10"); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return Unlisted("Reserved11"); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length,
                                       const uint8_t* bytes) override {
    TCall call(*this, "SendPacket");
    const bool readable = bytes && length > 0 && length <= 4100;
    call.Args([&](TJsonObject& a) {
      a.Number("kind", kind).Number("length", length);
      if (readable) a.Text("bytes", HexBytes({bytes, static_cast<size_t>(length)}));
    });
    if (readable) {
      std::lock_guard lock(requestMutex_);
      lastRequest_.assign(bytes, bytes + std::min<int32_t>(length, 2));
    }
    return call.Done(call.Timed([&] { return inner_->SendPacket(kind, length, bytes); }));
  }
  int32_t STDMETHODCALLTYPE Reserved13() override { return Unlisted("Reserved13"); }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                     ProgressProc progress) override {
    TCall call(*this, "SendFile");
    TTransfer transfer;
    transfer.Forward = progress;
    transfer.Caller = std::this_thread::get_id();
    TTransfer* none = nullptr;
    // A null callback stays null; so does ours when another transfer holds the one slot.
    const bool recorded = progress && ActiveTransfer.compare_exchange_strong(none, &transfer);
    transfer.Start = TClock::now();
    const int32_t result = call.Timed([&] {
      return inner_->SendFile(size, bytes, fileName, recorded ? &RecordProgress : progress);
    });
    if (recorded) ActiveTransfer.store(nullptr);
    // The bytes are hashed after the call, so the hashing is not counted in its duration.
    call.Args([&](TJsonObject& a) {
      a.Number("size", size).Text("name", fileName ? Utf8OfBstr(*fileName) : std::string());
      if (bytes && size > 0) a.Text("sha256", Sha256Hex({bytes, static_cast<size_t>(size)}));
    });
    call.Extra([&](TJsonObject& line) {
      if (recorded)
        line.Raw("progress", "[" + transfer.Calls + "]");
      else if (progress)
        line.Text("progress", "not recorded: another transfer was under way");
    });
    return call.Done(result);
  }
  int32_t STDMETHODCALLTYPE WaitData(int32_t timeoutMs) override {
    return Setting("WaitData", "timeout", timeoutMs, &IComPort::WaitData);
  }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t timeoutMs) override {
    return Wait("WaitAnswer", kind, timeoutMs, &IComPort::WaitAnswer);
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t timeoutMs) override {
    return Wait("WaitConfirm", kind, timeoutMs, &IComPort::WaitConfirm);
  }
  int32_t STDMETHODCALLTYPE Reserved18() override { return Unlisted("Reserved18"); }
  // The reply is recorded as far as the program reads it: no further than the memory behind the
  // pointer can be read, nor past the file list's last entry.
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override {
    TCall call(*this, "GetReceivedData");
    const uint8_t* data = call.Timed([&] { return inner_->GetReceivedData(); });
    call.Out([&](TJsonObject& o) {
      if (!data) return void(o.Null("reply"));
      bool versions = false;
      {
        std::lock_guard lock(requestMutex_);
        versions = lastRequest_.size() == 2 && lastRequest_[0] == 1 && lastRequest_[1] == 1;
      }
      const std::span<const uint8_t> readable(data, ReadableExtent(data, MaxFileListReplySize));
      o.Text("reply", HexBytes(readable.first(FileListReplyExtent(readable, versions))));
    });
    call.Done(std::nullopt);
    return data;
  }
  int32_t STDMETHODCALLTYPE Reserved20() override { return Unlisted("Reserved20"); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return Unlisted("Reserved21"); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return Unlisted("Reserved22"); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    TCall call(*this, "GetErrorText");
    const int32_t result = call.Timed([&] { return inner_->GetErrorText(text); });
    call.Out([&](TJsonObject& o) {
      if (text && *text)
        o.Text("text", Utf8OfBstr(*text));
      else
        o.Null("text");
    });
    return call.Done(result);
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t interactive) override {
    return Setting("SetInteractive", "interactive", interactive, &IComPort::SetInteractive);
  }
  int32_t STDMETHODCALLTYPE Reserved25() override { return Unlisted("Reserved25"); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return Unlisted("Reserved26"); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return Unlisted("Reserved27"); }
  int32_t STDMETHODCALLTYPE Initialize() override {
    return Plain("Initialize", &IComPort::Initialize);
  }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    TCall call(*this, "QueryState");
    const int32_t result = call.Timed([&] { return inner_->QueryState(state); });
    call.Out([&](TJsonObject& o) {
      if (state)
        o.Number("state", *state);
      else
        o.Null("state");
    });
    return call.Done(result);
  }

 private:
  int32_t Plain(const char* method, int32_t (STDMETHODCALLTYPE IComPort::*forward)()) {
    TCall call(*this, method);
    return call.Done(call.Timed([&] { return (inner_->*forward)(); }));
  }
  int32_t Setting(const char* method, const char* key, int32_t value,
                  int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t)) {
    TCall call(*this, method);
    call.Args([&](TJsonObject& a) { a.Number(key, value); });
    return call.Done(call.Timed([&] { return (inner_->*forward)(value); }));
  }
  int32_t Wait(const char* method, int32_t kind, int32_t timeoutMs,
               int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t, int32_t)) {
    TCall call(*this, method);
    call.Args([&](TJsonObject& a) { a.Number("kind", kind).Number("timeout", timeoutMs); });
    return call.Done(call.Timed([&] { return (inner_->*forward)(kind, timeoutMs); }));
  }
  int32_t Unlisted(const char* method) {
    TCall call(*this, method);
    call.Extra([](TJsonObject& line) { line.Text("remark", "not a method of the contract"); });
    call.Timed([] { return 0; });
    return call.Done(NotContracted);
  }

  IComPort* inner_;
  const TClock::time_point start_;
  TThreadKinds threads_;  // made on the creating thread, with the object
  std::unique_ptr<TRecording> recording_;
  std::atomic<int64_t> sequence_{0};
  std::mutex requestMutex_;
  std::vector<uint8_t> lastRequest_;  // the last request's code and flag
};

}  // namespace

HRESULT CreateRecordingPort(REFIID iid, void** object) {
  const TRecorderConfig config = LoadModuleConfig();
  auto refuse = [&](const std::wstring& reason, HRESULT result) {
    WriteErrorNote(config.Folder, L"ComPort не создан: " + reason);
    return result;
  };
  if (!config.Error.empty()) return refuse(config.Error, E_FAIL);
  // Loaded once and kept: the component's objects may outlive any one of ours. No lock is held
  // while the component's code (its DllMain, its class object) runs.
  static std::atomic<HMODULE> loaded{nullptr};
  HMODULE component = loaded;
  if (!component) {
    std::wstring error;
    if (!(component = LoadComponent(config, error))) return refuse(error, E_FAIL);
    HMODULE first = nullptr;
    if (!loaded.compare_exchange_strong(first, component)) {
      FreeLibrary(component);
      component = first;
    }
  }
  const auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(component, "DllGetClassObject")));
  const TClock::time_point begin = TClock::now();
  ComPtr<IClassFactory> factory;
  HRESULT result = getClassObject(CLSID_ComPort, IID_IClassFactory, factory.put_void());
  if (FAILED(result))
    return refuse(L"компонент не дал объект класса ComPort (HRESULT " +
                      std::to_wstring(static_cast<uint32_t>(result)) + L")",
                  result);
  IComPort* inner = nullptr;
  result = factory->CreateInstance(nullptr, IID_IComPort, reinterpret_cast<void**>(&inner));
  if (FAILED(result) || !inner)
    return refuse(L"компонент не создал объект ComPort (HRESULT " +
                      std::to_wstring(static_cast<uint32_t>(result)) + L")",
                  FAILED(result) ? result : E_FAIL);
  const double createMs = MillisecondsBetween(begin, TClock::now());
  TRecordingPort* port = nullptr;
  try {
    port = new TRecordingPort(inner, config, createMs);
  } catch (...) {
    inner->Release();
    return E_OUTOFMEMORY;
  }
  result = port->QueryInterface(iid, object);
  port->Release();
  return result;
}
