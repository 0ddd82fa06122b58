// uhdriver: one UH core in its own process, driven line by line, so that two
// Wine processes can punch to each other in tests.
//
// usage: uhdriver --nat HOST:PORT [--stun TEXT] [--login-interval MS]
//                 [--logout-interval MS] [--keepalive S]
//
// Prints, one line each: STARTED <port>, LOGGEDIN <own address>,
// PUNCH <result> <tag> <peer>, INCOMING <peer>, DATAGRAM <from> <text>,
// UPNP <call> (a recording stand-in: the real UPnP object is never used),
// STOPPED. Addresses are packed PeerAddress bytes in hex.
// Reads: PUNCH <peer> <tag>, SEND <peer> <text> (a raw datagram to the
// peer's public endpoint), STOP (also at end of input).
#include "net/Winsock.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <boost/thread/mutex.hpp>

#include "net/PropertyMap.h"
#include "net/UHCore.h"
#include "net/UHListener.h"
#include "net/UHSession.h"
#include "net/UhProperties.h"
#include "tests/tools/SayLine.h"
#include "tests/tools/CoreOptions.h"
#include "tests/tools/AddressText.h"

namespace {

class PrintingMapper : public PortMapper {
public:
    bool Init() override { return Say("UPNP Init"), true; }
    bool Add(const char* client, std::uint16_t internalPort, int protocol, std::uint16_t externalPort) override {
        Say("UPNP Add " + std::string(client) + " " + std::to_string(internalPort) + " " +
            std::to_string(protocol) + " " + std::to_string(externalPort));
        return true;
    }
    bool Remove(std::uint16_t externalPort, int protocol) override {
        Say("UPNP Remove " + std::to_string(externalPort) + " " + std::to_string(protocol));
        return true;
    }
    void Release() override { Say("UPNP Release"); }
};

class PrintingListener : public UHListener {
public:
    void OnPunchResult(int result, int, int, const UHSession* session, int tag) override {
        Say("PUNCH " + std::to_string(result) + " " + std::to_string(tag) + " " + AddressHex(session->peer));
    }
    void OnIncomingSession(int, int, const PeerAddress* peer) override { Say("INCOMING " + AddressHex(*peer)); }
    void OnDatagram(const char* data, int length, const PeerAddress* from) override {
        Say("DATAGRAM " + AddressHex(*from) + " " + std::string(data, static_cast<std::size_t>(length)));
    }
    void OnPacket(const char*, int, const PeerAddress*) override {}
};

int Usage() {
    std::fprintf(stderr, "usage: uhdriver --nat HOST:PORT [--stun TEXT] [--login-interval MS] "
                         "[--logout-interval MS] [--keepalive S]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    PropertyMap properties;
    if (!ReadCoreOptions(argc, argv, properties))
        return Usage();

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return 1;
    uh::UhSettings settings;
    if (!uh::ReadUhSettings(properties, settings))
        return Usage();
    uh::UHCore core;
    uh::ApplyUhSettings(settings, core);
    core.SetPortMapper(std::unique_ptr<PortMapper>(new PrintingMapper()));
    PrintingListener listener;
    core.AddListener(&listener);
    if (!core.StartListen(0)) {
        Say("ERROR start");
        return 1;
    }
    Say("STARTED " + std::to_string(core.BoundPort()));
    if (core.WaitLoggedIn(60000))
        Say("LOGGEDIN " + AddressHex(core.OwnAddress()));
    else
        Say("ERROR login");

    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        char command[16] = "", address[128] = "";
        int consumed = 0;
        std::sscanf(line, "%15s %127s %n", command, address, &consumed);
        std::string rest = consumed > 0 ? std::string(line + consumed) : std::string();
        while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r'))
            rest.pop_back();
        PeerAddress peer;
        if (std::strcmp(command, "STOP") == 0)
            break;
        if (!ParseAddressHex(address, peer)) {
            Say(std::string("ERROR bad address in ") + command);
        } else if (std::strcmp(command, "PUNCH") == 0) {
            if (!core.Punch(peer, 1, std::atoi(rest.c_str())))
                Say("ERROR punch refused");
        } else if (std::strcmp(command, "SEND") == 0) {
            core.SendTo(rest.data(), static_cast<int>(rest.size()), ToSockaddr(peer.endpoint.Public()));
        } else {
            Say(std::string("ERROR unknown command ") + command);
        }
    }
    core.RemoveListener(&listener);
    core.Stop();
    Say("STOPPED");
    WSACleanup();
    return 0;
}
