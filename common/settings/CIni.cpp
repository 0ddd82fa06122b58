#include "common/settings/CIni.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

namespace util {

namespace {

const int kReadChunk = 512;

// Formats value in base 2 (binary digits, no leading zeros), 8, 16 or 10.
std::wstring FormatInt(int value, int base)
{
    wchar_t text[72];
    switch (base) {
    case 2: {
        unsigned long long bits = static_cast<unsigned int>(value);
        int n = 0;
        wchar_t reversed[65];
        do {
            reversed[n++] = L'0' + static_cast<wchar_t>(bits & 1);
            bits >>= 1;
        } while (bits != 0);
        for (int i = 0; i < n; ++i)
            text[i] = reversed[n - 1 - i];
        text[n] = 0;
        break;
    }
    case 8:
        swprintf(text, 72, L"%o", static_cast<unsigned int>(value));
        break;
    case 16:
        swprintf(text, 72, L"%X", static_cast<unsigned int>(value));
        break;
    default:
        swprintf(text, 72, L"%d", value);
        break;
    }
    return text;
}

std::wstring SettingsPath(int csidl, const wchar_t* fileName)
{
    wchar_t path[MAX_PATH * 2] = L"";
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE))
        return std::wstring();
    PathAppendW(path, L"zuvoriru");
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CreateDirectoryW(path, nullptr);
    PathAppendW(path, fileName);
    return path;
}

} // namespace

CIni::CIni(const wchar_t* path) : m_path(nullptr)
{
    if (path) {
        size_t length = wcslen(path);
        m_path = new wchar_t[length + 1];
        wmemcpy(m_path, path, length + 1);
    }
}

CIni::~CIni()
{
    delete[] m_path;
}

int CIni::ReadString(const wchar_t* section, const wchar_t* key, wchar_t* out, int maximum,
                     const wchar_t* defaultValue)
{
    if (out && maximum >= 0)
        out[0] = 0;
    const wchar_t* fallback = defaultValue ? defaultValue : L"";
    std::vector<wchar_t> value;
    if (section && key && m_path) {
        // The platform truncates silently: grow until the value fits.
        DWORD length = 0;
        for (DWORD size = kReadChunk;; size += kReadChunk) {
            value.assign(size, 0);
            length = GetPrivateProfileStringW(section, key, fallback, value.data(), size, m_path);
            if (length + 1 < size)
                break;
        }
        value.resize(length);
    } else {
        value.assign(fallback, fallback + wcslen(fallback));
    }
    int length = static_cast<int>(value.size());
    if (length > maximum)
        length = maximum < 0 ? 0 : maximum;
    if (out && length > 0)
        wmemcpy(out, value.data(), length);
    return length;
}

int CIni::WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    if (!section || !key)
        return 0;
    return WritePrivateProfileStringW(section, key, value ? value : L"", m_path);
}

int CIni::ReadInt(const wchar_t* section, const wchar_t* key, int defaultValue, int base)
{
    wchar_t text[65];
    int length = ReadString(section, key, text, 64, L"");
    text[length] = 0;
    if (length == 0)
        return defaultValue;
    if (base != 2 && base != 8 && base != 16)
        base = 10;
    return static_cast<int>(wcstoul(text, nullptr, base));
}

int CIni::WriteInt(const wchar_t* section, const wchar_t* key, int value, int base)
{
    return WriteString(section, key, FormatInt(value, base).c_str());
}

void ReadIniString(const std::wstring& iniPath, std::wstring& out, const wchar_t* section,
                   const wchar_t* key, const wchar_t* defaultValue)
{
    wchar_t buffer[260];
    int length = CIni(iniPath.c_str()).ReadString(section, key, buffer, 259, defaultValue);
    buffer[length] = 0;
    out = buffer;
}

std::wstring GetUserIniPath()
{
    return SettingsPath(CSIDL_LOCAL_APPDATA, L"user.ini");
}

std::wstring GetLocalSettingsIniPath()
{
    return SettingsPath(CSIDL_LOCAL_APPDATA, L"vodctl.ini");
}

std::wstring GetCommonSettingsIniPath()
{
    return SettingsPath(CSIDL_COMMON_APPDATA, L"vodctl.ini");
}

} // namespace util
