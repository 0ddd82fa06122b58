#include "control/AuthChallenge.h"

#include <shlwapi.h>

#include <cwchar>

std::wstring ChallengeText(const char* bytes, int length)
{
    if (!bytes || length <= 0)
        return std::wstring();
    const int count = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    std::wstring text(count, L'\0');
    if (count > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes, length, &text[0], count);
    return text;
}

AuthChallenge ParseAuthChallenge(const std::wstring& text)
{
    static const wchar_t kType[] = L"type=";
    static const wchar_t kCode[] = L"&code=";
    AuthChallenge challenge;
    if (text.compare(0, 5, kType) == 0) {
        const std::size_t code = text.find(kCode, 5);
        if (code != std::wstring::npos) {
            challenge.kind = static_cast<int>(wcstol(text.substr(5, code - 5).c_str(), nullptr, 10));
            challenge.code = text.substr(code + 6);
        }
        return challenge;
    }
    challenge.kind = PathIsURLW(text.c_str()) ? AuthChallenge::kUserPassword
                                              : AuthChallenge::kPassword;
    challenge.code = text;
    return challenge;
}
