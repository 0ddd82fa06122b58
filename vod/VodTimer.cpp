#include "vod/VodTimer.h"

VOID CALLBACK VodTimerCallback(PVOID parameter, BOOLEAN)
{
    const VodTimerRecord* record = static_cast<const VodTimerRecord*>(parameter);
    if (record != nullptr)
        SendMessageW(record->window, record->message, record->wParam, record->lParam);
}
