#include "ui/chat/EmoticonTable.h"

#include <map>

#include "platform/window/WindowBase.h"
#include "ui/chat/ChatIds.h"

namespace {

struct EmoticonTables {
    bool built = false;
    std::wstring codeList;
    std::map<UINT, UINT> gifToCode;
    std::map<std::wstring, UINT> codeToGif;
};

EmoticonTables& Tables()
{
    static EmoticonTables tables;
    return tables;
}

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(CWindowBase::ModuleInstance(), id,
                                   reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

}  // namespace

UINT EmoticonNameId(int index)
{
    return index < 3 ? IDS_EMOTICON_NAME_FIRST + index : 143 + (index - 3);
}

UINT EmoticonCodeId(int index)
{
    return index < 3 ? IDS_EMOTICON_CODE_FIRST + index : 155 + (index - 3);
}

void BuildEmoticonTable()
{
    EmoticonTables& tables = Tables();
    if (tables.built)
        return;
    tables.built = true;
    tables.codeList.assign(1, kCodeDelimiter);
    for (int i = 0; i < kEmoticonCount; ++i) {
        const UINT gif = IDR_GIF_FIRST + i;
        const UINT codeId = EmoticonCodeId(i);
        const std::wstring code = LoadText(codeId);
        tables.codeList += code;
        tables.codeList += kCodeDelimiter;
        tables.gifToCode[gif] = codeId;
        if (!code.empty())
            tables.codeToGif[code] = gif;
    }
}

const std::wstring& EmoticonCodeList()
{
    return Tables().codeList;
}

UINT CodeToGif(const std::wstring& code)
{
    const auto& map = Tables().codeToGif;
    const auto found = map.find(code);
    return found == map.end() ? 0 : found->second;
}

UINT GifToCodeId(UINT gif)
{
    const auto& map = Tables().gifToCode;
    const auto found = map.find(gif);
    return found == map.end() ? 0 : found->second;
}
