#include "players/DShowPlayer.h"

#include <d3d9.h>
#include <dmodshow.h>
#include <dmoreg.h>
#include <shlobj.h>
#include <vmr9.h>
#include <wmcodecdsp.h>
// mingw-w64 ships no import library with the Windows Media reader's IIDs.
#include <initguid.h>
#include <wmsdkidl.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/dshow/FilterClsids.h"
#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "vod/reader/PlayUrl.h"
#include "vod/reader/ReaderHostRegistry.h"

namespace {

CLSID g_videoRenderer = CLSID_VideoMixingRenderer9;

const long kSilence = -10000;

template <class T>
void Release(T*& pointer)
{
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
}

// Creates a filter in-process and adds it to the graph under `name`.
HRESULT AddFilter(IGraphBuilder* graph, const CLSID& clsid, const wchar_t* name,
                  IBaseFilter** added = nullptr)
{
    IBaseFilter* filter = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&filter));
    if (FAILED(hr))
        return hr;
    hr = graph->AddFilter(filter, name);
    if (SUCCEEDED(hr) && added)
        *added = filter;
    else
        filter->Release();
    return hr;
}

void AddDmoDecoder(IGraphBuilder* graph, const CLSID& dmo, const GUID& category,
                   const wchar_t* name)
{
    IBaseFilter* wrapper = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DMOWrapperFilter, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IBaseFilter, reinterpret_cast<void**>(&wrapper))))
        return;
    IDMOWrapperFilter* init = nullptr;
    if (SUCCEEDED(wrapper->QueryInterface(IID_IDMOWrapperFilter, reinterpret_cast<void**>(&init)))) {
        if (SUCCEEDED(init->Init(dmo, category)))
            graph->AddFilter(wrapper, name);
        init->Release();
    }
    wrapper->Release();
}

void AddDmoDecoders(IGraphBuilder* graph)
{
    AddDmoDecoder(graph, CLSID_CWMVDecMediaObject, DMOCATEGORY_VIDEO_DECODER, L"WMVideo Decoder");
    AddDmoDecoder(graph, CLSID_CWMADecMediaObject, DMOCATEGORY_AUDIO_DECODER, L"WMAudio Decoder");
}

// The text from the address's last dot to its end; the whole address without one.
std::wstring LastDotExtension(const wchar_t* address)
{
    const wchar_t* dot = std::wcsrchr(address, L'.');
    return dot ? dot : address;
}

bool HasConnectedPin(IBaseFilter* filter)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)))
        return false;
    bool connected = false;
    IPin* pin = nullptr;
    while (!connected && pins->Next(1, &pin, nullptr) == S_OK) {
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->ConnectedTo(&peer)) && peer) {
            connected = true;
            peer->Release();
        }
        pin->Release();
    }
    pins->Release();
    return connected;
}

size_t CountFilters(IGraphBuilder* graph)
{
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters)))
        return 0;
    size_t count = 0;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK) {
        ++count;
        filter->Release();
    }
    filters->Release();
    return count;
}

// A "zaror://" address names a reader host by its address in this process:
// only a running engine's host may be called through it.
bool NamesRunningReaderHost(const wchar_t* address)
{
    const wchar_t* scheme = std::wcsstr(address, L"zaror://");
    std::uintptr_t number = 0;
    std::wstring path;
    return scheme && vod::ParseReaderHostUrl(scheme, &number, &path) &&
           inf::FindReaderHost(number) != nullptr;
}

} // namespace

void CDShowPlayer::UseVideoRenderer(const CLSID& clsid)
{
    g_videoRenderer = clsid;
}

CDShowPlayer::CDShowPlayer(CPlayerSelector* selector) : m_selector(selector) {}

CDShowPlayer::~CDShowPlayer()
{
    Close();
}

int CDShowPlayer::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    if (style == 0)
        style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (!CWindowBase::Create(parent, rect, L"", style, 0, id))
        return 0;
    m_restoreParent = parent;
    m_destroying = 0;
    return 1;
}

void CDShowPlayer::Destroy()
{
    m_destroying = 1;
    Close();
    DestroyWindow();
}

void CDShowPlayer::Notify(UINT message, WPARAM wParam, LPARAM lParam, bool send)
{
    if (m_selector)
        m_selector->NotifyOwner(PLAYER_DSHOW, message, wParam, lParam, send);
}

