#include "LinkComponent.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

TComStartup ComStartup;

void StartCom() {
  if (ComStartup.done) return;
  ComStartup.done = true;
  // A failure is not reported: the creation is tried all the same.
  ComStartup.succeeded = SUCCEEDED(CoInitialize(nullptr));
}

void EndCom() {
  if (ComStartup.succeeded) CoUninitialize();
  ComStartup.succeeded = false;
}

HRESULT CreateLinkComponent(ComPtr<IComPort>& port, CreateInstanceFunction create) {
  StartCom();
  HRESULT result = create(CLSID_ComPort, nullptr, LinkClassContext, IID_IComPort, port.put_void());
  // Some systems refuse the remote-server context as an invalid argument.
  if (result == E_INVALIDARG)
    result = create(CLSID_ComPort, nullptr, LinkFallbackClassContext, IID_IComPort, port.put_void());
  if (FAILED(result)) port.reset();
  return result;
}

namespace {

std::wstring Format(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    va_list arguments;
    va_start(arguments, format);
    const int length = _vsnwprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<size_t>(length) < buffer.size())
      return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// The system's text for code in the default language, or "" when it has none.
std::wstring SystemMessage(HRESULT code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0x400, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length && text ? std::wstring(text, length) : std::wstring();
  if (text) LocalFree(text);
  return message;
}

}  // namespace

std::wstring HrCheckText(HRESULT code, const std::wstring& operation, const std::wstring& file,
                         int line) {
  const std::wstring systemText = SystemMessage(code);
  const std::wstring description =
      systemText.empty()
          ? Format(L"(%ls) Error: %lX (%ld) @ %ls/%d", operation.c_str(), static_cast<unsigned long>(code),
                   static_cast<long>(code), file.c_str(), line)
          : Format(L"'%ls': %ls @ %ls/%d", operation.c_str(), systemText.c_str(), file.c_str(), line);
  return Format(L"%ls\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug",
                description.c_str());
}

int ShowHrCheck(HRESULT code, const std::wstring& operation, const std::wstring& file, int line) {
  return MessageBoxW(nullptr, HrCheckText(code, operation, file, line).c_str(), L"HRCHECK: ",
                     HrCheckStyle);
}
