// The link component's configuration, as the window makes it before it starts the worker.
#pragma once

#include "link/Varnel_tlb.h"

// Configure (mode 5, the title in code page 1251, the window, flag set), QueryState,
// SetTimeout(1000), SetInteractive(1), and Initialize when QueryState says it is due. The
// results are not used. The record is a local: the component copies what it keeps.
void ConfigureLink(IComPort& port, const char* titleCp1251, HWND window);
