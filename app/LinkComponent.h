// Creating the link component: COM start-up once per process, the instance request with its
// fallback class context, and the "HRCHECK: " box that reports a failed request.
#pragma once

#include <windows.h>

#include <string>

#include "common/Scopes.h"
#include "common/UniqueResource.h"
#include "link/Varnel_tlb.h"

// COM for the window thread: started before the first link component is created, recording
// whether that succeeded; uninitialised at program end only after a successful start.
extern ComInitialization ComStartup;

// The class contexts asked for: in-process, local and remote server; if that is refused as an
// invalid argument, in-process and local only.
inline constexpr DWORD LinkClassContext =
    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD LinkFallbackClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
static_assert(LinkClassContext == 21 && LinkFallbackClassContext == 5);

// Starts COM (the first time) and requests the instance. The result of the last request.
using CreateInstanceFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, LPUNKNOWN, DWORD, REFIID,
                                                        LPVOID*);
HRESULT CreateLinkComponent(ComPtr<IComPort>& port,
                            CreateInstanceFunction create = &CoCreateInstance);

// The text of the "HRCHECK: " box for a failed operation at file:line.
std::wstring HrCheckText(HRESULT code, const std::wstring& operation, const std::wstring& file,
                         int line);
inline constexpr UINT HrCheckStyle = MB_TASKMODAL | MB_ICONQUESTION | MB_YESNOCANCEL;  // 0x2023
static_assert(HrCheckStyle == 0x2023);
// Shows the box, owned by no window; returns IDYES, IDNO or IDCANCEL.
int ShowHrCheck(HRESULT code, const std::wstring& operation, const std::wstring& file, int line);
