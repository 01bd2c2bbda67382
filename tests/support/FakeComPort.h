// An in-process IComPort that journals every call ("Name(args)@W" on the window thread,
// "@T" elsewhere) and answers from a table of results. Hooks let a test hold a call open.
// It tells the reply's length through IReceivedSize unless told to be a contract-only
// component; either way the reply it hands out ends where its readable memory ends. It records
// each time the program's last reference goes, and any call after that fails the test.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/IReceivedSize.h"
#include "common/GuardedBuffer.h"
#include "link/Varnel_tlb.h"

class FakeComPort : public IComPort, public IReceivedSize {
 public:
  explicit FakeComPort(DWORD windowThread) : windowThread_(windowThread) {}

  std::wstring errorText;  // what GetErrorText hands out; change it only while the worker waits

  // The result of a method, by name; 0 when never set.
  void SetResult(const std::string& method, int32_t result) {
    std::lock_guard lock(mutex_);
    results_[method] = result;
  }
  // Runs inside the call before it returns (to hold it open, say); an empty hook removes it.
  // "Release" runs as the last reference but the test's own goes.
  void SetHook(const std::string& method, std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    hooks_[method] = std::move(hook);
  }

  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  size_t CountOf(const std::string& call) {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& c : calls_) n += c == call;
    return n;
  }
  // Calls of slots the contract does not list, since the fake was made; never cleared.
  int UnlistedCalls() {
    std::lock_guard lock(mutex_);
    return unlistedCalls_;
  }
  void ClearCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    packets_.clear();
  }
  // The bytes of every SendPacket, in order.
  std::vector<std::vector<uint8_t>> Packets() {
    std::lock_guard lock(mutex_);
    return packets_;
  }
  LONG references = 1;
  // Runs inside every call of IComPort's, before its hook; set it before the link is given out.
  std::function<void()> everyCall;

  bool answersReceivedSize = true;  // false: only IUnknown and IComPort, as the vendor's
  void* refusalLeaves = nullptr;    // what a refused QueryInterface leaves in *out

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IComPort) {
      *out = static_cast<IComPort*>(this);
    } else if (iid == IID_IReceivedSize && answersReceivedSize) {
      *out = static_cast<IReceivedSize*>(this);
    } else {
      *out = refusalLeaves;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    released_ = false;
    return ++references;
  }
  // Lives on the test's stack: it is never freed.
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = --references;
    if (left == 1) {
      RunHook("Release");
      ++lastReleases_;
      released_ = true;
    }
    return left;
  }
  // How often the program's last reference went.
  int LastReleases() const { return lastReleases_; }

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info*) override { return Call("Configure()"); }
  int32_t STDMETHODCALLTYPE Reset() override { return Call("Reset()"); }
  int32_t STDMETHODCALLTYPE Shutdown() override { return Call("Shutdown()"); }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t o) override {
    return Call("SetErrorOption(" + std::to_string(o) + ")");
  }
  int32_t STDMETHODCALLTYPE Close() override { return Call("Close()"); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t ms) override {
    return Call("SetTimeout(" + std::to_string(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved9() override { return Call("Reserved9()"); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return Call("Reserved10()"); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return Call("Reserved11()"); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length,
                                       const uint8_t* bytes) override {
    {
      std::lock_guard lock(mutex_);
      packets_.push_back(bytes ? std::vector<uint8_t>(bytes, bytes + length)
                               : std::vector<uint8_t>());
    }
    return Call("SendPacket(" + std::to_string(kind) + "," + std::to_string(length) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved13() override { return Call("Reserved13()"); }
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                     ProgressProc progress) override {
    SentFile sent;
    if (bytes && size > 0) sent.bytes.assign(bytes, bytes + size);
    if (fileName && *fileName) sent.name.assign(*fileName, SysStringLen(*fileName));
    sentFiles.push_back(std::move(sent));
    if (progress)
      for (const auto& [total, current] : progressReports) progress(total, current);
    return Call("SendFile(" + std::to_string(size) + ")");
  }
  int32_t STDMETHODCALLTYPE WaitData(int32_t ms) override {
    return Call("WaitData(" + std::to_string(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t ms) override {
    return Call("WaitAnswer(" + std::to_string(kind) + "," + std::to_string(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t ms) override {
    return Call("WaitConfirm(" + std::to_string(kind) + "," + std::to_string(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved18() override { return Call("Reserved18()"); }
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override {
    Call("GetReceivedData()");
    return PlaceReply();
  }
  int32_t STDMETHODCALLTYPE Reserved20() override { return Call("Reserved20()"); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return Call("Reserved21()"); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return Call("Reserved22()"); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    if (*text) SysFreeString(*text);
    *text = errorText.empty()
                ? nullptr
                : SysAllocStringLen(errorText.data(), static_cast<UINT>(errorText.size()));
    return Call("GetErrorText()");
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t i) override {
    return Call("SetInteractive(" + std::to_string(i) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved25() override { return Call("Reserved25()"); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return Call("Reserved26()"); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return Call("Reserved27()"); }
  int32_t STDMETHODCALLTYPE Initialize() override { return Call("Initialize()"); }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    *state = 0;
    return Call("QueryState()");
  }

  // IReceivedSize.
  int32_t STDMETHODCALLTYPE GetReceivedSize() override {
    Call("GetReceivedSize()");
    return static_cast<int32_t>(reply.size());
  }

  std::vector<uint8_t> reply;  // what GetReceivedData and GetReceivedSize hand out

  // SendFile reports these (total, current) pairs to its progress callback on every call.
  std::vector<std::pair<int32_t, int32_t>> progressReports;
  // What SendFile was given, in call order; read it after the worker's job.
  struct SentFile {
    std::vector<uint8_t> bytes;
    std::wstring name;
  };
  std::vector<SentFile> sentFiles;

 private:
  int32_t Call(const std::string& call) {
    const std::string name = call.substr(0, call.find('('));
    if (released_) ADD_FAILURE() << call << " after the link's last release";
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(call + (GetCurrentThreadId() == windowThread_ ? "@W" : "@T"));
      if (name.rfind("Reserved", 0) == 0) ++unlistedCalls_;
    }
    int32_t result = 0;
    {
      std::lock_guard lock(mutex_);
      if (auto r = results_.find(name); r != results_.end()) result = r->second;
    }
    if (everyCall) everyCall();
    RunHook(name);
    return result;
  }
  void RunHook(const std::string& name) {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      if (auto h = hooks_.find(name); h != hooks_.end()) hook = h->second;
    }
    if (hook) hook();
  }

  // A copy of the reply whose last byte is the last readable one: a no-access page follows, so
  // a read past the reply faults instead of finding other memory.
  const uint8_t* PlaceReply() {
    if (reply.empty()) return nullptr;
    replyPages_ = std::make_unique<GuardedBuffer>(reply.size());
    if (replyPages_->Span().size() != reply.size()) return nullptr;
    std::copy(reply.begin(), reply.end(), replyPages_->Span().begin());
    return replyPages_->Span().data();
  }
  std::unique_ptr<GuardedBuffer> replyPages_;

  DWORD windowThread_;
  std::atomic<bool> released_{false};
  std::atomic<int> lastReleases_{0};
  std::mutex mutex_;
  std::map<std::string, int32_t> results_;
  std::map<std::string, std::function<void()>> hooks_;
  std::vector<std::string> calls_;
  int unlistedCalls_ = 0;
  std::vector<std::vector<uint8_t>> packets_;
};

// Gives the fake to a worker as the window gives it the link, with the worker's wake-up event.
template <typename Worker>
void GiveLink(Worker& worker, FakeComPort& port, HANDLE event) {
  worker.Event = event;
  port.AddRef();
  worker.Port.reset(&port);
}
