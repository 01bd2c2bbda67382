// The binary contract with the link component Varnel.dll (class ComPort, interface IComPort).
// The vendor's component and our stand-in in sim/ both follow it, slot for slot.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <type_traits>

// {CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}
inline constexpr CLSID CLSID_ComPort = {
    0xCDFF5124, 0x8322, 0x4B60, {0xAC, 0xEB, 0xF4, 0xAF, 0xEC, 0x11, 0x16, 0xFD}};
// {61021285-5655-4713-A02D-B25C028604CF}
inline constexpr IID IID_IComPort = {
    0x61021285, 0x5655, 0x4713, {0xA0, 0x2D, 0xB2, 0x5C, 0x02, 0x86, 0x04, 0xCF}};
// {10B6CE0D-7BFB-44D6-A119-B12D3C5E57E9}
inline constexpr GUID LIBID_Varnel = {
    0x10B6CE0D, 0x7BFB, 0x44D6, {0xA1, 0x19, 0xB1, 0x2D, 0x3C, 0x5E, 0x57, 0xE9}};

// Called by SendFile on the calling thread, before it returns, with 0 <= current < total.
typedef void(__stdcall* ProgressProc)(int32_t total, int32_t current);

// The link's configuration record. The component copies what it keeps: the caller's record
// (and the title it points to) may be gone after Configure returns.
struct SCP_Info {
  int32_t Mode;          // 5
  const char* AppTitle;  // NUL-terminated, code page 1251
  HWND AppWindow;
  bool Flag;  // true
};

// The vendor's component is 32-bit and reads a 16-byte record; the 64-bit build (ours, for
// testing) has 8-byte pointers and the layout that follows from them.
#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(SCP_Info) == 16, "the vendor's component reads a 16-byte record");
static_assert(offsetof(SCP_Info, AppTitle) == 4 && offsetof(SCP_Info, AppWindow) == 8 &&
              offsetof(SCP_Info, Flag) == 12);
#else
static_assert(sizeof(SCP_Info) == 32);
static_assert(offsetof(SCP_Info, AppTitle) == 8 && offsetof(SCP_Info, AppWindow) == 16 &&
              offsetof(SCP_Info, Flag) == 24);
#endif
static_assert(offsetof(SCP_Info, Mode) == 0);
// __stdcall is part of a type in 32-bit code (and means nothing in 64-bit): a callback without
// it would leave its arguments on the stack.
static_assert(std::is_same_v<ProgressProc, void(__stdcall*)(int32_t, int32_t)>);

// Every int32_t result is a status: 0 success, anything else the component's error code.
// Texts by reference are BSTR* in UTF-16. SendFile reads *fileName and neither frees nor
// replaces it. GetErrorText frees what *text holds on entry (null or a caller's BSTR) and
// stores a new BSTR (null: the empty text) that the caller frees.
// GetReceivedData: the last reply's bytes, owned by the component, valid until its next
// SendPacket, Reset or Close; null when nothing was received. The contract gives no length:
// where the component can tell it, it answers IReceivedSize (link/IReceivedSize.h).
// The program calls only the slots named here and IUnknown's; a reserved slot is declared only
// to keep the vtable layout, and the vendor's component may have nothing behind it.
// The methods slot by slot, X(slot, result, name, parameters): the interface is declared from
// this list, so the order of declaration, which makes the vtable, is checked against the slots.
// clang-format off
#define VARNEL_ICOMPORT_METHODS(X)                                                      \
  X( 3, int32_t, Configure, (const SCP_Info* info))                                     \
  X( 4, int32_t, Reset, ())                                                             \
  X( 5, int32_t, Shutdown, ())                                                          \
  X( 6, int32_t, SetErrorOption, (int32_t option))                                      \
  X( 7, int32_t, Close, ())                                                             \
  X( 8, int32_t, SetTimeout, (int32_t milliseconds))                                    \
  X( 9, int32_t, Reserved9, ())                                                         \
  X(10, int32_t, Reserved10, ())                                                        \
  X(11, int32_t, Reserved11, ())                                                        \
  X(12, int32_t, SendPacket, (int32_t kind, int32_t length, const uint8_t* bytes))      \
  X(13, int32_t, Reserved13, ())                                                        \
  X(14, int32_t, SendFile, (int32_t size, const uint8_t* bytes, BSTR* fileName,         \
                            ProgressProc progress))                                     \
  X(15, int32_t, WaitData, (int32_t timeoutMs))                                         \
  X(16, int32_t, WaitAnswer, (int32_t kind, int32_t timeoutMs))                         \
  X(17, int32_t, WaitConfirm, (int32_t kind, int32_t timeoutMs))                        \
  X(18, int32_t, Reserved18, ())                                                        \
  X(19, const uint8_t*, GetReceivedData, ())                                            \
  X(20, int32_t, Reserved20, ())                                                        \
  X(21, int32_t, Reserved21, ())                                                        \
  X(22, int32_t, Reserved22, ())                                                        \
  X(23, int32_t, GetErrorText, (BSTR* text))                                            \
  X(24, int32_t, SetInteractive, (int32_t interactive))                                 \
  X(25, int32_t, Reserved25, ())                                                        \
  X(26, int32_t, Reserved26, ())                                                        \
  X(27, int32_t, Reserved27, ())                                                        \
  X(28, int32_t, Initialize, ())                                                        \
  X(29, int32_t, QueryState, (int32_t* state))
// clang-format on

#define VARNEL_DECLARE_METHOD(slot, result, name, parameters) \
  virtual result STDMETHODCALLTYPE name parameters = 0;
struct IComPort : public IUnknown {
  VARNEL_ICOMPORT_METHODS(VARNEL_DECLARE_METHOD)
};
#undef VARNEL_DECLARE_METHOD

namespace link_contract {
// A virtual method's slot is its place in the order of declaration, after IUnknown's three.
#define VARNEL_SLOT(slot, result, name, parameters) slot,
inline constexpr int kListedSlots[] = {VARNEL_ICOMPORT_METHODS(VARNEL_SLOT)};
#undef VARNEL_SLOT
constexpr bool SlotsFollowDeclaration() {
  for (size_t place = 0; place < std::size(kListedSlots); ++place)
    if (kListedSlots[place] != static_cast<int>(3 + place)) return false;
  return std::size(kListedSlots) == 27;
}
static_assert(SlotsFollowDeclaration(), "IComPort's methods must be declared in slot order");
// Every method __stdcall, as the component's are.
#define VARNEL_STDCALL(slot, result, name, parameters)                                     \
  static_assert(                                                                           \
      std::is_same_v<decltype(&IComPort::name), result(__stdcall IComPort::*) parameters>, \
      "IComPort::" #name " must be __stdcall");
VARNEL_ICOMPORT_METHODS(VARNEL_STDCALL)
#undef VARNEL_STDCALL
}  // namespace link_contract
