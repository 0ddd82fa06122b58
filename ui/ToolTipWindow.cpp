#include "ui/ToolTipWindow.h"

#include <commctrl.h>

#include <map>

#include "platform/window/WindowBase.h"

namespace {

std::map<HWND, HWND>& Registry()
{
    static std::map<HWND, HWND> tips;
    return tips;
}

}  // namespace

HWND GetToolTipWindow(HWND owner, bool create)
{
    auto& tips = Registry();
    auto it = tips.find(owner);
    if (!create) {
        if (it != tips.end()) {
            if (IsWindow(it->second))
                DestroyWindow(it->second);
            tips.erase(it);
        }
        return nullptr;
    }
    if (it != tips.end() && IsWindow(it->second))
        return it->second;
    HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                               CWindowBase::ModuleInstance(), nullptr);
    if (tip)
        tips[owner] = tip;
    return tip;
}
