#pragma once

// Before Boost: its headers bring in windows.h.
#include "net/Winsock.h"

#include <vector>

#include <boost/pool/pool.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

namespace uh {
class UHCore;
}

// A socket as the engine knows it. Its address is the socket's completion key
// and the handle its owner gets back from Register.
struct UdpEngineRegistration {
    SOCKET socket;
    uh::UHCore* owner;  // null once unregistered
    HANDLE port;        // what associating the socket with the port answered
    // Owner calls running now; Unregister waits for them to end.
    int calls;
    boost::mutex mutex;
    boost::condition_variable idle;
};

// One overlapped receive or send.
struct UdpEngineOperation {
    enum Kind { kReceive = 0, kSend = 1, kFree = 2 };
    OVERLAPPED overlapped;  // first: the completion answers its address
    WSABUF buffer;
    sockaddr_in address;
    int addressLength;
    SOCKET socket;
    int kind;
    DWORD transferred;
};

// The process-wide engine that receives and sends the UDP datagrams of many
// sockets through one I/O completion port and a few worker threads. Owners are
// called on the workers, several at once.
class UdpCompletionEngine {
public:
    static const unsigned kMaxWorkers = 10;
    static const unsigned kReceivesPerSocket = 5;
    static const unsigned kBufferBytes = 1500;

    UdpCompletionEngine();
    ~UdpCompletionEngine();
    UdpCompletionEngine(const UdpCompletionEngine&) = delete;
    UdpCompletionEngine& operator=(const UdpCompletionEngine&) = delete;

    // min(2 x processors, 10).
    static unsigned WorkerCount(unsigned processors);

    bool Start();
    void Stop();

    // Null for an invalid socket, no owner, or a socket the port refuses.
    UdpEngineRegistration* Register(SOCKET socket, uh::UHCore* owner);
    // After it returns the owner is called no more. Never from an owner call.
    void Unregister(UdpEngineRegistration* registration);
    bool Send(SOCKET socket, const sockaddr* address, int addressLength, const char* data, int length);

    unsigned Workers() const { return m_workerCount; }

private:
    static DWORD WINAPI WorkerEntry(void* engine);
    void WorkerThread();
    void Complete(UdpEngineRegistration* registration, UdpEngineOperation* operation, DWORD status);
    bool PostReceive(UdpEngineOperation* operation);

    UdpEngineRegistration* TakeRegistration();
    UdpEngineOperation* TakeOperation(int kind);
    // The operation's buffer back to the pool and the record to the free set.
    void GiveOperation(UdpEngineOperation* operation);
    char* TakeBuffer();

    HANDLE m_port;
    HANDLE m_workers[kMaxWorkers];
    unsigned m_workerCount;

    // Records are reused and freed only at Stop: a late completion may still
    // name the record of a socket unregistered long ago.
    std::vector<UdpEngineRegistration*> m_freeRegistrations;
    boost::mutex m_registrationMutex;

    std::vector<UdpEngineOperation*> m_freeOperations;
    boost::mutex m_operationMutex;

    boost::pool<> m_pool;
    boost::mutex m_poolMutex;
};

// Creates and starts the process-wide engine when want is true and none
// exists; false only when starting failed.
bool CreateUdpEngine(bool want);
// Stops and deletes the process-wide engine, when there is one.
void DestroyUdpEngine();
// The process-wide engine, or null.
UdpCompletionEngine* GetUdpEngine();
