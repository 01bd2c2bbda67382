#include "LinkComponent.h"

#include "common/SystemErrorText.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

ComInitialization ComStartup;

HRESULT CreateLinkComponent(ComPtr<IComPort>& port, CreateInstanceFunction create) {
  // A failed start is not reported: the creation is tried all the same.
  ComStartup.Start();
  HRESULT result = create(CLSID_ComPort, nullptr, LinkClassContext, IID_IComPort, port.put_void());
  // Some systems refuse the remote-server context as an invalid argument.
  if (result == E_INVALIDARG)
    result =
        create(CLSID_ComPort, nullptr, LinkFallbackClassContext, IID_IComPort, port.put_void());
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

}  // namespace

std::wstring HrCheckText(HRESULT code, const std::wstring& operation, const std::wstring& file,
                         int line) {
  const std::wstring systemText = SystemErrorText(static_cast<DWORD>(code), LANG_USER_DEFAULT);
  const std::wstring description =
      systemText.empty()
          ? Format(L"(%ls) Error: %lX (%ld) @ %ls/%d", operation.c_str(),
                   static_cast<unsigned long>(code), static_cast<long>(code), file.c_str(), line)
          : Format(L"'%ls': %ls @ %ls/%d", operation.c_str(), systemText.c_str(), file.c_str(),
                   line);
  return Format(L"%ls\nPress [Y]es to terminate, [N]o to continue and [C]ancel to Debug",
                description.c_str());
}

int ShowHrCheck(HRESULT code, const std::wstring& operation, const std::wstring& file, int line) {
  return MessageBoxW(nullptr, HrCheckText(code, operation, file, line).c_str(), L"HRCHECK: ",
                     HrCheckStyle);
}
