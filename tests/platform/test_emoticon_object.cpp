// The emoticon picture class (TovraEmoticon.dll): its picture interface by
// slot, its OLE object, view and CF_BITMAP data, its registration, and the
// object inserted into a real Rich Edit 2.0, drawn and animated there.
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/platform/EmoticonClass.h"
#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/chat/COleRichEdit.h"
#include "ui/chat/EmoticonPicture.h"
#include "ui/chat/EmoticonTable.h"
#include "ui/chat/InsertEmoticon.h"

namespace {

const COLORREF kOutline = RGB(214, 120, 0);   // the faces' outline, touching the top edge

HGLOBAL GifBlock(UINT id, LONG& size)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), L"GIF");
    size = found ? static_cast<LONG>(SizeofResource(nullptr, found)) : 0;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (found)
        memcpy(GlobalLock(block), LockResource(LoadResource(nullptr, found)), size);
    GlobalUnlock(block);
    return block;
}

template <class T>
struct Ptr {
    T* p = nullptr;
    ~Ptr() { if (p) p->Release(); }
    T* operator->() const { return p; }
    void** out() { return reinterpret_cast<void**>(&p); }
};

class EmoticonObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        offered.reset(new EmoticonClassInProcess(TOVRA_EMOTICON_DLL, CLSID_EmoticonPicture));
        ASSERT_TRUE(offered->Registered());
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_EmoticonPicture, nullptr, CLSCTX_ALL,
                                         IID_IEmoticonPicture, picture.out()));
    }
    void TearDown() override
    {
        if (picture.p) {
            picture.p->Release();
            picture.p = nullptr;
        }
        offered.reset();
        OleUninitialize();
    }
    HRESULT Load(UINT id)
    {
        LONG size = 0;
        HGLOBAL block = GifBlock(id, size);
        HRESULT result = picture->LoadFromGlobal(&block, size);
        GlobalFree(block);
        return result;
    }
    bool NewFrame()
    {
        VARIANT_BOOL redraw = VARIANT_FALSE;
        return SUCCEEDED(picture->HasNewFrame(&redraw)) && redraw == VARIANT_TRUE;
    }

    std::unique_ptr<EmoticonClassInProcess> offered;
    Ptr<IEmoticonPicture> picture;
};

TEST_F(EmoticonObjectTest, LoadsAnimatesAndReportsNewFrames)
{
    HWND host = nullptr;
    EXPECT_EQ(S_OK, picture->SetHostWindow(&host));
    HGLOBAL junk = GlobalAlloc(GMEM_MOVEABLE, 16);
    memset(GlobalLock(junk), 0x5A, 16);
    GlobalUnlock(junk);
    EXPECT_LT(picture->LoadFromGlobal(&junk, 16), 0);
    GlobalFree(junk);
    EXPECT_FALSE(NewFrame()) << "nothing loaded";

    ASSERT_EQ(S_OK, Load(234));
    EXPECT_FALSE(NewFrame());
    ASSERT_TRUE(PumpUntil([&] { return NewFrame(); }, 3000));
    EXPECT_EQ(S_OK, picture->FrameDrawn(0));
    EXPECT_FALSE(NewFrame());
    ASSERT_TRUE(PumpUntil([&] { return NewFrame(); }, 3000)) << "the frames keep coming";
}

TEST_F(EmoticonObjectTest, OleObjectViewAndBitmapData)
{
    ASSERT_EQ(S_OK, Load(230));
    Ptr<IOleObject> object;
    Ptr<IViewObject2> view;
    Ptr<IDataObject> data;
    ASSERT_EQ(S_OK, picture->QueryInterface(IID_IOleObject, object.out()));
    ASSERT_EQ(S_OK, picture->QueryInterface(IID_IViewObject2, view.out()));
    ASSERT_EQ(S_OK, picture->QueryInterface(IID_IDataObject, data.out()));
    CLSID clsid = {};
    ASSERT_EQ(S_OK, object->GetUserClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_EmoticonPicture, clsid));
    SIZEL extent = {};
    ASSERT_EQ(S_OK, object->GetExtent(DVASPECT_CONTENT, &extent));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(MulDiv(19, 2540, GetDeviceCaps(screen, LOGPIXELSX)), extent.cx);
    ReleaseDC(nullptr, screen);

    // Drawn at the bounds' corner, at its own size.
    DibCanvas dib(40, 40);
    dib.Fill(RGB(9, 9, 9));
    RECTL bounds = {10, 12, 60, 60};
    ASSERT_EQ(S_OK, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dib.Dc(), &bounds,
                               nullptr, nullptr, 0));
    EXPECT_EQ(kOutline, dib.At(10 + 9, 12));
    EXPECT_EQ(RGB(255, 255, 255), dib.At(10, 12));
    EXPECT_EQ(RGB(9, 9, 9), dib.At(10 + 19, 12 + 5));
    EXPECT_EQ(RGB(9, 9, 9), dib.At(9, 12));

    // The frame as a bitmap of the picture's size.
    FORMATETC format = {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
    EXPECT_EQ(S_OK, data->QueryGetData(&format));
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, data->GetData(&format, &medium));
    ASSERT_EQ(static_cast<DWORD>(TYMED_GDI), medium.tymed);
    BITMAP info = {};
    ASSERT_TRUE(GetObjectW(medium.hBitmap, sizeof info, &info));
    EXPECT_EQ(19, info.bmWidth);
    EXPECT_EQ(19, info.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, medium.hBitmap);
    EXPECT_EQ(kOutline, GetPixel(dc, 9, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseStgMedium(&medium);

    FORMATETC text = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(DV_E_FORMATETC, data->QueryGetData(&text));
    EXPECT_EQ(DV_E_FORMATETC, data->GetData(&text, &medium));
    Ptr<IEnumFORMATETC> formats;
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats.p));
    FORMATETC listed[2] = {};
    ULONG got = 0;
    EXPECT_EQ(S_FALSE, formats->Next(2, listed, &got));
    ASSERT_EQ(1u, got);
    EXPECT_EQ(CF_BITMAP, listed[0].cfFormat);
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &formats.p));
}

