// The window's life as a table: each state it can be in when a close or the session's end
// arrives, crossed with each of those events, sent as a nested message loop (the link's own
// dialog, a message box) or the system would send it. Every case must end without a freeze or
// a crash, with the link reset, closed, shut down and released once each and in that order,
// the placement saved when the window was shown, and the way out the state calls for. Right
// after the event a click on "Обновить" (no files: it opens our own box) must do nothing once
// the window has agreed to the session's end or is to close.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/AppError.h"
#include "app/Application.h"
#include "app/TBF.h"
#include "app/WidgetIds.h"
#include "support/FakeComPort.h"
#include "support/TempFolder.h"
#include "support/WindowTestSupport.h"

namespace {

enum class TState {
  CreatingLink,     // inside the component's creation (a dialog from its constructor)
  ConfiguringLink,  // inside start-up's Initialize
  Idle,
  WorkerInLink,      // the worker inside its first Reset, outside any job (its dialog, say)
  CommandGiven,      // a command given, its job not started yet
  InOwnBox,          // our own message box (no files to update); the event comes from outside
  JobRunning,        // the worker in a job; the event comes from outside
  InHandOff,         // inside a hand-off, which then fails: its report is pending
  InFailureDisplay,  // inside GetErrorText of the link failure display
  ClosingForJob,     // a close waits for a job; the event comes from a third thread
  LoopEnded,         // the message loop ended without a close, and the way out waits likewise
  ClosingInStart,    // a close waits for a worker still in its first Reset; likewise
  ClosingInReset,    // the close in the link's calls, its worker's last report pending
  ClosingInClose,
  ClosingInShutdown,
  InLastRelease,  // inside the link's last Release (its dialog, say)
};
enum class TEvent { Close, Query, EndSession, EndCancelled };

const char* Name(TState s) {
  const char* names[] = {
      "CreatingLink", "ConfiguringLink", "Idle",           "WorkerInLink",     "CommandGiven",
      "InOwnBox",     "JobRunning",      "InHandOff",      "InFailureDisplay", "ClosingForJob",
      "LoopEnded",    "ClosingInStart",  "ClosingInReset", "ClosingInClose",   "ClosingInShutdown",
      "InLastRelease"};
  return names[static_cast<int>(s)];
}
const char* Name(TEvent e) {
  const char* names[] = {"Close", "Query", "EndSession", "EndCancelled"};
  return names[static_cast<int>(e)];
}

bool Constructing(TState s) { return s == TState::CreatingLink || s == TState::ConfiguringLink; }
// Shown, not closing, and no call that runs a message loop of its own is open: a close is
// carried out in full before its answer.
bool OpenAtDepthZero(TState s) {
  return s == TState::Idle || s == TState::WorkerInLink || s == TState::CommandGiven ||
         s == TState::JobRunning;
}
bool WaitingForTheWorker(TState s) {
  return s == TState::ClosingForJob || s == TState::LoopEnded || s == TState::ClosingInStart;
}
// So is the session's end, and while a close waits for the worker it is carried to its end.
bool AtDepthZero(TState s) { return OpenAtDepthZero(s) || WaitingForTheWorker(s); }
// The worker is in a job the event must not cut short.
bool InJob(TState s) {
  return s == TState::JobRunning || s == TState::InHandOff || s == TState::InFailureDisplay ||
         s == TState::ClosingForJob || s == TState::LoopEnded;
}
// The job's last call comes before the link's close.
bool JobEnds(TState s) { return InJob(s) && s != TState::InFailureDisplay; }
// The close's calls and release, with the worker's last hand-off's report pending.
bool ClosingNested(TState s) { return s >= TState::ClosingInReset; }
// No close has begun when the event comes.
bool BeforeTheClose(TState s) { return !WaitingForTheWorker(s) && !ClosingNested(s); }

using Case = std::tuple<TState, TEvent>;

class WindowLifeTest : public ::testing::TestWithParam<Case> {
 protected:
  const TDeadline bound{20000, "a case of the life table"};
  const TState state = std::get<0>(GetParam());
  const TEvent event = std::get<1>(GetParam());
  const DWORD windowThread = GetCurrentThreadId();
  FakeComPort port{windowThread};
  TempFolder temp{L"life"};
  const std::wstring placementFile = temp.At(L"QemUtil.ini");
  std::unique_ptr<TBF> form = std::make_unique<TBF>();
  HWND window = nullptr;

