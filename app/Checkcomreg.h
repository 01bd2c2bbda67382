// Is the link component registered as an in-process server, and does the registration point
// to an existing file of the expected name?
#pragma once

#include <windows.h>

#include <string>

// "" when it is; otherwise the complete message for the user.
std::wstring CheckComReg(const CLSID& classId, const std::wstring& libraryFileName);

// The same check below another root than HKEY_CLASSES_ROOT. Tests register their class ids in
// a key of their own: Wine's HKEY_CLASSES_ROOT does not show HKCU\Software\Classes as Windows does.
std::wstring CheckComRegUnder(HKEY classesRoot, const CLSID& classId,
                              const std::wstring& libraryFileName);

// The class id as the registry names it: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
// Throws TAppError when the system cannot convert it.
std::wstring GuidToText(const GUID& classId);
