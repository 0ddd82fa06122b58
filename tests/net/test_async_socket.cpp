// Asynchronous sockets over real sockets on 127.0.0.1: helper windows per
// thread, the socket table, and event delivery through the message loop.
#include "net/AsyncSocketEx.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/thread/barrier.hpp>
#include <boost/thread/thread.hpp>
#include <gtest/gtest.h>

#include "tests/net/MessagePump.h"

namespace {

using nettest::PumpUntil;

// Notes each handler call and, on a read, takes what is waiting.
class RecordingSocket : public CAsyncSocketEx {
public:
    void OnAccept(int error) override { Note("accept", error); }
    void OnClose(int error) override { Note("close", error); }
    void OnConnect(int error) override { Note("connect", error); }
    void OnSend(int error) override { Note("send", error); }
    void OnReceive(int error) override {
        Note("receive", error);
        char buffer[4096];
        const int n = Receive(buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    }
    int Count(const std::string& what) const {
        int n = 0;
        for (const std::string& e : events)
            n += e.compare(0, what.size(), what) == 0;
        return n;
    }
    std::vector<std::string> events;
    std::string received;
    DWORD thread = 0;

private:
    void Note(const char* what, int error) {
        events.push_back(std::string(what) + " " + std::to_string(error));
        thread = GetCurrentThreadId();
    }
};

unsigned short LocalPort(const CAsyncSocketEx& s) {
    sockaddr_in a;
    int length = sizeof a;
    getsockname(s.Handle(), reinterpret_cast<sockaddr*>(&a), &length);
    return ntohs(a.sin_port);
}

sockaddr_in LoopbackAddress(unsigned short port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A connected pair through a listener on this thread.
struct Pair {
    RecordingSocket listener, client, server;
    bool Open() {
        if (!listener.Create(0, SOCK_STREAM, FD_ACCEPT, L"127.0.0.1") || !listener.Listen(5))
            return false;
        if (!client.Create(0, SOCK_STREAM, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE))
            return false;
        const sockaddr_in to = LoopbackAddress(LocalPort(listener));
        if (!client.Connect(reinterpret_cast<const sockaddr*>(&to), sizeof to) && WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        if (!PumpUntil([&] { return listener.Count("accept") > 0 && client.Count("connect") > 0; }))
            return false;
        return listener.Accept(server) && server.AsyncSelect(FD_READ | FD_WRITE | FD_CLOSE);
    }
};

class AsyncSocketTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
};

TEST_F(AsyncSocketTest, FirstSocketMakesTheHelperWindowAndTheLastRemovesIt) {
    std::unique_ptr<CAsyncSocketEx> first(new CAsyncSocketEx());
    std::unique_ptr<CAsyncSocketEx> second(new CAsyncSocketEx());
    EXPECT_EQ(nullptr, first->HelperWindow());
    ASSERT_TRUE(first->Create(0, SOCK_DGRAM));
    ASSERT_TRUE(second->Create(0, SOCK_DGRAM));
    const HWND window = first->HelperWindow();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(window, second->HelperWindow());
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    EXPECT_EQ(std::wstring(L"CAsyncSocketEx Helper Window"), name);
    EXPECT_FALSE(first->Create(0, SOCK_DGRAM));
    EXPECT_EQ(WSAEALREADY, WSAGetLastError());

    first.reset();
    EXPECT_TRUE(IsWindow(window));
    second.reset();
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(AsyncSocketTest, BindRefusesTextThatIsNoAddress) {
    CAsyncSocketEx s;
    EXPECT_FALSE(s.Create(0, SOCK_DGRAM, FD_READ, L"not-an-address"));
    EXPECT_EQ(WSAEINVAL, WSAGetLastError());
    EXPECT_EQ(INVALID_SOCKET, s.Handle());
    EXPECT_TRUE(s.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
}

TEST_F(AsyncSocketTest, StreamEventsArriveThroughTheLoop) {
    Pair p;
    ASSERT_TRUE(p.Open());
    EXPECT_EQ("connect 0", p.client.events.front());
    ASSERT_EQ(5, p.client.Send("hello", 5));
    ASSERT_TRUE(PumpUntil([&] { return p.server.received == "hello"; }));
    p.client.ShutDown(SD_SEND);
    ASSERT_TRUE(PumpUntil([&] { return p.server.Count("close") > 0; }));
}

TEST_F(AsyncSocketTest, ConnectsByHostName) {
    RecordingSocket listener, client;
    ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, L"127.0.0.1"));
    ASSERT_TRUE(listener.Listen(5));
    ASSERT_TRUE(client.Create(0, SOCK_STREAM, FD_CONNECT | FD_CLOSE));
    ASSERT_TRUE(client.Connect(L"localhost", LocalPort(listener)));
    EXPECT_EQ(WSAEWOULDBLOCK, WSAGetLastError());
    ASSERT_TRUE(PumpUntil([&] { return client.Count("connect") > 0 && listener.Count("accept") > 0; }));
    EXPECT_EQ("connect 0", client.events.front());
}

TEST_F(AsyncSocketTest, FailedLookupReportsConnectError) {
    RecordingSocket client;
    ASSERT_TRUE(client.Create(0, SOCK_STREAM, FD_CONNECT | FD_CLOSE));
    ASSERT_TRUE(client.Connect(L"no-such-host.invalid", 80));
    ASSERT_TRUE(PumpUntil([&] { return client.Count("connect") > 0; }));
    EXPECT_NE("connect 0", client.events.front());
}

// The read notice of a datagram that a direct receive already took finds
// nothing waiting and reaches no handler.
TEST_F(AsyncSocketTest, ReadNoticeWithNothingWaitingIsDropped) {
    RecordingSocket s;
    ASSERT_TRUE(s.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    const sockaddr_in self = LoopbackAddress(LocalPort(s));
    ASSERT_EQ(3, s.SendTo("one", 3, reinterpret_cast<const sockaddr*>(&self), sizeof self));
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s.Handle(), &readable);
    timeval wait = {10, 0};
    ASSERT_EQ(1, select(0, &readable, nullptr, nullptr, &wait));
    char buffer[8];
    ASSERT_EQ(3, recv(s.Handle(), buffer, sizeof buffer, 0));
    // The stale notice is pumped before the one of the second datagram.
    ASSERT_EQ(3, s.SendTo("two", 3, reinterpret_cast<const sockaddr*>(&self), sizeof self));
    ASSERT_TRUE(PumpUntil([&] { return !s.received.empty(); }));
    EXPECT_EQ("two", s.received);
    EXPECT_EQ(1, s.Count("receive"));
}

// A message for a table entry names its socket in wParam; one naming another
// socket (a closed one whose entry was reused) is ignored.
TEST_F(AsyncSocketTest, MessageNamingAnotherSocketIsIgnored) {
    RecordingSocket s;
    ASSERT_TRUE(s.Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1"));
    const UINT message = CAsyncSocketExHelperWindow::kFirstSocketMessage + s.TableIndex();
    PostMessageW(s.HelperWindow(), message, static_cast<WPARAM>(s.Handle() + 4), MAKELPARAM(0x8000, 0));
    PostMessageW(s.HelperWindow(), message, static_cast<WPARAM>(s.Handle()), MAKELPARAM(0x8000, 0));
    ASSERT_TRUE(PumpUntil([&] { return s.Count("receive") > 0; }));
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(1, s.Count("receive"));
}

// The table starts with 512 entries and grows by 512 as it fills; the
// sockets made before keep their entries and so their message numbers.
TEST_F(AsyncSocketTest, TableGrowsKeepingTheEntries) {
    std::vector<std::unique_ptr<RecordingSocket>> sockets;
    for (int i = 0; i < 600; ++i) {
        sockets.emplace_back(new RecordingSocket());
        ASSERT_TRUE(sockets.back()->Create(0, SOCK_DGRAM, FD_READ, L"127.0.0.1")) << i;
    }
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(i, sockets[i]->TableIndex());
    RecordingSocket& first = *sockets[0];
    PostMessageW(first.HelperWindow(), CAsyncSocketExHelperWindow::kFirstSocketMessage,
                 static_cast<WPARAM>(first.Handle()), MAKELPARAM(0x8000, 0));
    RecordingSocket& last = *sockets[599];
    PostMessageW(last.HelperWindow(), CAsyncSocketExHelperWindow::kFirstSocketMessage + 599,
                 static_cast<WPARAM>(last.Handle()), MAKELPARAM(0x8000, 0));
    EXPECT_TRUE(PumpUntil([&] { return first.Count("receive") == 1 && last.Count("receive") == 1; }));
}

// Each thread gets its own helper window, and its sockets' handlers run there.
TEST_F(AsyncSocketTest, TwoThreadsTwoWindows) {
    struct Result {
        HWND window = nullptr;
        DWORD thread = 0, handlerThread = 0;
        bool ok = false;
    } results[2];
    boost::barrier bothOpen(2);
    auto run = [&](Result& r) {
        Pair p;
        r.ok = p.Open() && p.client.Send("x", 1) == 1 && PumpUntil([&] { return p.server.received == "x"; });
        r.window = p.server.HelperWindow();
        r.thread = GetCurrentThreadId();
        r.handlerThread = p.server.thread;
        bothOpen.wait();  // both windows exist at once
    };
    boost::thread a([&] { run(results[0]); });
    boost::thread b([&] { run(results[1]); });
    a.join();
    b.join();
    for (const Result& r : results) {
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.thread, r.handlerThread);
    }
    EXPECT_NE(results[0].window, results[1].window);
}

}  // namespace
