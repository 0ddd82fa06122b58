// WMFDemux.dll: the ASF parser.
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/FilterServer.h"
#include "platform/dshow/asf/AsfParser.h"

namespace {

const REGPINTYPES kAsf[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_Asf}};
const REGPINTYPES kAnyVideo[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kAnyAudio[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};
const REGFILTERPINS2 kPins[] = {
    {0, 1, 1, kAsf, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kAnyVideo, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kAnyAudio, 0, nullptr, nullptr},
};

} // namespace

const FilterClass g_filterClasses[] = {
    {&CLSID_GdclWmvParser, L"GDCL WMV/WMA Parser", MERIT_DO_NOT_USE, 3, kPins, CAsfParser::Create},
};
const int g_filterClassCount = sizeof g_filterClasses / sizeof g_filterClasses[0];
