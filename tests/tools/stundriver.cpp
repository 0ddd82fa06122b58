// stundriver: the NAT-type test of the STUN client against one server, for
// the NAT matrix test that runs it behind network set-ups of its own.
//
// usage: stundriver HOST[:PORT]
// Prints "NATTYPE <result>" (1 open ... 8 failure) and exits 0, or exits 2
// when the server text cannot be read.
#include "net/Winsock.h"

#include <cstdio>

#include "net/StunClient.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: stundriver HOST[:PORT]\n");
        return 2;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 2;
    StunIPv4Endpoint server;
    if (!StunParseServerName(argv[1], server)) {
        std::fprintf(stderr, "stundriver: cannot read %s\n", argv[1]);
        WSACleanup();
        return 2;
    }
    const int result = StunNatTypeTest(server, 0, 0);
    std::printf("NATTYPE %d\n", result);
    std::fflush(stdout);
    WSACleanup();
    return 0;
}
