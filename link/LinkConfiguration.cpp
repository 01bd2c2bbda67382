#include "LinkConfiguration.h"

void ConfigureLink(IComPort& port, const char* titleCp1251, HWND window) {
  const SCP_Info info{5, titleCp1251, window, true};
  port.Configure(&info);
  int32_t state = 0;
  const int32_t pending = port.QueryState(&state);
  port.SetTimeout(1000);
  port.SetInteractive(1);
  if (pending != 0) port.Initialize();
}