HRESULT CDShowPlayer::CreateGraph()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, reinterpret_cast<void**>(&m_graph));
    if (SUCCEEDED(hr))
        return hr;
    // The DirectShow runtime's registration may be damaged: repair it once.
    wchar_t path[MAX_PATH + 16] = {};
    if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_SYSTEM, FALSE)) {
        wcscat(path, L"\\quartz.dll");
        if (HMODULE quartz = LoadLibraryW(path)) {
            typedef HRESULT(STDAPICALLTYPE * RegisterServer)();
            auto reg = reinterpret_cast<RegisterServer>(
                reinterpret_cast<void*>(GetProcAddress(quartz, "DllRegisterServer")));
            if (reg)
                reg();
            FreeLibrary(quartz);
        }
    }
    return CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                            reinterpret_cast<void**>(&m_graph));
}

HRESULT CDShowPlayer::Open(const wchar_t* address)
{
    Close();
    if (!address)
        return E_POINTER;
    if (std::wcsstr(address, L"zaror://") && !NamesRunningReaderHost(address))
        return E_FAIL;
    HRESULT hr = CreateGraph();
    if (FAILED(hr))
        return hr;
    if (FAILED(m_graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control))) ||
        FAILED(m_graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_events))) ||
        FAILED(m_graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&m_videoWindow))) ||
        FAILED(m_graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&m_audio))) ||
        FAILED(m_graph->QueryInterface(IID_IBasicVideo, reinterpret_cast<void**>(&m_basicVideo))) ||
        FAILED(m_graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_seeking))))
        return E_NOINTERFACE;
    HRESULT built = BuildGraph(address);
    // A windowless renderer that nothing was connected to has left the graph
    // (or refused to leave it): let it go and use the graph's video window,
    // as without one.
    if (m_windowless && (!m_videoRenderer || !HasConnectedPin(m_videoRenderer)))
        Release(m_windowless);
    Release(m_videoRenderer);
    if (FAILED(built))
        return built;
    if (m_windowless) {
        Release(m_videoWindow);
        Release(m_basicVideo);
    } else {
        m_videoWindow->put_Owner(reinterpret_cast<OAHWND>(Handle()));
        m_videoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        m_videoWindow->put_MessageDrain(reinterpret_cast<OAHWND>(Handle()));
    }
    UpdateVideoRect();
    m_events->SetNotifyWindow(reinterpret_cast<OAHWND>(Handle()), WM_DSHOW_GRAPHNOTIFY, 0);
    return built;
}

HRESULT CDShowPlayer::AddSourceFilters(const wchar_t* address, IBaseFilter** source)
{
    if (std::wcsstr(address, L"zaror://")) {
        HRESULT hr = AddFilter(m_graph, CLSID_VuzizAvezid, L"VUZizAvezid", source);
        if (FAILED(hr))
            return hr;
        std::wstring extension = LastDotExtension(address);
        if (extension == L".rm") {
            AddFilter(m_graph, CLSID_KeloRealMediaSplitter, L"KELO RealMedia Splitter");
            AddFilter(m_graph, CLSID_KeloRealAudioDecoder, L"KELO RealAudio Decoder");
            AddFilter(m_graph, CLSID_KeloRealVideoDecoder, L"KELO RealVideo Decoder");
        } else if (extension == L".wmv") {
            AddFilter(m_graph, CLSID_GdclWmvParser, L"GDCL WMV/WMA Parser");
            AddDmoDecoders(m_graph);
        }
        return S_OK;
    }
    if (std::wcsstr(address, L"http://") || std::wcsstr(address, L"mms://")) {
        HRESULT hr = AddFilter(m_graph, CLSID_WMAsfReader, L"WMAsfReader", source);
        if (FAILED(hr))
            return hr;
        IWMReaderAdvanced* advanced = nullptr;
        if (SUCCEEDED((*source)->QueryInterface(IID_IWMReaderAdvanced,
                                                reinterpret_cast<void**>(&advanced)))) {
            IWMReaderNetworkConfig* network = nullptr;
            if (SUCCEEDED(advanced->QueryInterface(IID_IWMReaderNetworkConfig,
                                                   reinterpret_cast<void**>(&network)))) {
                network->SetBufferingTime(10000000);   // one second
                network->Release();
            }
            advanced->Release();
        }
        AddDmoDecoders(m_graph);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CDShowPlayer::AddRenderers()
{
    AddFilter(m_graph, CLSID_DSoundRender, L"DirectSound");
    if (FAILED(AddFilter(m_graph, g_videoRenderer, L"VideoRender", &m_videoRenderer)))
        return S_OK;
    IVMRFilterConfig9* config = nullptr;
    if (SUCCEEDED(m_videoRenderer->QueryInterface(IID_IVMRFilterConfig9,
                                                  reinterpret_cast<void**>(&config)))) {
        if (SUCCEEDED(config->SetRenderingMode(VMR9Mode_Windowless)) &&
            SUCCEEDED(m_videoRenderer->QueryInterface(IID_IVMRWindowlessControl9,
                                                      reinterpret_cast<void**>(&m_windowless)))) {
            m_windowless->SetVideoClippingWindow(Handle());
            m_windowless->SetAspectRatioMode(VMR9ARMode_LetterBox);
        }
        config->Release();
    }
    return S_OK;
}

HRESULT CDShowPlayer::BuildGraph(const wchar_t* address)
{
    IBaseFilter* source = nullptr;
    HRESULT hr = AddSourceFilters(address, &source);
    if (FAILED(hr))
        return hr;
    IFileSourceFilter* file = nullptr;
    hr = source->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&file));
    if (FAILED(hr)) {
        source->Release();
        return E_FAIL;
    }
    hr = file->Load(address, nullptr);
    file->Release();
    if (SUCCEEDED(hr)) {
        AddRenderers();
        hr = RenderOutputPins(source);
        if (hr >= 0)
            RemoveUnconnectedFilters();
    }
    source->Release();
    return hr;
}

