// The recording port in front of a fake component: every contracted method forwards its
// arguments and gives back the component's results and out-values unchanged, and what it writes
// replays; progress from the component's own thread, also after SendFile returns and after the
// port is gone; a call nested in another; two threads at once; sessions that start at once.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/Sha256.h"
#include "common/Utf8.h"
#include "link/Cp1251.h"
#include "recorder/TRecordingPort.h"
#include "sim/SimReplay.h"
#include "support/TempFolder.h"

// What the recorder's DLL defines for its objects.
void ModuleAddRef() {}
void ModuleRelease() {}
void WriteErrorNote(const std::filesystem::path&, const std::wstring&) {}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Results no two methods share, beyond 16 bits and negative: a swap, a truncation or a lost sign
// shows.
int32_t ResultOf(int slot) { return -(slot * 0x10001); }

// Journals each call with all its arguments and answers ResultOf its slot.
class TEchoComponent final : public IComPort {
 public:
  std::function<void()> inside;  // runs inside WaitConfirm, as a component's dialog pumps messages
  std::thread late;              // a progress call of the component's own after SendFile returned
  std::atomic<bool> sendLate{false};
  const uint8_t reply[4] = {0x05, 0x00, 0x00, 0x00};

  std::vector<std::string> Calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  std::atomic<ULONG> references{1};

