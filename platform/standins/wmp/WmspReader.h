#pragma once
// The stand-in player's connection: reads one address over Windows Media
// HTTP streaming on a thread of its own and posts what it found to a window
// of the control's thread. The first request fetches the header; the second
// (on the same connection) is sent once the control plays.
#include <windows.h>

#include <string>

class CWmspReader {
public:
    // Posted to the window. Payload-free: the control reads the reader's
    // state through its accessors.
    static const UINT kHeaderMessage = WM_APP + 0x140;      // media opened
    static const UINT kPlayingMessage = WM_APP + 0x141;     // first data packet
    static const UINT kFailedMessage = WM_APP + 0x142;      // ErrorCode(), ErrorText()
    static const UINT kEndedMessage = WM_APP + 0x143;       // "$E" from the server

    CWmspReader() { InitializeCriticalSection(&m_errorLock); }
    ~CWmspReader()
    {
        Stop();
        DeleteCriticalSection(&m_errorLock);
    }
    CWmspReader(const CWmspReader&) = delete;
    CWmspReader& operator=(const CWmspReader&) = delete;

    // Connects to an "http://host:port/path" address and asks for its header.
    bool Start(const std::wstring& url, HWND window);
    // From the next Start on: data packet n (counted from 1; 0 none) is taken
    // as damaged and ends the stream with the damaged-stream error.
    void DamageDataPacket(long n) { m_damageAt = n; }
    // Streams once the header is in (at once when it is).
    void Play();
    // Closes the connection and waits for the thread.
    void Stop();

    int VideoWidth() const { return m_width; }
    int VideoHeight() const { return m_height; }
    double DurationSeconds() const { return m_durationSeconds; }
    // Seconds of stream received since the first data packet.
    double PositionSeconds() const { return m_positionMs / 1000.0; }
    long ErrorCode() const { return m_errorCode; }
    std::wstring ErrorText() const;

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    void Fail(long code, const std::string& text);
    bool SendAll(const std::string& bytes);

    std::string m_host;
    std::string m_port;
    std::string m_path;
    HWND m_window = nullptr;
    long m_damageAt = 0;
    HANDLE m_thread = nullptr;
    HANDLE m_play = nullptr;      // set by Play and by Stop
    volatile LONG m_stopping = 0;
    UINT_PTR m_socket = ~UINT_PTR(0);   // a SOCKET; closed by Stop, after the thread ended
    volatile LONG m_width = 0;
    volatile LONG m_height = 0;
    double m_durationSeconds = 0;
    volatile LONG m_positionMs = 0;
    volatile LONG m_errorCode = 0;
    mutable CRITICAL_SECTION m_errorLock;
    std::string m_errorText;      // under m_errorLock
};
