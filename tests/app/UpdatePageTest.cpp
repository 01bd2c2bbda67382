// The update page in the real window against a fake link: scans through the menu item, the
// folder field and the button, what each reports, when the worker gets its command, and the
// candidates painted in the grid.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "support/TempFolder.h"
#include "support/FakeComPort.h"
#include "app/Application.h"
#include "app/TBF.h"
#include "app/WidgetIds.h"
#include "support/WindowTestSupport.h"

namespace {

const std::wstring NoFiles = L"Не найдены файлы для обновления";

// A worker whose update job only counts.
class UpdateWorker : public TThreadComPort {
 public:
  using TThreadComPort::TThreadComPort;
  std::atomic<int> updates{0};

 protected:
  void UpdateComponents() override { ++updates; }
};

// Answers every message box of the window from another thread and keeps their texts.
class BoxWatcher {
 public:
  BoxWatcher()
      : thread_([this] {
          while (!stop_) {
            if (HWND box = FindWindowW(L"#32770", L"Блок диагностики: информация")) {
              wchar_t text[256] = {};
              GetDlgItemTextW(box, 0xFFFF, text, 256);
              texts_.push_back(text);
              PostMessageW(box, WM_COMMAND, IDOK, 0);
              while (IsWindow(box) && !stop_) Sleep(5);
            }
            Sleep(5);
          }
        }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  // Read after the handler that might have shown a box has returned.
  const std::vector<std::wstring>& Texts() const { return texts_; }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

class UpdatePageTest : public ::testing::Test {
 protected:
  const TDeadline bound{20000, "an update page test"};
  FakeComPort port{GetCurrentThreadId()};
  UpdateWorker* worker = nullptr;
  std::unique_ptr<TBF> form = std::make_unique<TBF>();
  TempFolder folder;

  void SetUp() override {
    Application = TApplication{};
    ASSERT_TRUE(OpenMain(
        *form, TestServices(port, [this](TWorkerWindow& window) -> std::unique_ptr<TThreadComPort> {
          auto made = std::make_unique<UpdateWorker>(true, window);
          worker = made.get();
          return made;
        })));
    ASSERT_TRUE(
        PumpUntil([&] { return port.CountOf("SetInteractive(0)@T") == 1; }, TServe::Everything));
  }
  void TearDown() override {
    if (form) {
      EXPECT_TRUE(CloseMain(*form));
    }
    form.reset();
    EXPECT_EQ(port.UnlistedCalls(), 0);
  }

  void SetFolder(const std::wstring& text) {
    SetWindowTextW(form->Widget(idDeUpdate), text.c_str());
  }
  void MenuItem() { SendMessageW(form->Handle(), WM_COMMAND, idMiUpdate, 0); }
  void Button() { SendMessageW(form->Widget(idBtUpdate), BM_CLICK, 0, 0); }
  bool GridHas(COLORREF colour) {
    UpdateWindow(GridOf(*form, idDgUpdate).Handle());
    return HasPixel(GridOf(*form, idDgUpdate).Handle(), colour);
  }
};

TEST_F(UpdatePageTest, MenuItemOnAnEmptyFolderReportsOnTheStatusLineOnly) {
  BoxWatcher boxes;
  MenuItem();
  EXPECT_EQ(form->ActivePage(), form->Widget(idTsUpdate));
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 1);
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), NoFiles);
  EXPECT_TRUE(form->StatusFailed());
  EXPECT_TRUE(boxes.Texts().empty());
  ASSERT_TRUE(form->UpdateRecords());  // created by the first scan, empty
  EXPECT_TRUE(form->UpdateRecords()->empty());
}

TEST_F(UpdatePageTest, ButtonWithoutCandidatesAlsoShowsTheBoxAndGivesNoCommand) {
  folder.File(L"qem.exe");  // the control program is never a candidate
  SetFolder(folder.Path());
  BoxWatcher boxes;
  Button();
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{NoFiles});
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), NoFiles);
  EXPECT_TRUE(form->StatusFailed());
  // The command would be written before the click returns, and the worker would need this
  // thread to serve its first status: nothing can have cleared it yet.
  EXPECT_EQ(worker->Command.load(), cmNone);
}

TEST_F(UpdatePageTest, ButtonWithCandidatesStartsTheUpdateAndLeavesTheStatusLine) {
  BoxWatcher boxes;
  MenuItem();  // red "no files" first: a scan that finds candidates leaves it
  folder.File(L"MERIDOX.EXE");
  folder.File(L"volnikar.exe");
  folder.File(L"other.exe");
  folder.File(L"Version.ini", "[VERSION]\r\nVOLNIKAR.EXE= 1.05 \r\n");
  SetFolder(folder.Path());  // on the update page: scans at once
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 3);
  Button();
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 3);
  ASSERT_TRUE(PumpUntil([&] { return worker->updates == 1; }, TServe::Everything));
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(port.CountOf("Initialize()@T"), 1u);
  ASSERT_EQ(form->UpdateRecords()->size(), 2u);
  for (const auto& record : *form->UpdateRecords())
    EXPECT_EQ(record->Version, record->Component == 4 ? L"1.05" : L"???");
  // The worker's own status ("Инициализация...") replaced the red text, not this page.
  EXPECT_NE(TextOf(form->Widget(idLbStatus)), NoFiles);
}

