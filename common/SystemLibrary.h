// Libraries the program loads by name at run time.
#pragma once

#include <windows.h>

// The library name ("oleacc.dll") from the system folder and nowhere else; null on failure
// (GetLastError says why). The process-wide search order is left as it is.
HMODULE LoadSystemLibrary(const wchar_t* name);
