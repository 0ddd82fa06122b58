#pragma once

#include <windows.h>

#include <string>

// The emoticon vocabulary: entry i (0 to 14) is the "GIF" resource 230 + i,
// with a name and a code ("/:A" ...) in the string table. Codes travel bare
// ("/:A", as typed and copied) or delimited (0x7F "/:A" 0x7F, as sent).
// Page thread only.

const int kEmoticonCount = 15;
const wchar_t kCodeDelimiter = 0x7F;

// String ids of entry i's name and code.
UINT EmoticonNameId(int index);
UINT EmoticonCodeId(int index);

// Builds the process-wide tables from the module's strings, once; later calls
// do nothing.
void BuildEmoticonTable();

// 0x7F, then every code followed by 0x7F.
const std::wstring& EmoticonCodeList();

// The GIF resource id of a bare code; 0 when the text is not a code.
UINT CodeToGif(const std::wstring& code);

// The code string id of a GIF resource id; 0 for none.
UINT GifToCodeId(UINT gif);
