// TestVideoRenderer.dll: a video renderer for graph tests that accepts the
// windowless mode Wine's VMR-9 refuses under the null display driver. It
// takes RGB32 pictures, drops them at once, records what the player asks of
// it, and on request refuses every connection, refuses to leave its graph or
// reports no picture size.
#include <windows.h>
#include <d3d9.h>
#include <dshow.h>
#include <vmr9.h>

#include "platform/dshow/Filter.h"
#include "platform/dshow/FilterServer.h"
#include "platform/dshow/Pin.h"
#include "tests/players/renderer/TestRendererClsid.h"

namespace {

struct Knobs {
    volatile LONG refuse = 0;
    volatile LONG zeroSize = 0;
    volatile LONG keepInGraph = 0;
    volatile LONG refusedRemovals = 0;
    volatile LONG frames = 0;
    HWND clippingWindow = nullptr;
    DWORD aspectMode = 0;
    int positions = 0;           // SetVideoPosition calls
    bool hadSource = false;      // the last one gave a source rectangle
    RECT source = {}, target = {};
} g_knobs;

class CTestRenderer : public CFilter, public IVMRFilterConfig9, public IVMRWindowlessControl9,
                      public IAMFilterMiscFlags {
public:
    CTestRenderer() : CFilter(CLSID_TestVideoRenderer), m_input(this) {}
    static IBaseFilter* Create() { return new CTestRenderer; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return CFilter::QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return CFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CFilter::Release(); }

    // Leaving the graph (joining none) is refused while asked to.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override
    {
        if (!graph && g_knobs.keepInGraph) {
            InterlockedIncrement(&g_knobs.refusedRemovals);
            return E_FAIL;
        }
        return CFilter::JoinFilterGraph(graph, name);
    }

    // IVMRFilterConfig9: only the windowless mode is taken.
    STDMETHODIMP SetImageCompositor(IVMRImageCompositor9*) override { return E_NOTIMPL; }
    STDMETHODIMP SetNumberOfStreams(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetNumberOfStreams(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetRenderingPrefs(DWORD) override { return S_OK; }
    STDMETHODIMP GetRenderingPrefs(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetRenderingMode(DWORD mode) override
    {
        return mode == VMR9Mode_Windowless ? S_OK : E_FAIL;
    }
    STDMETHODIMP GetRenderingMode(DWORD* mode) override
    {
        *mode = VMR9Mode_Windowless;
        return S_OK;
    }

    // IVMRWindowlessControl9.
    STDMETHODIMP GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) override
    {
        const AM_MEDIA_TYPE& type = m_input.MediaType();
        LONG w = 0, h = 0;
        if (!g_knobs.zeroSize && m_input.IsConnected() && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
            w = info->bmiHeader.biWidth;
            h = std::abs(info->bmiHeader.biHeight);
        }
        if (width)
            *width = w;
        if (height)
            *height = h;
        if (arWidth)
            *arWidth = w;
        if (arHeight)
            *arHeight = h;
        return S_OK;
    }
    STDMETHODIMP GetMinIdealVideoSize(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMaxIdealVideoSize(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetVideoPosition(const RECT* source, const RECT* target) override
    {
        ++g_knobs.positions;
        g_knobs.hadSource = source != nullptr;
        g_knobs.source = source ? *source : RECT{};
        g_knobs.target = target ? *target : RECT{};
        return S_OK;
    }
    STDMETHODIMP GetVideoPosition(RECT* source, RECT* target) override
    {
        *source = g_knobs.source;
        *target = g_knobs.target;
        return S_OK;
    }
    STDMETHODIMP GetAspectRatioMode(DWORD* mode) override
    {
        *mode = g_knobs.aspectMode;
        return S_OK;
    }
    STDMETHODIMP SetAspectRatioMode(DWORD mode) override
    {
        g_knobs.aspectMode = mode;
        return S_OK;
    }
    STDMETHODIMP SetVideoClippingWindow(HWND window) override
    {
        g_knobs.clippingWindow = window;
        return S_OK;
    }
    STDMETHODIMP RepaintVideo(HWND, HDC) override { return S_OK; }
    STDMETHODIMP DisplayModeChanged() override { return S_OK; }
    STDMETHODIMP GetCurrentImage(BYTE**) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderColor(COLORREF) override { return S_OK; }
    STDMETHODIMP GetBorderColor(COLORREF*) override { return E_NOTIMPL; }

    // IAMFilterMiscFlags: the graph waits for this filter's end of stream.
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

protected:
    HRESULT QueryOther(REFIID iid, void** object) override
    {
        if (iid == IID_IVMRFilterConfig9)
            *object = static_cast<IVMRFilterConfig9*>(this);
        else if (iid == IID_IVMRWindowlessControl9)
            *object = static_cast<IVMRWindowlessControl9*>(this);
        else if (iid == IID_IAMFilterMiscFlags)
            *object = static_cast<IAMFilterMiscFlags*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::vector<CPin*> PinList() override { return {&m_input}; }

private:
    class Input : public CInputPin {
    public:
        explicit Input(CTestRenderer* owner) : CInputPin(owner, L"VMR Input0"), m_owner(owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override
        {
            return !g_knobs.refuse && IsEqualGUID(type->majortype, MEDIATYPE_Video) &&
                           IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32) &&
                           IsEqualGUID(type->formattype, FORMAT_VideoInfo)
                       ? S_OK
                       : S_FALSE;
        }

    protected:
        HRESULT OnReceive(IMediaSample*) override
        {
            InterlockedIncrement(&g_knobs.frames);
            return S_OK;
        }
        HRESULT OnEndOfStream() override
        {
            m_owner->NotifyEvent(EC_COMPLETE, S_OK,
                                 reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_owner)));
            return S_OK;
        }

    private:
        CTestRenderer* m_owner;
    };

    Input m_input;
};

const REGPINTYPES kRgb32[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGFILTERPINS2 kPins[] = {{REG_PINFLAG_B_RENDERER, 1, 1, kRgb32, 0, nullptr, nullptr}};

} // namespace

const FilterClass g_filterClasses[] = {
    {&CLSID_TestVideoRenderer, L"Test Video Renderer", MERIT_DO_NOT_USE, 1, kPins,
     CTestRenderer::Create},
};
const int g_filterClassCount = sizeof g_filterClasses / sizeof g_filterClasses[0];

// The knobs and records, for the test in the same process.
extern "C" void __stdcall TestRendererSetRefuse(int refuse)
{
    g_knobs.refuse = refuse;
}

extern "C" void __stdcall TestRendererSetZeroSize(int zero)
{
    g_knobs.zeroSize = zero;
}

extern "C" void __stdcall TestRendererSetKeepInGraph(int keep)
{
    g_knobs.keepInGraph = keep;
    g_knobs.refusedRemovals = 0;
}

extern "C" LONG __stdcall TestRendererRefusedRemovals()
{
    return g_knobs.refusedRemovals;
}

extern "C" void __stdcall TestRendererState(HWND* clippingWindow, DWORD* aspectMode,
                                            int* positions, int* hadSource, RECT* target,
                                            LONG* frames)
{
    *clippingWindow = g_knobs.clippingWindow;
    *aspectMode = g_knobs.aspectMode;
    *positions = g_knobs.positions;
    *hadSource = g_knobs.hadSource;
    *target = g_knobs.target;
    *frames = g_knobs.frames;
}
