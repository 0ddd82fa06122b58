// The COM entry points of a DLL of filters, over its table of classes.
#include "platform/dshow/FilterServer.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return FilterDllGetClassObject(g_filterClasses, g_filterClassCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow()
{
    return FilterDllCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return FilterDllRegister(g_filterClasses, g_filterClassCount, true);
}

STDAPI DllUnregisterServer()
{
    return FilterDllRegister(g_filterClasses, g_filterClassCount, false);
}
