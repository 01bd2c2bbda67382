// The main window in process, against a fake link: the start-up order of link calls, the
// widgets as designed, menu commands, the status line, the gauge, a close in the middle of a
// job, the reason a job gives for holding off the session's end, a hand-off's report, and a
// refused start. How the window's life ends in each state is in WindowLifeTest.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/FakeComPort.h"
#include "app/AppError.h"
#include "app/Application.h"
#include "app/TBF.h"
#include "app/WidgetIds.h"
#include "support/TempFolder.h"
#include "support/WindowTestSupport.h"

namespace {

using Calls = std::vector<std::string>;
// A job's last call on the worker's thread, then the link closed on the window's.
const Calls JobEndThenShutdown = {"WaitData(7)@T", "SetInteractive(1)@T", "Reset()@W", "Close()@W",
                                  "Shutdown()@W"};

class WindowTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "a window test"};
  FakeComPort port{GetCurrentThreadId()};
  std::function<void(TestWorker&)> job;
  std::unique_ptr<TBF> form = std::make_unique<TBF>();

  void SetUp() override { Application = TApplication{}; }
  void TearDown() override {
    if (form && form->Handle()) Close();
    form.reset();
    EXPECT_EQ(port.UnlistedCalls(), 0);
  }

  TStartupServices Services() {
    return TestServices(port, [this](TWorkerWindow& window) -> std::unique_ptr<TThreadComPort> {
      auto worker = std::make_unique<TestWorker>(true, window);
      worker->job = job;
      return worker;
    });
  }
  void Start() {
    ASSERT_TRUE(OpenMain(*form, Services()));
    // The worker's own start: Reset and SetInteractive(0).
    ASSERT_TRUE(
        PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; }, TServe::Everything));
  }
  void Command(int id) { PostMessageW(form->Handle(), WM_COMMAND, id, 0); }
  void Close() { ASSERT_TRUE(CloseMain(*form)); }
  COLORREF PixelOf(HWND window, int x, int y) { return GetPixel(WindowDC(window).get(), x, y); }
};

TEST_F(WindowTest, ConfiguresTheLinkOnTheWindowThreadBeforeTheWorkerStarts) {
  Start();
  EXPECT_EQ(port.Calls(), (Calls{"Configure()@W", "QueryState()@W", "SetTimeout(1000)@W",
                                 "SetInteractive(1)@W", "Reset()@T", "SetInteractive(0)@T"}));
}

TEST_F(WindowTest, InitializesAtStartWhenTheLinkAsksForIt) {
  port.SetResult("QueryState", 1);
  Start();
  EXPECT_EQ(port.Calls(),
            (Calls{"Configure()@W", "QueryState()@W", "SetTimeout(1000)@W", "SetInteractive(1)@W",
                   "Initialize()@W", "Reset()@T", "SetInteractive(0)@T"}));
}

TEST_F(WindowTest, StartsWithTheDesignedLayoutNoPageAndAnEmptyStatus) {
  Start();
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 534);
  EXPECT_EQ(client.bottom, 416);
  EXPECT_EQ(TextOf(form->Handle()), L"Блок диагностики: информация");
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), L"");
  EXPECT_EQ(form->ActivePage(), nullptr);
  EXPECT_FALSE(IsWindowVisible(form->Widget(idTsComponent)));
  EXPECT_FALSE(IsWindowVisible(form->Widget(idTsUpdate)));
  EXPECT_EQ(GetMenuItemCount(GetMenu(form->Handle())), 3);

  std::vector<int> comp, update;
  for (int c = 0; c < GridOf(*form, idDgComp).ColumnCount(); ++c)
    comp.push_back(GridOf(*form, idDgComp).ColumnWidth(c));
  for (int c = 0; c < GridOf(*form, idDgUpdate).ColumnCount(); ++c)
    update.push_back(GridOf(*form, idDgUpdate).ColumnWidth(c));
  EXPECT_EQ(comp, (std::vector<int>{178, 76, 81, 66, 71, 50}));
  EXPECT_EQ(update, (std::vector<int>{255, 51, 204}));
  EXPECT_EQ(GridOf(*form, idDgComp).RowCount(), 1);
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 1);
  EXPECT_EQ(GaugeOf(*form).Progress(), 0);

  // The faces a Russian system has, with the Cyrillic set.
  const WindowDC dc(form->Handle());
  SelectedObject font(dc.get(), form->CellFonts().Regular);
  wchar_t face[64] = {};
  GetTextFaceW(dc.get(), 64, face);
  EXPECT_EQ(std::wstring(face), L"MS Sans Serif");
  EXPECT_EQ(GetTextCharset(dc.get()), RUSSIAN_CHARSET);
  // No command reached the worker.
  EXPECT_EQ(port.CountOf("Initialize()@T"), 0u);
}

