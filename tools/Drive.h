// What the driver's steps share across its files.
#pragma once

#include <windows.h>

#include <functional>
#include <span>
#include <string>

// One reading, "key: value" (UTF-8), on standard output.
void Print(const std::wstring& key, const std::wstring& value);
// Prints the error and ends the driver (and a program it started) with exit code 2.
[[noreturn]] void Fail(const std::wstring& what);
// Serves this thread's messages (event hooks report through them) for a while.
void Pump(DWORD milliseconds);
// The main window's widget with that control id.
HWND Widget(int id);

// A step reads its arguments from the command line in turn.
using TNext = std::function<std::wstring()>;
struct TStep {
  const wchar_t* name;
  void (*run)(const TNext& next);
};

// Steps kept in a file of their own.
std::span<const TStep> AccessibleSteps();