TEST_F(UpdatePageTest, FolderFieldScansOnlyOnTheUpdatePageAndReportsNothing) {
  folder.File(L"salvik.exe");
  SetFolder(folder.Path());  // no page yet
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 1);
  EXPECT_FALSE(form->UpdateRecords());
  MenuItem();
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 2);
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), L"");
  BoxWatcher boxes;
  SetFolder(folder.Path().substr(0, folder.Path().size() - 2));  // a partial text
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 1);
  EXPECT_EQ(TextOf(form->Widget(idLbStatus)), L"");
  EXPECT_TRUE(boxes.Texts().empty());
  form->SetActivePage(form->Widget(idTsComponent));
  SetFolder(folder.Path());
  EXPECT_EQ(GridOf(*form, idDgUpdate).RowCount(), 1);
}

TEST_F(UpdatePageTest, ARescanLeavesTheWorkersCopyOfTheCandidatesAlive) {
  folder.File(L"tormund.exe");
  SetFolder(folder.Path());
  MenuItem();
  const TUpdateList workersCopy = form->UpdateCandidates();
  ASSERT_EQ(workersCopy.size(), 1u);
  const std::weak_ptr<TUpdateStruct> record = workersCopy[0];
  workersCopy[0]->Status = usInProgress;
  RemoveTree(folder.Path());
  MenuItem();  // the folder is gone: the window's list is empty now
  EXPECT_TRUE(form->UpdateRecords()->empty());
  ASSERT_FALSE(record.expired());
  EXPECT_EQ(workersCopy[0]->Component, 2);
  EXPECT_EQ(workersCopy[0]->Status.load(), usInProgress);
}

// Tab and Shift+Tab walk the shown page in the designed order, from the page control round to
// it and never into the hidden page; Enter presses the focused button.
TEST_F(UpdatePageTest, TheKeyboardWalksTheShownPageAndPressesItsButton) {
  const HWND pages = form->Widget(idPcMain);
  auto press = [&](WPARAM key, bool shift) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG message{};
    message.hwnd = GetFocus();
    message.message = WM_KEYDOWN;
    message.wParam = key;
    const bool handled = form->TranslateFormKey(message);
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return handled;
  };
  auto round = [&](bool shift) {
    SetFocus(pages);
    std::vector<int> visited;
    for (int n = 0; n < 8 && (visited.empty() || GetFocus() != pages); ++n) {
      EXPECT_TRUE(press(VK_TAB, shift));
      visited.push_back(GetDlgCtrlID(GetFocus()));
    }
    return visited;
  };
  MenuItem();
  EXPECT_EQ(round(false),
            (std::vector<int>{idDeUpdate, idDeUpdateBrowse, idBtUpdate, idDgUpdate, idPcMain}));
  EXPECT_EQ(round(true),
            (std::vector<int>{idDgUpdate, idBtUpdate, idDeUpdateBrowse, idDeUpdate, idPcMain}));
  form->SetActivePage(form->Widget(idTsComponent));
  EXPECT_EQ(round(false), (std::vector<int>{idDgComp, idPcMain}));
  EXPECT_EQ(round(true), (std::vector<int>{idDgComp, idPcMain}));

  form->SetActivePage(form->Widget(idTsUpdate));
  SetFocus(form->Widget(idBtUpdate));
  BoxWatcher boxes;
  EXPECT_TRUE(press(VK_RETURN, false));
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{NoFiles});
  SetFocus(form->Widget(idDeUpdate));
  EXPECT_FALSE(press(VK_RETURN, false));  // the field's own
  // Space is the button's own, through the loop's dialog navigation.
  SetFocus(form->Widget(idBtUpdate));
  for (UINT key : {WM_KEYDOWN, WM_KEYUP}) {
    MSG message{};
    message.hwnd = GetFocus();
    message.message = key;
    message.wParam = VK_SPACE;
    if (!form->TranslateFormKey(message) && !IsDialogMessageW(form->Handle(), &message))
      DispatchMessageW(&message);
  }
  EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{NoFiles, NoFiles}));
}

TEST_F(UpdatePageTest, TheGridPaintsCandidatesWithTheirStatusColours) {
  folder.File(L"pelikar.exe");
  folder.File(L"salvik.exe");
  SetFolder(folder.Path());
  MenuItem();
  EXPECT_TRUE(GridHas(RGB(0, 0, 128)));  // navy titles
  EXPECT_TRUE(GridHas(RGB(0, 0, 255)));  // "готов к обновлению"
  EXPECT_FALSE(GridHas(RGB(255, 0, 0)));
  (*form->UpdateRecords())[1]->Status = usFailed;
  form->RepaintUpdateGrid();
  EXPECT_TRUE(GridHas(RGB(255, 0, 0)));
  EXPECT_TRUE(GridHas(RGB(0, 0, 0)));  // names and versions
  EXPECT_TRUE(GridHas(RGB(255, 255, 255)));
}

}  // namespace