TEST_F(WindowTest, ComponentsShowsItsPageAndWakesTheWorker) {
  std::atomic<int> jobs{0};
  job = [&](TestWorker& worker) {
    TFileList records(2);
    records[0].Name = L"Первый";
    records[1].Name = L"Второй";
    worker.PendingFileList = std::move(records);
    worker.Text = L"3";
    worker.Action = uaCompRows;
    worker.HandOff();
    ++jobs;
  };
  Start();
  Command(idMiComp);
  ASSERT_TRUE(PumpUntil([&] { return jobs == 1; }, TServe::Everything));
  EXPECT_EQ(form->ActivePage(), form->Widget(idTsComponent));
  EXPECT_TRUE(IsWindowVisible(form->Widget(idTsComponent)));
  EXPECT_FALSE(IsWindowVisible(form->Widget(idTsUpdate)));
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), L"Инициализация...");
  EXPECT_FALSE(form->StatusFailed());
  ASSERT_TRUE(form->ComponentFiles());
  EXPECT_EQ(form->ComponentFiles()->size(), 2u);
  EXPECT_EQ(GridOf(*form, idDgComp).RowCount(), 3);
  EXPECT_TRUE(IsWindowVisible(GridOf(*form, idDgComp).Handle()));

  // The update page through the menu; the components page again.
  Command(idMiUpdate);
  ASSERT_TRUE(PumpUntil([&] { return form->ActivePage() == form->Widget(idTsUpdate); },
                        TServe::Everything));
  EXPECT_TRUE(IsWindowVisible(form->Widget(idTsUpdate)));
  EXPECT_FALSE(IsWindowVisible(form->Widget(idTsComponent)));
}

TEST_F(WindowTest, ARowCountBeyondTheRecordsNeverShowsARowWithoutItsRecord) {
  Start();
  TFileList records(1);
  form->InstallComponentList(std::move(records), 5);
  EXPECT_EQ(GridOf(*form, idDgComp).RowCount(), 2);
}

TEST_F(WindowTest, AFailedLinkShowsItsTextInRedAndTheNextStatusInTheWindowTextColour) {
  port.SetResult("Initialize", 5);
  port.errorText = L"Блок диагностики не подключен";
  Start();
  Command(idMiComp);
  ASSERT_TRUE(
      PumpUntil([&] { return port.CountOf("SetInteractive(0)@W") == 1; }, TServe::Everything));
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), L"Блок диагностики не подключен");
  EXPECT_TRUE(form->StatusFailed());
  EXPECT_TRUE(HasPixel(form->Widget(idLbStatus), RGB(255, 0, 0)));

  form->ShowStatusLine(L"Готово", false);
  EXPECT_FALSE(HasPixel(form->Widget(idLbStatus), RGB(255, 0, 0)));
  EXPECT_TRUE(HasPixel(form->Widget(idLbStatus), GetSysColor(COLOR_WINDOWTEXT)));
}

TEST_F(WindowTest, TheGaugeShowsANavyBarOnWhiteWithYellowText) {
  Start();
  form->ShowGauge(50);
  HWND gauge = GaugeOf(*form).Handle();
  RECT client;
  GetClientRect(gauge, &client);
  EXPECT_EQ(client.right, 190);
  EXPECT_EQ(client.bottom, 15);
  EXPECT_EQ(PixelOf(gauge, 3, 2), RGB(0, 0, 128));
  EXPECT_EQ(PixelOf(gauge, 185, 2), RGB(255, 255, 255));
  EXPECT_TRUE(HasPixel(gauge, RGB(255, 255, 0)));
  EXPECT_EQ(TextOf(gauge), L"50%");
  form->ShowGauge(100);
  EXPECT_EQ(PixelOf(gauge, 185, 2), RGB(0, 0, 128));
}

