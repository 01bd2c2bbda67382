// Request packets to the unit, written from offset 0 of the worker's packet buffer. Each
// builder returns the packet's length; bytes past it are never looked at.
#pragma once

#include <cstdint>
#include <string_view>

enum TRequestCode : uint8_t {
  rqFileList = 1,
  rqSetDirectory = 2,
  rqConfirmUpdate = 3,
};

// 02 n name: the name in code page 1251, at most 255 bytes (longer names are cut there).
int32_t BuildSetDirectory(uint8_t* packet, std::string_view nameCp1251);

// 01 flag: the flag, which asks for the version part of each entry, is 1 only when the
// filter is exactly "exe" (case-sensitive).
int32_t BuildFileListRequest(uint8_t* packet, std::wstring_view filter);
bool WantsVersions(std::wstring_view filter);

// 03 row major minor: the version split at its first point, each side a whole decimal
// integer or 0, low 8 bits of each.
int32_t BuildConfirmUpdate(uint8_t* packet, int32_t component, std::wstring_view version);

struct TVersionBytes {
  uint8_t Major;
  uint8_t Minor;
};
TVersionBytes VersionBytes(std::wstring_view version);
