#include "platform/wmvcore/StandIn.h"

StandInNetworkSink::StandInNetworkSink() : m_disconnecting(false), m_listener(INVALID_SOCKET)
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

StandInNetworkSink::~StandInNetworkSink()
{
    Close();
    WSACleanup();
}

STDMETHODIMP StandInNetworkSink::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == __uuidof(IWMWriterSink) || iid == __uuidof(IWMWriterNetworkSink)) {
        *out = static_cast<IWMWriterNetworkSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

static std::string BytesOf(INSSBuffer* buffer)
{
    BYTE* bytes = nullptr;
    DWORD length = 0;
    buffer->GetBufferAndLength(&bytes, &length);
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

STDMETHODIMP StandInNetworkSink::OnHeader(INSSBuffer* header)
{
    std::string bytes = BytesOf(header);
    std::lock_guard<std::mutex> lock(m_lock);
    m_header = bytes;
    m_changed.notify_all();
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::IsRealTime(WINBOOL* realTime)
{
    *realTime = TRUE;
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::AllocateDataUnit(DWORD size, INSSBuffer** unit)
{
    *unit = new StandInBuffer(size);
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::OnDataUnit(INSSBuffer* unit)
{
    std::string bytes = BytesOf(unit);
    std::lock_guard<std::mutex> lock(m_lock);
    m_entries.push_back(bytes);
    m_changed.notify_all();
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::SetNetworkProtocol(WMT_NET_PROTOCOL protocol)
{
    return protocol == WMT_PROTOCOL_HTTP ? S_OK : E_INVALIDARG;
}

STDMETHODIMP StandInNetworkSink::GetNetworkProtocol(WMT_NET_PROTOCOL* protocol)
{
    *protocol = WMT_PROTOCOL_HTTP;
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::Open(DWORD* port)
{
    if (port == nullptr)
        return E_POINTER;
    if (m_listener != INVALID_SOCKET || StandInStepFails("open"))
        return E_FAIL;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(*port));
    int size = sizeof(address);
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        return E_FAIL;
    }
    *port = ntohs(address.sin_port);
    m_disconnecting = false;
    m_listener = listener;
    m_acceptThread = std::thread(&StandInNetworkSink::Accept, this);
    return S_OK;
}

void StandInNetworkSink::Accept()
{
    for (;;) {
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_disconnecting) {
            closesocket(client);
            continue;
        }
        m_clients.push_back(client);
        m_clientThreads.emplace_back(&StandInNetworkSink::ServeClient, this, client);
    }
}

static bool SendAll(SOCKET client, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        int step = send(client, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (step <= 0)
            return false;
        sent += static_cast<std::size_t>(step);
    }
    return true;
}

void StandInNetworkSink::ServeClient(SOCKET client)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return m_disconnecting || !m_header.empty(); });
    std::string header = m_header;
    std::size_t next = 0;
    lock.unlock();
    bool open = SendAll(client, header);
    while (open) {
        lock.lock();
        m_changed.wait(lock, [&] { return m_disconnecting || next < m_entries.size(); });
        if (m_disconnecting)
            return;
        std::string entry = m_entries[next++];
        lock.unlock();
        open = SendAll(client, entry);
    }
}

STDMETHODIMP StandInNetworkSink::Disconnect()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_disconnecting = true;
        m_changed.notify_all();
        // Ends a send blocked on a client that does not read.
        for (SOCKET client : m_clients)
            shutdown(client, SD_BOTH);
        threads.swap(m_clientThreads);
    }
    for (std::thread& thread : threads)
        thread.join();
    std::lock_guard<std::mutex> lock(m_lock);
    for (SOCKET client : m_clients)
        closesocket(client);
    m_clients.clear();
    return S_OK;
}

STDMETHODIMP StandInNetworkSink::Close()
{
    if (m_listener != INVALID_SOCKET) {
        closesocket(m_listener);
        if (m_acceptThread.joinable())
            m_acceptThread.join();
        m_listener = INVALID_SOCKET;
    }
    Disconnect();
    std::lock_guard<std::mutex> lock(m_lock);
    m_header.clear();
    m_entries.clear();
    return S_OK;
}
