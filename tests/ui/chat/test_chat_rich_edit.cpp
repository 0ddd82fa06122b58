// The chat's rich edit in a real Rich Edit 2.0 control: the emoticon table,
// codes left as text while the picture class is missing, the OLE callback's
// answers, copies and pastes through the real clipboard, and the clipboard
// data object with its format enumerator.
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <gtest/gtest.h>

#include "tests/ui/chat/ChatTestSupport.h"
#include "ui/chat/COleClipDataObj.h"
#include "ui/chat/COleRichEdit.h"
#include "ui/chat/EmoticonPicture.h"
#include "ui/chat/EmoticonTable.h"

namespace {

// A class that is not the emoticon picture.
const CLSID kForeignClass = {0x6a1d2c55, 0x31b7, 0x4e0f, {0x9d, 0x21, 0x0c, 0x44, 0x58, 0x7e, 0x20, 0x11}};

class RichEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        module_ = LoadLibraryW(L"RICHED20.DLL");
        ASSERT_NE(nullptr, module_);
        host_ = CreateWindowExW(0, L"Static", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                nullptr, nullptr, nullptr, nullptr);
        edit_ = CreateWindowExW(0, L"RichEdit20W", L"",
                                WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 400,
                                300, host_, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, edit_);
        rich_.Attach(edit_);
        BuildEmoticonTable();
    }
    void TearDown() override
    {
        DestroyWindow(host_);
        FreeLibrary(module_);
        OleUninitialize();
    }
    void Select(LONG first, LONG last)
    {
        CHARRANGE range = {first, last};
        SendMessageW(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    }
    CHARRANGE Selection()
    {
        CHARRANGE range = {};
        SendMessageW(edit_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return range;
    }

    HMODULE module_ = nullptr;
    HWND host_ = nullptr;
    HWND edit_ = nullptr;
    COleRichEdit rich_;
};

TEST(EmoticonTable, NamesCodesAndTheCodeList)
{
    const struct {
        int index;
        UINT nameId, codeId;
    } ids[] = {{0, 134, 137}, {2, 136, 139}, {3, 143, 155}, {14, 154, 166}};
    for (const auto& c : ids) {
        EXPECT_EQ(c.nameId, EmoticonNameId(c.index)) << c.index;
        EXPECT_EQ(c.codeId, EmoticonCodeId(c.index)) << c.index;
    }
    BuildEmoticonTable();
    BuildEmoticonTable();  // once only: the list does not double
    const std::wstring list = EmoticonCodeList();
    EXPECT_EQ(1u + 15 * 4, list.size());
    EXPECT_EQ(std::wstring(L"\x7F/:A\x7F/:B\x7F"), list.substr(0, 9));
    EXPECT_EQ(std::wstring(L"\x7F/:O\x7F"), list.substr(list.size() - 5));

    const struct {
        const wchar_t* code;
        UINT gif;
    } codes[] = {{L"/:A", 230}, {L"/:D", 233}, {L"/:O", 244}, {L"/:Z", 0}, {L"/:", 0},
                 {L"\x7F/:A\x7F", 0}, {L"/:a", 0}};
    for (const auto& c : codes)
        EXPECT_EQ(c.gif, CodeToGif(c.code)) << c.code;
    EXPECT_EQ(138u, GifToCodeId(231));
    EXPECT_EQ(166u, GifToCodeId(244));
    EXPECT_EQ(0u, GifToCodeId(245));
}

// Without the picture class a code cannot become a picture: the text, the
// caret and the object count stay as they were.
TEST_F(RichEditTest, CodesStayTextWithoutThePictureClass)
{
    const struct {
        const wchar_t* text;
        bool delimited;
    } cases[] = {{L"x/:Ay", false}, {L"\x7F/:B\x7F", true}, {L"/:Z", false}};
    for (const auto& c : cases) {
        SetWindowTextW(edit_, L"");
        TypeChars(edit_, c.text);
        const CHARRANGE before = Selection();
        rich_.RenderCodes(0, c.delimited);
        EXPECT_EQ(std::wstring(c.text), WindowText(edit_));
        EXPECT_EQ(0, rich_.ObjectCount());
        const CHARRANGE after = Selection();
        EXPECT_EQ(before.cpMin, after.cpMin);
        EXPECT_EQ(before.cpMax, after.cpMax);
    }
}

TEST_F(RichEditTest, CodeTextOfPlainTextIsTheText)
{
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"hello\rworld"));
    EXPECT_EQ(L"hello\rworld", rich_.GetCodeText());
    Select(2, 8);
    EXPECT_EQ(L"llo\rwo", rich_.GetSelectionCodeText());
    // The whole selection, its last character included.
    EXPECT_EQ(L"llo\rwo", rich_.GetSelText());
    Select(0, -1);
    EXPECT_EQ(L"hello\rworld", rich_.GetSelText());
    Select(3, 3);
    EXPECT_EQ(L"", rich_.GetSelText());
}

