// Our own optional second interface on the link component's object: the byte count of the last
// reply. The vendor's component does not have it (QueryInterface answers E_NOINTERFACE); the
// stand-in does. Without it the reply is bounded by the memory it can be read through.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstdint>

// {513A47BC-FDEA-40E0-B7D5-205562987FE0}
inline constexpr IID IID_IReceivedSize = {
    0x513A47BC, 0xFDEA, 0x40E0, {0xB7, 0xD5, 0x20, 0x55, 0x62, 0x98, 0x7F, 0xE0}};

struct IReceivedSize : public IUnknown {
  // Bytes of the reply GetReceivedData hands out; 0 when there is none.
  virtual int32_t STDMETHODCALLTYPE GetReceivedSize() = 0;  // 3
};
