// The worker against a fake link and a fake window, under Wine: the order of link calls, the
// link failure display, the fate of commands given at awkward moments, and shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/FakeComPort.h"
#include "support/FakeWindow.h"
#include "support/Pump.h"
#include "worker/LinkLife.h"
#include "worker/UThreadComPort.h"

namespace {

// A worker whose jobs are the test's own: they record that they ran and may hold on.
class TestWorker : public TThreadComPort {
 public:
  using TThreadComPort::TThreadComPort;
  std::function<void(int)> job;
  std::atomic<int> jobsRun{0};
  std::vector<int> jobs;  // written by the worker, read after it ended

 protected:
  void ReadComponents() override { Run(cmComponents); }
  void UpdateComponents() override { Run(cmUpdate); }

 private:
  void Run(int command) {
    jobs.push_back(command);
    if (job) job(command);
    ++jobsRun;
  }
};

class WorkerTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "a worker test"};
  FakeComPort port{GetCurrentThreadId()};
  FakeWindow window;
  UniqueHandle event{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  std::unique_ptr<TestWorker> worker = MakeWorker();

  std::unique_ptr<TestWorker> MakeWorker() {
    auto made = std::make_unique<TestWorker>(true, window);
    GiveLink(*made, port, event.get());
    return made;
  }
  void Give(int32_t command) { worker->GiveCommand(command); }
  void Stop() {
    worker->Terminate();
    SetEvent(event.get());
    worker->WaitFor();
  }
  std::vector<std::string> Calls() { return port.Calls(); }
  // The worker is back waiting after its n-th job: Command is cleared only after the job.
  bool Idle(int jobs) { return worker->jobsRun == jobs && worker->Command == cmNone; }
};

const StatusLine Initialising{L"Инициализация...", false};

TEST_F(WorkerTest, LinkCallsAtStartPerCommandAndAtEndComeFromTheWorker) {
  // Every call is counted as the link's use, and nothing is once the worker waits.
  std::atomic<int> uncounted{0};
  port.everyCall = [&] { uncounted += !worker->LinkUse.InUse(); };
  const auto idle = [&](int jobs) { return Idle(jobs) && !worker->LinkUse.InUse(); };
  // A command is due from the moment it is given, however often, and settled once.
  Give(cmComponents);
  Give(cmComponents);
  EXPECT_TRUE(worker->LinkUse.InUse());
  worker->Start();
  ASSERT_TRUE(PumpUntil([&] { return idle(1); }, TServe::HandOffs));
  Give(cmUpdate);
  ASSERT_TRUE(PumpUntil([&] { return idle(2); }, TServe::HandOffs));
  worker->Stop();
  EXPECT_EQ(uncounted, 0);
  EXPECT_FALSE(worker->LinkUse.InUse());

  EXPECT_EQ(Calls(), (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "Initialize()@T",
                                               "Initialize()@T", "SetInteractive(1)@T"}));
  EXPECT_EQ(worker->jobs, (std::vector<int>{cmComponents, cmUpdate}));
  EXPECT_EQ(window.statuses, (std::vector<StatusLine>{Initialising, Initialising}));
  EXPECT_EQ(worker->Command, cmNone);
  // Each wake-up told the window its start and end; the termination's is no job.
  EXPECT_EQ(window.jobsStarted, (std::vector<int32_t>{cmComponents, cmUpdate}));
  EXPECT_EQ(window.jobsEnded, 2);
  EXPECT_FALSE(window.calledOffWindowThread);
}

TEST_F(WorkerTest, FailedInitialisationShowsTheLinkTextInRedFromTheWindowThread) {
  port.SetResult("Initialize", 5);
  port.errorText = L"Блок диагностики не подключен";
  worker->Resume();
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil(
      [&] { return port.CountOf("SetInteractive(0)@W") == 1 && worker->Command == cmNone; },
      TServe::HandOffs));

  // The worker stays usable: the next request with a ready link runs its job.
  port.SetResult("Initialize", 0);
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil([&] { return worker->jobsRun == 1; }, TServe::HandOffs));
  Stop();

  EXPECT_EQ(Calls(), (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "Initialize()@T",
                                               "SetInteractive(1)@W", "SetErrorOption(0)@W",
                                               "GetErrorText()@W", "SetInteractive(0)@W",
                                               "Initialize()@T", "SetInteractive(1)@T"}));
  EXPECT_EQ(window.statuses,
            (std::vector<StatusLine>{
                Initialising, {L"Блок диагностики не подключен", true}, Initialising}));
  EXPECT_EQ(worker->jobs, std::vector<int>{cmComponents});
  EXPECT_EQ(window.jobsEnded, 2);  // also after the failed initialisation
}

TEST_F(WorkerTest, FailedInitialisationWithoutTextLeavesTheStatusLineEmptyAndRed) {
  port.SetResult("Initialize", 1);
  worker->Resume();
  Give(cmUpdate);
  ASSERT_TRUE(PumpUntil([&] { return window.statuses.size() == 2; }, TServe::HandOffs));
  Stop();
  EXPECT_EQ(window.statuses.back(), (StatusLine{L"", true}));
  EXPECT_TRUE(worker->jobs.empty());
}

