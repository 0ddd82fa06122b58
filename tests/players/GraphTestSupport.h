#pragma once

#include <windows.h>
#include <dshow.h>

#include <set>
#include <string>

#include "tests/vod/http/FileReaderHost.h"

// Calls a DLL's own DllRegisterServer, as the library does with codec files.
bool RegisterServer(const wchar_t* path);
// A media file made at build time (MEDIA_DIR), as bytes.
std::string Media(const wchar_t* name);
// The names of a graph's filters.
std::set<std::wstring> FilterNames(IGraphBuilder* graph);
// The graph's IBasicAudio volume, 1 when it cannot be read.
long GraphVolume(IGraphBuilder* graph);

// A running engine's reader host over a media file: registered as such for
// its lifetime, so the player calls through the number in its address.
class RunningHost {
public:
    explicit RunningHost(const wchar_t* file);
    ~RunningHost();
    std::wstring Url(const wchar_t* type);
    FileReaderHost host;
};
