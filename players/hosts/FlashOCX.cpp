#include "players/hosts/FlashOCX.h"

#include "platform/axhost/AxHost.h"
#include "platform/axhost/PublishedIds.h"
#include "players/PlayerKind.h"
#include "players/PlayerSelector.h"
#include "players/hosts/DispatchByName.h"

namespace {

const axhost::EventEntry kFlashEvents[] = {{FLASH_EVENT_PROGRESS, 1}};

}  // namespace

CFlashOCX::CFlashOCX(CPlayerSelector* selector)
    : CAdvisedAxHost(kFlashEvents, 1, DIID_IShockwaveFlashEvents), m_selector(selector)
{
}

int CFlashOCX::Create(const wchar_t*, DWORD style, const RECT& rect, HWND parent, UINT id)
{
    return CreateControl(CLSID_ShockwaveFlash, IID_IShockwaveFlash, style, rect, parent, id);
}

HRESULT CFlashOCX::Open(const wchar_t* movie)
{
    return dispatch::Put(m_control, L"Movie", dispatch::Text(movie));
}

HRESULT CFlashOCX::Play()
{
    return dispatch::Call(m_control, L"Play", {});
}

HRESULT CFlashOCX::Stop()
{
    return dispatch::Call(m_control, L"Stop", {});
}

HRESULT CFlashOCX::GotoFrame(long frame)
{
    return dispatch::Call(m_control, L"GotoFrame", {dispatch::Long(frame)});
}

HRESULT CFlashOCX::GetNumber(const wchar_t* name, bool method, long* value)
{
    VARIANT result;
    HRESULT hr = method ? dispatch::Call(m_control, name, {}, &result)
                        : dispatch::Get(m_control, name, &result);
    if (SUCCEEDED(hr) && !dispatch::TakeLong(result, value))
        hr = DISP_E_TYPEMISMATCH;
    return hr;
}

HRESULT CFlashOCX::GetPosition(double* frame)
{
    long value = 0;
    HRESULT hr = GetNumber(L"CurrentFrame", true, &value);
    if (SUCCEEDED(hr) && frame)
        *frame = value;
    return hr;
}

HRESULT CFlashOCX::GetDuration(double* frames)
{
    long value = 0;
    HRESULT hr = GetNumber(L"TotalFrames", false, &value);
    if (SUCCEEDED(hr) && frames)
        *frames = value;
    return hr;
}

HRESULT CFlashOCX::GetBufferingPercent(int* percent)
{
    long value = 0;
    HRESULT hr = GetNumber(L"PercentLoaded", true, &value);
    if (SUCCEEDED(hr) && percent)
        *percent = static_cast<int>(value);
    return hr;
}

HRESULT CFlashOCX::GetSourceUrl(BSTR* url)
{
    if (!url)
        return E_POINTER;
    *url = nullptr;
    VARIANT result;
    HRESULT hr = dispatch::Get(m_control, L"Movie", &result);
    if (SUCCEEDED(hr)) {
        if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_BSTR))) {
            *url = result.bstrVal;
            result.vt = VT_EMPTY;
        }
        VariantClear(&result);
    }
    return hr;
}

HRESULT CFlashOCX::SetLoop(bool loop)
{
    return dispatch::Put(m_control, L"Loop", dispatch::Bool(loop));
}

HRESULT CFlashOCX::SetMenu(bool menu)
{
    return dispatch::Put(m_control, L"Menu", dispatch::Bool(menu));
}

HRESULT CFlashOCX::SetBackgroundColor(long color)
{
    return dispatch::Put(m_control, L"BackgroundColor", dispatch::Long(color));
}

void CFlashOCX::OnEvent(DISPID id, const axhost::EventArgs& args)
{
    if (id == FLASH_EVENT_PROGRESS)
        m_selector->NotifyOwner(PLAYER_FLASH, WM_PLAYER_PROGRESS, 0, args.Long(0), true);
}
