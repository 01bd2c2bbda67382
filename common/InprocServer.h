// The plumbing of an in-process COM server, once for every server of ours: the module's handle
// (DllMain keeps it), the count of live objects and server locks that DllCanUnloadNow answers
// from (both defined here), and the class factory. Linking this in brings DllMain; the server's
// own DllGetClassObject calls GetClassObject, its DllCanUnloadNow asks ModuleInUse (defined there:
// oleaut32's import library has a DllCanUnloadNow of its own that a library's would clash with).
#pragma once

#include <windows.h>
#include <unknwn.h>

extern HMODULE ModuleHandle;

void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// Makes the served class's object for iid; the factory turns an exception into E_UNEXPECTED.
using TCreateObject = HRESULT (*)(REFIID iid, void** object);

// A class factory for clsid when it is served (its objects made by create);
// CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT GetClassObject(REFCLSID clsid, REFCLSID served, TCreateObject create, REFIID iid,
                       void** object);
