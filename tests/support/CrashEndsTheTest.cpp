// A test program that crashes ends at once with a line that says so: otherwise Wine starts its
// debugger on the crash, and the test would only end when its time limit runs out.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI EndTheTest(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  std::fprintf(stderr, "crashed: exception %08lX at %p on thread %lu\n",
               static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress,
               static_cast<unsigned long>(GetCurrentThreadId()));
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[maybe_unused]] const bool installed = [] {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(&EndTheTest);
  return true;
}();

}  // namespace
