// The binary contract with the link component Varnel.dll (class ComPort, interface IComPort).
// The vendor's component and our stand-in in sim/ both follow it, slot for slot.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>

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

#if defined(_M_IX86) || defined(__i386__)
static_assert(sizeof(SCP_Info) == 16, "the vendor's component reads a 16-byte record");
static_assert(offsetof(SCP_Info, Mode) == 0);
static_assert(offsetof(SCP_Info, AppTitle) == 4);
static_assert(offsetof(SCP_Info, AppWindow) == 8);
static_assert(offsetof(SCP_Info, Flag) == 12);
#endif

// Every int32_t result is a status: 0 success, anything else the component's error code.
// Texts by reference are BSTR* in UTF-16. SendFile reads *fileName and neither frees nor
// replaces it. GetErrorText frees what *text holds on entry (null or a caller's BSTR) and
// stores a new BSTR (null: the empty text) that the caller frees.
// GetReceivedData: the last reply's bytes, owned by the component, valid until its next
// SendPacket, Reset or Close; null when nothing was received. The contract gives no length:
// where the component can tell it, it answers IReceivedSize (link/IReceivedSize.h).
// The program calls only the slots named here and IUnknown's; a reserved slot is declared only
// to keep the vtable layout, and the vendor's component may have nothing behind it.
// clang-format off
struct IComPort : public IUnknown {
  virtual int32_t STDMETHODCALLTYPE Configure(const SCP_Info* info) = 0;      //  3
  virtual int32_t STDMETHODCALLTYPE Reset() = 0;                              //  4
  virtual int32_t STDMETHODCALLTYPE Shutdown() = 0;                           //  5
  virtual int32_t STDMETHODCALLTYPE SetErrorOption(int32_t option) = 0;       //  6
  virtual int32_t STDMETHODCALLTYPE Close() = 0;                              //  7
  virtual int32_t STDMETHODCALLTYPE SetTimeout(int32_t milliseconds) = 0;     //  8
  virtual int32_t STDMETHODCALLTYPE Reserved9() = 0;                          //  9
  virtual int32_t STDMETHODCALLTYPE Reserved10() = 0;                         // 10
  virtual int32_t STDMETHODCALLTYPE Reserved11() = 0;                         // 11
  virtual int32_t STDMETHODCALLTYPE SendPacket(int32_t kind, int32_t length,
                                               const uint8_t* bytes) = 0;     // 12
  virtual int32_t STDMETHODCALLTYPE Reserved13() = 0;                         // 13
  virtual int32_t STDMETHODCALLTYPE SendFile(int32_t size, const uint8_t* bytes, BSTR* fileName,
                                             ProgressProc progress) = 0;      // 14
  virtual int32_t STDMETHODCALLTYPE WaitData(int32_t timeoutMs) = 0;          // 15
  virtual int32_t STDMETHODCALLTYPE WaitAnswer(int32_t kind, int32_t timeoutMs) = 0;   // 16
  virtual int32_t STDMETHODCALLTYPE WaitConfirm(int32_t kind, int32_t timeoutMs) = 0;  // 17
  virtual int32_t STDMETHODCALLTYPE Reserved18() = 0;                         // 18
  virtual const uint8_t* STDMETHODCALLTYPE GetReceivedData() = 0;             // 19
  virtual int32_t STDMETHODCALLTYPE Reserved20() = 0;                         // 20
  virtual int32_t STDMETHODCALLTYPE Reserved21() = 0;                         // 21
  virtual int32_t STDMETHODCALLTYPE Reserved22() = 0;                         // 22
  virtual int32_t STDMETHODCALLTYPE GetErrorText(BSTR* text) = 0;             // 23
  virtual int32_t STDMETHODCALLTYPE SetInteractive(int32_t interactive) = 0;  // 24
  virtual int32_t STDMETHODCALLTYPE Reserved25() = 0;                         // 25
  virtual int32_t STDMETHODCALLTYPE Reserved26() = 0;                         // 26
  virtual int32_t STDMETHODCALLTYPE Reserved27() = 0;                         // 27
  virtual int32_t STDMETHODCALLTYPE Initialize() = 0;                         // 28
  virtual int32_t STDMETHODCALLTYPE QueryState(int32_t* state) = 0;           // 29
};
// clang-format on
