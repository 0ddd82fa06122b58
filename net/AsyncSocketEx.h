#pragma once

#include "net/Winsock.h"

#include <vector>

class CAsyncSocketEx;

// The hidden window of one thread: Windows Sockets posts the events of the
// thread's sockets to it, and its procedure calls their handlers.
class CAsyncSocketExHelperWindow {
public:
    static const UINT kLookupMessage = WM_USER + 1;
    static const UINT kFirstSocketMessage = WM_USER + 2;
    static const unsigned kTableStep = 512;
    // Keeps every socket message below 0xC000.
    static const unsigned kMaxTable = 0xC000 - (WM_USER + 2);

    CAsyncSocketExHelperWindow();
    ~CAsyncSocketExHelperWindow();
    CAsyncSocketExHelperWindow(const CAsyncSocketExHelperWindow&) = delete;
    CAsyncSocketExHelperWindow& operator=(const CAsyncSocketExHelperWindow&) = delete;

    HWND Window() const { return m_window; }
    // The entry's index, or -1 when the table is full.
    int AddSocket(CAsyncSocketEx* socket);
    void RemoveSocket(int index);
    unsigned TableSize() const { return static_cast<unsigned>(m_table.size()); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnSocketMessage(unsigned index, WPARAM wParam, LPARAM lParam);
    void OnLookupMessage(WPARAM wParam, LPARAM lParam);

    HWND m_window;
    std::vector<CAsyncSocketEx*> m_table;
    unsigned m_count;
    unsigned m_searchStart;
};

// The helper window of one thread and the sockets attached to it.
struct AsyncSocketThreadData {
    CAsyncSocketExHelperWindow* helper;
    int references;
    DWORD threadId;
    AsyncSocketThreadData* next;
};

// A socket whose network events arrive as handler calls on the thread that
// created it (that thread must run a message loop). Close it on that thread.
class CAsyncSocketEx {
public:
    CAsyncSocketEx();
    virtual ~CAsyncSocketEx();
    CAsyncSocketEx(const CAsyncSocketEx&) = delete;
    CAsyncSocketEx& operator=(const CAsyncSocketEx&) = delete;

    bool Create(unsigned short port = 0, int type = SOCK_STREAM,
                long events = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE,
                const wchar_t* address = nullptr);
    bool AsyncSelect(long events);
    bool Bind(unsigned short port, const wchar_t* address = nullptr);
    bool Listen(int backlog = 5);
    bool ShutDown(int how = SD_SEND);
    bool IOCtl(long command, u_long* argument);

    virtual bool Accept(CAsyncSocketEx& socket, sockaddr* address = nullptr, int* length = nullptr);
    virtual void Close();
    virtual bool Connect(const sockaddr* address, int length);
    virtual bool Connect(const wchar_t* host, unsigned short port);
    virtual int Receive(void* buffer, int length, int flags = 0);
    virtual int ReceiveFrom(void* buffer, int length, sockaddr* from, int* fromLength, int flags = 0);
    virtual int Send(const void* buffer, int length, int flags = 0);
    virtual int SendTo(const void* buffer, int length, const sockaddr* to, int toLength, int flags = 0);
    virtual void OnAccept(int error);
    virtual void OnClose(int error);
    virtual void OnConnect(int error);
    virtual void OnReceive(int error);
    virtual void OnSend(int error);

    SOCKET Handle() const { return m_socket; }
    int TableIndex() const { return m_index; }
    // The helper window of the attached thread, or null.
    HWND HelperWindow() const;

private:
    friend class CAsyncSocketExHelperWindow;

    bool Attach();
    void Detach();
    bool Register();
    // The lookup of a host name ended.
    void OnLookupDone(int error);

    SOCKET m_socket;
    int m_index;
    long m_events;
    char* m_lookupBuffer;
    HANDLE m_lookup;
    unsigned short m_connectPort;
    AsyncSocketThreadData* m_thread;
};
