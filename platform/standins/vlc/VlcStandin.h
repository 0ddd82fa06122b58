#pragma once
#include "platform/standins/StandinControl.h"
#include "platform/standins/StreamPlayback.h"

namespace standins {

class CVlcStandin;

// One of the VLC control's automation objects: IVLCControl2 itself, or its
// playlist, input, video or audio object. They live inside the control and
// count their references there.
class CVlcPart : public IDispatch {
public:
    enum Kind { CONTROL2, PLAYLIST, INPUT, VIDEO, AUDIO };
    CVlcPart(CVlcStandin* owner, Kind kind) : owner_(owner), kind_(kind) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

private:
    CVlcStandin* owner_;
    Kind kind_;
};

// The VLC control as the VLC host uses it: IVLCControl by name, IVLCControl2
// with its playlist, input, video and audio objects, no events the host
// handles, and a "VLC DirectX video" window as the first child of the
// control's window. A double click there toggles full screen, as the real
// control does, but only while there is a picture. It reads an MPEG
// transport stream over HTTP and plays it on a clock; nothing is decoded.
// TOVRA_STANDIN_NO_VLCCONTROL2 hides IVLCControl2.
class CVlcStandin : public CStandinControl {
public:
    static const wchar_t kName[];
    CVlcStandin();
    ~CVlcStandin() override;

    // A call on one of the parts, logged as "VLC.<part>.<member>".
    HRESULT PartCall(CVlcPart::Kind kind, DISPID id, WORD flags, const CallArgs& args,
                     VARIANT* result);
    // The id of a part's member; DISPID_UNKNOWN for none.
    static DISPID PartMember(CVlcPart::Kind kind, const wchar_t* name);

protected:
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) override;
    void* QueryExtra(REFIID iid) override;
    LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HWND CreateControlWindow(HWND parent, const RECT& position) override;

private:
    static LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HRESULT PlaylistCall(DISPID id, const CallArgs& args, VARIANT* result);
    HRESULT PlayItem(long item);
    void Play();
    void Stop();
    bool IsPlaying() const;
    int InputState() const;
    HRESULT Part(CVlcPart::Kind kind, VARIANT* result);

    CVlcPart control2_{this, CVlcPart::CONTROL2};
    CVlcPart playlist_{this, CVlcPart::PLAYLIST};
    CVlcPart input_{this, CVlcPart::INPUT};
    CVlcPart video_{this, CVlcPart::VIDEO};
    CVlcPart audio_{this, CVlcPart::AUDIO};
    StreamPlayback playback_;
    std::vector<std::wstring> items_;
    long current_ = -1;
    HWND picture_ = nullptr;   // the "VLC DirectX video" child
    bool fullScreen_ = false;
    bool mute_ = false;
    long volume_ = 50;
    bool autoPlay_ = true;
    bool autoLoop_ = false;
    bool visible_ = false;
    long startTime_ = -1;
};

}  // namespace standins
