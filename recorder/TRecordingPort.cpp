#include "TRecordingPort.h"

#include <algorithm>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "Module.h"
#include "common/Sha256.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "link/FileListReply.h"
#include "link/ReadableMemory.h"

namespace Key = RecordingKey;

namespace {

using TClock = TRecordingPort::TClock;
constexpr auto MillisecondsBetween = &TRecordingPort::MillisecondsBetween;

// What a call of a slot outside the contract gets: a failure no component status is.
constexpr int32_t NotContracted = static_cast<int32_t>(E_NOTIMPL);

std::string Utf8OfBstr(BSTR text) {
  return text ? Utf8FromWide(std::wstring_view(text, SysStringLen(text))) : std::string();
}

template <typename Work>
void Guard(Work work) noexcept {
  try {
    work();
  } catch (...) {
  }
}

// A transfer's progress calls. ProgressProc carries no context, so the one callback of ours
// finds the transfer here. The component may call from its own thread, also as SendFile returns
// or after: the transfer stays here, shared, until the next one takes its place, and our module
// stays loaded. Calls made before SendFile's line is written go into it; later ones get lines
// of their own. One recorded transfer at a time: a concurrent one is forwarded unrecorded.
struct TTransfer {
  ProgressProc Forward = nullptr;
  std::thread::id Caller;
  TClock::time_point Session, Start;
  int64_t Seq = 0;
  std::shared_ptr<TRecording> Recording;
  std::mutex Mutex;
  bool Returned = false;  // SendFile has returned
  bool Written = false;   // its line is written
  std::string Calls;      // JSON array items
};
std::mutex TransferMutex;
std::shared_ptr<TTransfer> CurrentTransfer;

// Our callback is in this module: once the component has it, the module must never unload. A
// reference of our own, never given back, keeps it (as GetModuleHandleEx's pin would).
void PinThisModule() {
  static std::once_flag pinned;
  std::call_once(pinned, [] {
    MEMORY_BASIC_INFORMATION region{};
    wchar_t path[MAX_PATH];
    if (VirtualQuery(reinterpret_cast<void*>(&PinThisModule), &region, sizeof region) &&
        GetModuleFileNameW(static_cast<HMODULE>(region.AllocationBase), path, MAX_PATH) < MAX_PATH)
      LoadLibraryW(path);
  });
}

void __stdcall RecordProgress(int32_t total, int32_t current) {
  std::shared_ptr<TTransfer> transfer;
  {
    std::lock_guard lock(TransferMutex);
    transfer = CurrentTransfer;
  }
  if (!transfer) return;
  Guard([&] {
    const TClock::time_point now = TClock::now();
    TJsonObject call;
    call.Text(Key::Thread,
              std::this_thread::get_id() == transfer->Caller ? Key::CallerThread : Key::OwnThread)
        .Number(Key::Total, total)
        .Number(Key::Current, current)
        .Milliseconds(Key::At, MillisecondsBetween(transfer->Start, now));
    std::lock_guard lock(transfer->Mutex);
    if (!transfer->Written) {
      if (!transfer->Calls.empty()) transfer->Calls += ',';
      transfer->Calls += call.Close();
    } else if (transfer->Recording) {
      transfer->Recording->Write(
          TJsonObject()
              .Milliseconds(Key::Time, MillisecondsBetween(transfer->Session, now))
              .Raw(Key::Progress, call.Close())
              .Number(Key::Of, transfer->Seq)
              .Close());
    }
  });
  if (transfer->Forward) transfer->Forward(total, current);
}

}  // namespace

// One call's line: taken apart so that nothing of the recording can change the answer. Its
// number is taken as it enters; a call made while another of ours is on this thread's stack
// (the component pumping messages re-entered the program) names that one as its parent.
class TRecordingPort::TCall {
 public:
  TCall(TRecordingPort& port, const char* method)
      : port_(port),
        method_(method),
        thread_(port.threads_.OfThisThread()),
        seq_(++port.sequence_),
        outer_(innermost_) {
    innermost_ = this;
  }
  ~TCall() { innermost_ = outer_; }
  TCall(const TCall&) = delete;
  TCall& operator=(const TCall&) = delete;

