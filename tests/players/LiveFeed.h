#pragma once
// tests/tools/livefeed in its own process, for the live end-to-end tests:
// its stdout gives the addresses of the endpoints it starts, and the end of
// its stdin stops it. LIVEFEED_PATH names the program.
#include <windows.h>

#include <string>

class LiveFeed {
public:
    explicit LiveFeed(const std::wstring& pieces, const std::wstring& options = L"--rate 1")
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr;
        CreatePipe(&outRead, &outWrite, &inherit, 0);
        CreatePipe(&inRead, &m_input, &inherit, 0);
        SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW start = {};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdInput = inRead;
        start.hStdOutput = outWrite;
        start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::wstring command = L"\"" LIVEFEED_PATH L"\" \"" + pieces + L"\" " + options;
        m_started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                   &start, &m_process) != 0;
        CloseHandle(outWrite);
        CloseHandle(inRead);
        m_output = outRead;
    }
    ~LiveFeed()
    {
        CloseHandle(m_input);   // its stdin ends: it stops and exits
        if (m_started) {
            WaitForSingleObject(m_process.hProcess, 10000);
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
        CloseHandle(m_output);
    }

    // The address of the next READY line; empty when the feed ended first.
    std::wstring ReadyUrl()
    {
        std::string line;
        char c;
        DWORD read = 0;
        while (m_started && ReadFile(m_output, &c, 1, &read, nullptr) && read == 1) {
            if (c != '\n') {
                line.push_back(c);
                continue;
            }
            if (line.compare(0, 6, "READY ") == 0) {
                std::string url = line.substr(6, line.find(' ', 6) - 6);
                return std::wstring(url.begin(), url.end());
            }
            line.clear();
        }
        return std::wstring();
    }

private:
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
    HANDLE m_input = nullptr;
    HANDLE m_output = nullptr;
};