  int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) override {
    return Log(3, "Configure(" + N(info->Mode) + "," + info->AppTitle + "," +
                      N(reinterpret_cast<intptr_t>(info->AppWindow)) + "," + N(info->Flag) + ")");
  }
  int32_t STDMETHODCALLTYPE Reset() override { return Log(4, "Reset()"); }
  int32_t STDMETHODCALLTYPE Shutdown() override { return Log(5, "Shutdown()"); }
  int32_t STDMETHODCALLTYPE SetErrorOption(int32_t o) override {
    return Log(6, "SetErrorOption(" + N(o) + ")");
  }
  int32_t STDMETHODCALLTYPE Close() override { return Log(7, "Close()"); }
  int32_t STDMETHODCALLTYPE SetTimeout(int32_t ms) override {
    return Log(8, "SetTimeout(" + N(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved9() override { return Log(9, "Reserved9()"); }
  int32_t STDMETHODCALLTYPE Reserved10() override { return Log(10, "Reserved10()"); }
  int32_t STDMETHODCALLTYPE Reserved11() override { return Log(11, "Reserved11()"); }
  int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length, const uint8_t* b) override {
    return Log(12,
               "SendPacket(" + N(kind) + "," + N(length) + "," + N(b[0]) + N(b[length - 1]) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved13() override { return Log(13, "Reserved13()"); }
  // One progress call from a thread of the component's own while it runs; with sendLate, one
  // more from another when the test says, after it has returned.
  int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* name,
                                     ProgressProc progress) override {
    std::thread([&] { progress(size, 1); }).join();
    if (sendLate)
      late = std::thread([this, size, progress] {
        std::unique_lock lock(mutex_);
        if (lateGo_.wait_for(lock, 5s, [&] { return goLate_; })) progress(size, size);
      });
    return Log(14, "SendFile(" + N(size) + "," + N(bytes[size - 1]) + "," +
                       Utf8FromWide(std::wstring(*name, SysStringLen(*name))) + ")");
  }
  void GoLate() {
    {
      std::lock_guard lock(mutex_);
      goLate_ = true;
    }
    lateGo_.notify_all();
  }
  int32_t STDMETHODCALLTYPE WaitData(int32_t ms) override {
    return Log(15, "WaitData(" + N(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t ms) override {
    return Log(16, "WaitAnswer(" + N(kind) + "," + N(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t ms) override {
    if (inside) inside();
    return Log(17, "WaitConfirm(" + N(kind) + "," + N(ms) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved18() override { return Log(18, "Reserved18()"); }
  const uint8_t* STDMETHODCALLTYPE GetReceivedData() override {
    Log(19, "GetReceivedData()");
    return reply;
  }
  int32_t STDMETHODCALLTYPE Reserved20() override { return Log(20, "Reserved20()"); }
  int32_t STDMETHODCALLTYPE Reserved21() override { return Log(21, "Reserved21()"); }
  int32_t STDMETHODCALLTYPE Reserved22() override { return Log(22, "Reserved22()"); }
  int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) override {
    SysFreeString(*text);
    *text = SysAllocString(L"Нет \"места\"\n");
    return Log(23, "GetErrorText()");
  }
  int32_t STDMETHODCALLTYPE SetInteractive(int32_t i) override {
    return Log(24, "SetInteractive(" + N(i) + ")");
  }
  int32_t STDMETHODCALLTYPE Reserved25() override { return Log(25, "Reserved25()"); }
  int32_t STDMETHODCALLTYPE Reserved26() override { return Log(26, "Reserved26()"); }
  int32_t STDMETHODCALLTYPE Reserved27() override { return Log(27, "Reserved27()"); }
  // Sets a locale whose decimal point is a comma, as a component may.
  int32_t STDMETHODCALLTYPE Initialize() override {
    std::setlocale(LC_ALL, "Russian_Russia.1251");
    return Log(28, "Initialize()");
  }
  int32_t STDMETHODCALLTYPE QueryState(int32_t* state) override {
    *state = -1000010;
    return Log(29, "QueryState()");
  }

 private:
  static std::string N(int64_t value) { return std::to_string(value); }
  int32_t Log(int slot, const std::string& call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
    return ResultOf(slot);
  }
  std::mutex mutex_;
  std::vector<std::string> calls_;
  std::condition_variable lateGo_;
  bool goLate_ = false;
};

// What the program's callback was given.
std::mutex ProgressMutex;
std::condition_variable ProgressArrived;
std::vector<std::pair<int32_t, int32_t>> Progress;
void __stdcall OnProgress(int32_t total, int32_t current) {
  {
    std::lock_guard lock(ProgressMutex);
    Progress.emplace_back(total, current);
  }
  ProgressArrived.notify_all();
}

struct TSession {
  TempFolder folder{L"recordings"};
  TEchoComponent component;
  IComPort* port = nullptr;

  TSession() {
    TRecorderConfig config;
    config.Component = L"C:\\vendor\\Varnel.dll";
    config.Folder = folder.Path();
    port = new TRecordingPort(&component, config, 1.5);
  }
  ~TSession() {
    if (port) port->Release();
    if (component.late.joinable()) component.late.join();
  }
  std::string Text() const {
    const std::vector<std::wstring> files = folder.Entries();
    EXPECT_EQ(files.size(), 1u);
    std::ifstream stream(fs::path(folder.At(files.at(0))), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }
  std::vector<TJson> Lines() const {
    std::vector<TJson> lines;
    const std::string text = Text();
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      lines.emplace_back();
      EXPECT_TRUE(ParseJson(std::string_view(text).substr(at, end - at), lines.back()))
          << text.substr(at, end - at);
    }
    return lines;
  }
};

const TRecordedCall* Take(TSimReplay& replay, TThreadKind thread, const std::string& call) {
  std::wstring divergence;
  std::vector<std::string> passedOver;
  const TRecordedCall* taken = replay.Take(thread, call, divergence, passedOver);
  EXPECT_NE(taken, nullptr) << Utf8FromWide(divergence);
  return taken;
}

TEST(RecordingPort, ForwardsEveryContractedMethodUnchangedAndWhatItWritesReplays) {
  TSession session;
  IComPort* port = session.port;
  const std::string title = "\xC1\xEB\xEE\xEA";  // cp1251
  const SCP_Info info{-70000, title.c_str(), reinterpret_cast<HWND>(0x1234567), true};
  const uint8_t packet[] = {0xFE, 0x00, 0x81};
  const uint8_t file[] = {1, 2, 3, 4, 0xF7};
  BSTR name = SysAllocString(L"qem.exe");
  BSTR text = nullptr;
  int32_t state = 0;
  EXPECT_EQ(port->Initialize(), ResultOf(28));
  EXPECT_EQ(port->Configure(&info), ResultOf(3));
  EXPECT_EQ(port->Reset(), ResultOf(4));
  EXPECT_EQ(port->Shutdown(), ResultOf(5));
  EXPECT_EQ(port->SetErrorOption(-100001), ResultOf(6));
  EXPECT_EQ(port->Close(), ResultOf(7));
  EXPECT_EQ(port->SetTimeout(-200002), ResultOf(8));
  EXPECT_EQ(port->Reserved9(), E_NOTIMPL);  // outside the contract: never forwarded
  EXPECT_EQ(port->SendPacket(-300003, 3, packet), ResultOf(12));
  EXPECT_EQ(port->SendFile(5, file, &name, OnProgress), ResultOf(14));
  EXPECT_EQ(port->WaitData(-400004), ResultOf(15));
  EXPECT_EQ(port->WaitAnswer(-500005, 600006), ResultOf(16));
  EXPECT_EQ(port->WaitConfirm(700007, -800008), ResultOf(17));
  EXPECT_EQ(port->GetReceivedData(), session.component.reply);
  EXPECT_EQ(port->GetErrorText(&text), ResultOf(23));
  EXPECT_EQ(port->SetInteractive(-900009), ResultOf(24));
  EXPECT_EQ(port->QueryState(&state), ResultOf(29));
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(state, -1000010);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::wstring(text, SysStringLen(text)), L"Нет \"места\"\n");
  SysFreeString(text);
  EXPECT_EQ(session.component.Calls(),
            (std::vector<std::string>{
                "Initialize()", "Configure(-70000," + title + ",19088743,1)", "Reset()",
                "Shutdown()", "SetErrorOption(-100001)", "Close()", "SetTimeout(-200002)",
                "SendPacket(-300003,3,254129)", "SendFile(5,247,qem.exe)", "WaitData(-400004)",
                "WaitAnswer(-500005,600006)", "WaitConfirm(700007,-800008)", "GetReceivedData()",
                "GetErrorText()", "SetInteractive(-900009)", "QueryState()"}));
  session.Lines();  // each line JSON, though the component set a locale with a decimal comma

  // Replayed as the stand-in's replay asks for each call.
  TSimReplay replay = TSimReplay::Parse(session.Text());
  ASSERT_EQ(replay.Error(), L"");
  const auto creator = TThreadKind::Creator;
  const auto number = [](int64_t value) { return ReplayNumber(value); };
  for (const std::string& call :
       {std::string("Initialize()"),
        ReplayCall("Configure", {number(-70000), ReplayText(FromCp1251(title)), number(1)}),
        std::string("Reset()"), std::string("Shutdown()"),
        ReplayCall("SetErrorOption", {number(-100001)}), std::string("Close()"),
        ReplayCall("SetTimeout", {number(-200002)}), std::string("Reserved9()"),
        ReplayCall("SendPacket", {number(-300003), number(3), ReplayHex(packet)}),
        ReplayCall("SendFile",
                   {number(5), ReplayText(L"qem.exe"), ReplayText(WideFromUtf8(Sha256Hex(file)))})})
    ASSERT_NE(Take(replay, creator, call), nullptr) << call;
  for (const auto& [call, result] : std::vector<std::pair<std::string, int32_t>>{
           {ReplayCall("WaitData", {number(-400004)}), ResultOf(15)},
           {ReplayCall("WaitAnswer", {number(-500005), number(600006)}), ResultOf(16)},
           {ReplayCall("WaitConfirm", {number(700007), number(-800008)}), ResultOf(17)},
           {"GetReceivedData()", 0}})
    EXPECT_EQ(Take(replay, creator, call)->Result, result) << call;
  const TRecordedCall* error = Take(replay, creator, "GetErrorText()");
  EXPECT_EQ(error->Text, L"Нет \"места\"\n");
  EXPECT_EQ(error->Result, ResultOf(23));
  EXPECT_EQ(Take(replay, creator, ReplayCall("SetInteractive", {number(-900009)}))->Result,
            ResultOf(24));
  EXPECT_EQ(Take(replay, creator, "QueryState()")->State, -1000010);
  SysFreeString(name);
}

// The component reports from threads of its own, once as SendFile runs and once after it has
// returned and the program has let our object go: both reach the program and the recording.
TEST(RecordingPort, ProgressFromTheComponentsOwnThreadAlsoAfterSendFileReturns) {
  TSession session;
  session.component.sendLate = true;
  const uint8_t file[] = {9, 8, 7};
  BSTR name = SysAllocString(L"a.bin");
  Progress.clear();
  session.port->Reset();
  EXPECT_EQ(session.port->SendFile(3, file, &name, OnProgress), ResultOf(14));
  SysFreeString(name);
  session.port->Release();
  session.port = nullptr;
  session.component.GoLate();
  {
    std::unique_lock lock(ProgressMutex);
    ASSERT_TRUE(ProgressArrived.wait_for(lock, 5s, [] { return Progress.size() == 2; }))
        << "the late progress call did not reach the program";
    EXPECT_EQ(Progress, (std::vector<std::pair<int32_t, int32_t>>{{3, 1}, {3, 3}}));
  }
  session.component.late.join();
  TSimReplay replay = TSimReplay::Parse(session.Text());
  ASSERT_EQ(replay.Error(), L"");
  Take(replay, TThreadKind::Creator, "Reset()");
  const TRecordedCall* sent =
      Take(replay, TThreadKind::Creator,
           ReplayCall("SendFile", {ReplayNumber(3), ReplayText(L"a.bin"),
                                   ReplayText(WideFromUtf8(Sha256Hex(file)))}));
  ASSERT_NE(sent, nullptr);
  ASSERT_EQ(sent->Progress.size(), 2u);
  EXPECT_TRUE(sent->Progress[0].OwnThread);
  EXPECT_FALSE(sent->Progress[0].Late);
  EXPECT_EQ(sent->Progress[1].Current, 3);
  EXPECT_TRUE(sent->Progress[1].Late);
}

// The component's dialog pumps messages inside WaitConfirm and the program calls us again: the
// inner call is numbered after the outer, names it, and replay takes them in that order. Beside
// it, two threads call at once.
TEST(RecordingPort, NestedCallsInTheOrderTheyEnteredAndTwoThreadsAtOnce) {
  TSession session;
  IComPort* port = session.port;
  session.component.inside = [&] { EXPECT_EQ(port->Reset(), ResultOf(4)); };
  EXPECT_EQ(port->WaitConfirm(27, 3000), ResultOf(17));
  session.component.inside = nullptr;
  constexpr int Each = 200;
  auto calls = [&](int32_t base) {
    for (int32_t i = 0; i < Each; ++i) EXPECT_EQ(port->SetTimeout(base + i), ResultOf(8));
  };
  std::thread other(calls, 1000000);
  calls(-1000000);
  other.join();

  std::set<double> seqs;
  int outer = 0;
  for (const TJson& line : session.Lines()) {
    const TJson* seq = line.Member(RecordingKey::Seq, TJson::TKind::Number);
    if (!seq) continue;
    EXPECT_TRUE(seqs.insert(seq->Number).second) << "seq " << seq->Number << " twice";
    const TJson* method = line.Member(RecordingKey::Method);
    if (method->Text == "WaitConfirm") outer = static_cast<int>(seq->Number);
    if (method->Text == "Reset") {
      const TJson* parent = line.Member(RecordingKey::Parent);
      const TJson* depth = line.Member(RecordingKey::Depth);
      ASSERT_TRUE(parent && depth) << "the nested call does not name the call it is inside";
      EXPECT_EQ(parent->Number, seq->Number - 1);
      EXPECT_EQ(depth->Number, 1);
    }
  }
  EXPECT_EQ(seqs.size(), 2u + 2 * Each);
  EXPECT_EQ(outer, 1);
  TSimReplay replay = TSimReplay::Parse(session.Text());
  Take(replay, TThreadKind::Creator, "WaitConfirm(27, 3000)");
  Take(replay, TThreadKind::Creator, "Reset()");
}

// Sessions that start in the same second, at once, each get a file of their own.
TEST(Recording, SessionsStartingAtOnceEachGetAFileOfTheirOwn) {
  TempFolder folder(L"recordings");
  std::tm second{};
  second.tm_year = 126;
  second.tm_mday = 8;
  constexpr int Sessions = 8, Rounds = 10;
  for (int round = 0; round < Rounds; ++round) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int session = 0; session < Sessions; ++session)
      threads.emplace_back([&, session] {
        ++ready;
        while (ready < Sessions) std::this_thread::yield();
        TRecording recording(folder.Path(), second);
        EXPECT_TRUE(recording.IsOpen());
        recording.Write(std::to_string(round * Sessions + session));
      });
    for (std::thread& thread : threads) thread.join();
  }
  std::set<std::string> lines;
  for (const std::wstring& name : folder.Entries()) {
    std::ifstream stream(fs::path(folder.At(name)), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(stream)),
                           std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << Utf8FromWide(name) << ": " << text;
    lines.insert(text);
  }
  EXPECT_EQ(lines.size(), static_cast<size_t>(Sessions * Rounds));
}

}  // namespace
