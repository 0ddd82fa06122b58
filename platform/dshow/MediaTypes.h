#pragma once

#include <dshow.h>

// AM_MEDIA_TYPE ownership: a copy owns its format block (and holds pUnk).
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
void FreeMediaType(AM_MEDIA_TYPE& type);
// A CoTaskMem copy, as enumerators hand out; null on failure.
AM_MEDIA_TYPE* CreateMediaTypeCopy(const AM_MEDIA_TYPE* source);
void DeleteMediaType(AM_MEDIA_TYPE* type);
// A subtype GUID built from a four-character code, as DirectShow does.
GUID SubtypeFromFourCC(DWORD fourCC);
