#include "tests/players/GraphTestSupport.h"

#include "tests/players/PlayerTestSupport.h"
#include "vod/reader/PlayUrl.h"
#include "vod/reader/ReaderHostRegistry.h"

bool RegisterServer(const wchar_t* path)
{
    HMODULE module = LoadLibraryW(path);
    if (!module)
        return false;
    typedef HRESULT(STDAPICALLTYPE * Entry)();
    auto entry = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    bool ok = entry && SUCCEEDED(entry());
    FreeLibrary(module);
    return ok;
}

std::string Media(const wchar_t* name)
{
    std::string bytes;
    FileReaderHost::LoadFile(std::wstring(MEDIA_DIR) + L"/" + name, &bytes);
    return bytes;
}

std::set<std::wstring> FilterNames(IGraphBuilder* graph)
{
    std::set<std::wstring> names;
    IEnumFilters* filters = nullptr;
    if (!graph || FAILED(graph->EnumFilters(&filters)))
        return names;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        FILTER_INFO info = {};
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            names.insert(info.achName);
            if (info.pGraph)
                info.pGraph->Release();
        }
        filter->Release();
    }
    filters->Release();
    return names;
}

long GraphVolume(IGraphBuilder* graph)
{
    IBasicAudio* audio = nullptr;
    long volume = 1;
    if (SUCCEEDED(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)))) {
        audio->get_Volume(&volume);
        audio->Release();
    }
    return volume;
}

RunningHost::RunningHost(const wchar_t* file) : host(Media(file))
{
    inf::RegisterReaderHost(&host);
}

RunningHost::~RunningHost()
{
    inf::UnregisterReaderHost(&host);
}

std::wstring RunningHost::Url(const wchar_t* type)
{
    return vod::FormatPlayUrl(type, static_cast<inf::IReaderHost*>(&host), 0);
}