TEST_F(WorkerTest, OnlyAFailureWithCodeSixGivesWayToTheLinkText) {
  // Called on the window thread, every hand-off runs at once: no pumping here.
  port.errorText = L"Нет ответа от блока";
  const std::wstring own = L"Задание директории завершено неудачно";
  worker->ShowStatus(own, true, 6);
  worker->ShowStatus(own, true, 5);
  worker->ShowStatus(own, false, 6);
  port.errorText.clear();
  worker->ShowStatus(own, true, 6);

  EXPECT_EQ(window.statuses,
            (std::vector<StatusLine>{
                {L"Нет ответа от блока", true}, {own, true}, {own, false}, {own, true}}));
  EXPECT_EQ(port.CountOf("GetErrorText()@W"), 2u);
}

// A hand-off whose work throws on the window side is reported there; the worker is not held
// up and its next hand-offs go through.
TEST_F(WorkerTest, AHandOffThatThrowsIsReportedAndTheWorkerGoesOn) {
  worker->Resume();
  window.statusLineThrows = true;
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil([&] { return Idle(1); }, TServe::HandOffs));
  window.statusLineThrows = false;
  Give(cmUpdate);
  ASSERT_TRUE(PumpUntil([&] { return Idle(2); }, TServe::HandOffs));
  Stop();
  EXPECT_EQ(window.errors, std::vector<std::string>{"status line"});
  EXPECT_EQ(window.statuses, std::vector<StatusLine>{Initialising});
  EXPECT_EQ(worker->jobs, (std::vector<int>{cmComponents, cmUpdate}));
}

TEST_F(WorkerTest, ActionsReachTheWindowOnlyAsTheirTextsSay) {
  auto apply = [&](int32_t action, const wchar_t* text) {
    worker->Action = action;
    worker->Text = text;
    worker->HandOff();
  };
  worker->PendingFileList = {TFileStruct{}, TFileStruct{}};
  apply(uaCompRows, L"0");
  EXPECT_TRUE(window.rowCounts.empty());
  worker->PendingFileList = {TFileStruct{}, TFileStruct{}};
  apply(uaCompRows, L"3");
  EXPECT_EQ(window.fileList.size(), 2u);
  apply(uaUpdateGrid, L"1");
  apply(uaUpdateGrid, L"0");
  worker->GaugePercent = 34;
  apply(uaGauge, L"");
  apply(7, L"0");

  EXPECT_EQ(window.rowCounts, std::vector<int32_t>{3});
  EXPECT_EQ(window.repaints, 1);
  EXPECT_EQ(window.gauges, std::vector<int32_t>{34});
  EXPECT_TRUE(window.statuses.empty());
}

TEST_F(WorkerTest, ACommandGivenDuringAJobIsLostButWakesTheWorkerOnceMore) {
  std::atomic<bool> release{false};
  worker->job = [&](int) {
    while (!release) Sleep(1);
  };
  worker->Resume();
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil([&] { return worker->jobs.size() == 1; }, TServe::HandOffs));
  Give(cmUpdate);
  EXPECT_EQ(worker->Command, cmUpdate);
  release = true;
  ASSERT_TRUE(PumpUntil([&] { return port.CountOf("Initialize()@T") == 2; }, TServe::HandOffs));
  Stop();

  EXPECT_EQ(worker->jobs, std::vector<int>{cmComponents});
  EXPECT_EQ(window.statuses, (std::vector<StatusLine>{Initialising, Initialising}));
  EXPECT_EQ(worker->Command, cmNone);
  EXPECT_EQ(window.jobsStarted, (std::vector<int32_t>{cmComponents, cmNone}));
  EXPECT_EQ(window.jobsEnded, 2);
}

// The command given as the window hears that a job ended is the next job's: the ended one's
// clear of Command came before.
TEST_F(WorkerTest, ACommandGivenAsTheWindowHearsAJobEndedRuns) {
  window.onJobEnded = [&] {
    if (window.jobsEnded == 1) Give(cmUpdate);
  };
  worker->Resume();
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil([&] { return window.jobsEnded == 2; }, TServe::HandOffs));
  Stop();
  EXPECT_EQ(worker->jobs, (std::vector<int>{cmComponents, cmUpdate}));
}

