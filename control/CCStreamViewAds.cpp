// The advertisement pane's part in the control: the descriptions the content
// server hands over, and the player's mouse over what the pane lays on the
// picture.
#include "control/CCStreamView.h"

#include "ui/CADSet.h"

// The pane keeps a reference of its own; ours goes either way.
void CCStreamView::ShowAdDescription(const std::wstring& xml)
{
    CADSet* set = new CADSet;
    if (set->LoadXml(xml.c_str()))
        adPane_.SetAdSet(set);
    set->Release();
}

// Playback stopped: the pane lets go of the player's window.
void CCStreamView::DetachAdPane()
{
    if (adPane_.Handle())
        adPane_.AttachToPlayer(nullptr, nullptr, FALSE, FALSE, PLAYER_NONE);
}

// A mouse message of the full-screen player, at the cursor (screen
// coordinates), for the overlay or the ad player under it.
void CCStreamView::ForwardPlayerMouse(UINT message, WPARAM flags)
{
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    adPane_.ForwardMouse(message, flags, MAKELPARAM(cursor.x, cursor.y));
}
