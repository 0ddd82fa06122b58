#pragma once

#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <string>

// A Rich Edit 2.0 control of the chat with emoticon pictures: codes typed or
// received become pictures, pictures become codes again when the text is
// sent or copied. Page thread only.
class COleRichEdit {
public:
    // The control's OLE callback: storage for new objects, only emoticon
    // pictures may be inserted, pastes arrive as plain text and copies carry
    // the bare codes.
    class IExRichEditOleCallback : public IRichEditOleCallback {
    public:
        explicit IExRichEditOleCallback(COleRichEdit& owner) : owner_(owner) {}

        STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

        STDMETHODIMP GetNewStorage(LPSTORAGE* storage) override;
        STDMETHODIMP GetInPlaceContext(LPOLEINPLACEFRAME* frame, LPOLEINPLACEUIWINDOW* doc,
                                       LPOLEINPLACEFRAMEINFO info) override;
        STDMETHODIMP ShowContainerUI(BOOL show) override;
        STDMETHODIMP QueryInsertObject(LPCLSID clsid, LPSTORAGE storage, LONG cp) override;
        STDMETHODIMP DeleteObject(LPOLEOBJECT object) override;
        STDMETHODIMP QueryAcceptData(LPDATAOBJECT data, CLIPFORMAT* format, DWORD reco,
                                     BOOL really, HGLOBAL metaPict) override;
        STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
        STDMETHODIMP GetClipboardData(CHARRANGE* range, DWORD reco,
                                      LPDATAOBJECT* data) override;
        STDMETHODIMP GetDragDropEffect(BOOL drag, DWORD keyState, LPDWORD effect) override;
        STDMETHODIMP GetContextMenu(WORD selectionType, LPOLEOBJECT object,
                                    CHARRANGE* range, HMENU* menu) override;

        virtual ~IExRichEditOleCallback() = default;

    private:
        ULONG refs_ = 1;
        COleRichEdit& owner_;
    };

    COleRichEdit();
    ~COleRichEdit();
    COleRichEdit(const COleRichEdit&) = delete;
    COleRichEdit& operator=(const COleRichEdit&) = delete;

    // Installs the OLE callback, once.
    void Attach(HWND edit);
    HWND Handle() const { return edit_; }
    IExRichEditOleCallback* Callback() const { return callback_; }

    // Turns the codes from start on into pictures, the first limit of them
    // (the rest stay text): bare codes, or with delimited only codes between
    // two 0x7F. Answers the number of pictures made.
    LONG RenderCodes(LONG start, bool delimited, LONG limit = LONG_MAX);
    // The whole text, each emoticon picture as 0x7F, its code, 0x7F.
    std::wstring GetCodeText() const;
    // The selection, each emoticon picture as its bare code.
    std::wstring GetSelectionCodeText() const;
    // The text of [first, last), pictures as their codes.
    std::wstring GetRangeCodeText(LONG first, LONG last, bool delimited) const;
    // The selected plain text.
    std::wstring GetSelText() const;
    // Redraws the pictures that have a new frame to show.
    void AnimateObjects();
    // Embedded objects of any kind.
    LONG ObjectCount() const;
    // The control's IRichEditOle with a reference for the caller, or null.
    IRichEditOle* Ole() const;

private:
    bool RenderCode(LONG at, LONG length, const std::wstring& code);

    HWND edit_ = nullptr;
    IExRichEditOleCallback* callback_;
    bool attached_ = false;
};
