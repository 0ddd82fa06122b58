#include "net/PpnErrors.h"

#include "net/PPNException.h"

namespace ppn {

void Throw(const PpnError& e) { throw PPNException(e.text, e.layer, e.errorClass, e.code); }

const PpnError kErrSocketLibrary = {"can't init winsock lib.\n", PPN_LAYER_CORE, PPN_CLASS_SOCKET,
                                    PPN_ERR_SOCKET_LIBRARY};
const PpnError kErrNoNatServer = {"no nat server address set.\n", PPN_LAYER_CORE, PPN_CLASS_GENERAL,
                                  PPN_ERR_NO_NAT_SERVER};
const PpnError kErrUhStart = {"UHCore::StartListen failed.\n", PPN_LAYER_UH, PPN_CLASS_GENERAL, PPN_ERR_UH_START};
const PpnError kErrSudtStart = {"SUDT service start failed.\n", PPN_LAYER_SUDT, PPN_CLASS_GENERAL,
                                PPN_ERR_TRANSPORT_START};
const PpnError kErrSrudpStart = {"SRUDP service start failed.\n", PPN_LAYER_SRUDP, PPN_CLASS_GENERAL,
                                 PPN_ERR_TRANSPORT_START};
const PpnError kErrTcpStart = {"Tcp service start failed.\n", PPN_LAYER_TCP, PPN_CLASS_GENERAL,
                               PPN_ERR_TRANSPORT_START};
const PpnError kErrUnknownProperty = {"some properties unknown.\n", PPN_LAYER_CORE, PPN_CLASS_STATE,
                                      PPN_ERR_UNKNOWN_PROPERTY};
const PpnError kErrNotStarted = {"ppn service have not started.\n", PPN_LAYER_CORE, PPN_CLASS_GENERAL,
                                 PPN_ERR_NOT_STARTED};
const PpnError kErrNotLoggedIn = {"have not login to nat server.\n", PPN_LAYER_UH, PPN_CLASS_GENERAL,
                                  PPN_ERR_NOT_LOGGED_IN};
const PpnError kErrSelf = {"can't connect to self.\n", PPN_LAYER_CORE, PPN_CLASS_GENERAL, PPN_ERR_SELF};
const PpnError kErrTcpNotStarted = {"Tcp Service Not Started.\n", PPN_LAYER_TCP, PPN_CLASS_GENERAL,
                                    PPN_ERR_TCP_NOT_STARTED};
const PpnError kErrAlreadyConnected = {"connection already exist.\n", PPN_LAYER_CORE, PPN_CLASS_STATE,
                                       PPN_ERR_ALREADY_CONNECTED};
const PpnError kErrSudtConnect = {"SUDTCore::ConnectTo Failed.\n", PPN_LAYER_SUDT, PPN_CLASS_GENERAL,
                                  PPN_ERR_CONNECT_FAILED};
const PpnError kErrSrudpConnect = {"SRUDPCore::ConnectTo Failed.\n", PPN_LAYER_SRUDP, PPN_CLASS_GENERAL,
                                   PPN_ERR_CONNECT_FAILED};
const PpnError kErrTcpConnect = {"TcpCore::ConnectTo Failed.\n", PPN_LAYER_TCP, PPN_CLASS_GENERAL,
                                 PPN_ERR_CONNECT_FAILED};
const PpnError kErrTcpClose = {"tcp close failed.\n", PPN_LAYER_TCP, PPN_CLASS_GENERAL, PPN_ERR_CLOSE_FAILED};
const PpnError kErrSudtClose = {"sudt close failed.\n", PPN_LAYER_SUDT, PPN_CLASS_GENERAL, PPN_ERR_CLOSE_FAILED};
const PpnError kErrSrudpClose = {"srudp close failed.\n", PPN_LAYER_SRUDP, PPN_CLASS_GENERAL,
                                 PPN_ERR_CLOSE_FAILED};
const PpnError kErrInvalidArguments = {"invalid arguments.\n", PPN_LAYER_CORE, PPN_CLASS_GENERAL,
                                       PPN_ERR_INVALID_ARGUMENTS};
const PpnError kErrSrudpNoConnection = {"srudp connection not exist.\n", PPN_LAYER_SRUDP, PPN_CLASS_GENERAL,
                                        PPN_ERR_NO_CONNECTION};
const PpnError kErrSudtNoConnection = {"sudt connection not exist.\n", PPN_LAYER_SUDT, PPN_CLASS_GENERAL,
                                       PPN_ERR_NO_CONNECTION};
const PpnError kErrSudtSend = {"sudt send failed.\n", PPN_LAYER_SUDT, PPN_CLASS_GENERAL, PPN_ERR_SEND_FAILED};
const PpnError kErrTcpSend = {"tcp send failed.\n", PPN_LAYER_TCP, PPN_CLASS_GENERAL, PPN_ERR_SEND_FAILED};
const PpnError kErrUnknownType = {"unknown connection type.\n", PPN_LAYER_CORE, PPN_CLASS_GENERAL,
                                  PPN_ERR_UNKNOWN_TYPE};

}  // namespace ppn
