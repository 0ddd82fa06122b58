#pragma once

// Connection types of the network facade: the second argument of ConnectTo,
// Close and Send, and the type reported with every event and message.
const int PPN_CONN_SRUDP = 1;  // reliable ordered messages
const int PPN_CONN_SUDT = 2;   // one raw datagram per message
const int PPN_CONN_TCP = 3;    // length-framed messages over TCP

// Events reported to ppn::EventListener::OnEvent.
const int PPN_EVENT_CONNECTED = 1;       // an outgoing connection is established
const int PPN_EVENT_CONNECT_FAILED = 2;  // an outgoing attempt failed or was refused
const int PPN_EVENT_TIMEOUT = 3;         // an established connection went silent
const int PPN_EVENT_ACCEPTED = 4;        // an incoming connection is established
const int PPN_EVENT_CLOSED = 5;          // the peer closed
