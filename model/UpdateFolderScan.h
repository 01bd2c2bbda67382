// The update folder scan: which files of a folder the unit can take, with their versions.
#pragma once

#include <string>

#include "TUpdateStruct.h"

inline constexpr const wchar_t* UnknownVersion = L"???";

// The candidates in folder, in the file system's order: every entry matching folder + "\*.exe"
// (files of any attribute and sub-folders) whose name is a component's, except the control
// program, each ready, with its version from folder + "\Version.ini", section VERSION, or "???".
// folder is used verbatim: nothing is trimmed and no separator added or removed. A missing
// folder or a failed search gives an empty list; nothing is reported.
TUpdateList ScanUpdateCandidates(const std::wstring& folder);