  // What the event's sender saw.
  std::atomic<int> delivered{0};
  bool answered = false;  // within the time a sender gives
  DWORD_PTR answer = static_cast<DWORD_PTR>(-1);
  bool windowAtAnswer = false;
  size_t shutdownsAtAnswer = 0;
  std::wstring reasonAtEvent;   // the reason registered for holding off the session's end
  bool quitAtShutdown = false;  // the loop was asked to end before the link's last close call
  std::atomic<int> boxes{0};
  std::atomic<bool> testOver{false};

  void SetUp() override { Application = TApplication{}; }

  // Sends the event as the system or a nested loop would, once. From another thread the wait
  // for the answer is bounded: a window that never answers fails here.
  void Deliver() {
    if (delivered++ || !IsWindow(window)) return;
    reasonAtEvent = form->ShutdownBlockReason();  // the worker is held, so it holds still
    // A cancelled session's end follows the question, as the system asks it.
    DWORD_PTR agreed = 0;
    if (event == TEvent::EndCancelled) {
      EXPECT_TRUE(
          SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 3000, &agreed));
    }
    static const UINT messages[] = {WM_CLOSE, WM_QUERYENDSESSION, WM_ENDSESSION, WM_ENDSESSION};
    answered = SendMessageTimeoutW(window, messages[static_cast<int>(event)],
                                   event == TEvent::EndSession ? TRUE : FALSE, 0, SMTO_NORMAL, 3000,
                                   &answer) != 0;
    windowAtAnswer = IsWindow(window);
    shutdownsAtAnswer = port.CountOf("Shutdown()@W");
    // A close request on top of a session's end must not make it a plain close.
    DWORD_PTR ignored = 0;
    if (event == TEvent::EndSession && windowAtAnswer) {
      EXPECT_TRUE(SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 3000, &ignored));
    }
    if (windowAtAnswer)
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(idBtUpdate, BN_CLICKED),
                   reinterpret_cast<LPARAM>(form->Widget(idBtUpdate)));
  }
  void DeliverOnWindowThread() {
    if (GetCurrentThreadId() == windowThread) Deliver();
  }

  TStartupServices Services() {
    TStartupServices services =
        TestServices(port, [this](TWorkerWindow& owner) -> std::unique_ptr<TThreadComPort> {
          auto worker = std::make_unique<TestWorker>(true, owner);
          worker->job = [this](TestWorker& w) { Job(w); };
          this->worker = worker.get();
          return worker;
        });
    if (state == TState::CreatingLink) {
      auto create = services.createLink;
      services.createLink = [this, create](ComPtr<IComPort>& out) {
        window = form->Handle();
        Deliver();  // the component's constructor shows its dialog
        return create(out);
      };
    }
    return services;
  }

  void Job(TestWorker& worker) {
    switch (state) {
      case TState::CommandGiven: return;  // whether it runs before the close stops it is open
      case TState::JobRunning:
        inJob = true;
        while (!worker.Terminated() && !release) Sleep(1);
        break;
      case TState::InHandOff:
        worker.Synchronize([this] {
          Deliver();
          throw TAppError(L"Сбой");
        });
        break;
      case TState::ClosingForJob:
      case TState::LoopEnded:
        inJob = true;
        while (!worker.Terminated()) Sleep(1);
        third = std::thread([this] { Deliver(); });
        Sleep(300);
        break;
      default: break;
    }
    worker.ShowStatus(L"Последнее сообщение", false, 0);
    worker.Port->WaitData(7);
  }
  std::atomic<bool> inJob{false}, release{false};
  std::thread third;
  TestWorker* worker = nullptr;

  // Answers the program's message boxes as a user would, counting them; one may open under
  // another.
  std::thread user{[this] {
    std::set<HWND> seen;
    while (!testOver) {
      for (HWND box = nullptr;
           (box = FindWindowExW(nullptr, box, L"#32770", L"Блок диагностики: информация"));) {
        if (!IsWindowVisible(box) || !seen.insert(box).second) continue;
        ++boxes;
        if (state == TState::InOwnBox && seen.size() == 1) Deliver();  // served by its loop
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      Sleep(10);
    }
  }};

  // The form goes first: after a failed assertion its close may still show a box to answer.
  void TearDown() override {
    if (third.joinable()) third.join();
    form.reset();
    testOver = true;
    user.join();
  }
};

