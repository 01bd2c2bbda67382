// What the DLL's entry points share: its module handle and the count of live objects and
// server locks that DllCanUnloadNow answers from.
#pragma once

#include <windows.h>

extern HMODULE ModuleHandle;

void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

struct TSimConfig;

// Creates a ComPort object (the class factory's one product).
HRESULT CreateComPort(REFIID iid, void** object);
// The ComPort that answers from the recording config.Replay names.
HRESULT CreateReplayPort(const TSimConfig& config, REFIID iid, void** object);
// Creates the class factory for a class id; CLASS_E_CLASSNOTAVAILABLE for an unknown one.
HRESULT GetClassFactory(REFCLSID clsid, REFIID iid, void** object);
