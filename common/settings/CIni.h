#pragma once

#include <string>

namespace util {

// One key of an INI settings file per call, through the platform's
// private-profile functions. Nothing is cached: each call reads or writes
// the file, so two processes sharing it see a key before or after a write.
class CIni {
public:
    explicit CIni(const wchar_t* path);
    virtual ~CIni();
    CIni(const CIni&) = delete;
    CIni& operator=(const CIni&) = delete;

    // Copies the value (or the default, or "") into out (when given) up to
    // maximum characters and returns its length capped at maximum. Callers
    // pass a buffer of maximum + 1 characters and terminate it themselves.
    int ReadString(const wchar_t* section, const wchar_t* key, wchar_t* out, int maximum,
                   const wchar_t* defaultValue);
    // Result of WritePrivateProfileStringW; 0 without section or key.
    int WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value);
    // Bases 2, 8 and 16 as given, any other base means 10.
    int ReadInt(const wchar_t* section, const wchar_t* key, int defaultValue, int base);
    int WriteInt(const wchar_t* section, const wchar_t* key, int value, int base);

private:
    wchar_t* m_path;
};

// ReadString into a 260-character buffer, assigned to out.
void ReadIniString(const std::wstring& iniPath, std::wstring& out, const wchar_t* section,
                   const wchar_t* key, const wchar_t* defaultValue);

// The settings files, in the folder "zuvoriru" under a shell folder (created
// when missing); the empty text when the shell folder is unknown.
std::wstring GetUserIniPath();
std::wstring GetLocalSettingsIniPath();
std::wstring GetCommonSettingsIniPath();

} // namespace util