  int64_t Seq() const { return seq_; }
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
      if (port_.recording_) port_.recording_->Write(Line(result));
    });
    return result.value_or(0);
  }
  std::string Line(std::optional<int32_t> result) const {
    TJsonObject line;
    line.Number(Key::Seq, seq_);
    int depth = 0;
    for (const TCall* outer = outer_; outer; outer = outer->outer_)
      depth += &outer->port_ == &port_;
    if (depth > 0) {
      const TCall* parent = outer_;
      while (&parent->port_ != &port_) parent = parent->outer_;
      line.Number(Key::Parent, parent->seq_).Number(Key::Depth, depth);
    }
    line.Milliseconds(Key::Time, MillisecondsBetween(port_.start_, begin_))
        .Text(Key::Thread, ThreadKindName(thread_))
        .Text(Key::Method, method_);
    line.Raw(Key::Args, args_.Close());
    if (result) line.Number(Key::Result, *result);
    if (!out_.Empty()) line.Raw(Key::Out, out_.Close());
    line.Milliseconds(Key::Ms, MillisecondsBetween(begin_, end_));
    line.Merge(extra_);
    return line.Close();
  }

 private:
  static thread_local TCall* innermost_;
  TRecordingPort& port_;
  const char* method_;
  TThreadKind thread_;
  const int64_t seq_;
  TCall* const outer_;
  TClock::time_point begin_ = TClock::now(), end_ = begin_;
  TJsonObject args_, out_, extra_;
};

thread_local TRecordingPort::TCall* TRecordingPort::TCall::innermost_ = nullptr;

TRecordingPort::TRecordingPort(IComPort* inner, const TRecorderConfig& config, double createMs)
    : inner_(inner), start_(TClock::now()) {
  Guard([&] { StartRecording(config, createMs); });
}

void TRecordingPort::StartRecording(const TRecorderConfig& config, double createMs) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  recording_ = std::make_shared<TRecording>(config.Folder, local ? *local : std::tm{});
  if (!recording_->IsOpen())
    WriteErrorNote(config.Folder, L"запись сеанса не создана: папка недоступна для записи");
  char started[32] = {};
  if (local) std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%S", local);
  const std::u8string component = config.Component.u8string();
  recording_->Write(TJsonObject()
                        .Text(Key::Recording, "ComPort")
                        .Text(Key::Component, std::string(component.begin(), component.end()))
                        .Text(Key::Started, started)
                        .Number(Key::Width, sizeof(void*) * 8)
                        .Milliseconds(Key::CreateMs, createMs)
                        .Close());
}

TRecordingPort::~TRecordingPort() {
  inner_->Release();
  if (recording_)
    Guard([&] {
      recording_->Write(TJsonObject()
                            .Milliseconds(Key::Ended, MillisecondsBetween(start_, TClock::now()))
                            .Close());
    });
}

void* TRecordingPort::InterfaceFor(REFIID iid) {
  return iid == IID_IUnknown || iid == IID_IComPort ? static_cast<IComPort*>(this) : nullptr;
}