HRESULT CDShowPlayer::RenderOutputPins(IBaseFilter* source)
{
    IEnumPins* pins = nullptr;
    HRESULT hr = source->EnumPins(&pins);
    if (FAILED(hr))
        return hr;
    HRESULT all = S_OK;
    bool partial = false, succeeded = false, failed = false;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) {
            HRESULT rendered = m_graph->Render(pin);
            all |= rendered;
            partial |= rendered == VFW_S_PARTIAL_RENDER;
            (FAILED(rendered) ? failed : succeeded) = true;
        }
        pin->Release();
    }
    pins->Release();
    // A source that offers nothing has rendered nothing: no success with an
    // empty graph.
    if (!succeeded && !failed)
        return VFW_E_CANNOT_RENDER;
    if (partial || (succeeded && failed))
        return S_FALSE;
    return all;
}

// Removing a filter invalidates the enumeration, so each pass removes one
// filter and starts again. A filter that refuses to leave stays where it is
// and is not asked again; and since every pass settles one filter, there are
// never more passes than the graph had filters (a graph that reports a
// removal it did not make cannot keep this going).
void CDShowPlayer::RemoveUnconnectedFilters()
{
    std::vector<IBaseFilter*> refused;   // compared only, never called
    const size_t passes = CountFilters(m_graph) + 1;
    for (size_t pass = 0; pass < passes; ++pass) {
        IEnumFilters* filters = nullptr;
        if (FAILED(m_graph->EnumFilters(&filters)))
            return;
        IBaseFilter* found = nullptr;
        IBaseFilter* filter = nullptr;
        while (!found && filters->Next(1, &filter, nullptr) == S_OK) {
            if (!HasConnectedPin(filter) &&
                std::find(refused.begin(), refused.end(), filter) == refused.end())
                found = filter;
            else
                filter->Release();
        }
        filters->Release();
        if (!found)
            return;
        if (FAILED(m_graph->RemoveFilter(found)))
            refused.push_back(found);
        found->Release();
    }
}

HRESULT CDShowPlayer::Play()
{
    if (!m_control)
        return E_UNEXPECTED;
    HRESULT hr = m_control->Run();
    if (SUCCEEDED(hr))
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_PLAYING, 0, false);
    return hr;
}

HRESULT CDShowPlayer::Pause()
{
    if (!m_control)
        return E_UNEXPECTED;
    HRESULT hr = m_control->Pause();
    if (SUCCEEDED(hr))
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_PAUSED, 0, false);
    return hr;
}

HRESULT CDShowPlayer::Stop()
{
    if (!m_control)
        return E_UNEXPECTED;
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    if (SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
        SetFullScreen(0);
    HRESULT hr = m_control->Stop();
    if (SUCCEEDED(hr))
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, 0, false);
    return hr;
}

HRESULT CDShowPlayer::Close()
{
    if (!m_graph)
        return S_OK;
    if (m_control)
        Stop();
    if (m_windowless) {
        m_windowless->SetVideoClippingWindow(nullptr);
    } else if (m_videoWindow) {
        m_videoWindow->put_Visible(OAFALSE);
        m_videoWindow->put_MessageDrain(0);
    }
    if (m_events)
        m_events->SetNotifyWindow(0, 0, 0);
    Release(m_windowless);
    Release(m_videoRenderer);
    Release(m_audio);
    Release(m_seeking);
    Release(m_basicVideo);
    Release(m_videoWindow);
    Release(m_control);
    Release(m_events);
    Release(m_graph);
    return S_OK;
}

