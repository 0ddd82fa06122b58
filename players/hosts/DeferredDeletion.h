#pragma once

#include <functional>

// Work that has to wait until a control's event has returned to the control.
// A host closed inside one of its own control's events (the owner closing
// the player on a state the control reports) must not release the control
// there: the control is still in the middle of raising the event, and a
// control that does not hold itself meanwhile would be destroyed under its
// own call. `attempt` runs on this thread's next timer tick (every control
// thread pumps messages) and again on each later tick until it answers true.
void RetryAfterEvent(std::function<bool()> attempt);
