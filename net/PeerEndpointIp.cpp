#include "net/PeerEndpoint.h"

#include "net/Winsock.h"

void PeerEndpoint::SetPublicIp(const char* dotted) { publicIp = inet_addr(dotted); }

void PeerEndpoint::SetLocalIp(const char* dotted) { localIp = inet_addr(dotted); }
