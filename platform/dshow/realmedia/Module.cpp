// RealMediaSplitter.ax: the RealMedia splitter and its two decoders.
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/FilterServer.h"
#include "platform/dshow/realmedia/RmDecoders.h"
#include "platform/dshow/realmedia/RmSplitter.h"

namespace {

const REGPINTYPES kStream[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_TovraRealMedia}};
const REGPINTYPES kAnyVideo[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kAnyAudio[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_NULL}};
const REGPINTYPES kRgb32[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGPINTYPES kPcm[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};

const REGFILTERPINS2 kSplitterPins[] = {
    {0, 1, 1, kStream, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kAnyVideo, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kAnyAudio, 0, nullptr, nullptr},
};
const REGFILTERPINS2 kVideoPins[] = {
    {0, 1, 1, kAnyVideo, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kRgb32, 0, nullptr, nullptr},
};
const REGFILTERPINS2 kAudioPins[] = {
    {0, 1, 1, kAnyAudio, 0, nullptr, nullptr},
    {REG_PINFLAG_B_OUTPUT, 1, 1, kPcm, 0, nullptr, nullptr},
};

// Graphs get these filters only when a player adds them by name.

} // namespace

const FilterClass g_filterClasses[] = {
    {&CLSID_KeloRealMediaSplitter, L"KELO RealMedia Splitter", MERIT_DO_NOT_USE, 3, kSplitterPins,
     CRmSplitter::Create},
    {&CLSID_KeloRealAudioDecoder, L"KELO RealAudio Decoder", MERIT_DO_NOT_USE, 2, kAudioPins,
     CRealAudioDecoder::Create},
    {&CLSID_KeloRealVideoDecoder, L"KELO RealVideo Decoder", MERIT_DO_NOT_USE, 2, kVideoPins,
     CRealVideoDecoder::Create},
};
const int g_filterClassCount = sizeof g_filterClasses / sizeof g_filterClasses[0];
