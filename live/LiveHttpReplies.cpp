#include "live/LiveHttpReplies.h"

namespace {

const char kKeepAlive[] = "Keep-Alive: timeout=15, max=100\r\nConnection: Keep-Alive\r\n";
const char kWmspHead[] =
    "HTTP/1.0 200 OK\r\nServer: Rex/11.0.5721.5145\r\nCache-Control: no-cache\r\n"
    "Pragma: no-cache\r\nPragma: client-id=";
const char kWmspFeatures[] = "\r\nPragma: features=\"broadcast\"\r\n";

}  // namespace

std::string LiveFlvReply(std::int64_t contentLength)
{
    return "HTTP/1.1 200 OK\r\nServer: Kelo Simple Http Server\r\nContent-Length: " +
           std::to_string(contentLength) + "\r\n" + kKeepAlive + "Content-Type: video/x-flv\r\n\r\n";
}

std::string LiveRmReply(std::int64_t contentLength, const std::string& date)
{
    return "HTTP/1.1 200 OK\r\nDate: " + date + "\r\nServer: Kelo Simple Http Server\r\n" +
           "Content-Length: " + std::to_string(contentLength) + "\r\n" + kKeepAlive +
           "Content-Type: application/vnd.rn-realmedia\r\n\r\n";
}

std::string LiveVlcReply()
{
    return "HTTP/1.0 200 OK\r\nContent-type: application/octet-stream\r\nCache-Control: no-cache\r\n\r\n";
}

std::string LiveWmspHeaderReply(long long clientId, std::size_t contentLength)
{
    return kWmspHead + std::to_string(clientId) + kWmspFeatures +
           "Content-Type: application/vnd.ms.wms-hdr.asfv1\r\nContent-Length: " +
           std::to_string(contentLength) + "\r\nConnection: Keep-Alive\r\n\r\n";
}

std::string LiveWmspStreamingReply(long long clientId)
{
    return kWmspHead + std::to_string(clientId) + kWmspFeatures +
           "Content-Type: application/x-mms-framed\r\nConnection: Keep-Alive\r\n\r\n";
}
