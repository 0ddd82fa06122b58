#include "net/UdpCompletionEngine.h"

#include <algorithm>

#include "net/UHCore.h"

namespace {

UdpCompletionEngine* g_engine = nullptr;

}  // namespace

bool CreateUdpEngine(bool want) {
    if (!want || g_engine)
        return true;
    UdpCompletionEngine* engine = new UdpCompletionEngine();
    if (!engine->Start()) {
        delete engine;
        return false;
    }
    g_engine = engine;
    return true;
}

void DestroyUdpEngine() {
    if (!g_engine)
        return;
    g_engine->Stop();
    delete g_engine;
    g_engine = nullptr;
}

UdpCompletionEngine* GetUdpEngine() { return g_engine; }

UdpCompletionEngine::UdpCompletionEngine()
    : m_port(nullptr), m_workerCount(0), m_pool(kBufferBytes, 32) {
    std::fill(m_workers, m_workers + kMaxWorkers, INVALID_HANDLE_VALUE);
}

UdpCompletionEngine::~UdpCompletionEngine() { Stop(); }

unsigned UdpCompletionEngine::WorkerCount(unsigned processors) {
    return std::min(2 * processors, static_cast<unsigned>(kMaxWorkers));
}

bool UdpCompletionEngine::Start() {
    m_port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (!m_port)
        return false;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const unsigned wanted = WorkerCount(info.dwNumberOfProcessors);
    for (unsigned i = 0; i < wanted; ++i) {
        m_workers[i] = CreateThread(nullptr, 0, &UdpCompletionEngine::WorkerEntry, this, 0, nullptr);
        if (!m_workers[i]) {
            m_workers[i] = INVALID_HANDLE_VALUE;
            // Nothing was posted yet: the started workers wait on the port,
            // and closing it ends their wait.
            for (unsigned j = 0; j < i; ++j)
                PostQueuedCompletionStatus(m_port, 0, 0, nullptr);
            for (unsigned j = 0; j < i; ++j) {
                WaitForSingleObject(m_workers[j], INFINITE);
                CloseHandle(m_workers[j]);
                m_workers[j] = INVALID_HANDLE_VALUE;
            }
            CloseHandle(m_port);
            m_port = nullptr;
            return false;
        }
        ++m_workerCount;
    }
    return true;
}

void UdpCompletionEngine::Stop() {
    if (!m_port)
        return;
    for (unsigned i = 0; i < m_workerCount; ++i)
        PostQueuedCompletionStatus(m_port, 0, 0, nullptr);
    for (unsigned i = 0; i < m_workerCount; ++i) {
        WaitForSingleObject(m_workers[i], INFINITE);
        CloseHandle(m_workers[i]);
        m_workers[i] = INVALID_HANDLE_VALUE;
    }
    m_workerCount = 0;
    {
        boost::mutex::scoped_lock lock(m_registrationMutex);
        for (UdpEngineRegistration* r : m_freeRegistrations)
            delete r;
        m_freeRegistrations.clear();
    }
    {
        boost::mutex::scoped_lock lock(m_operationMutex);
        for (UdpEngineOperation* o : m_freeOperations)
            delete o;
        m_freeOperations.clear();
    }
    CloseHandle(m_port);
    m_port = nullptr;
    boost::mutex::scoped_lock lock(m_poolMutex);
    m_pool.purge_memory();
}

// ------------------------------------------------------------------ records

UdpEngineRegistration* UdpCompletionEngine::TakeRegistration() {
    boost::mutex::scoped_lock lock(m_registrationMutex);
    if (m_freeRegistrations.empty())
        return new UdpEngineRegistration();
    UdpEngineRegistration* r = m_freeRegistrations.back();
    m_freeRegistrations.pop_back();
    return r;
}

UdpEngineOperation* UdpCompletionEngine::TakeOperation(int kind) {
    UdpEngineOperation* o = nullptr;
    {
        boost::mutex::scoped_lock lock(m_operationMutex);
        if (!m_freeOperations.empty()) {
            o = m_freeOperations.back();
            m_freeOperations.pop_back();
        }
    }
    if (!o)
        o = new UdpEngineOperation();
    ZeroMemory(&o->overlapped, sizeof o->overlapped);
    o->buffer.buf = TakeBuffer();
    o->buffer.len = kBufferBytes;
    ZeroMemory(&o->address, sizeof o->address);
    o->addressLength = sizeof o->address;
    o->socket = INVALID_SOCKET;
    o->kind = kind;
    o->transferred = 0;
    if (!o->buffer.buf) {
        o->kind = UdpEngineOperation::kFree;
        boost::mutex::scoped_lock lock(m_operationMutex);
        m_freeOperations.push_back(o);
        return nullptr;
    }
    return o;
}

void UdpCompletionEngine::GiveOperation(UdpEngineOperation* operation) {
    {
        boost::mutex::scoped_lock lock(m_poolMutex);
        m_pool.free(operation->buffer.buf);
    }
    operation->buffer.buf = nullptr;
    operation->kind = UdpEngineOperation::kFree;
    boost::mutex::scoped_lock lock(m_operationMutex);
    m_freeOperations.push_back(operation);
}

char* UdpCompletionEngine::TakeBuffer() {
    boost::mutex::scoped_lock lock(m_poolMutex);
    return static_cast<char*>(m_pool.malloc());
}