int32_t TRecordingPort::Configure(const SCP_Info* info) {
  TCall call(*this, "Configure");
  if (info)
    call.Args([&](TJsonObject& a) {
      a.Number(Key::Mode, info->Mode)
          .Text(Key::Title, Utf8FromWide(FromCp1251(info->AppTitle ? info->AppTitle : "")))
          .Number(Key::Window, static_cast<int64_t>(reinterpret_cast<uintptr_t>(info->AppWindow)))
          .Bool(Key::Flag, info->Flag);
    });
  return call.Done(call.Timed([&] { return inner_->Configure(info); }));
}
int32_t TRecordingPort::Reset() { return Plain("Reset", &IComPort::Reset); }
int32_t TRecordingPort::Shutdown() { return Plain("Shutdown", &IComPort::Shutdown); }
int32_t TRecordingPort::SetErrorOption(int32_t option) {
  return Setting("SetErrorOption", Key::Option, option, &IComPort::SetErrorOption);
}
int32_t TRecordingPort::Close() { return Plain("Close", &IComPort::Close); }
int32_t TRecordingPort::SetTimeout(int32_t milliseconds) {
  return Setting("SetTimeout", Key::TimeoutMs, milliseconds, &IComPort::SetTimeout);
}
int32_t TRecordingPort::Reserved9() { return Unlisted("Reserved9"); }
int32_t TRecordingPort::Reserved10() { return Unlisted("Reserved10"); }
int32_t TRecordingPort::Reserved11() { return Unlisted("Reserved11"); }
int32_t TRecordingPort::SendPacket(int32_t kind, int32_t length, const uint8_t* bytes) {
  TCall call(*this, "SendPacket");
  const bool readable = bytes && length > 0 && length <= 4100;
  call.Args([&](TJsonObject& a) {
    a.Number(Key::Kind, kind).Number(Key::Length, length);
    if (readable) a.Text(Key::Bytes, HexBytes({bytes, static_cast<size_t>(length)}));
  });
  if (readable) {
    std::lock_guard lock(requestMutex_);
    lastRequest_.assign(bytes, bytes + std::min<int32_t>(length, 2));
  }
  return call.Done(call.Timed([&] { return inner_->SendPacket(kind, length, bytes); }));
}
int32_t TRecordingPort::Reserved13() { return Unlisted("Reserved13"); }
int32_t TRecordingPort::SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                 ProgressProc progress) {
  TCall call(*this, "SendFile");
  std::shared_ptr<TTransfer> transfer;
  // A null callback stays null; so does ours when another transfer is under way.
  if (progress)
    Guard([&] {
      std::lock_guard lock(TransferMutex);
      if (CurrentTransfer && !CurrentTransfer->Returned) return;
      transfer = std::make_shared<TTransfer>();
      transfer->Forward = progress;
      transfer->Caller = std::this_thread::get_id();
      transfer->Session = start_;
      transfer->Seq = call.Seq();
      transfer->Recording = recording_;
      CurrentTransfer = transfer;
      PinThisModule();
    });
  if (transfer) transfer->Start = TClock::now();
  const int32_t result = call.Timed([&] {
    return inner_->SendFile(size, bytes, fileName, transfer ? &RecordProgress : progress);
  });
  if (transfer) {
    std::lock_guard lock(TransferMutex);
    transfer->Returned = true;
  }
  // The bytes are hashed after the call, so the hashing is not counted in its duration.
  call.Args([&](TJsonObject& a) {
    a.Number(Key::Size, size).Text(Key::Name, fileName ? Utf8OfBstr(*fileName) : std::string());
    if (bytes && size > 0) a.Text(Key::Sha256, Sha256Hex({bytes, static_cast<size_t>(size)}));
  });
  if (!transfer) {
    if (progress)
      call.Extra([&](TJsonObject& line) {
        line.Text(Key::Progress, "not recorded: another transfer was under way");
      });
    return call.Done(result);
  }
  // Progress calls up to here go into the line; later ones follow it, in lines of their own.
  std::lock_guard lock(transfer->Mutex);
  call.Extra([&](TJsonObject& line) { line.Raw(Key::Progress, "[" + transfer->Calls + "]"); });
  transfer->Written = true;
  return call.Done(result);
}
int32_t TRecordingPort::WaitData(int32_t timeoutMs) {
  return Setting("WaitData", Key::Timeout, timeoutMs, &IComPort::WaitData);
}
int32_t TRecordingPort::WaitAnswer(int32_t kind, int32_t timeoutMs) {
  return Wait("WaitAnswer", kind, timeoutMs, &IComPort::WaitAnswer);
}
int32_t TRecordingPort::WaitConfirm(int32_t kind, int32_t timeoutMs) {
  return Wait("WaitConfirm", kind, timeoutMs, &IComPort::WaitConfirm);
}
int32_t TRecordingPort::Reserved18() { return Unlisted("Reserved18"); }
// The reply is recorded as far as the program reads it: no further than the memory behind the
// pointer can be read, nor past the file list's last entry.
const uint8_t* TRecordingPort::GetReceivedData() {
  TCall call(*this, "GetReceivedData");
  const uint8_t* data = call.Timed([&] { return inner_->GetReceivedData(); });
  call.Out([&](TJsonObject& o) {
    if (!data) return void(o.Null(Key::Reply));
    bool versions = false;
    {
      std::lock_guard lock(requestMutex_);
      versions = lastRequest_.size() == 2 && lastRequest_[0] == 1 && lastRequest_[1] == 1;
    }
    const std::span<const uint8_t> readable(data, ReadableExtent(data, MaxFileListReplySize));
    o.Text(Key::Reply, HexBytes(readable.first(FileListReplyExtent(readable, versions))));
  });
  call.Done(std::nullopt);
  return data;
}
int32_t TRecordingPort::Reserved20() { return Unlisted("Reserved20"); }
int32_t TRecordingPort::Reserved21() { return Unlisted("Reserved21"); }
int32_t TRecordingPort::Reserved22() { return Unlisted("Reserved22"); }
int32_t TRecordingPort::GetErrorText(BSTR* text) {
  TCall call(*this, "GetErrorText");
  const int32_t result = call.Timed([&] { return inner_->GetErrorText(text); });
  call.Out([&](TJsonObject& o) {
    if (text && *text)
      o.Text(Key::Text, Utf8OfBstr(*text));
    else
      o.Null(Key::Text);
  });
  return call.Done(result);
}
int32_t TRecordingPort::SetInteractive(int32_t interactive) {
  return Setting("SetInteractive", Key::Interactive, interactive, &IComPort::SetInteractive);
}
int32_t TRecordingPort::Reserved25() { return Unlisted("Reserved25"); }
int32_t TRecordingPort::Reserved26() { return Unlisted("Reserved26"); }
int32_t TRecordingPort::Reserved27() { return Unlisted("Reserved27"); }
int32_t TRecordingPort::Initialize() { return Plain("Initialize", &IComPort::Initialize); }
int32_t TRecordingPort::QueryState(int32_t* state) {
  TCall call(*this, "QueryState");
  const int32_t result = call.Timed([&] { return inner_->QueryState(state); });
  call.Out([&](TJsonObject& o) {
    if (state)
      o.Number(Key::State, *state);
    else
      o.Null(Key::State);
  });
  return call.Done(result);
}

