// One file as the unit reports it in its file-list reply.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TFileStruct {
  std::wstring Date;     // "2007.05.14"
  std::wstring Time;     // "14:03.26"
  std::wstring Name;     // as reported; the display name once matched with the component table
  std::wstring Version;  // empty when the reply carries none
  int32_t Size = 0;
  int32_t Attributes = 0;
};

// The unit's files in the order of the reply; dgComp's row r shows entry r - 1.
using TFileList = std::vector<TFileStruct>;
