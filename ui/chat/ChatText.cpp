#include "ui/chat/ChatText.h"

#include "common/text/HexText.h"
#include "platform/window/WindowBase.h"

std::wstring LoadChatText(UINT id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(CWindowBase::ModuleInstance(), id,
                                   reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

std::u16string AnsiToUtf16Text(const char* bytes, std::size_t length)
{
    if (length == 0 || length > 0x7FFFFFFF)
        return std::u16string();
    const int n = static_cast<int>(length);
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes, n, nullptr, 0);
    if (units <= 0)
        return std::u16string();
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, n, &wide[0], units);
    return std::u16string(wide.begin(), wide.end());
}

std::wstring UnescapeCookieValue(const std::wstring& value)
{
    const int n = WideCharToMultiByte(CP_ACP, 0, value.c_str(), static_cast<int>(value.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::wstring();
    std::string bytes(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, value.c_str(), static_cast<int>(value.size()), &bytes[0], n,
                        nullptr, nullptr);
    std::string plain;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '%' && i + 2 < bytes.size() && HexDigitValue(bytes[i + 1]) >= 0 &&
            HexDigitValue(bytes[i + 2]) >= 0) {
            plain += static_cast<char>(HexDigitValue(bytes[i + 1]) * 16 + HexDigitValue(bytes[i + 2]));
            i += 2;
        } else {
            plain += bytes[i];
        }
    }
    const std::u16string wide = AnsiToUtf16Text(plain.data(), plain.size());
    return std::wstring(wide.begin(), wide.end());
}