int32_t TRecordingPort::Plain(const char* method,
                              int32_t (STDMETHODCALLTYPE IComPort::*forward)()) {
  TCall call(*this, method);
  return call.Done(call.Timed([&] { return (inner_->*forward)(); }));
}
int32_t TRecordingPort::Setting(const char* method, std::string_view key, int32_t value,
                                int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t)) {
  TCall call(*this, method);
  call.Args([&](TJsonObject& a) { a.Number(key, value); });
  return call.Done(call.Timed([&] { return (inner_->*forward)(value); }));
}
int32_t TRecordingPort::Wait(const char* method, int32_t kind, int32_t timeoutMs,
                             int32_t (STDMETHODCALLTYPE IComPort::*forward)(int32_t, int32_t)) {
  TCall call(*this, method);
  call.Args([&](TJsonObject& a) { a.Number(Key::Kind, kind).Number(Key::Timeout, timeoutMs); });
  return call.Done(call.Timed([&] { return (inner_->*forward)(kind, timeoutMs); }));
}
int32_t TRecordingPort::Unlisted(const char* method) {
  TCall call(*this, method);
  call.Extra([](TJsonObject& line) { line.Text(Key::Remark, "not a method of the contract"); });
  call.Timed([] { return 0; });
  return call.Done(NotContracted);
}
