#include "platform/window/DialogBase.h"

#include "platform/window/WindowBase.h"

namespace {

const wchar_t kObjectProperty[] = L"Tovra.DialogBase";

// Messages whose result the dialog procedure returns itself.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_INITDIALOG:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
    }
}

} // namespace

CDialogBase::~CDialogBase()
{
    if (!m_hwnd)
        return;
    HWND hwnd = m_hwnd;
    Unbind();
    ::DestroyWindow(hwnd);
}

HINSTANCE CDialogBase::TemplateModule(HINSTANCE instance)
{
    return instance ? instance : CWindowBase::ModuleInstance();
}

HWND CDialogBase::Create(HWND parent, const wchar_t* templateName, HINSTANCE instance)
{
    if (m_hwnd)
        return nullptr;
    m_modal = false;
    return CreateDialogParamW(TemplateModule(instance), templateName, parent, DialogProc,
                              reinterpret_cast<LPARAM>(this));
}

HWND CDialogBase::CreateIndirect(HWND parent, const DLGTEMPLATE* dialogTemplate)
{
    if (m_hwnd)
        return nullptr;
    m_modal = false;
    return CreateDialogIndirectParamW(CWindowBase::ModuleInstance(), dialogTemplate, parent,
                                      DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CDialogBase::DoModal(HWND parent, const wchar_t* templateName, HINSTANCE instance)
{
    if (m_hwnd)
        return -1;
    m_modal = true;
    return DialogBoxParamW(TemplateModule(instance), templateName, parent, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CDialogBase::DoModalIndirect(HWND parent, const DLGTEMPLATE* dialogTemplate)
{
    if (m_hwnd)
        return -1;
    m_modal = true;
    return DialogBoxIndirectParamW(CWindowBase::ModuleInstance(), dialogTemplate, parent,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialogBase::EndDialog(INT_PTR result)
{
    if (!m_hwnd)
        return FALSE;
    return m_modal ? ::EndDialog(m_hwnd, result) : ::DestroyWindow(m_hwnd);
}

BOOL CDialogBase::DestroyWindow()
{
    return m_hwnd ? ::DestroyWindow(m_hwnd) : FALSE;
}

CDialogBase* CDialogBase::FromHandle(HWND hwnd)
{
    return static_cast<CDialogBase*>(GetPropW(hwnd, kObjectProperty));
}

bool CDialogBase::Bind(HWND hwnd)
{
    if (m_hwnd || !SetPropW(hwnd, kObjectProperty, this))
        return false;
    m_hwnd = hwnd;
    return true;
}

void CDialogBase::Unbind()
{
    RemovePropW(m_hwnd, kObjectProperty);
    m_hwnd = nullptr;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialogBase* self = FromHandle(hwnd);
    if (!self && message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        if (!self || !self->Bind(hwnd))
            return FALSE;
    }
    if (!self)
        return FALSE;
    LRESULT result = 0;
    bool handled = self->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        self->Unbind();
        self->OnFinalMessage(hwnd);
        return FALSE;
    }
    if (!handled)
        return message == WM_INITDIALOG ? TRUE : FALSE;   // unhandled init: default focus
    if (ReturnsResultDirectly(message))
        return result;
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}
