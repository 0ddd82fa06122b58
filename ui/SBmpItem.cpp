#include "ui/SBmpItem.h"

#include "common/pack/Unpack.h"

namespace UI_Mgr {

void SBmpItem::Unpack(nps::Unpack& in)
{
    format = in.pop_uint8();
    ID = in.pop_uint32();
    Rect.left = static_cast<LONG>(in.pop_uint32());
    Rect.top = static_cast<LONG>(in.pop_uint32());
    Rect.right = static_cast<LONG>(in.pop_uint32());
    Rect.bottom = static_cast<LONG>(in.pop_uint32());
    Name = in.pop_varstr().str();
    Desc = in.pop_varstr().str();
}

}  // namespace UI_Mgr
