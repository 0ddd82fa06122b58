#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "live/LiveBasePlayer.h"
#include "live/LiveSockets.h"

// What the FLV, RealMedia and VLC players share: a listener on a port the
// system picks, an accept thread that answers each client's request with
// the player's reply and stored header, and the client table that pushes
// walk under the client lock.
// Each derived player calls Stop in its own destructor: the accept thread
// calls Reply, which must not outlive the derived part.
class CLiveHttpPlayer : public CLiveBasePlayer {
public:
    bool Start(const char* header, std::uint32_t length) override;
    void Stop() override;
    std::wstring GetUrl() override;

protected:
    explicit CLiveHttpPlayer(const wchar_t* urlFormat);
    // Takes the fixed fields and stored header; false refuses the header.
    virtual bool TakeHeader(const char* header, std::uint32_t length) = 0;
    virtual std::string Reply() = 0;
    virtual void ClearHeader();

    // Sends to one client of the table (client lock held); a client that fails
    // is shut down, closed and erased, and the next position returned.
    typedef std::map<SOCKET, std::uint32_t> ClientTable;
    ClientTable::iterator SendOrDrop(ClientTable::iterator client, const char* data, std::size_t length);
    bool SendTo(SOCKET socket, const char* data, std::size_t length);

    std::atomic<bool> m_serving;
    std::mutex m_clientLock;  // guards m_clients
    ClientTable m_clients;    // socket -> 1 while waiting for its start condition
    std::string m_header;
    std::int64_t m_contentLength;

private:
    static DWORD WINAPI AcceptThread(LPVOID self);
    void AcceptLoop();
    void StopListener();

    LiveWinsockUse m_winsock;
    const wchar_t* m_urlFormat;
    HANDLE m_acceptThread;
    HANDLE m_acceptStopped;   // manual-reset, set by Stop: ends a retry wait
    std::atomic<bool> m_accepting;
    std::atomic<SOCKET> m_listener;
    std::uint16_t m_port;
    // Set by Stop before anything else: sends in progress give up.
    std::atomic<bool> m_stopping;
};
