#include "ui/chat/COleRichEdit.h"

#include <vector>

#include "platform/window/WindowBase.h"
#include "ui/chat/COleClipDataObj.h"
#include "ui/chat/EmoticonPicture.h"
#include "ui/chat/EmoticonTable.h"
#include "ui/chat/InsertEmoticon.h"

namespace {

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(CWindowBase::ModuleInstance(), id,
                                   reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

CHARRANGE Selection(HWND edit)
{
    CHARRANGE range = {};
    SendMessageW(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

void Select(HWND edit, LONG first, LONG last)
{
    CHARRANGE range = {first, last};
    SendMessageW(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

std::wstring TextRange(HWND edit, LONG first, LONG last)
{
    if (last <= first)
        return std::wstring();
    std::vector<wchar_t> buffer(last - first + 1);
    TEXTRANGEW range = {{first, last}, buffer.data()};
    const LRESULT copied = SendMessageW(edit, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

LONG TextLength(HWND edit)
{
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageW(edit, EM_GETTEXTLENGTHEX,
                                          reinterpret_cast<WPARAM>(&how), 0));
}

// The length of the code that starts at text[at], 0 for none; code is set to
// the bare code. A candidate grows one character at a time while it spells
// the start of a code in the list (so it never grows past the list's length);
// with delimited, only a code between two 0x7F counts.
LONG CodeLengthAt(const std::wstring& text, size_t at, bool delimited, std::wstring& code)
{
    const std::wstring& list = EmoticonCodeList();
    for (size_t last = at + 1; last <= text.size(); ++last) {
        const std::wstring candidate = text.substr(at, last - at);
        if (delimited) {
            if (candidate[0] != kCodeDelimiter || list.find(candidate) == std::wstring::npos)
                return 0;
            if (candidate.size() > 1 && candidate.back() == kCodeDelimiter)
                code = candidate.substr(1, candidate.size() - 2);
        } else {
            if (list.find(kCodeDelimiter + candidate) == std::wstring::npos)
                return 0;
            if (candidate.size() > 1 &&
                list.find(kCodeDelimiter + candidate + kCodeDelimiter) != std::wstring::npos)
                code = candidate;
        }
        if (!code.empty())
            return static_cast<LONG>(candidate.size());
    }
    return 0;  // the text ended inside a candidate
}

}  // namespace

// --- the OLE callback -------------------------------------------------------

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IRichEditOleCallback) {
        *object = static_cast<IRichEditOleCallback*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleRichEdit::IExRichEditOleCallback::AddRef()
{
    return ++refs_;
}

STDMETHODIMP_(ULONG) COleRichEdit::IExRichEditOleCallback::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::GetNewStorage(LPSTORAGE* storage)
{
    if (!storage)
        return E_INVALIDARG;
    *storage = nullptr;
    ILockBytes* bytes = nullptr;
    HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
    if (FAILED(hr))
        return hr;
    hr = StgCreateDocfileOnILockBytes(bytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE,
                                      0, storage);
    bytes->Release();
    return hr;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::GetInPlaceContext(LPOLEINPLACEFRAME*,
                                                                    LPOLEINPLACEUIWINDOW*,
                                                                    LPOLEINPLACEFRAMEINFO)
{
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::ShowContainerUI(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::QueryInsertObject(LPCLSID clsid, LPSTORAGE,
                                                                    LONG)
{
    return clsid && IsEqualCLSID(*clsid, CLSID_EmoticonPicture) ? S_OK : E_INVALIDARG;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::DeleteObject(LPOLEOBJECT)
{
    return E_NOTIMPL;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::QueryAcceptData(LPDATAOBJECT,
                                                                  CLIPFORMAT* format, DWORD,
                                                                  BOOL, HGLOBAL)
{
    if (GetWindowLongW(owner_.Handle(), GWL_STYLE) & ES_READONLY)
        return S_FALSE;
    if (format)
        *format = CF_UNICODETEXT;
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::ContextSensitiveHelp(BOOL)
{
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::GetClipboardData(CHARRANGE* range, DWORD,
                                                                   LPDATAOBJECT* data)
{
    if (!data)
        return E_INVALIDARG;
    *data = nullptr;
    const std::wstring text = range
        ? owner_.GetRangeCodeText(range->cpMin, range->cpMax, false)
        : owner_.GetSelectionCodeText();
    COleClipDataObj* object = COleClipDataObj::FromText(text);
    if (!object)
        return E_OUTOFMEMORY;
    *data = object;
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::GetDragDropEffect(BOOL, DWORD, LPDWORD)
{
    return S_OK;
}

STDMETHODIMP COleRichEdit::IExRichEditOleCallback::GetContextMenu(WORD, LPOLEOBJECT,
                                                                 CHARRANGE*, HMENU* menu)
{
    if (menu)
        *menu = nullptr;
    return S_OK;
}

// --- the rich edit -------------------------------------------------------

COleRichEdit::COleRichEdit() : callback_(new IExRichEditOleCallback(*this)) {}

COleRichEdit::~COleRichEdit()
{
    callback_->Release();
}

void COleRichEdit::Attach(HWND edit)
{
    if (attached_)
        return;
    edit_ = edit;
    attached_ = SendMessageW(edit, EM_SETOLECALLBACK, 0, reinterpret_cast<LPARAM>(callback_)) != 0;
}

IRichEditOle* COleRichEdit::Ole() const
{
    IRichEditOle* ole = nullptr;
    SendMessageW(edit_, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole));
    return ole;
}

LONG COleRichEdit::ObjectCount() const
{
    IRichEditOle* ole = Ole();
    if (!ole)
        return 0;
    const LONG count = ole->GetObjectCount();
    ole->Release();
    return count;
}

// Replaces the code of length characters at `at` by its picture: the picture
// goes in after the code, then the code goes, so when the picture cannot be
// made the text stays as it was.
bool COleRichEdit::RenderCode(LONG at, LONG length, const std::wstring& code)
{
    const UINT gif = CodeToGif(code);
    if (!gif)
        return false;
    Select(edit_, at + length, at + length);
    if (!InsertEmoticon(edit_, Ole(), gif, GifToCodeId(gif)))
        return false;
    Select(edit_, at, at + length);
    SendMessageW(edit_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    return true;
}

// The text is read once and searched here, so the work grows with the text,
// not with its square: a received body may hold 32 K characters.
LONG COleRichEdit::RenderCodes(LONG start, bool delimited, LONG limit)
{
    SendMessageW(edit_, WM_SETREDRAW, FALSE, 0);
    CHARRANGE saved = Selection(edit_);
    const LONG first = start > 0 ? start : 0;
    const std::wstring text = TextRange(edit_, first, TextLength(edit_));
    LONG made = 0;
    LONG at = first;  // where text[i] stands in the control now
    for (size_t i = 0; i < text.size() && made < limit; ++i, ++at) {
        std::wstring code;
        const LONG length = CodeLengthAt(text, i, delimited, code);
        if (!length || !RenderCode(at, length, code))
            continue;
        ++made;
        i += length - 1;
        // The picture takes one character where the code took length.
        const LONG shift = length - 1;
        if (saved.cpMin > at)
            saved.cpMin = saved.cpMin - shift > at + 1 ? saved.cpMin - shift : at + 1;
        if (saved.cpMax > at)
            saved.cpMax = saved.cpMax - shift > at + 1 ? saved.cpMax - shift : at + 1;
    }
    SendMessageW(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&saved));
    SendMessageW(edit_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit_, nullptr, TRUE);
    return made;
}

// The objects' positions come from the control's own object list, so the
// text between them is read in one piece and the selection never moves.
std::wstring COleRichEdit::GetRangeCodeText(LONG first, LONG last, bool delimited) const
{
    const LONG length = TextLength(edit_);
    if (last < 0 || last > length)
        last = length;
    if (first < 0)
        first = 0;
    std::wstring out;
    IRichEditOle* ole = Ole();
    const LONG count = ole ? ole->GetObjectCount() : 0;
    LONG at = first;
    for (LONG i = 0; i < count; ++i) {
        REOBJECT reo = {};
        reo.cbStruct = sizeof reo;
        if (FAILED(ole->GetObject(i, &reo, REO_GETOBJ_NO_INTERFACES)))
            continue;
        if (reo.cp < first || reo.cp >= last)
            continue;
        out += TextRange(edit_, at, reo.cp);
        if (IsEqualCLSID(reo.clsid, CLSID_EmoticonPicture) && reo.dwUser) {
            const std::wstring code = LoadText(reo.dwUser);
            out += delimited ? kCodeDelimiter + code + kCodeDelimiter : code;
        }
        at = reo.cp + 1;
    }
    if (ole)
        ole->Release();
    out += TextRange(edit_, at, last);
    return out;
}

std::wstring COleRichEdit::GetCodeText() const
{
    return GetRangeCodeText(0, -1, true);
}

std::wstring COleRichEdit::GetSelectionCodeText() const
{
    const CHARRANGE range = Selection(edit_);
    return GetRangeCodeText(range.cpMin, range.cpMax, false);
}

std::wstring COleRichEdit::GetSelText() const
{
    const CHARRANGE range = Selection(edit_);
    if (range.cpMax <= range.cpMin)
        return std::wstring();
    // Room for the terminator the control writes after the text.
    std::vector<wchar_t> buffer(range.cpMax - range.cpMin + 1);
    const LRESULT copied = SendMessageW(edit_, EM_GETSELTEXT, 0,
                                        reinterpret_cast<LPARAM>(buffer.data()));
    const size_t units = copied > 0 ? static_cast<size_t>(copied) : 0;
    return std::wstring(buffer.data(), units < buffer.size() ? units : buffer.size() - 1);
}

void COleRichEdit::AnimateObjects()
{
    IRichEditOle* ole = Ole();
    if (!ole)
        return;
    const LONG count = ole->GetObjectCount();
    for (LONG i = 0; i < count; ++i) {
        REOBJECT reo = {};
        reo.cbStruct = sizeof reo;
        if (FAILED(ole->GetObject(i, &reo, REO_GETOBJ_POLEOBJ)) || !reo.poleobj)
            continue;
        IEmoticonPicture* picture = nullptr;
        if (SUCCEEDED(reo.poleobj->QueryInterface(IID_IEmoticonPicture,
                                                  reinterpret_cast<void**>(&picture)))) {
            VARIANT_BOOL redraw = VARIANT_FALSE;
            if (SUCCEEDED(picture->HasNewFrame(&redraw)) && redraw == VARIANT_TRUE) {
                picture->FrameDrawn(0);
                POINTL at = {-1, -1};
                SendMessageW(edit_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), reo.cp);
                if (at.x >= 0 && at.y >= 0) {
                    RECT cell = {at.x, at.y, at.x + 16, at.y + 16};
                    InvalidateRect(edit_, &cell, FALSE);
                }
            }
            picture->Release();
        }
        reo.poleobj->Release();
    }
    ole->Release();
}
