#include "live/LiveTrackerMessages.h"

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "vod/VodMessages.h"
#include "vod/VodTrackerMessages.h"

namespace {

std::string Encode(const btDict& dict)
{
    btStream stream;
    btEncoder(&stream).EncodeDict(&dict);
    return stream.GetBuffer().substr(0, static_cast<std::size_t>(stream.GetSize()));
}

void PutChannel(btDict& dict, const char* msg, std::uint64_t cid, std::int32_t peerType)
{
    dict.Insert("msg", new btString(msg));
    dict.Insert("cid", new btInteger(static_cast<std::int64_t>(cid)));
    dict.Insert("peertype", new btInteger(peerType));
}

btString* IdString(const PeerId& id)
{
    const std::string bytes = PeerIdToString(id);
    return new btString(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

}  // namespace

std::string BuildLiveReqPeer(std::uint64_t cid, std::int32_t peerType, const PeerId& self, std::int32_t nums)
{
    btDict dict;
    PutChannel(dict, "reqpeer", cid, peerType);
    dict.Insert("pid", IdString(self));
    dict.Insert("nums", new btInteger(nums));
    return Encode(dict);
}

std::string BuildLivePeerOn(std::uint64_t cid, std::int32_t peerType, const PeerId& self)
{
    btDict dict;
    PutChannel(dict, "peeron", cid, peerType);
    btList* peers = new btList;
    peers->Append(IdString(self));
    dict.Insert("peer", peers);
    return Encode(dict);
}

bool ParseLivePeerReply(const char* bytes, std::size_t length, LivePeerReply& reply)
{
    reply = LivePeerReply();
    // The peer entries are read as for a video; "time" and a "pwd" without a
    // "peer" key are the channel's own.
    VodPeerReply entries;
    if (!ParsePeerReply(bytes, length, entries))
        return false;
    reply.success = entries.success;
    if (!reply.success)
        return true;
    reply.candidates = std::move(entries.candidates);
    btStream stream;
    btDict dict;
    // ParsePeerReply took the length already: it fits an int32.
    if (stream.Write(bytes, static_cast<std::int32_t>(length)) != 0 || btDecoder(&stream).DecodeDict(&dict) != 0)
        return true;
    const btObject* time = dict.Find("time");
    if (time != nullptr && time->GetType() == BT_INTEGER) {
        reply.hasTime = true;
        reply.time = static_cast<std::uint32_t>(static_cast<const btInteger*>(time)->GetValue());
    }
    const btObject* pwd = dict.Find("pwd");
    if (pwd != nullptr && pwd->GetType() == BT_STRING)
        reply.pwd = static_cast<const btString*>(pwd)->ToStdString();
    return true;
}