TEST_P(WindowLifeTest, EndsOnceWithTheLinkClosedInOrder) {
  SCOPED_TRACE(std::string(Name(state)) + " x " + Name(event));
  switch (state) {
    case TState::ConfiguringLink:
      port.SetResult("QueryState", 1);
      port.SetHook("Initialize", [this] {
        window = form->Handle();
        DeliverOnWindowThread();
      });
      break;
    case TState::InFailureDisplay:
      port.SetResult("Initialize", 1);
      port.SetHook("GetErrorText", [this] { DeliverOnWindowThread(); });
      break;
    case TState::ClosingInReset: port.SetHook("Reset", [this] { DeliverOnWindowThread(); }); break;
    case TState::ClosingInClose: port.SetHook("Close", [this] { DeliverOnWindowThread(); }); break;
    case TState::InLastRelease: port.SetHook("Release", [this] { DeliverOnWindowThread(); }); break;
    case TState::ClosingInStart:
      port.SetHook("Reset", [this] {
        if (GetCurrentThreadId() == windowThread) return;
        inJob = true;
        while (!worker->Terminated()) Sleep(1);
        third = std::thread([this] { Deliver(); });
        Sleep(300);
      });
      break;
    case TState::WorkerInLink:
      port.SetHook("Reset", [this] {
        if (GetCurrentThreadId() == windowThread) return;
        inJob = true;
        while (!release && !worker->Terminated()) Sleep(1);
      });
      break;
    default: break;
  }
  port.SetHook("Shutdown", [this] {
    if (GetCurrentThreadId() != windowThread) return;
    MSG quit;
    quitAtShutdown = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE);
    if (state == TState::ClosingInShutdown) Deliver();
  });
  // The worker's last hand-off fails as the close waits for it: its report is pending, and only
  // a session's end drops it.
  port.SetHook("SetInteractive", [this] {
    if (GetCurrentThreadId() != windowThread && worker->Terminated() &&
        port.Calls().back() == "SetInteractive(1)@T")
      worker->Synchronize([] { throw TAppError(L"Сбой"); });
  });

  const bool started = form->Create(Services());
  const bool startupEnds =
      Constructing(state) && (event == TEvent::Close || event == TEvent::EndSession);
  EXPECT_EQ(started, !startupEnds);
  if (started) {
    window = form->Handle();
    form->PlacementStore().SetIniFileName(placementFile);
    form->ShowMain();
    SetWindowTextW(form->Widget(idDeUpdate), L"C:\\Обновления");
    ASSERT_TRUE(PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1 || inJob; },
                          TServe::Everything));
    switch (state) {
      case TState::Idle:
      case TState::WorkerInLink: Deliver(); break;
      case TState::InOwnBox:
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(idBtUpdate, BN_CLICKED),
                     reinterpret_cast<LPARAM>(form->Widget(idBtUpdate)));
        break;
      case TState::CommandGiven:
        SendMessageW(window, WM_COMMAND, idMiComp, 0);
        Deliver();  // before the worker's hand-off that starts the job can be served
        break;
      case TState::JobRunning:
        PostMessageW(window, WM_COMMAND, idMiComp, 0);
        ASSERT_TRUE(PumpUntil([&] { return inJob.load(); }, TServe::Everything));
        Deliver();
        break;
      case TState::InHandOff:
      case TState::InFailureDisplay: PostMessageW(window, WM_COMMAND, idMiComp, 0); break;
      case TState::ClosingForJob:
      case TState::LoopEnded:
        PostMessageW(window, WM_COMMAND, idMiComp, 0);
        ASSERT_TRUE(PumpUntil([&] { return inJob.load(); }, TServe::Everything));
        if (state == TState::LoopEnded)
          form->LoopEnded();  // as the entry routine does once the loop has ended
        else
          PostMessageW(window, WM_CLOSE, 0, 0);
        break;
      case TState::ClosingInStart:
      case TState::ClosingInReset:
      case TState::ClosingInClose:
      case TState::ClosingInShutdown:
      case TState::InLastRelease: PostMessageW(window, WM_CLOSE, 0, 0); break;
      default: break;
    }
    ASSERT_TRUE(PumpUntil([&] { return delivered > 0; }, TServe::Everything));
    // What the event leaves open, the user closes as the close button does.
    if (event == TEvent::Query || event == TEvent::EndCancelled) {
      release = true;
      if (form->Handle()) PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return form->Handle() == nullptr; }, TServe::Everything))
        << "the window did not close";
  }
  ASSERT_EQ(delivered, 1);
  EXPECT_TRUE(answered) << "the window did not answer within 3 s";

  // The session may end only when the link is in use on no thread, nor due to be, and no call
  // with a loop of its own is open.
  if (event == TEvent::Query) {
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(state == TState::Idle ? TRUE : FALSE));
  }
  // Neither the question nor a session that goes on closes anything; a close is carried out
  // at once only where nothing is open and none has begun, else it is marked or ignored.
  if (event == TEvent::Query || event == TEvent::EndCancelled) {
    EXPECT_TRUE(windowAtAnswer);
  }
  if (event == TEvent::Close) {
    EXPECT_EQ(windowAtAnswer, !OpenAtDepthZero(state));
  }
  // A job's wake-up holds off the session's end with its reason, even one whose link failed.
  EXPECT_EQ(reasonAtEvent.empty(), !InJob(state));
  // A session's end answered at depth 0 comes after the whole close; inside a nested call it
  // returns at once, and the close follows.
  if (event == TEvent::EndSession && !Constructing(state)) {
    EXPECT_EQ(windowAtAnswer, !AtDepthZero(state));
    // Under our own box nothing holds the link: it is closed before the answer, the window
    // waits for the box.
    if (AtDepthZero(state) || state == TState::InOwnBox) {
      EXPECT_EQ(shutdownsAtAnswer, 1u);
    }
  }
  // A dialog of the link's close is answered, not ended by a quit request already queued.
  EXPECT_FALSE(quitAtShutdown);

  // The job's last call, the worker's hand-back, then the link closed on the window thread.
  std::vector<std::string> closing, wanted;
  for (const std::string& call : port.Calls())
    if (call == "WaitData(7)@T" || call == "SetInteractive(1)@T" || call == "Reset()@W" ||
        call == "Close()@W" || call == "Shutdown()@W")
      closing.push_back(call);
  if (JobEnds(state)) wanted.push_back("WaitData(7)@T");
  if (started) wanted.push_back("SetInteractive(1)@T");
  for (const char* call : {"Reset()@W", "Close()@W", "Shutdown()@W"}) wanted.push_back(call);
  EXPECT_EQ(closing, wanted);
  EXPECT_EQ(port.Calls().back(), "Shutdown()@W");

  TFormStorage storage;
  storage.SetIniFileName(placementFile);
  EXPECT_EQ(storage.Load().folder,
            started ? std::optional<std::wstring>(L"C:\\Обновления") : std::nullopt);

  // A hand-off's report is shown once it has returned, unless the session ended meanwhile.
  const int reports = (state == TState::InHandOff) + started;
  // The click after the event opens its box only where nothing is marked and no yes was given.
  const bool clickWorks = BeforeTheClose(state) &&
                          (event == TEvent::Query || event == TEvent::EndCancelled) &&
                          !(state == TState::Idle && event == TEvent::Query);
  EXPECT_EQ(boxes,
            (state == TState::InOwnBox) + (event == TEvent::EndSession ? 0 : reports) + clickWorks);

  form.reset();
  EXPECT_EQ(ThreadComPort, nullptr);
  EXPECT_EQ(port.references, 1);
  EXPECT_EQ(port.LastReleases(), 1);
  EXPECT_EQ(port.UnlistedCalls(), 0);
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStateAndEvent, WindowLifeTest,
    ::testing::Combine(
        ::testing::Values(TState::CreatingLink, TState::ConfiguringLink, TState::Idle,
                          TState::WorkerInLink, TState::CommandGiven, TState::InOwnBox,
                          TState::JobRunning, TState::InHandOff, TState::InFailureDisplay,
                          TState::ClosingForJob, TState::LoopEnded, TState::ClosingInStart,
                          TState::ClosingInReset, TState::ClosingInClose, TState::ClosingInShutdown,
                          TState::InLastRelease),
        ::testing::Values(TEvent::Close, TEvent::Query, TEvent::EndSession, TEvent::EndCancelled)),
    [](const ::testing::TestParamInfo<Case>& info) {
      return std::string(Name(std::get<0>(info.param))) + "_" + Name(std::get<1>(info.param));
    });

}  // namespace
