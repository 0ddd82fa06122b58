#pragma once

#include <windows.h>

#include "platform/axhost/DispEventSink.h"
#include "players/hosts/AxControlWindow.h"

// What the ActiveX player hosts share: the "AtlAxWin71" window, the
// control's interface the host calls, and the event sink advised to the
// control. From a successful Create to Destroy (or the host's end) the host
// owns all three, and they go in one order: the sink is unadvised before
// the control is released, and the control released before its window is
// destroyed.
template <class Control>
class CAdvisedAxHost : public axhost::CDispEventSink {
public:
    HWND Handle() const { return m_hwnd; }

    // OnDestroy, then the control unadvised and released and the window
    // destroyed. 1 when the window was destroyed; 0 without a control, and
    // nothing is done then.
    int Destroy()
    {
        if (!m_control)
            return 0;
        OnDestroy();
        ReleaseControl();
        const BOOL destroyed = DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        return destroyed ? 1 : 0;
    }

protected:
    CAdvisedAxHost(const axhost::EventEntry* map, size_t count, REFIID events)
        : axhost::CDispEventSink(map, count, events)
    {
    }
    // Leaves the window to its parent. When this runs a host's OnDestroy is
    // gone already, so a host with one calls it from its own destructor.
    ~CAdvisedAxHost() override { ReleaseControl(); }

    // The window with the control of `clsid` in it, the control's `iid` in
    // m_control and the sink advised. 1 or 0; 0 also when a control exists
    // already, and nothing is made then.
    int CreateControl(REFCLSID clsid, REFIID iid, DWORD style, const RECT& rect, HWND parent,
                      UINT id)
    {
        if (m_control)
            return 0;
        m_hwnd = CreateAdvisedAxControl(clsid, iid, *this, style, rect, parent, id,
                                        reinterpret_cast<void**>(&m_control));
        return m_hwnd ? 1 : 0;
    }

    // The control's own window, through IOleWindow; null without one.
    HWND ControlWindow() const
    {
        HWND window = nullptr;
        IOleWindow* oleWindow = nullptr;
        if (m_control && SUCCEEDED(m_control->QueryInterface(
                             IID_IOleWindow, reinterpret_cast<void**>(&oleWindow)))) {
            oleWindow->GetWindow(&window);
            oleWindow->Release();
        }
        return window;
    }

    // What the host holds beside the control and the window (hooks, further
    // interfaces of the control): given up while the control still lives.
    virtual void OnDestroy() {}

    HWND m_hwnd = nullptr;
    Control* m_control = nullptr;   // owned

private:
    void ReleaseControl()
    {
        DispEventUnadvise();   // S_FALSE when not advised
        if (m_control) {
            m_control->Release();
            m_control = nullptr;
        }
    }
};