TEST_F(WindowTest, ClosingDuringAJobLetsItFinishWithItsStatusesFirst) {
  std::atomic<bool> inJob{false};
  job = [&](TestWorker& worker) {
    inJob = true;
    Sleep(300);  // the close request arrives meanwhile
    worker.ShowStatus(L"Последнее сообщение", false, 0);
    worker.Port->WaitData(7);
  };
  std::wstring statusAtReset;
  port.SetHook("Reset", [&] {
    if (GetCurrentThreadId() != GetWindowThreadProcessId(form->Handle(), nullptr)) return;
    statusAtReset = TextOf(form->Widget(idLbStatus));
  });
  Start();
  Command(idMiComp);
  ASSERT_TRUE(PumpUntil([&] { return inJob.load(); }, TServe::Everything));
  port.ClearCalls();
  Command(idMiExit);  // "Выход" while the job runs
  ASSERT_TRUE(PumpUntil([&] { return form->Handle() == nullptr; }, TServe::Everything));
  EXPECT_EQ(port.Calls(), JobEndThenShutdown);
  EXPECT_EQ(statusAtReset, L"Последнее сообщение");
}

TEST_F(WindowTest, AJobHoldsOffTheSessionsEndWithItsReason) {
  std::atomic<bool> inJob{false}, release{false};
  job = [&](TestWorker&) {
    inJob = true;
    while (!release) Sleep(1);
  };
  Start();
  EXPECT_EQ(form->ShutdownBlockReason(), L"");
  Command(idMiComp);
  ASSERT_TRUE(PumpUntil([&] { return inJob.load(); }, TServe::Everything));
  EXPECT_EQ(
      form->ShutdownBlockReason(),
      L"Идёт чтение списка компонентов блока диагностики. Не завершайте сеанс до его окончания.");
  release = true;
  ASSERT_TRUE(PumpUntil([&] { return form->ShutdownBlockReason().empty(); }, TServe::Everything));
}

// A hand-off's report waits until the hand-off has returned: a box inside it would hold the
// worker, and a close during the box would wait for that worker for ever.
TEST_F(WindowTest, AHandOffsErrorIsReportedAfterItReturnedAndACloseDuringTheReportEndsNormally) {
  job = [](TestWorker& worker) {
    worker.Synchronize([] { throw TAppError(L"Сбой"); });
    worker.Port->WaitData(7);
  };
  Start();
  const HWND window = form->Handle();
  bool workerWentOn = false;
  std::thread user([&] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && !(box = FindWindowW(L"#32770", L"Блок диагностики: информация"));
         ++i)
      Sleep(10);
    for (int i = 0; box && i < 100 && !(workerWentOn = port.CountOf("WaitData(7)@T") == 1); ++i)
      Sleep(10);
    // A report shown inside the hand-off would make this close wait for ever.
    if (workerWentOn) PostMessageW(window, WM_CLOSE, 0, 0);
    Sleep(300);
    if (IsWindow(box)) PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  Command(idMiComp);
  EXPECT_TRUE(PumpUntil([&] { return form->Handle() == nullptr; }, TServe::Everything));
  user.join();
  EXPECT_TRUE(workerWentOn);
  const Calls calls = port.Calls();
  EXPECT_EQ(Calls(calls.end() - std::min<size_t>(calls.size(), 5), calls.end()),
            JobEndThenShutdown);
}

