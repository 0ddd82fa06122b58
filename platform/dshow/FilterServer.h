#pragma once

#include <dshow.h>

// What one DLL of stand-in filters serves: its classes, and their entries in
// the filter mapper.
struct FilterClass {
    const CLSID* clsid;
    const wchar_t* name;
    DWORD merit;
    ULONG pinCount;
    const REGFILTERPINS2* pins;
    IBaseFilter* (*create)();   // null on failure
};

// The DLL entry points, over the DLL's table of classes.
HRESULT FilterDllGetClassObject(const FilterClass* classes, int count, REFCLSID clsid,
                                REFIID iid, void** object);
HRESULT FilterDllCanUnloadNow();
// Writes each class's InprocServer32 key (this module, threading "Both")
// and registers it with IFilterMapper2; the reverse when unregistering.
HRESULT FilterDllRegister(const FilterClass* classes, int count, bool registering);

// Each DLL of filters defines its table; FilterDllEntries.cpp, compiled into
// every such DLL, serves the four COM entry points from it.
extern const FilterClass g_filterClasses[];
extern const int g_filterClassCount;
