#include "HttpTestSupport.h"

#include <cstdio>
#include <cstdlib>

namespace testsupport {

namespace {

const wchar_t kSinkClass[] = L"TestMessageSink";

struct WinsockUser {
    WinsockUser()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};

void EnsureWinsock()
{
    static WinsockUser user;
}

} // namespace

MessageSink::MessageSink()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSinkClass;
    RegisterClassW(&wc);
    m_window = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageSink::~MessageSink()
{
    DestroyWindow(m_window);
}

LRESULT CALLBACK MessageSink::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_APP) {
        auto* self = reinterpret_cast<MessageSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self)
            self->m_messages.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void MessageSink::Drain()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool MessageSink::WaitFor(std::size_t count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Drain();
        if (m_messages.size() >= count)
            return true;
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - spent, QS_ALLINPUT);
    }
}

int FixturePort()
{
    const char* port = std::getenv("TOVRA_HTTP_PORT");
    return port ? std::atoi(port) : 0;
}

std::wstring FixtureUrl(const std::string& path)
{
    return Widen("http://127.0.0.1:" + std::to_string(FixturePort()) + path);
}

int ClosedPort()
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

FixtureAnswer FixtureGet(const std::string& pathAndQuery)
{
    EnsureWinsock();
    FixtureAnswer answer;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(FixturePort()));
    // The fixture answers its control routes within its own bound (20 s).
    DWORD timeout = 30000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(s);
        return answer;
    }
    std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    send(s, request.data(), static_cast<int>(request.size()), 0);
    std::string reply;
    char block[4096];
    int got;
    while ((got = recv(s, block, sizeof block, 0)) > 0)
        reply.append(block, got);
    closesocket(s);
    std::sscanf(reply.c_str(), "HTTP/%*s %d", &answer.status);
    std::string::size_type split = reply.find("\r\n\r\n");
    if (split != std::string::npos)
        answer.body = reply.substr(split + 4);
    return answer;
}

int FixtureCount(const std::string& path)
{
    return std::atoi(FixtureGet("/_count?path=" + path).body.c_str());
}

bool FixtureWait(const std::string& path, int count, int timeoutMs)
{
    return FixtureGet("/_wait?path=" + path + "&count=" + std::to_string(count) +
                      "&ms=" + std::to_string(timeoutMs))
               .status == 200;
}

std::string PatternBody(std::size_t size)
{
    std::string body(size, 'a');
    for (std::size_t i = 0; i < size; ++i)
        body[i] = static_cast<char>('a' + i % 26);
    return body;
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

} // namespace testsupport