TEST_F(RichEditTest, CallbackAnswers)
{
    COleRichEdit::IExRichEditOleCallback* callback = rich_.Callback();
    CLSID picture = CLSID_EmoticonPicture;
    CLSID other = kForeignClass;
    EXPECT_EQ(S_OK, callback->QueryInsertObject(&picture, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, callback->QueryInsertObject(&other, nullptr, 0));

    CLIPFORMAT format = CF_TEXT;
    EXPECT_EQ(S_OK, callback->QueryAcceptData(nullptr, &format, RECO_PASTE, TRUE, nullptr));
    EXPECT_EQ(CF_UNICODETEXT, format);
    SendMessageW(edit_, EM_SETREADONLY, TRUE, 0);
    format = CF_TEXT;
    EXPECT_EQ(S_FALSE, callback->QueryAcceptData(nullptr, &format, RECO_PASTE, TRUE, nullptr));
    EXPECT_EQ(CF_TEXT, format);

    IStorage* storage = nullptr;
    ASSERT_EQ(S_OK, callback->GetNewStorage(&storage));
    ASSERT_NE(nullptr, storage);
    storage->Release();

    IUnknown* unknown = nullptr;
    EXPECT_EQ(S_OK, callback->QueryInterface(IID_IRichEditOleCallback,
                                             reinterpret_cast<void**>(&unknown)));
    unknown->Release();
    EXPECT_EQ(E_NOINTERFACE, callback->QueryInterface(IID_IDataObject,
                                                      reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(nullptr, unknown);
    EXPECT_EQ(E_NOTIMPL, callback->DeleteObject(nullptr));
    HMENU menu = reinterpret_cast<HMENU>(1);
    EXPECT_EQ(S_OK, callback->GetContextMenu(SEL_TEXT, nullptr, nullptr, &menu));
    EXPECT_EQ(nullptr, menu);
}

// The control asks the callback before it takes an object: one of another
// class never gets in.
TEST_F(RichEditTest, AForeignObjectIsRefused)
{
    IRichEditOle* ole = rich_.Ole();
    ASSERT_NE(nullptr, ole);
    IOleObject* object = nullptr;
    ASSERT_EQ(S_OK, OleCreateDefaultHandler(kForeignClass, nullptr,
                                            IID_IOleObject, reinterpret_cast<void**>(&object)));
    IOleClientSite* site = nullptr;
    ole->GetClientSite(&site);
    IStorage* storage = nullptr;
    rich_.Callback()->GetNewStorage(&storage);
    REOBJECT reo = {};
    reo.cbStruct = sizeof reo;
    reo.cp = REO_CP_SELECTION;
    reo.clsid = kForeignClass;
    reo.poleobj = object;
    reo.pstg = storage;
    reo.polesite = site;
    reo.dvaspect = DVASPECT_CONTENT;
    EXPECT_NE(S_OK, ole->InsertObject(&reo));
    EXPECT_EQ(0, ole->GetObjectCount());
    storage->Release();
    site->Release();
    object->Release();
    ole->Release();
}

TEST_F(RichEditTest, CopyAndPasteThroughTheClipboard)
{
    TypeChars(edit_, L"copy this");
    Select(5, 9);
    SendMessageW(edit_, WM_COPY, 0, 0);
    EXPECT_EQ(L"this", ClipboardText(host_));

    CHARRANGE range = {0, 4};
    IDataObject* data = nullptr;
    ASSERT_EQ(S_OK, rich_.Callback()->GetClipboardData(&range, RECO_COPY, &data));
    FORMATETC format = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, data->GetData(&format, &medium));
    EXPECT_EQ(L"copy", std::wstring(static_cast<const wchar_t*>(GlobalLock(medium.hGlobal))));
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    data->Release();

    // Plain text pastes in the input; the read-only log takes nothing.
    ASSERT_TRUE(SetClipboardText(host_, L" /:Z!"));
    Select(-1, -1);
    SendMessageW(edit_, WM_PASTE, 0, 0);
    EXPECT_EQ(L"copy this /:Z!", WindowText(edit_));
    SendMessageW(edit_, EM_SETREADONLY, TRUE, 0);
    SendMessageW(edit_, WM_PASTE, 0, 0);
    EXPECT_EQ(L"copy this /:Z!", WindowText(edit_));
}

TEST(ClipDataObject, HandsOutABlockPerRequestAndEnumeratesItsFormat)
{
    COleClipDataObj* data = COleClipDataObj::FromText(L"/:A hi");
    ASSERT_NE(nullptr, data);
    FORMATETC text = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    FORMATETC narrow = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(S_OK, data->QueryGetData(&text));
    EXPECT_EQ(DV_E_FORMATETC, data->QueryGetData(&narrow));

    STGMEDIUM first = {}, second = {}, none = {};
    EXPECT_EQ(DV_E_FORMATETC, data->GetData(&narrow, &none));
    ASSERT_EQ(S_OK, data->GetData(&text, &first));
    ASSERT_EQ(S_OK, data->GetData(&text, &second));
    EXPECT_NE(first.hGlobal, second.hGlobal);
    for (STGMEDIUM* m : {&first, &second}) {
        EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), m->tymed);
        EXPECT_EQ(nullptr, m->pUnkForRelease);
        EXPECT_EQ(7u * sizeof(wchar_t), GlobalSize(m->hGlobal));
        EXPECT_EQ(L"/:A hi", std::wstring(static_cast<const wchar_t*>(GlobalLock(m->hGlobal))));
        GlobalUnlock(m->hGlobal);
        ReleaseStgMedium(m);
    }
    EXPECT_EQ(DV_E_FORMATETC, data->GetDataHere(&text, &none));
    FORMATETC canonical = {};
    canonical.ptd = reinterpret_cast<DVTARGETDEVICE*>(1);
    EXPECT_EQ(E_NOTIMPL, data->GetCanonicalFormatEtc(&text, &canonical));
    EXPECT_EQ(nullptr, canonical.ptd);
    DWORD connection = 0;
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DAdvise(&text, 0, nullptr, &connection));
    EXPECT_EQ(OLE_E_ADVISENOTSUPPORTED, data->DUnadvise(0));

    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_SET, &formats));
    ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
    FORMATETC got[2] = {};
    ULONG fetched = 9;
    EXPECT_EQ(S_FALSE, formats->Next(2, got, &fetched));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(CF_UNICODETEXT, got[0].cfFormat);
    EXPECT_EQ(S_FALSE, formats->Next(1, got, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(S_OK, formats->Reset());
    EXPECT_EQ(S_OK, formats->Skip(1));
    EXPECT_EQ(S_FALSE, formats->Skip(1));
    formats->Reset();
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(S_OK, formats->Clone(&clone));
    EXPECT_EQ(S_OK, clone->Next(1, got, nullptr));
    EXPECT_EQ(CF_UNICODETEXT, got[0].cfFormat);
    clone->Release();
    formats->Release();
    EXPECT_EQ(0u, data->Release());
}

}  // namespace
