// asyncflt.ax: the source filter of "zaror://" addresses.
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/FilterServer.h"
#include "platform/dshow/asyncflt/ZarorSource.h"

namespace {

const REGPINTYPES kStreamTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_NULL}};
const REGFILTERPINS2 kPins[] = {
    {REG_PINFLAG_B_OUTPUT, 1, 1, kStreamTypes, 0, nullptr, nullptr},
};

} // namespace

const FilterClass g_filterClasses[] = {
    {&CLSID_VuzizAvezid, L"VUZizAvezid", MERIT_DO_NOT_USE, 1, kPins, CZarorSource::Create},
};
const int g_filterClassCount = sizeof g_filterClasses / sizeof g_filterClasses[0];
