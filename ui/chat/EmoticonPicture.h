#pragma once

#include <windows.h>
#include <oaidl.h>

// The emoticon picture object: an embeddable OLE object that shows one
// animated GIF in a rich edit. Created by its class id; after the IDispatch
// slots its interface has the four calls below.
extern const CLSID CLSID_EmoticonPicture;
extern const IID IID_IEmoticonPicture;

struct IEmoticonPicture : public IDispatch {
    // Slot 7: the GIF bytes in a movable global block; a negative result
    // means they did not load.
    virtual HRESULT STDMETHODCALLTYPE LoadFromGlobal(HGLOBAL* block, LONG size) = 0;
    // Slot 8: the rich edit the object is shown in.
    virtual HRESULT STDMETHODCALLTYPE SetHostWindow(HWND* window) = 0;
    // Slot 9: VARIANT_TRUE when a new frame is waiting to be drawn.
    virtual HRESULT STDMETHODCALLTYPE HasNewFrame(VARIANT_BOOL* redraw) = 0;
    // Slot 10: the new frame was redrawn (argument 0).
    virtual HRESULT STDMETHODCALLTYPE FrameDrawn(LONG reserved) = 0;
};
