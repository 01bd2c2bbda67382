// Start-up: the construction steps, in the order the window takes them; the worker is resumed
// last, once the link is made and configured.
#include "TBF.h"

#include "AppError.h"
#include "Application.h"
#include "Checkcomreg.h"
#include "LinkComponent.h"
#include "common/FileSystem.h"
#include "common/SystemErrorText.h"
#include "common/WindowRouting.h"
#include "link/Cp1251.h"
#include "views/GridContent.h"

namespace {

constexpr wchar_t ApplicationTitle[] = L"Блок диагностики: информация";

// A start-up the user chose to end in the "HRCHECK: " box: the entry routine shows it
// without a text.
struct TLinkCreationFailed {};

// What a start-up failure message says of its cause: the system's text, else the code.
std::wstring CauseText(DWORD code) {
  const std::wstring text = SystemErrorText(code);
  return text.empty() ? std::to_wstring(code) : text;
}

}  // namespace

TStartupServices TStartupServices::System() {
  TStartupServices services;
  services.checkRegistration = [] { return CheckComReg(CLSID_ComPort, L"Varnel.dll"); };
  services.createLink = [](ComPtr<IComPort>& port) { return CreateLinkComponent(port); };
  services.createWorker = [](TWorkerWindow& window) {
    return std::make_unique<TThreadComPort>(true, window);
  };
  return services;
}

// Start-up, in this order; the worker is resumed last, once the link is made and configured.
bool TBF::Create(const TStartupServices& services) {
  BF = this;
  stepDone_ = services.stepDone;
  BuildForm();  // both record lists start absent
  StepDone(L"widgets and fonts");
  NameTheWindow();
  if (!LinkRegistered(services)) return false;
  StepDone(L"registration check");
  SetUpGrids();
  SetActivePage(nullptr);
  browseStart_ = ExecutableFolder();
  StepDone(L"grids");
  CreateWorker(services);
  StepDone(L"worker and its event");
  if (!CreateLink(services)) return false;
  // A close or the session's end served by a dialog of the component, in its creation or in
  // its configuration.
  if (life_.CloseMarked()) return StopStartup();
  StepDone(L"link created");
  ConfigureLink();
  if (life_.CloseMarked()) return StopStartup();
  StepDone(L"link configured");
  // From now on the worker is the link's caller.
  link_.Start();
  life_.SetState(TWindowState::Idle);
  return true;
}

void TBF::StepDone(const wchar_t* step) const {
  if (stepDone_) stepDone_(step);
}

void TBF::BuildForm() {
  TWindowRouting::Register<TBF>(
      MainWindowClass, {.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), .icon = 1});
  if (const DWORD failure = BuildWidgets(this); failure != ERROR_SUCCESS)
    throw TAppError(L"Не удалось создать главное окно: " + CauseText(failure));
}

void TBF::NameTheWindow() {
  Application.Title = ApplicationTitle;
  FormStorage.SetIniFileName(ChangeFileExt(ExecutablePath(), L".ini"));
  SetWindowTextW(window_.get(), Application.Title.c_str());
  SetWindowTextW(lbStatus, L"");
}

// Ends start-up quietly: the window is never shown, the close ends what was made (the worker,
// the link), and only then the message loop is asked to end, so that a dialog the component
// shows in the close is answered rather than ended by the quit request.
bool TBF::StopStartup() {
  life_.SetState(TWindowState::Refused);
  Application.ShowMainForm = false;
  RunClose(life_.SessionEndMarked());
  Application.Terminate();
  return false;
}

bool TBF::LinkRegistered(const TStartupServices& services) {
  const std::wstring refusal = services.checkRegistration();
  if (refusal.empty()) return true;
  ShowMessageBox(refusal, MB_OK | MB_ICONSTOP);
  return StopStartup();
}

void TBF::SetUpGrids() {
  SetUpGrid(dgComp, WidthFactors<TFileStruct>(CompGridColumns), CompGridWidthBase);
  SetUpGrid(dgUpdate, WidthFactors<TUpdateStruct>(UpdateGridColumns), UpdateGridWidthBase);
  dgComp.SetDrawCellHandler([this](HDC dc, int column, int row, const RECT& cell) {
    dgCompDrawCell(dc, column, row, cell);
  });
  dgUpdate.SetDrawCellHandler([this](HDC dc, int column, int row, const RECT& cell) {
    dgUpdateDrawCell(dc, column, row, cell);
  });
  // What readers are told the cells show.
  dgComp.SetCellTextHandler([this](int column, int row) { return dgCompCellText(column, row); });
  dgUpdate.SetCellTextHandler(
      [this](int column, int row) { return dgUpdateCellText(column, row); });
}

// The worker, suspended, and its wake-up events, owned by the link's life.
void TBF::CreateWorker(const TStartupServices& services) {
  DWORD code = ERROR_SUCCESS;
  switch (link_.MakeWorker(services.createWorker(*this), code)) {
    case TLinkLife::TFailure::Thread:
      throw TAppError(L"Не удалось создать рабочий поток: " + CauseText(code));
    case TLinkLife::TFailure::Event:
      throw TAppError(L"Не удалось создать событие \"QemUtil.Thread.Event\": " + CauseText(code));
    case TLinkLife::TFailure::None: break;
  }
}

bool TBF::CreateLink(const TStartupServices& services) {
  // The component may show a dialog of its own while it is being made.
  const HRESULT created = link_.CreateLink(services.createLink);
  if (FAILED(created)) {
    // Asked to end meanwhile: there is nothing to ask the user.
    if (life_.CloseMarked()) return StopStartup();
    const int answer =
        Nested([&] { return ShowHrCheck(created, L"Create(intfObj)", L"TBF.cpp", __LINE__); });
    // Asked to end while the question was up: it ends, whatever the answer.
    if (life_.CloseMarked()) return StopStartup();
    if (answer == IDYES) throw TLinkCreationFailed{};
    // No and Cancel: the program cannot work without the component; end as quietly as a
    // refused registration.
    return StopStartup();
  }
  return true;
}

void TBF::ConfigureLink() { link_.Configure(ToCp1251(Application.Title).c_str(), window_.get()); }
