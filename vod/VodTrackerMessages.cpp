#include "vod/VodTrackerMessages.h"

#include <cstring>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "vod/VodMessages.h"

namespace {

void PutString(btDict& dict, const char* key, const std::string& value)
{
    dict.Insert(key, new btString(value.data(), static_cast<std::int32_t>(value.size())));
}

void PutInteger(btDict& dict, const char* key, std::int64_t value)
{
    dict.Insert(key, new btInteger(value));
}

std::string Encode(const btDict& dict)
{
    btStream stream;
    btEncoder(&stream).EncodeDict(&dict);
    return stream.GetBuffer().substr(0, static_cast<std::size_t>(stream.GetSize()));
}

std::string Announcement(const char* msg, std::int64_t cid, const PeerId& self,
                         const std::string& hash)
{
    btDict dict;
    PutString(dict, "msg", msg);
    PutInteger(dict, "cid", cid);
    PutString(dict, "pid", PeerIdToString(self));
    PutString(dict, "hash", hash);
    return Encode(dict);
}

bool Decode(const char* bytes, std::size_t length, btDict& dict)
{
    if (length > 0x7FFFFFFF)
        return false;
    btStream stream;
    if (stream.Write(bytes, static_cast<std::int32_t>(length)) != 0)
        return false;
    return btDecoder(&stream).DecodeDict(&dict) == 0;
}

const btString* FindString(const btDict& dict, const char* key)
{
    const btObject* value = dict.Find(key);
    return value != nullptr && value->GetType() == BT_STRING ? static_cast<const btString*>(value)
                                                             : nullptr;
}

const btInteger* FindInteger(const btDict& dict, const char* key)
{
    const btObject* value = dict.Find(key);
    return value != nullptr && value->GetType() == BT_INTEGER
               ? static_cast<const btInteger*>(value)
               : nullptr;
}

bool IsSuccess(const btDict& dict)
{
    const btString* result = FindString(dict, "result");
    return result != nullptr && result->ToStdString() == "success";
}

// One "peer" entry; false when a key is missing or of another type.
bool ReadCandidate(const btDict& entry, VodCandidate& candidate)
{
    const btString* pid = FindString(entry, "pid");
    const btString* wip = FindString(entry, "wip");
    const btInteger* wport = FindInteger(entry, "wport");
    const btString* lip = FindString(entry, "lip");
    const btInteger* lport = FindInteger(entry, "lport");
    const btInteger* gwtype = FindInteger(entry, "gwtype");
    const btInteger* nodetype = FindInteger(entry, "nodetype");
    if (!pid || !wip || !wport || !lip || !lport || !gwtype || !nodetype)
        return false;
    candidate = VodCandidate();
    candidate.address.Clear();
    candidate.address.id = PeerId::FromBytes(pid->GetData(), static_cast<std::size_t>(pid->GetLength()));
    candidate.address.endpoint.publicIp = ParseDottedIpv4(wip->ToStdString());
    candidate.address.endpoint.SetPublicPort(static_cast<std::uint16_t>(wport->GetValue()));
    candidate.address.endpoint.localIp = ParseDottedIpv4(lip->ToStdString());
    candidate.address.endpoint.SetLocalPort(static_cast<std::uint16_t>(lport->GetValue()));
    candidate.gatewayType = static_cast<std::uint8_t>(gwtype->GetValue());
    candidate.nodeType = static_cast<std::uint8_t>(nodetype->GetValue());
    return true;
}

}  // namespace

std::string BuildReqFileInfo(const std::string& hash)
{
    btDict dict;
    PutString(dict, "msg", "reqfileinfo");
    PutString(dict, "hash", hash);
    return Encode(dict);
}

std::string BuildReqPeer(std::int64_t cid, const PeerId& self, const std::string& hash,
                         std::int32_t nums)
{
    btDict dict;
    PutString(dict, "msg", "reqpeer");
    PutInteger(dict, "cid", cid);
    PutString(dict, "pid", PeerIdToString(self));
    PutString(dict, "hash", hash);
    PutInteger(dict, "nums", nums);
    return Encode(dict);
}

std::string BuildPeerOn(std::int64_t cid, const PeerId& self, const std::string& hash)
{
    return Announcement("peeron", cid, self, hash);
}

std::string BuildPeerOff(std::int64_t cid, const PeerId& self, const std::string& hash)
{
    return Announcement("peeroff", cid, self, hash);
}

bool ParseFileInfoReply(const char* bytes, std::size_t length, VodFileInfo& info)
{
    btDict dict;
    if (!Decode(bytes, length, dict) || !IsSuccess(dict))
        return false;
    const btInteger* size = FindInteger(dict, "size");
    const btInteger* bitrate = FindInteger(dict, "bitrate");
    if (size == nullptr || bitrate == nullptr || size->GetValue() < 0 ||
        size->GetValue() > kVodMaxFileSize)
        return false;
    info.size = size->GetValue();
    info.bitRate = static_cast<std::uint32_t>(bitrate->GetValue());
    return true;
}

bool ParsePeerReply(const char* bytes, std::size_t length, VodPeerReply& reply)
{
    reply = VodPeerReply();
    btDict dict;
    if (!Decode(bytes, length, dict))
        return false;
    reply.success = IsSuccess(dict);
    if (!reply.success)
        return true;
    const btObject* peers = dict.Find("peer");
    if (peers == nullptr) {
        if (const btString* redirect = FindString(dict, "redirect"))
            reply.redirect = redirect->ToStdString();
        return true;
    }
    reply.hasPeerList = true;
    if (peers->GetType() == BT_LIST) {
        const btList& list = *static_cast<const btList*>(peers);
        const std::int32_t count = list.GetCount();
        for (std::int32_t i = 0; i < count && std::size_t(i) < kVodMaxTrackerPeers; ++i) {
            const btObject* item = list.GetAt(i);
            VodCandidate candidate;
            if (item->GetType() == BT_DICT &&
                ReadCandidate(*static_cast<const btDict*>(item), candidate))
                reply.candidates.push_back(candidate);
        }
    }
    if (const btString* pwd = FindString(dict, "pwd"))
        reply.pwd = pwd->ToStdString();
    return true;
}

std::uint32_t ParseDottedIpv4(const std::string& text)
{
    const std::uint32_t none = 0xFFFFFFFFu;
    unsigned char parts[4];
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != '.')
                return none;
            ++at;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            value = value * 10 + unsigned(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255)
            return none;
        parts[i] = static_cast<unsigned char>(value);
    }
    if (at != text.size())
        return none;
    std::uint32_t address;
    std::memcpy(&address, parts, sizeof address);
    return address;
}
