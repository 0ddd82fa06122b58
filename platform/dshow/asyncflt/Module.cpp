// asyncflt.ax: the source filter of "zaror://" addresses.
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/FilterServer.h"
#include "platform/dshow/asyncflt/ZarorSource.h"

namespace {

const REGPINTYPES kStreamTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_NULL}};
const REGFILTERPINS2 kPins[] = {
    {REG_PINFLAG_B_OUTPUT, 1, 1, kStreamTypes, 0, nullptr, nullptr},
};
const FilterClass kClasses[] = {
    {&CLSID_VuzizAvezid, L"VUZizAvezid", MERIT_DO_NOT_USE, 1, kPins, CZarorSource::Create},
};

} // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return FilterDllGetClassObject(kClasses, 1, clsid, iid, object);
}

STDAPI DllCanUnloadNow()
{
    return FilterDllCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return FilterDllRegister(kClasses, 1, true);
}

STDAPI DllUnregisterServer()
{
    return FilterDllRegister(kClasses, 1, false);
}
