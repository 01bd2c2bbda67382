// QemUtil's own start-up, step by step: the program's entry routine with the start-up
// observer attached, built with the same resources (manifest, icon). It writes the moment each
// step ended to the file its command line names; startup_bench reads it.
//
//   startup_phases.exe STAMPS-FILE
#include <windows.h>

#include "Stamps.h"
#include "app/AppError.h"
#include "app/Application.h"
#include "app/LinkComponent.h"
#include "app/TBF.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  TStamps stamps;
  stamps.Mark(L"entry");
  try {
    Application.Initialize();
    stamps.Mark(L"common controls");
    TBF form;
    TStartupServices services = TStartupServices::System();
    services.stepDone = [&stamps](const wchar_t* step) { stamps.Mark(step); };
    // COM's start apart from the instance request; the creation then finds it done.
    services.createLink = [&stamps, create = services.createLink](ComPtr<IComPort>& port) {
      ComStartup.Start();
      stamps.Mark(L"COM start-up");
      return create(port);
    };
    if (form.Create(services)) {
      stamps.Mark(L"worker resumed");
      Application.Run(form.Handle(), [&form, &stamps] {
        form.ShowMain();
        // The widgets paint themselves from the message loop: let them, nothing else.
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
          DispatchMessageW(&message);
        stamps.Mark(L"widgets painted");
      });
    } else {
      Application.Run(nullptr, nullptr);
    }
  } catch (const TAppError& error) {
    Application.ShowException(error.Message());
  } catch (...) {
    Application.ShowException(L"");
  }
  stamps.Save(StampsFile(commandLine).c_str());
  return 0;
}