// Through the chat's own insertion, into a real rich edit with the chat's
// callback (which refuses every other class).
TEST_F(EmoticonObjectTest, InsertedIntoARichEditItIsDrawnAndAnimated)
{
    HMODULE riched = LoadLibraryW(L"RICHED20.DLL");
    ASSERT_NE(nullptr, riched);
    HWND host = CreateWindowExW(0, L"Static", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 300, 100,
                                nullptr, nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0,
                                0, 300, 100, host, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    {
        COleRichEdit rich;
        rich.Attach(edit);
        BuildEmoticonTable();
        SetWindowTextW(edit, L"ab");
        CHARRANGE end = {2, 2};
        SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
        ASSERT_TRUE(InsertEmoticon(edit, rich.Ole(), 230, 137));
        ASSERT_EQ(1, rich.ObjectCount());
        {
            Ptr<IRichEditOle> ole;
            ole.p = rich.Ole();
            REOBJECT reo = {};
            reo.cbStruct = sizeof reo;
            ASSERT_EQ(S_OK, ole->GetObject(0, &reo, REO_GETOBJ_NO_INTERFACES));
            EXPECT_EQ(2, reo.cp);
            EXPECT_EQ(137u, reo.dwUser);
            EXPECT_TRUE(IsEqualCLSID(CLSID_EmoticonPicture, reo.clsid));
        }

        // The picture's pixels where the control puts its character.
        POINTL at = {};
        SendMessageW(edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), 2);
        DibCanvas dib(300, 100);
        dib.Fill(RGB(9, 9, 9));
        SendMessageW(edit, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dib.Dc()), PRF_CLIENT);
        bool outline = false;
        for (int y = 0; y < 40 && !outline; ++y)
            outline = dib.At(at.x + 9, y) == kOutline;
        EXPECT_TRUE(outline) << "no face drawn at x " << at.x;
        EXPECT_NE(kOutline, dib.At(at.x - 2, 5));

        // The chat's animation pass takes each new frame.
        Ptr<IRichEditOle> ole;
        ole.p = rich.Ole();
        REOBJECT reo = {};
        reo.cbStruct = sizeof reo;
        ASSERT_EQ(S_OK, ole->GetObject(0, &reo, REO_GETOBJ_POLEOBJ));
        Ptr<IEmoticonPicture> inserted;
        ASSERT_EQ(S_OK, reo.poleobj->QueryInterface(IID_IEmoticonPicture, inserted.out()));
        reo.poleobj->Release();
        auto fresh = [&] {
            VARIANT_BOOL redraw = VARIANT_FALSE;
            inserted->HasNewFrame(&redraw);
            return redraw == VARIANT_TRUE;
        };
        ASSERT_TRUE(PumpUntil(fresh, 3000));
        rich.AnimateObjects();
        EXPECT_FALSE(fresh());
    }
    DestroyWindow(host);
    FreeLibrary(riched);
}

TEST(EmoticonRegistration, RegistersAndUnregistersItsClass)
{
    OleInitialize(nullptr);
    wchar_t full[MAX_PATH];
    ASSERT_NE(0u, GetFullPathNameW(TOVRA_EMOTICON_DLL, MAX_PATH, full, nullptr));
    const std::wstring dll = full;
    auto run = [](std::wstring command) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, DETACHED_PROCESS,
                            nullptr, nullptr, &startup, &process))
            return -1;
        DWORD code = static_cast<DWORD>(-1);
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return static_cast<int>(code);
    };
    LPOLESTR text = nullptr;
    StringFromCLSID(CLSID_EmoticonPicture, &text);
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    CoTaskMemFree(text);
    auto value = [&](const wchar_t* name) {
        wchar_t buffer[MAX_PATH * 2] = {};
        LONG size = sizeof buffer - sizeof(wchar_t);
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
            return std::wstring(L"<missing>");
        DWORD type = 0, bytes = static_cast<DWORD>(size);
        RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
        RegCloseKey(handle);
        return std::wstring(buffer);
    };

    ASSERT_EQ(0, run(L"regsvr32.exe /s \"" + dll + L"\""));
    EXPECT_EQ(0, _wcsicmp(dll.c_str(), value(nullptr).c_str()));
    EXPECT_EQ(L"Apartment", value(L"ThreadingModel"));
    IUnknown* object = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_EmoticonPicture, nullptr, CLSCTX_ALL, IID_IOleObject,
                                     reinterpret_cast<void**>(&object)));
    if (object)
        object->Release();

    ASSERT_EQ(0, run(L"regsvr32.exe /u /s \"" + dll + L"\""));
    EXPECT_EQ(L"<missing>", value(nullptr));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_EmoticonPicture, nullptr, CLSCTX_ALL,
                                                    IID_IOleObject, reinterpret_cast<void**>(&object)));
    OleUninitialize();
}

}  // namespace
