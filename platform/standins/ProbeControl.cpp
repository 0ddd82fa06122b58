// The probe control: a value to read and write by name, an event raised with
// whatever arguments Ring was given, and a video window that records the
// notifications its host reflects. TOVRA_STANDIN_PROBE_NO_CLASSINFO hides
// IProvideClassInfo(2), so a sink must fall back on the published events.
#include <olectl.h>

#include "platform/standins/ProbeControl.h"
#include "platform/standins/StandinIds.h"

namespace standins {

namespace {

const Member kMembers[] = {{L"Value", PROBE_VALUE}, {L"Ring", PROBE_RING}};

const CStandinControl::Description kDescription = {
    CLSID_StandinProbe, CProbeControl::kName, kMembers, sizeof kMembers / sizeof kMembers[0],
    DIID_StandinProbeEvents, L"TovraProbeVideo"};

}  // namespace

const wchar_t CProbeControl::kName[] = L"Probe";

CProbeControl::CProbeControl() : CStandinControl(kDescription) {}

STDMETHODIMP CProbeControl::QueryInterface(REFIID iid, void** object)
{
    if ((IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) &&
        KnobSet(L"PROBE_NO_CLASSINFO")) {
        if (object)
            *object = nullptr;
        return E_NOINTERFACE;
    }
    return CStandinControl::QueryInterface(iid, object);
}

HRESULT CProbeControl::Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result)
{
    switch (id) {
    case PROBE_VALUE:
        if (flags & DISPATCH_PROPERTYPUT) {
            value_ = args.Long(0);
            return S_OK;
        }
        if (result) {
            result->vt = VT_I4;
            result->lVal = value_;
        }
        return S_OK;
    case PROBE_RING: {
        std::vector<VARIANT> copies(args.Count());
        for (UINT i = 0; i < args.Count(); ++i) {
            VariantInit(&copies[i]);
            VariantCopy(&copies[i], const_cast<VARIANT*>(&args[i]));
        }
        return Fire(PROBE_EVENT_RANG, copies);
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

LRESULT CProbeControl::VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message > OCM__BASE && message <= OCM__BASE + WM_CTLCOLORSTATIC) {
        Log(L"reflected " + std::to_wstring(message - OCM__BASE));
        return 0x5A;
    }
    return CStandinControl::VideoMessage(window, message, wParam, lParam);
}

}  // namespace standins
