// The control's side of the chat: the chat button opens and hides the chat
// window, typed records go out through the running engine, and records of
// other viewers come back from it; while the window is hidden a record makes
// the chat button blink.
// The engines need Winsock 2 before windows.h.
#include <winsock2.h>

#include "control/CCStreamView.h"

#include <cstdlib>
#include <string>

#include "control/ControlIds.h"
#include "live/LiveCore.h"
#include "ui/chat/ChatIds.h"
#include "vod/VodCore.h"

namespace {

const UINT kBlinkPeriod = 300;

}  // namespace

void CCStreamView::SendChatData(const unsigned char* data, int length, void* self)
{
    auto* view = static_cast<CCStreamView*>(self);
    if (!view || !data || length <= 0)
        return;
    const std::string bytes(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    if (view->live_)
        view->live_->QueueRelayText(bytes);
    else if (view->vod_)
        view->vod_->QueueRelayText(bytes);
}

// The engine's copy is ours: freed whatever the chat makes of it.
LRESULT CCStreamView::OnRelayText(WPARAM bytes, LPARAM length)
{
    void* copy = reinterpret_cast<void*>(bytes);
    const int read = copy ? chat_.ReceiveRecord(copy, static_cast<int>(length)) : 0;
    free(copy);
    if (read && !ChatVisible())
        SetChatBlinking(true);
    return 0;
}

void CCStreamView::OnChatToggle()
{
    if (coreKind_ != CORE_VOD && coreKind_ != CORE_LIVE)
        return;
    if (!chat_.Handle()) {
        if (!chat_.Create(Window(), MAKEINTRESOURCEW(IDD_CHAT)))
            return;
        chat_.Show();
    } else if (IsWindowVisible(chat_.Handle())) {
        ShowWindow(chat_.Handle(), SW_HIDE);
    } else {
        chat_.Show();
    }
    SetChatBlinking(false);
}

bool CCStreamView::ChatVisible()
{
    return chat_.Handle() && IsWindowVisible(chat_.Handle());
}

void CCStreamView::SetChatBlinking(bool on)
{
    HWND button = chatButton_.Handle();
    if (!button)
        return;
    chatButton_.blinking = on ? 1 : 0;
    if (on) {
        SetTimer(button, UI::SDrawBtn::kBlinkTimer, kBlinkPeriod, nullptr);
    } else {
        KillTimer(button, UI::SDrawBtn::kBlinkTimer);
        chatButton_.Refresh();
    }
}
