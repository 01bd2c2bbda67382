// The main window TBF: menu, two pages (components, update), status panel; it owns the link's
// life (worker/LinkLife.h) and the two record lists, and carries out the worker's hand-offs.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Placement.h"
#include "ShutdownBlock.h"
#include "TBF_Form.h"
#include "WindowLife.h"
#include "common/UniqueResource.h"
#include "views/GridContent.h"
#include "worker/LinkLife.h"
#include "worker/UThreadComPort.h"

// What start-up needs from the system; tests stand in their own.
struct TStartupServices {
  // "" when the link component is registered, else the message for the user.
  std::function<std::wstring()> checkRegistration;
  // Creates the link component instance.
  std::function<HRESULT(ComPtr<IComPort>&)> createLink;
  // Makes the worker (suspended) for this window.
  std::function<std::unique_ptr<TThreadComPort>(TWorkerWindow&)> createWorker;
  // Told the name of each start-up step as it ends, those of ShowMain too (the start-up
  // benchmark times them); may be empty.
  std::function<void(const wchar_t* step)> stepDone;
  static TStartupServices System();
};

// The widgets, named as designed, are TBFForm's (TBF_Form.h).
class TBF final : public TWorkerWindow, public TBFForm {
 public:
  TBF();
  ~TBF();
  TBF(const TBF&) = delete;
  TBF& operator=(const TBF&) = delete;

  // The construction steps. False when start-up stopped (the link component is not registered,
  // or could not be created and the user chose not to go on): the window is never shown then.
  // A failure the entry routine must show is thrown.
  bool Create(const TStartupServices& services);
  HWND Handle() const { return window_.get(); }
  // Restores the stored placement and folder, runs FormShow, shows the window.
  void ShowMain();
  // The message loop has ended without a close (a quit request from another program, say): the
  // window ends by the close, as every way out does. Nothing when it has ended already.
  void LoopEnded();

  // Handlers.
  void FormShow();
  bool FormCloseQuery();
  void miCompClick();
  void miExitClick();
  // Update page (TBF_Update.cpp). fromButton: called by btUpdateClick (a null sender).
  void miUpdateClick(bool fromButton);
  void deUpdateChange();
  void btUpdateClick();
  void ScanUpdateFolder();
  // Cell drawing (TBF_Grids.cpp).
  void dgCompDrawCell(HDC dc, int column, int row, const RECT& cell);
  void dgUpdateDrawCell(HDC dc, int column, int row, const RECT& cell);
  // What readers are told a cell shows (row 0: the titles).
  std::wstring dgCompCellText(int column, int row) const;
  std::wstring dgUpdateCellText(int column, int row) const;

  // A message box captioned with the application title; returns the button pressed.
  int ShowMessageBox(const std::wstring& text, UINT flags);

  // TWorkerWindow: called on the window thread inside the worker's hand-offs.
  void ShowStatusLine(const std::wstring& text, bool failed) override;
  void InstallComponentList(TFileList&& records, int32_t rowCount) override;
  void RepaintUpdateGrid() override;
  void ShowGauge(int32_t percent) override;
  TUpdateList UpdateCandidates() override;
  std::wstring UpdateFolder() override;
  void JobStarted(int32_t command) override;
  void JobEnded() override;
  // A failure in a handler or a hand-off, shown as the entry routine shows one; the program goes
  // on. One that comes inside a call with a message loop of its own is shown once that call has
  // returned.
  void ShowError(std::exception_ptr error) override;
  void RunHandOff(const std::function<void()>& work) override;

  // The reason registered for holding off the session's end while a job runs; "" when idle.
  const std::wstring& ShutdownBlockReason() const { return shutdownBlock_.Reason(); }

  // pcMain's active page (nullptr: none) and its change.
  HWND ActivePage() const;
  void SetActivePage(HWND page);
  bool StatusFailed() const { return statusFailed_; }

  // What the window holds, for whoever reads it (its tests among them); its widgets are read
  // through Widget(id).
  TFormStorage& PlacementStore() { return FormStorage; }
  // The unit's files shown in dgComp and the update candidates shown in dgUpdate; null until
  // the first component list, the first scan.
  const TFileList* ComponentFiles() const { return FileList.get(); }
  const TUpdateList* UpdateRecords() const { return UpdateList.get(); }

 private:
  friend struct TWindowRouting;

  TFormStorage FormStorage;

  // The unit's files shown in dgComp; null until the first component list.
  std::unique_ptr<TFileList> FileList;
  // The update candidates shown in dgUpdate; null until the first scan.
  std::unique_ptr<TUpdateList> UpdateList;

  void OnHandlerError();
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code, HWND control);
  void OnCloseRequest();
  void OnEndSession(bool ending);
  void OnNestedCallsReturned();
  bool OnQueryEndSession();
  // Runs call, which may run a message loop of its own, as a nested call: a close or session
  // end that its loop serves waits until it has returned, and nothing it uses is freed.
  // linkCall: it holds the link (a call of it, or a hand-off the worker waits in).
  template <typename Call>
  decltype(auto) Nested(Call&& call, bool linkCall = false) {
    const TNestedScope scope(*this, linkCall);
    return call();
  }
  class TNestedScope {
   public:
    TNestedScope(TBF& form, bool linkCall);
    ~TNestedScope();
    TNestedScope(const TNestedScope&) = delete;
    TNestedScope& operator=(const TNestedScope&) = delete;

   private:
    TBF& form_;
    bool linkCall_;
  };
  // Whether the link is in use on any thread, or due to be (a command given, say).
  bool LinkInUse() const { return link_.InUse(); }
  // The close, every way out's, entered once: FormCloseQuery, then the window goes (its
  // placement saved if it was shown). sessionEnds: no report is shown, the session is over.
  void RunClose(bool sessionEnds);
  // A session's end served while the close waits for the worker: the close is carried to its
  // end inside it, and the waiting close then frees what it used.
  void CompleteClose();
  // The link's close, with a failed wait of its worker's reported.
  void CloseLink();
  void FinishClose(bool sessionEnds);
  void ShowPendingReports();
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  void OnNotify(const NMHDR& header);
  void OnBrowseFolder();

  // The steps of Create.
  void BuildForm();
  void NameTheWindow();
  bool LinkRegistered(const TStartupServices& services);
  void SetUpGrids();
  void CreateWorker(const TStartupServices& services);
  bool CreateLink(const TStartupServices& services);
  void ConfigureLink();
  bool StopStartup();

  void SavePlacement();
  void StepDone(const wchar_t* step) const;
  void GiveCommand(int32_t command);

  std::function<void(const wchar_t* step)> stepDone_;
  UniqueWindow window_;
  HBRUSH faceBrush_ = GetSysColorBrush(COLOR_BTNFACE);
  bool statusFailed_ = false;
  TShutdownBlock shutdownBlock_;
  TWindowLife life_;
  bool shown_ = false;        // the placement is saved at the close only if it was
  bool quietEnd_ = false;     // the window goes in the destructor: no quit request
  std::wstring browseStart_;  // where the folder dialog starts
  // The worker, its events and the link; its calls of the link here are nested and hold it.
  TLinkLife link_;
};

// The one main window of the process.
extern TBF* BF;
