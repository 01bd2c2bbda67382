// The system's own text for an error code.
#pragma once

#include <windows.h>

#include <string>

// The text from the system's message table as the system gives it (most end in a full stop and
// a line break), "" when it has none. language 0 lets the system choose; 0x400 is the user's
// default language.
std::wstring SystemErrorText(DWORD code, DWORD language = 0);
