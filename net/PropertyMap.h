#pragma once

#include <map>
#include <string>

// Settings and statistics of a network core, by integer id, as text.
typedef std::map<int, std::string> PropertyMap;

// Settings, read once when a core starts listening.
const int PPN_PROP_NAT_SERVER = 1;           // host name or dotted IPv4; required
const int PPN_PROP_NAT_PORT = 2;             // decimal UDP port; required
const int PPN_PROP_STUN_SERVER = 4;          // "host" or "host:port"
const int PPN_PROP_PORT_HIGH = 5;            // default 6000
const int PPN_PROP_PORT_LOW = 6;             // default 5000
const int PPN_PROP_LOGIN_INTERVAL = 7;       // ms, default 1000
const int PPN_PROP_LOGOUT_INTERVAL = 8;      // ms, default 100
const int PPN_PROP_KEEPALIVE_INTERVAL = 9;   // s, default 10
const int PPN_PROP_TCP_ENABLE = 8192;        // exactly "true"
const int PPN_PROP_TCP_SHARE_PORT = 8193;    // exactly "true"
const int PPN_PROP_TCP_MAX_QUEUE = 8194;     // bytes per connection, 0 = no limit

// Read-only values, answered as decimal text.
const int PPN_PROP_NAT_TYPE = 3;
const int PPN_STAT_SRUDP_BYTES_RECEIVED = 257;
const int PPN_STAT_SRUDP_BYTES_SENT = 258;
const int PPN_STAT_SRUDP_RECV_RATE = 259;
const int PPN_STAT_SRUDP_SEND_RATE = 260;
const int PPN_STAT_SRUDP_AVG_RECV_RATE = 261;
const int PPN_STAT_SRUDP_AVG_SEND_RATE = 262;
const int PPN_STAT_SUDT_BYTES_RECEIVED = 273;
const int PPN_STAT_SUDT_BYTES_SENT = 274;
const int PPN_STAT_SUDT_RECV_RATE = 275;
const int PPN_STAT_SUDT_SEND_RATE = 276;
const int PPN_STAT_SUDT_AVG_RECV_RATE = 277;
const int PPN_STAT_SUDT_AVG_SEND_RATE = 278;
const int PPN_STAT_TCP_BYTES_RECEIVED = 289;
const int PPN_STAT_TCP_BYTES_SENT = 290;
const int PPN_STAT_TCP_RECV_RATE = 291;
const int PPN_STAT_TCP_SEND_RATE = 292;
const int PPN_STAT_TCP_AVG_RECV_RATE = 293;
const int PPN_STAT_TCP_AVG_SEND_RATE = 294;

// Copies the text of id into value; false (value untouched) when id is absent.
bool GetPropertyValue(const PropertyMap& map, int id, std::string& value);
