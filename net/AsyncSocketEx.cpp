#include "net/AsyncSocketEx.h"

#include <algorithm>
#include <cstring>

namespace {

const wchar_t kHelperClass[] = L"CAsyncSocketEx Helper Window";
const unsigned kLookupBufferBytes = 1024;
const long kForcedRead = 0x8000;

// The list of thread records and its lock, made when the library loads.
class ThreadList {
public:
    ThreadList() : head(nullptr) { InitializeCriticalSection(&lock); }
    ~ThreadList() { DeleteCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    AsyncSocketThreadData* head;
};

ThreadList g_threads;

class ListLock {
public:
    ListLock() { EnterCriticalSection(&g_threads.lock); }
    ~ListLock() { LeaveCriticalSection(&g_threads.lock); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
};

bool ParseAddress(const wchar_t* text, in_addr& address) {
    if (!text || !*text) {
        address.s_addr = htonl(INADDR_ANY);
        return true;
    }
    char ansi[64];
    if (!WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr))
        return false;
    address.s_addr = inet_addr(ansi);
    return address.s_addr != INADDR_NONE || std::strcmp(ansi, "255.255.255.255") == 0;
}

}  // namespace

// ------------------------------------------------------------------ helper window

CAsyncSocketExHelperWindow::CAsyncSocketExHelperWindow()
    : m_window(nullptr), m_table(kTableStep, nullptr), m_count(0), m_searchStart(0) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc;
    if (!GetClassInfoExW(module, kHelperClass, &wc)) {
        ZeroMemory(&wc, sizeof wc);
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &CAsyncSocketExHelperWindow::WindowProc;
        wc.hInstance = module;
        wc.lpszClassName = kHelperClass;
        RegisterClassExW(&wc);
    }
    m_window = CreateWindowExW(0, kHelperClass, kHelperClass, 0, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    if (m_window)
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CAsyncSocketExHelperWindow::~CAsyncSocketExHelperWindow() {
    if (m_window) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

int CAsyncSocketExHelperWindow::AddSocket(CAsyncSocketEx* socket) {
    if (m_count >= m_table.size() - 10 && m_table.size() < kMaxTable)
        m_table.resize(std::min(m_table.size() + kTableStep, static_cast<std::size_t>(kMaxTable)), nullptr);
    const unsigned size = static_cast<unsigned>(m_table.size());
    for (unsigned n = 0; n < size; ++n) {
        const unsigned i = (m_searchStart + n) % size;
        if (!m_table[i]) {
            m_table[i] = socket;
            ++m_count;
            m_searchStart = (i + 1) % size;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CAsyncSocketExHelperWindow::RemoveSocket(int index) {
    if (index < 0 || static_cast<unsigned>(index) >= m_table.size() || !m_table[index])
        return;
    m_table[index] = nullptr;
    --m_count;
}

LRESULT CALLBACK CAsyncSocketExHelperWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CAsyncSocketExHelperWindow* self =
        reinterpret_cast<CAsyncSocketExHelperWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= kFirstSocketMessage && message - kFirstSocketMessage < self->m_table.size()) {
        self->OnSocketMessage(message - kFirstSocketMessage, wParam, lParam);
        return 0;
    }
    if (self && message == kLookupMessage) {
        self->OnLookupMessage(wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CAsyncSocketExHelperWindow::OnSocketMessage(unsigned index, WPARAM wParam, LPARAM lParam) {
    CAsyncSocketEx* socket = m_table[index];
    if (!socket || static_cast<SOCKET>(wParam) != socket->m_socket)
        return;
    int error = WSAGETSELECTERROR(lParam);
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_READ: {
        u_long waiting = 0;
        if (ioctlsocket(socket->m_socket, FIONREAD, &waiting) != 0)
            error = WSAGetLastError();
        if (waiting > 0 || error != 0)
            socket->OnReceive(error);
        break;
    }
    case FD_WRITE:
        socket->OnSend(error);
        break;
    case FD_ACCEPT:
        socket->OnAccept(error);
        break;
    case FD_CONNECT:
        socket->OnConnect(error);
        break;
    case FD_CLOSE:
        socket->OnClose(error);
        break;
    case kForcedRead:
        socket->OnReceive(error);
        break;
    default:
        break;
    }
}

void CAsyncSocketExHelperWindow::OnLookupMessage(WPARAM wParam, LPARAM lParam) {
    for (CAsyncSocketEx* socket : m_table) {
        if (socket && socket->m_lookup && reinterpret_cast<WPARAM>(socket->m_lookup) == wParam) {
            socket->OnLookupDone(WSAGETASYNCERROR(lParam));
            return;
        }
    }
}

// ------------------------------------------------------------------ socket

CAsyncSocketEx::CAsyncSocketEx()
    : m_socket(INVALID_SOCKET),
      m_index(-1),
      m_events(0),
      m_lookupBuffer(nullptr),
      m_lookup(nullptr),
      m_connectPort(0),
      m_thread(nullptr) {}

CAsyncSocketEx::~CAsyncSocketEx() {
    Close();
    Detach();
}

HWND CAsyncSocketEx::HelperWindow() const { return m_thread ? m_thread->helper->Window() : nullptr; }

bool CAsyncSocketEx::Attach() {
    if (m_thread)
        return true;
    const DWORD id = GetCurrentThreadId();
    ListLock lock;
    for (AsyncSocketThreadData* t = g_threads.head; t; t = t->next) {
        if (t->threadId == id) {
            ++t->references;
            m_thread = t;
            return true;
        }
    }
    CAsyncSocketExHelperWindow* helper = new CAsyncSocketExHelperWindow();
    if (!helper->Window()) {
        delete helper;
        return false;
    }
    m_thread = new AsyncSocketThreadData{helper, 1, id, g_threads.head};
    g_threads.head = m_thread;
    return true;
}

void CAsyncSocketEx::Detach() {
    if (!m_thread)
        return;
    ListLock lock;
    for (AsyncSocketThreadData** link = &g_threads.head; *link; link = &(*link)->next) {
        if (*link == m_thread) {
            if (--m_thread->references == 0) {
                *link = m_thread->next;
                delete m_thread->helper;
                delete m_thread;
            }
            break;
        }
    }
    m_thread = nullptr;
}

bool CAsyncSocketEx::Register() {
    m_index = m_thread->helper->AddSocket(this);
    return m_index >= 0;
}

bool CAsyncSocketEx::Create(unsigned short port, int type, long events, const wchar_t* address) {
    if (m_socket != INVALID_SOCKET) {
        WSASetLastError(WSAEALREADY);
        return false;
    }
    if (!Attach()) {
        WSASetLastError(WSANOTINITIALISED);
        return false;
    }
    m_socket = socket(AF_INET, type, 0);
    if (m_socket == INVALID_SOCKET)
        return false;
    if (!Register()) {
        Close();
        WSASetLastError(WSAEMFILE);
        return false;
    }
    if (!AsyncSelect(events) || !Bind(port, address)) {
        const int error = WSAGetLastError();
        Close();
        WSASetLastError(error);
        return false;
    }
    return true;
}

bool CAsyncSocketEx::AsyncSelect(long events) {
    m_events = events;
    if (m_socket == INVALID_SOCKET || m_index < 0) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    return WSAAsyncSelect(m_socket, m_thread->helper->Window(),
                          CAsyncSocketExHelperWindow::kFirstSocketMessage + m_index, events) == 0;
}

bool CAsyncSocketEx::Bind(unsigned short port, const wchar_t* address) {
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (!ParseAddress(address, a.sin_addr)) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    return bind(m_socket, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool CAsyncSocketEx::Listen(int backlog) { return listen(m_socket, backlog) == 0; }

bool CAsyncSocketEx::ShutDown(int how) { return shutdown(m_socket, how) == 0; }

bool CAsyncSocketEx::IOCtl(long command, u_long* argument) { return ioctlsocket(m_socket, command, argument) == 0; }

bool CAsyncSocketEx::Accept(CAsyncSocketEx& socket, sockaddr* address, int* length) {
    if (socket.m_socket != INVALID_SOCKET) {
        WSASetLastError(WSAEALREADY);
        return false;
    }
    const SOCKET s = accept(m_socket, address, length);
    if (s == INVALID_SOCKET)
        return false;
    if (!socket.Attach()) {
        closesocket(s);
        WSASetLastError(WSANOTINITIALISED);
        return false;
    }
    socket.m_socket = s;
    if (!socket.Register()) {
        socket.Close();
        WSASetLastError(WSAEMFILE);
        return false;
    }
    return true;
}

void CAsyncSocketEx::Close() {
    if (m_socket == INVALID_SOCKET)
        return;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    if (m_thread)
        m_thread->helper->RemoveSocket(m_index);
    m_index = -1;
    if (m_lookup) {
        WSACancelAsyncRequest(m_lookup);
        m_lookup = nullptr;
    }
    delete[] m_lookupBuffer;
    m_lookupBuffer = nullptr;
}

bool CAsyncSocketEx::Connect(const sockaddr* address, int length) {
    return connect(m_socket, address, length) == 0;
}

bool CAsyncSocketEx::Connect(const wchar_t* host, unsigned short port) {
    if (!host || !*host) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (ParseAddress(host, a.sin_addr))
        return Connect(reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (m_lookup || m_index < 0) {
        WSASetLastError(m_lookup ? WSAEALREADY : WSAENOTSOCK);
        return false;
    }
    char ansi[256];
    if (!WideCharToMultiByte(CP_ACP, 0, host, -1, ansi, sizeof ansi, nullptr, nullptr)) {
        WSASetLastError(WSAEINVAL);
        return false;
    }
    m_lookupBuffer = new char[kLookupBufferBytes];
    m_lookup = WSAAsyncGetHostByName(m_thread->helper->Window(), CAsyncSocketExHelperWindow::kLookupMessage, ansi,
                                     m_lookupBuffer, kLookupBufferBytes);
    if (!m_lookup) {
        delete[] m_lookupBuffer;
        m_lookupBuffer = nullptr;
        return false;
    }
    m_connectPort = port;
    WSASetLastError(WSAEWOULDBLOCK);
    return true;
}

void CAsyncSocketEx::OnLookupDone(int error) {
    m_lookup = nullptr;
    if (error != 0) {
        delete[] m_lookupBuffer;
        m_lookupBuffer = nullptr;
        OnConnect(error);
        return;
    }
    const hostent* host = reinterpret_cast<const hostent*>(m_lookupBuffer);
    sockaddr_in a;
    ZeroMemory(&a, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(m_connectPort);
    const bool found = host->h_addr_list && host->h_addr_list[0];
    if (found)
        CopyMemory(&a.sin_addr, host->h_addr_list[0], sizeof a.sin_addr);
    delete[] m_lookupBuffer;
    m_lookupBuffer = nullptr;
    if (!found) {
        OnConnect(WSAHOST_NOT_FOUND);
        return;
    }
    if (!Connect(reinterpret_cast<sockaddr*>(&a), sizeof a) && WSAGetLastError() != WSAEWOULDBLOCK)
        OnConnect(WSAGetLastError());
}

int CAsyncSocketEx::Receive(void* buffer, int length, int flags) {
    return recv(m_socket, static_cast<char*>(buffer), length, flags);
}

int CAsyncSocketEx::ReceiveFrom(void* buffer, int length, sockaddr* from, int* fromLength, int flags) {
    return recvfrom(m_socket, static_cast<char*>(buffer), length, flags, from, fromLength);
}

int CAsyncSocketEx::Send(const void* buffer, int length, int flags) {
    return send(m_socket, static_cast<const char*>(buffer), length, flags);
}

int CAsyncSocketEx::SendTo(const void* buffer, int length, const sockaddr* to, int toLength, int flags) {
    return sendto(m_socket, static_cast<const char*>(buffer), length, flags, to, toLength);
}

void CAsyncSocketEx::OnAccept(int) {}
void CAsyncSocketEx::OnClose(int) {}
void CAsyncSocketEx::OnConnect(int) {}
void CAsyncSocketEx::OnReceive(int) {}
void CAsyncSocketEx::OnSend(int) {}
