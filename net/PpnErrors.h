#pragma once

#include <cstdint>

namespace ppn {

// One row of the facade's error table; thrown as a PPNException.
struct PpnError {
    const char* text;
    std::uint8_t layer;
    std::uint8_t errorClass;
    std::uint8_t code;
};

[[noreturn]] void Throw(const PpnError& error);

extern const PpnError kErrSocketLibrary;
extern const PpnError kErrNoNatServer;
extern const PpnError kErrUhStart;
extern const PpnError kErrSudtStart;
extern const PpnError kErrSrudpStart;
extern const PpnError kErrTcpStart;
extern const PpnError kErrUnknownProperty;
extern const PpnError kErrNotStarted;
extern const PpnError kErrNotLoggedIn;
extern const PpnError kErrSelf;
extern const PpnError kErrTcpNotStarted;
extern const PpnError kErrAlreadyConnected;
extern const PpnError kErrSudtConnect;
extern const PpnError kErrSrudpConnect;
extern const PpnError kErrTcpConnect;
extern const PpnError kErrTcpClose;
extern const PpnError kErrSudtClose;
extern const PpnError kErrSrudpClose;
extern const PpnError kErrInvalidArguments;
extern const PpnError kErrSrudpNoConnection;
extern const PpnError kErrSudtNoConnection;
extern const PpnError kErrSudtSend;
extern const PpnError kErrTcpSend;
extern const PpnError kErrUnknownType;

}  // namespace ppn
