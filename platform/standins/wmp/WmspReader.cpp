#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/standins/wmp/WmspReader.h"

#include <string>
#include <vector>

#include "platform/standins/wmp/WmspStream.h"

namespace {

// The codes the stand-in reports through its error object.
const long kErrorConnect = static_cast<long>(0x80072EFD);   // cannot connect
const long kErrorFraming = static_cast<long>(0x8007000D);   // damaged stream
const long kErrorLost = static_cast<long>(0x80072EFE);      // connection ended early

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

std::string Request(const std::string& host, const std::string& port, const std::string& path,
                    bool streaming)
{
    std::string request = "GET " + path + " HTTP/1.0\r\nAccept: */*\r\n"
                          "User-Agent: NSPlayer/7.10.0.3059\r\nHost: " + host + ":" + port + "\r\n";
    if (!streaming) {
        request += "Pragma: no-cache,rate=1.000000,stream-time=0,stream-offset=0:0,"
                   "request-context=1,max-duration=0\r\n";
    } else {
        request += "Pragma: no-cache,rate=1.000000,stream-time=0,"
                   "stream-offset=4294967295:4294967295,request-context=2,max-duration=0\r\n"
                   "Pragma: xPlayStrm=1\r\nPragma: stream-switch-count=2\r\n"
                   "Pragma: stream-switch-entry=ffff:1:0 ffff:2:0\r\n";
    }
    return request + "Connection: Keep-Alive\r\n\r\n";
}

}  // namespace

bool CWmspReader::Start(const std::wstring& url, HWND window)
{
    Stop();
    std::string address = Narrow(url);
    const std::string scheme = "http://";
    if (address.compare(0, scheme.size(), scheme) != 0)
        return false;
    std::string rest = address.substr(scheme.size());
    std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    m_path = slash == std::string::npos ? "/" : rest.substr(slash);
    std::size_t colon = authority.rfind(':');
    m_host = authority.substr(0, colon);
    m_port = colon == std::string::npos ? "80" : authority.substr(colon + 1);
    if (m_host.empty())
        return false;
    m_window = window;
    m_stopping = 0;
    m_width = m_height = 0;
    m_positionMs = 0;
    m_errorCode = 0;
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    m_play = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Made here, so that Stop always finds it: its shutdown ends a blocked receive.
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (m_thread)
        return true;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    CloseHandle(m_play);
    m_play = nullptr;
    WSACleanup();
    return false;
}

void CWmspReader::Play()
{
    if (m_play)
        SetEvent(m_play);
}

void CWmspReader::Stop()
{
    if (!m_thread)
        return;
    InterlockedExchange(&m_stopping, 1);
    SetEvent(m_play);
    if (m_socket != INVALID_SOCKET)
        shutdown(m_socket, SD_BOTH);
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    if (m_socket != INVALID_SOCKET)
        closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    CloseHandle(m_play);
    m_play = nullptr;
    WSACleanup();
}

std::wstring CWmspReader::ErrorText() const
{
    EnterCriticalSection(&m_errorLock);
    std::wstring text(m_errorText.begin(), m_errorText.end());
    LeaveCriticalSection(&m_errorLock);
    return text;
}

DWORD WINAPI CWmspReader::ThreadMain(void* self)
{
    static_cast<CWmspReader*>(self)->Run();
    return 0;
}

void CWmspReader::Fail(long code, const std::string& text)
{
    if (m_stopping)
        return;   // a stop is no failure
    EnterCriticalSection(&m_errorLock);
    m_errorText = text;
    LeaveCriticalSection(&m_errorLock);
    InterlockedExchange(&m_errorCode, code);
    PostMessageW(m_window, kFailedMessage, 0, 0);
}

bool CWmspReader::SendAll(const std::string& bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        int sent = send(m_socket, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
        if (sent <= 0)
            return false;
        at += static_cast<std::size_t>(sent);
    }
    return true;
}

void CWmspReader::Run()
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(m_host.c_str(), m_port.c_str(), &hints, &found) != 0 || !found)
        return Fail(kErrorConnect, "cannot resolve " + m_host);
    SOCKET s = m_socket;
    bool connected = s != INVALID_SOCKET && !m_stopping &&
                     connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected || !SendAll(Request(m_host, m_port, m_path, false)))
        return Fail(kErrorConnect, "cannot connect to " + m_host + ":" + m_port);

    wmsp::ClientStream stream;
    bool playing = false;
    long dataPackets = 0;
    std::uint32_t firstSendTime = 0;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        int received = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (received <= 0) {
            // A live server that restarts closes its clients: once data came,
            // that ends the media like "$E" does.
            if (playing && !m_stopping) {
                PostMessageW(m_window, kEndedMessage, 0, 0);
                return;
            }
            return Fail(kErrorLost, "connection ended before the stream began");
        }
        stream.Append(reinterpret_cast<const std::uint8_t*>(buffer.data()),
                      static_cast<std::size_t>(received));
        for (;;) {
            wmsp::ClientStream::Event event = stream.Next();
            switch (event) {
            case wmsp::ClientStream::Event::None:
            case wmsp::ClientStream::Event::Streaming:
                break;
            case wmsp::ClientStream::Event::Header:
                for (const asf::Stream& media : stream.Header().streams) {
                    if (media.video && media.format.size() >= 12) {
                        const std::uint8_t* f = media.format.data();
                        m_width = static_cast<LONG>(f[4] | f[5] << 8 | f[6] << 16 | f[7] << 24);
                        m_height = static_cast<LONG>(f[8] | f[9] << 8 | f[10] << 16 | f[11] << 24);
                    }
                }
                m_durationSeconds = stream.Header().durationHns / 1e7;
                PostMessageW(m_window, kHeaderMessage, 0, 0);
                WaitForSingleObject(m_play, INFINITE);
                if (m_stopping || !SendAll(Request(m_host, m_port, m_path, true)))
                    return;
                stream.SecondRequestSent();
                break;
            case wmsp::ClientStream::Event::Data:
                if (++dataPackets == m_damageAt)
                    return Fail(kErrorFraming, "data packet " + std::to_string(dataPackets) + " damaged");
                if (!playing) {
                    playing = true;
                    firstSendTime = stream.SendTimeMs();
                    PostMessageW(m_window, kPlayingMessage, 0, 0);
                }
                InterlockedExchange(&m_positionMs, static_cast<LONG>(stream.SendTimeMs() - firstSendTime));
                break;
            case wmsp::ClientStream::Event::End:
                PostMessageW(m_window, kEndedMessage, 0, 0);
                return;
            case wmsp::ClientStream::Event::Bad:
                return Fail(kErrorFraming, stream.Error());
            }
            if (event == wmsp::ClientStream::Event::None)
                break;
        }
        if (m_stopping)
            return;
    }
}
