#include "platform/com/ClassRegistry.h"

#include <objbase.h>
#include <oleauto.h>
#include <shlwapi.h>

namespace com {

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

namespace {

HRESULT SetKey(const std::wstring& key, const wchar_t* name, const wchar_t* text)
{
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS && text)
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    if (handle)
        RegCloseKey(handle);
    return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT WriteClassesEntries(const ClassesEntry* entries, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        HRESULT result = SetKey(entries[i].key, entries[i].name, entries[i].text);
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

HRESULT DeleteClassesTrees(const std::wstring* keys, size_t count)
{
    HRESULT result = S_OK;
    for (size_t i = 0; i < count; ++i) {
        DWORD status = SHDeleteKeyW(HKEY_CLASSES_ROOT, keys[i].c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(status);
    }
    return result;
}

HRESULT RegisterEmbeddedTypeLib(const wchar_t* path)
{
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(result))
        return result;
    result = RegisterTypeLib(library, const_cast<wchar_t*>(path), nullptr);
    library->Release();
    return result;
}

void UnregisterTypeLibrary(REFGUID libraryId, WORD major, WORD minor)
{
    UnRegisterTypeLib(libraryId, major, minor, LANG_NEUTRAL,
                      sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

}  // namespace com
