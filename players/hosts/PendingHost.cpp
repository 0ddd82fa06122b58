#include "players/hosts/PendingHost.h"

int CPendingHost::Create(const wchar_t*, DWORD, const RECT&, HWND, UINT)
{
    return 0;
}

int CPendingHost::Destroy()
{
    return 0;
}

HRESULT CPendingHost::Open(const wchar_t*) { return E_NOTIMPL; }
HRESULT CPendingHost::Play() { return E_NOTIMPL; }
HRESULT CPendingHost::Pause() { return E_NOTIMPL; }
HRESULT CPendingHost::Stop() { return E_NOTIMPL; }
HRESULT CPendingHost::Close() { return E_NOTIMPL; }
HRESULT CPendingHost::SetVolume(int) { return E_NOTIMPL; }
HRESULT CPendingHost::SetMute(int) { return E_NOTIMPL; }
HRESULT CPendingHost::GetFullScreen(VARIANT_BOOL*) { return E_NOTIMPL; }
HRESULT CPendingHost::SetFullScreen(VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CPendingHost::GetBufferingPercent(int*) { return E_NOTIMPL; }
HRESULT CPendingHost::GetPosition(double*) { return E_NOTIMPL; }
HRESULT CPendingHost::GetDuration(double*) { return E_NOTIMPL; }
HRESULT CPendingHost::Seek(long long) { return E_NOTIMPL; }
HRESULT CPendingHost::GetVideoSize(int*, int*) { return E_NOTIMPL; }
HRESULT CPendingHost::GetSourceUrl(BSTR*) { return E_NOTIMPL; }
HRESULT CPendingHost::SetOrgSize(int) { return E_NOTIMPL; }

int CPendingHost::PollActivity(int*)
{
    return 0;
}
