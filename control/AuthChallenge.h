#pragma once
#include <windows.h>

#include <string>

// A channel's authorisation challenge, the "pwd" value of a tracker reply:
// "type=N&code=X", or the older bare form (a login URL, or a password digest).
struct AuthChallenge {
    enum Kind { kRefused = 0, kPassword = 1, kUserPassword = 2, kAutoLogin = 3 };
    int kind = kRefused;   // any other number refuses as well
    std::wstring code;     // the password digest or the login URL
};

// The challenge's bytes read in the system code page.
std::wstring ChallengeText(const char* bytes, int length);
AuthChallenge ParseAuthChallenge(const std::wstring& text);
