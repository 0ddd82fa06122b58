#include "players/hosts/AxControlWindow.h"

#include "platform/axhost/AxHost.h"
#include "platform/axhost/AxWinHostWindow.h"

namespace {

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// The window with the control made in it. Answers the window, null when
// none could be made (or the class id has no text: the window is destroyed
// then); and the hosted control's IUnknown in *control, null when it was
// not made.
HWND CreateAxControlWindow(REFCLSID clsid, DWORD style, const RECT& rect, HWND parent, UINT id,
                           IUnknown** control)
{
    *control = nullptr;
    if (!axhost::AxWinInit())
        return nullptr;
    HWND window = CreateWindowExW(0, axhost::kHostClassName, nullptr, style, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ThisModule(),
                                  nullptr);
    if (!window)
        return nullptr;
    LPOLESTR text = nullptr;
    if (FAILED(StringFromCLSID(clsid, &text))) {
        DestroyWindow(window);
        return nullptr;
    }
    IUnknown* site = nullptr;
    if (SUCCEEDED(axhost::AxGetHost(window, &site))) {
        IAxWinHostWindow* host = nullptr;
        if (SUCCEEDED(site->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&host)))) {
            host->CreateControl(text, window, nullptr);   // whether it worked shows below
            host->Release();
        }
        site->Release();
    }
    CoTaskMemFree(text);
    axhost::AxGetControl(window, control);
    return window;
}

}  // namespace

HWND CreateAdvisedAxControl(REFCLSID clsid, REFIID iid, axhost::CDispEventSink& sink, DWORD style,
                            const RECT& rect, HWND parent, UINT id, void** control)
{
    *control = nullptr;
    IUnknown* unknown = nullptr;
    HWND window = CreateAxControlWindow(clsid, style, rect, parent, id, &unknown);
    if (!window)
        return nullptr;
    if (unknown) {
        IUnknown* wanted = nullptr;
        if (SUCCEEDED(unknown->QueryInterface(iid, reinterpret_cast<void**>(&wanted)))) {
            if (wanted && SUCCEEDED(sink.DispEventAdvise(unknown)))
                *control = wanted;
            else if (wanted)
                wanted->Release();
        }
        unknown->Release();
    }
    if (!*control) {
        DestroyWindow(window);
        return nullptr;
    }
    return window;
}
