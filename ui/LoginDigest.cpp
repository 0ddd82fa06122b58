#include "ui/LoginDigest.h"

#include <windows.h>

#include "common/md5/Md5.h"

std::wstring PasswordDigest(const std::wstring& password)
{
    std::string narrow;
    const int length = static_cast<int>(password.size());
    const int count =
        WideCharToMultiByte(CP_ACP, 0, password.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (count > 0) {
        narrow.resize(count);
        WideCharToMultiByte(CP_ACP, 0, password.c_str(), length, &narrow[0], count, nullptr,
                            nullptr);
    }
    const std::string hex = Md5Hex(narrow.data(), narrow.size());
    return std::wstring(hex.begin(), hex.end());
}
