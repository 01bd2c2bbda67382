// Is the link component registered as an in-process server, and does the registration point
// to an existing file of the expected name?
#pragma once

#include <windows.h>

#include <string>

// "" when it is; otherwise the complete message for the user.
std::wstring CheckComReg(const CLSID& classId, const std::wstring& libraryFileName);

// The class id as the registry names it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::wstring GuidToText(const GUID& classId);