HRESULT CDShowPlayer::ApplyVolume(long volume)
{
    return m_audio->put_Volume(volume);
}

HRESULT CDShowPlayer::SetVolume(int volume)
{
    if (!m_audio)
        return E_UNEXPECTED;
    long level = volume <= 0 ? kSilence : volume * 30L - 3000;
    HRESULT hr = ApplyVolume(level);
    if (SUCCEEDED(hr))
        m_savedVolume = level;
    return hr;
}

HRESULT CDShowPlayer::SetMute(int mute)
{
    if (!m_audio)
        return E_UNEXPECTED;
    HRESULT hr;
    if (mute) {
        long current = 0;
        if (SUCCEEDED(m_audio->get_Volume(&current)))
            m_savedVolume = current;
        hr = ApplyVolume(kSilence);
    } else {
        hr = ApplyVolume(m_savedVolume);
    }
    if (SUCCEEDED(hr))
        m_muted = mute ? 1 : 0;
    return hr;
}

HRESULT CDShowPlayer::GetFullScreen(VARIANT_BOOL* fullScreen)
{
    if (m_windowless) {
        *fullScreen = m_fullScreen ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    if (!m_videoWindow)
        return E_UNEXPECTED;
    long mode = OAFALSE;
    HRESULT hr = m_videoWindow->get_FullScreenMode(&mode);
    *fullScreen = mode == OATRUE ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT CDShowPlayer::SetFullScreen(int fullScreen)
{
    HWND hwnd = Handle();
    if (m_windowless) {
        if ((fullScreen != 0) == (m_fullScreen != 0))
            return S_OK;
        const UINT flags = SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE;
        if (!fullScreen) {
            m_fullScreen = 0;
            SetParent(hwnd, m_restoreParent);
            SetWindowLongPtrW(hwnd, GWL_STYLE, (GetWindowLongPtrW(hwnd, GWL_STYLE) & ~WS_POPUP) | WS_CHILD);
            SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & ~WS_EX_TOPMOST);
            SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, flags);
            ShowWindow(hwnd, SW_RESTORE);
            SetActiveWindow(m_restoreParent);
            SetFocus(m_restoreParent);
            return S_OK;
        }
        SetParent(hwnd, GetDesktopWindow());
        SetWindowLongPtrW(hwnd, GWL_STYLE,
                          (GetWindowLongPtrW(hwnd, GWL_STYLE) & ~WS_CHILD) | WS_POPUP |
                              WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
        SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_TOPMOST);
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, flags);
        ShowWindow(hwnd, SW_SHOWMAXIMIZED);
        SetActiveWindow(hwnd);
        SetFocus(hwnd);
        // Set only now, so the activation of entering does not bring it back.
        m_fullScreen = 1;
    } else {
        if (!m_videoWindow)
            return E_UNEXPECTED;
        HRESULT hr = m_videoWindow->put_FullScreenMode(fullScreen ? OATRUE : OAFALSE);
        if (FAILED(hr) || !fullScreen)
            return hr;
    }
    SetTimer(hwnd, TIMER_DSHOW_CURSOR, kCursorHideMs, nullptr);
    return S_OK;
}

HRESULT CDShowPlayer::GetVideoSize(int* width, int* height)
{
    if (m_windowless) {
        LONG w = 0, h = 0;
        HRESULT hr = m_windowless->GetNativeVideoSize(&w, &h, nullptr, nullptr);
        *width = w;
        *height = h;
        return hr;
    }
    if (!m_basicVideo)
        return E_UNEXPECTED;
    long w = 0, h = 0;
    m_basicVideo->get_VideoWidth(&w);
    HRESULT hr = m_basicVideo->get_VideoHeight(&h);
    *width = w;
    *height = h;
    return hr;
}

