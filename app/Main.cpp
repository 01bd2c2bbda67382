// Program entry: the application object, the main window, the message loop.
#include <windows.h>

#include "AppError.h"
#include "Application.h"
#include "TBF.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    Application.Initialize();
    TBF form;
    if (form.Create(TStartupServices::System()))
      Application.Run(
          form.Handle(), [&form] { form.ShowMain(); },
          [&form](const MSG& message) { return form.TranslateFormKey(message); });
    else
      Application.Run(nullptr, nullptr);  // ends at once: start-up asked to terminate
    // However the loop ended, the window ends by its close (once: a close may have run).
    form.LoopEnded();
  } catch (const TAppError& error) {
    Application.ShowException(error.Message());
  } catch (...) {
    Application.ShowException(L"");
  }
  return 0;
}
