#include "ui/chat/InsertEmoticon.h"

#include <cstring>

#include "platform/window/WindowBase.h"
#include "ui/chat/EmoticonPicture.h"

namespace {

template <class T>
void ReleaseOnce(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// The GIF resource copied into a movable block the picture object reads.
HGLOBAL LoadGif(UINT gif, LONG& size)
{
    const HMODULE module = CWindowBase::ModuleInstance();
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(gif), L"GIF");
    if (!found)
        return nullptr;
    size = static_cast<LONG>(SizeofResource(module, found));
    const void* bytes = LockResource(LoadResource(module, found));
    if (!bytes || size <= 0)
        return nullptr;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size);
    if (!block)
        return nullptr;
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

}  // namespace

bool InsertEmoticon(HWND edit, IRichEditOle* ole, UINT gif, UINT codeId)
{
    if (!ole)
        return false;
    ILockBytes* lockBytes = nullptr;
    IStorage* storage = nullptr;
    IOleClientSite* site = nullptr;
    IEmoticonPicture* picture = nullptr;
    IOleObject* object = nullptr;
    bool inserted = false;
    if (SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, TRUE, &lockBytes)) &&
        SUCCEEDED(StgCreateDocfileOnILockBytes(
            lockBytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, &storage)) &&
        SUCCEEDED(ole->GetClientSite(&site)) &&
        SUCCEEDED(CoCreateInstance(CLSID_EmoticonPicture, nullptr, CLSCTX_ALL,
                                   IID_IEmoticonPicture, reinterpret_cast<void**>(&picture)))) {
        LONG size = 0;
        HGLOBAL block = LoadGif(gif, size);
        HRESULT loaded = E_FAIL;
        if (block) {
            picture->SetHostWindow(&edit);
            loaded = picture->LoadFromGlobal(&block, size);
            GlobalFree(block);
        }
        if (SUCCEEDED(loaded) &&
            SUCCEEDED(picture->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) {
            object->SetClientSite(site);
            OleSetContainedObject(object, TRUE);
            REOBJECT reo = {};
            reo.cbStruct = sizeof reo;
            reo.cp = REO_CP_SELECTION;
            object->GetUserClassID(&reo.clsid);
            reo.poleobj = object;
            reo.pstg = storage;
            reo.polesite = site;
            reo.dvaspect = DVASPECT_CONTENT;
            reo.dwFlags = REO_BELOWBASELINE;
            reo.dwUser = codeId;
            inserted = SUCCEEDED(ole->InsertObject(&reo));
            if (inserted)
                InvalidateRect(edit, nullptr, TRUE);
        }
    }
    ReleaseOnce(object);
    ReleaseOnce(picture);
    ReleaseOnce(site);
    ReleaseOnce(storage);
    ReleaseOnce(lockBytes);
    ole->Release();
    return inserted;
}