void CDShowPlayer::UpdateVideoRect()
{
    RECT client = {};
    GetClientRect(Handle(), &client);
    if (m_windowless) {
        LONG w = 0, h = 0;
        m_windowless->GetNativeVideoSize(&w, &h, nullptr, nullptr);
        RECT source = {0, 0, w, h};
        // Without a native size yet, the renderer takes the whole picture.
        m_windowless->SetVideoPosition(w > 0 && h > 0 ? &source : nullptr, &client);
        return;
    }
    if (!m_videoWindow)
        return;
    long w = 0, h = 0;
    long left = 0, top = 0, width = client.right, height = client.bottom;
    // A zero size would make the ratio meaningless: the whole client area then.
    if (m_basicVideo && SUCCEEDED(m_basicVideo->GetVideoSize(&w, &h)) && w > 0 && h > 0) {
        double ratio = static_cast<double>(w) / h;
        width = client.right;
        height = static_cast<long>(width / ratio);
        if (height > client.bottom) {
            height = client.bottom;
            width = static_cast<long>(ratio * height);
        }
        left = (client.right - width) / 2;
        top = (client.bottom - height) / 2;
    }
    m_videoWindow->SetWindowPosition(left, top, width, height);
}

// The owner answers a sent state at once, and may close the player then
// (or close it and open another address): the interface drained here is held
// for the whole drain, and once the player no longer has it the drain ends
// without another word about that graph.
void CDShowPlayer::OnGraphEvent()
{
    IMediaEventEx* events = m_events;
    if (!events)
        return;
    events->AddRef();
    long code = 0;
    LONG_PTR first = 0, second = 0;
    bool complete = false;
    while (m_events == events && SUCCEEDED(events->GetEvent(&code, &first, &second, 0))) {
        const bool buffering = code == EC_BUFFERING_DATA;
        const bool nowBuffering = first != 0;
        complete = complete || code == EC_COMPLETE;
        events->FreeEventParams(code, first, second);
        if (buffering)
            Notify(WM_PLAYER_PLAYSTATE, nowBuffering ? PLAYSTATE_BUFFERING : PLAYSTATE_PLAYING, 0, true);
    }
    const bool stillOpen = m_events == events;
    events->Release();
    if (complete && stillOpen)
        Notify(WM_PLAYER_PLAYSTATE, PLAYSTATE_STOPPED, 0, true);
}

int CDShowPlayer::PollActivity(int* cursorMoved)
{
    if (!m_videoWindow && !m_windowless)
        return 0;
    *cursorMoved = 0;
    int result = 0;
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    if (SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen != m_lastFullScreen) {
        m_lastFullScreen = fullScreen;
        result = 1;
    }
    POINT cursor;
    if (GetCursorPos(&cursor) && (cursor.x != m_lastCursor.x || cursor.y != m_lastCursor.y)) {
        m_lastCursor = cursor;
        *cursorMoved = 1;
    }
    return result;
}

bool CDShowPlayer::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    VARIANT_BOOL fullScreen = VARIANT_FALSE;
    result = 0;
    switch (message) {
    case WM_DSHOW_GRAPHNOTIFY:
        OnGraphEvent();
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        if (m_windowless) {
            HDC dc = GetDC(hwnd);
            m_windowless->RepaintVideo(hwnd, dc);
            ReleaseDC(hwnd, dc);
        }
        EndPaint(hwnd, &paint);
        return true;
    }
    case WM_LBUTTONDBLCLK:
        GetFullScreen(&fullScreen);
        SetFullScreen(!fullScreen);
        return true;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE && SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
            SetFullScreen(0);
        return true;
    case WM_SYSKEYDOWN:
        if (SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen) {
            SetFullScreen(0);
            return true;
        }
        return false;
    case WM_ACTIVATE:
        if (HIWORD(wParam) == 0 && SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
            SetFullScreen(0);
        return false;
    case WM_RBUTTONDOWN:
        Notify(WM_PLAYER_MOUSEDOWN, wParam, lParam, true);
        return true;
    case WM_MOUSEMOVE:
        if (m_videoWindow || m_windowless) {
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            if (SUCCEEDED(GetFullScreen(&fullScreen)) && fullScreen)
                SetTimer(hwnd, TIMER_DSHOW_CURSOR, kCursorHideMs, nullptr);
        }
        Notify(WM_PLAYER_MOUSEMOVE, wParam, 0, true);
        return true;
    case WM_SIZE:
        UpdateVideoRect();
        return true;
    case WM_DISPLAYCHANGE:
        if (m_windowless)
            m_windowless->DisplayModeChanged();
        return true;
    case WM_TIMER:
        if (wParam != TIMER_DSHOW_CURSOR)
            return false;
        KillTimer(hwnd, TIMER_DSHOW_CURSOR);
        SetCursor(nullptr);
        return true;
    case WM_CLOSE:
        return !m_destroying;
    default:
        return false;
    }
}