TEST_F(WorkerTest, OfTwoCommandsBeforeTheWorkerReadsOneTheLaterWins) {
  // Before the worker first wakes: two signals of an auto-reset event make one wake-up.
  worker->Command = cmComponents;
  SetEvent(event.get());
  worker->Command = cmUpdate;
  SetEvent(event.get());
  worker->Resume();
  ASSERT_TRUE(PumpUntil([&] { return Idle(1); }, TServe::HandOffs));

  // While the link initialises: the command is read only after InitLink.
  std::atomic<bool> release{false};
  std::atomic<bool> initialising{false};
  port.SetHook("Initialize", [&] {
    initialising = true;
    while (!release) Sleep(1);
  });
  Give(cmUpdate);
  ASSERT_TRUE(PumpUntil([&] { return initialising.load(); }, TServe::HandOffs));
  port.SetHook("Initialize", nullptr);
  worker->Command = cmComponents;
  release = true;
  ASSERT_TRUE(PumpUntil([&] { return worker->jobsRun == 2; }, TServe::HandOffs));
  Stop();

  EXPECT_EQ(worker->jobs, (std::vector<int>{cmUpdate, cmComponents}));
  EXPECT_EQ(port.CountOf("Initialize()@T"), 2u);
}

TEST_F(WorkerTest, TerminatingAnIdleWorkerCallsOnlySetInteractive) {
  worker->Resume();
  ASSERT_TRUE(
      PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; }, TServe::HandOffs));
  Stop();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "SetInteractive(1)@T"}));
  EXPECT_TRUE(window.statuses.empty());
}

// Told to stop before its thread got going, a resumed worker still takes the link over and hands
// it back: the window's close always finds the link handed back.
TEST_F(WorkerTest, AWorkerStoppedAsItIsResumedStillMakesItsStartAndEndCalls) {
  worker->Start();
  worker->Stop();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "SetInteractive(1)@T"}));
  EXPECT_FALSE(worker->LinkUse.InUse());
}

TEST_F(WorkerTest, TerminatingABusyWorkerLetsTheJobFinishWithItsHandOffsServed) {
  std::atomic<bool> release{false};
  worker->job = [&](int) {
    while (!release) Sleep(1);
    worker->ShowStatus(L"Запрос списка файлов завершен успешно", false, 0);
    worker->Action = uaCompRows;
    worker->Text = L"3";
    worker->HandOff();
  };
  worker->Resume();
  Give(cmComponents);
  ASSERT_TRUE(PumpUntil([&] { return worker->jobs.size() == 1; }, TServe::HandOffs));

  // Input posted to the window thread must still be queued after the wait.
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 7, 0, 0);
  worker->Terminate();
  SetEvent(event.get());
  release = true;
  worker->WaitFor();

  EXPECT_EQ(window.statuses, (std::vector<StatusLine>{
                                 Initialising, {L"Запрос списка файлов завершен успешно", false}}));
  EXPECT_EQ(window.rowCounts, std::vector<int32_t>{3});
  EXPECT_EQ(port.CountOf("Initialize()@T"), 1u);
  EXPECT_EQ(Calls().back(), "SetInteractive(1)@T");
  MSG message;
  EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE));
}

// The worker's end is due from the moment it is told to stop until its thread has ended: held
// where it waits for a wake-up, a stopping worker still counts as the link's use.
TEST_F(WorkerTest, AStoppingWorkerIsTheLinksUseUntilItHasEnded) {
  std::atomic<DWORD> workerThread{0};
  port.SetHook("Reset", [&] { workerThread = GetCurrentThreadId(); });
  worker->Resume();
  ASSERT_TRUE(PumpUntil([&] { return Idle(0) && Calls().size() == 2; }, TServe::HandOffs));
  const UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, workerThread));
  ASSERT_TRUE(thread);
  ASSERT_NE(SuspendThread(thread.get()), static_cast<DWORD>(-1));
  std::atomic<bool> inUseWhileStopping{false};
  std::thread watcher([&] {
    while (!worker->Terminated()) Sleep(1);
    inUseWhileStopping = worker->LinkUse.InUse();
    ResumeThread(thread.get());
  });
  worker->Stop();
  watcher.join();
  EXPECT_TRUE(inUseWhileStopping);
  EXPECT_FALSE(worker->LinkUse.InUse());
}

// Its failed wait is kept for the close, which reports it; the link is handed back first.
TEST_F(WorkerTest, AWorkerWithoutAnEventEndsInsteadOfSpinning) {
  worker->Event = nullptr;
  worker->Resume();
  worker->WaitFor();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "SetInteractive(1)@T"}));
  EXPECT_NE(worker->WaitFailure, 0u);
}

// The link's life ended by an early exit, with no close asked for: it closes the link itself,
// once and in order, and lets go of the worker.
TEST_F(WorkerTest, ALinkLifeEndedWithoutItsCloseClosesTheLinkOnce) {
  auto life = std::make_unique<TLinkLife>([](const std::function<void()>& call) { call(); });
  DWORD code = 0;
  ASSERT_EQ(life->MakeWorker(std::move(worker), code), TLinkLife::TFailure::None);
  life->Start();
  ASSERT_TRUE(
      PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; }, TServe::HandOffs));
  life.reset();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"Reset()@T", "SetInteractive(0)@T", "SetInteractive(1)@T",
                                      "Reset()@W", "Close()@W", "Shutdown()@W"}));
  EXPECT_EQ(port.LastReleases(), 1);
  EXPECT_EQ(ThreadComPort, nullptr);
}

}  // namespace
