#include "platform/standins/StandinLog.h"

#include <windows.h>

#include <mutex>

namespace standins {

namespace {

std::mutex g_lock;
std::wstring g_lines;

void AppendToFile(const std::wstring& line)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"TOVRA_STANDIN_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                    nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &text[0], bytes,
                        nullptr, nullptr);
    text += '\n';
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

void Log(const std::wstring& line)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines += line;
    g_lines += L'\n';
    AppendToFile(line);
}

std::wstring TakeLog()
{
    std::lock_guard<std::mutex> hold(g_lock);
    std::wstring lines;
    lines.swap(g_lines);
    return lines;
}

}  // namespace standins