// A worker whose wait for a wake-up failed has ended: the close reports it as the error it is,
// after the link has been handed back and closed as always.
TEST_F(WindowTest, AFailedWaitOfTheWorkerIsReportedByTheClose) {
  job = [](TestWorker& worker) { worker.Event = nullptr; };  // its next wait fails
  Start();
  Command(idMiComp);
  ASSERT_TRUE(
      PumpUntil([&] { return port.CountOf("SetInteractive(1)@T") == 1; }, TServe::Everything));
  std::atomic<bool> reported{false};
  std::thread user([&] {
    for (int i = 0; i < 300 && !reported; ++i, Sleep(10))
      if (HWND box = FindWindowW(L"#32770", L"Блок диагностики: информация")) {
        reported = true;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
  });
  Close();
  user.join();
  EXPECT_TRUE(reported);
  EXPECT_EQ(port.Calls().back(), "Shutdown()@W");
}

// An error on its way to the entry routine takes the form down with no close before it: the
// destructor runs the close as every way out does, the link closed while its window still
// stands and the placement saved.
TEST_F(WindowTest, AFormGoneWithoutACloseClosesTheLinkBeforeItsWindowAndSavesItsPlacement) {
  TempFolder temp{L"gone"};
  Start();
  form->PlacementStore().SetIniFileName(temp.At(L"QemUtil.ini"));
  const HWND window = form->Handle();
  const DWORD windowThread = GetCurrentThreadId();
  bool windowAtReset = false;
  port.SetHook("Reset", [&] {
    if (GetCurrentThreadId() == windowThread) windowAtReset = IsWindow(window) != FALSE;
  });
  form.reset();
  EXPECT_TRUE(windowAtReset);
  EXPECT_EQ(port.Calls().back(), "Shutdown()@W");
  EXPECT_EQ(port.LastReleases(), 1);
  TFormStorage storage;
  storage.SetIniFileName(temp.At(L"QemUtil.ini"));
  EXPECT_TRUE(storage.Load().left.has_value());
}

// Every copy holds the named event, but its worker waits on its own: a signal there from another
// copy, or from anything else, wakes nothing.
TEST_F(WindowTest, ASignalOnTheNamedEventWakesNoWorker) {
  Start();
  const UniqueHandle named(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QemUtil.Thread.Event"));
  ASSERT_TRUE(named);
  SetEvent(named.get());
  EXPECT_FALSE(
      PumpUntil([&] { return port.CountOf("Initialize()@T") > 0; }, TServe::Everything, 300));
}

// Our boxes are owned by the window, which is disabled under them; once the session's end is
// marked under one, the reports still waiting are dropped.
TEST_F(WindowTest, AReportBoxDisablesTheWindowAndASessionEndUnderItDropsTheRest) {
  job = [](TestWorker& worker) {
    worker.Synchronize([] { throw TAppError(L"Первый сбой"); });
    worker.Synchronize([] { throw TAppError(L"Второй сбой"); });
  };
  Start();
  const HWND window = form->Handle();
  std::atomic<int> boxes{0};
  std::atomic<bool> enabledUnderBox{false}, over{false};
  std::thread user([&] {
    while (!over) {
      if (HWND box = FindWindowW(L"#32770", L"Блок диагностики: информация")) {
        if (boxes++ == 0) {
          enabledUnderBox = IsWindowEnabled(window) != FALSE;
          DWORD_PTR answer = 0;
          SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 3000, &answer);
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(10);
      }
      Sleep(10);
    }
  });
  Command(idMiComp);
  EXPECT_TRUE(PumpUntil([&] { return form->Handle() == nullptr; }, TServe::Everything));
  form.reset();  // a close that failed still ends here, its boxes answered
  over = true;
  user.join();
  EXPECT_EQ(boxes, 1);
  EXPECT_FALSE(enabledUnderBox);
}

// A close or the session's end asked for under the "HRCHECK: " question ends start-up when the
// question returns, whatever the answer: no error box follows to hold up the session's end.
TEST_F(WindowTest, ASessionEndUnderTheCreationQuestionEndsStartUpQuietly) {
  TStartupServices services = Services();
  services.createLink = [](ComPtr<IComPort>&) { return E_FAIL; };
  std::atomic<bool> asked{false};
  std::thread user([&] {
    for (int i = 0; i < 500 && !asked; ++i) {
      if (HWND box = FindWindowW(L"#32770", L"HRCHECK: ")) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(form->Handle(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 3000, &answer);
        PostMessageW(box, WM_COMMAND, IDYES, 0);
        asked = true;
      }
      Sleep(10);
    }
  });
  bool started = true;
  EXPECT_NO_THROW(started = form->Create(services));
  user.join();
  EXPECT_TRUE(asked);
  EXPECT_FALSE(started);
  EXPECT_EQ(form->Handle(), nullptr);
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

TEST_F(WindowTest, ARefusedRegistrationNeverCreatesTheWorkerOrTheLink) {
  TStartupServices services = Services();
  bool created = false;
  services.checkRegistration = [] { return std::wstring(L"COM-объект \"Varnel.dll\": проверка"); };
  services.createLink = [&](ComPtr<IComPort>&) {
    created = true;
    return E_FAIL;
  };
  // The refusal's message box, answered from another thread.
  std::wstring boxText;
  std::thread answer([&boxText] {
    for (int i = 0; i < 500; ++i) {
      HWND box = FindWindowW(L"#32770", L"Блок диагностики: информация");
      if (box) {
        wchar_t buffer[256] = {};
        GetDlgItemTextW(box, 0xFFFF, buffer, 256);
        boxText = buffer;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      Sleep(10);
    }
  });
  EXPECT_FALSE(form->Create(services));
  answer.join();
  EXPECT_EQ(boxText, L"COM-объект \"Varnel.dll\": проверка");
  EXPECT_FALSE(created);
  EXPECT_FALSE(Application.ShowMainForm);
  EXPECT_TRUE(Application.Terminated());
  EXPECT_EQ(ThreadComPort, nullptr);
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  MSG quit;
  PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the test's loop goes on
  form.reset();
}

}  // namespace
