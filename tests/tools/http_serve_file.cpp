// Serves one file through the loopback HTTP server, for real clients on the
// Linux side (curl, ffprobe, ffmpeg) and the benchmark.
//
// usage: http_serve_file <file> [--hole BEGIN-END]... [--end OFFSET]
//                               [--delay COUNT:MS]
// Prints the port as the first line of stdout, then "open <offset>" for every
// seek the server makes. Stops when stdin ends or on Ctrl-C / Ctrl-Break.
#include <winsock2.h>
#include <windows.h>

#include <boost/thread/mutex.hpp>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "tests/vod/http/FileReaderHost.h"
#include "vod/http/HttpServer.h"
#include "tests/tools/SayLine.h"

namespace {

HANDLE g_stop = nullptr;
BOOL WINAPI OnConsoleControl(DWORD)
{
    SetEvent(g_stop);
    return TRUE;
}

DWORD WINAPI WatchStdin(void*)
{
    char chunk[256];
    DWORD n = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, chunk, sizeof(chunk), &n, nullptr) && n > 0) {
    }
    SetEvent(g_stop);
    return 0;
}

unsigned long long Number(const wchar_t* text)
{
    return std::wcstoull(text, nullptr, 10);
}

int Usage()
{
    std::fputs("usage: http_serve_file <file> [--hole BEGIN-END]... [--end OFFSET] "
               "[--delay COUNT:MS]\n",
               stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return Usage();
    std::string bytes;
    if (!FileReaderHost::LoadFile(argv[1], &bytes)) {
        std::fprintf(stderr, "cannot read %ls\n", argv[1]);
        return 1;
    }
    FileReaderHost host(std::move(bytes));
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        const wchar_t* value = argv[i + 1];
        const wchar_t* separator = std::wcspbrk(value, L"-:");
        if (option == L"--end") {
            host.SetEnd(Number(value));
        } else if (option == L"--hole" && separator != nullptr) {
            host.AddHole(Number(value), Number(separator + 1));
        } else if (option == L"--delay" && separator != nullptr) {
            host.DelayReads(static_cast<int>(Number(value)),
                            static_cast<DWORD>(Number(separator + 1)));
        } else {
            return Usage();
        }
    }
    if (argc % 2 != 0)
        return Usage();

    host.SetOpenHook([](std::uint64_t offset) { Say("open " + std::to_string(offset)); });
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    HttpServer server;
    if (!server.Start(0)) {
        std::fputs("the server did not start\n", stderr);
        return 1;
    }
    server.SetReaderHost(&host);
    Say(std::to_string(server.GetPort()));

    CloseHandle(CreateThread(nullptr, 0, WatchStdin, nullptr, 0, nullptr));
    WaitForSingleObject(g_stop, INFINITE);
    server.Stop();
    return 0;
}