// ------------------------------------------------------------------ sockets

UdpEngineRegistration* UdpCompletionEngine::Register(SOCKET socket, uh::UHCore* owner) {
    if (socket == INVALID_SOCKET || !owner || !m_port)
        return nullptr;
    UdpEngineRegistration* r = TakeRegistration();
    {
        boost::mutex::scoped_lock lock(r->mutex);
        r->socket = socket;
        r->owner = owner;
        r->calls = 0;
    }
    r->port = CreateIoCompletionPort(reinterpret_cast<HANDLE>(socket), m_port, reinterpret_cast<ULONG_PTR>(r), 0);
    if (!r->port) {
        boost::mutex::scoped_lock lock(m_registrationMutex);
        r->owner = nullptr;
        m_freeRegistrations.push_back(r);
        return nullptr;
    }
    for (unsigned i = 0; i < kReceivesPerSocket; ++i) {
        UdpEngineOperation* o = TakeOperation(UdpEngineOperation::kReceive);
        if (!o)
            break;
        o->socket = socket;
        if (!PostReceive(o))
            GiveOperation(o);
    }
    return r;
}

void UdpCompletionEngine::Unregister(UdpEngineRegistration* registration) {
    if (!registration)
        return;
    {
        boost::mutex::scoped_lock lock(registration->mutex);
        registration->owner = nullptr;
        while (registration->calls > 0)
            registration->idle.wait(lock);
    }
    boost::mutex::scoped_lock lock(m_registrationMutex);
    m_freeRegistrations.push_back(registration);
}

bool UdpCompletionEngine::PostReceive(UdpEngineOperation* o) {
    for (;;) {
        ZeroMemory(&o->overlapped, sizeof o->overlapped);
        o->buffer.len = kBufferBytes;
        o->addressLength = sizeof o->address;
        o->kind = UdpEngineOperation::kReceive;
        DWORD flags = 0;
        if (WSARecvFrom(o->socket, &o->buffer, 1, nullptr, &flags, reinterpret_cast<sockaddr*>(&o->address),
                        &o->addressLength, &o->overlapped, nullptr) == 0)
            return true;
        const int e = WSAGetLastError();
        if (e == WSA_IO_PENDING)
            return true;
        if (e != WSAECONNRESET && e != WSAEMSGSIZE)
            return false;
    }
}

bool UdpCompletionEngine::Send(SOCKET socket, const sockaddr* address, int addressLength, const char* data,
                               int length) {
    if (!data || length <= 0 || length > static_cast<int>(kBufferBytes) || !m_port)
        return false;
    UdpEngineOperation* o = TakeOperation(UdpEngineOperation::kSend);
    if (!o)
        return false;
    CopyMemory(o->buffer.buf, data, length);
    o->buffer.len = static_cast<ULONG>(length);
    o->socket = socket;
    const int copied = std::min<int>(addressLength, static_cast<int>(sizeof o->address));
    CopyMemory(&o->address, address, copied);
    o->addressLength = copied;
    if (WSASendTo(socket, &o->buffer, 1, nullptr, 0, reinterpret_cast<sockaddr*>(&o->address), o->addressLength,
                  &o->overlapped, nullptr) == 0 ||
        WSAGetLastError() == WSA_IO_PENDING)
        return true;
    GiveOperation(o);
    return false;
}

// ------------------------------------------------------------------ workers

DWORD WINAPI UdpCompletionEngine::WorkerEntry(void* engine) {
    static_cast<UdpCompletionEngine*>(engine)->WorkerThread();
    return 0;
}

void UdpCompletionEngine::WorkerThread() {
    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* overlapped = nullptr;
        const BOOL ok = GetQueuedCompletionStatus(m_port, &bytes, &key, &overlapped, INFINITE);
        if (!overlapped) {
            if (key == 0)
                return;
            continue;
        }
        const DWORD status = ok ? 0 : GetLastError();
        UdpEngineOperation* o = reinterpret_cast<UdpEngineOperation*>(overlapped);
        o->transferred = bytes;
        Complete(reinterpret_cast<UdpEngineRegistration*>(key), o, status);
    }
}

// A receive goes back out for as long as its socket has an owner, whatever it
// brought: an empty datagram must not cost the socket one of its receives.
void UdpCompletionEngine::Complete(UdpEngineRegistration* r, UdpEngineOperation* o, DWORD status) {
    if (o->kind != UdpEngineOperation::kReceive) {
        GiveOperation(o);
        return;
    }
    uh::UHCore* owner = nullptr;
    {
        boost::mutex::scoped_lock lock(r->mutex);
        if (r->owner && r->socket == o->socket) {
            owner = r->owner;
            ++r->calls;
        }
    }
    if (owner) {
        try {
            owner->OnEngineDatagram(o->socket, o->buffer.buf, static_cast<int>(o->transferred), o->address,
                                    o->addressLength, static_cast<int>(status));
        } catch (...) {
        }
    }
    bool posted = false;
    {
        boost::mutex::scoped_lock lock(r->mutex);
        if (owner && --r->calls == 0)
            r->idle.notify_all();
        if (r->owner && r->socket == o->socket)
            posted = PostReceive(o);
    }
    if (!posted)
        GiveOperation(o);
}
