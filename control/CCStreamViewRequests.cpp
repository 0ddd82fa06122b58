// The control's requests to the content server: advertisements and the
// user-session keep-alive.
#include "control/CCStreamView.h"

#include <shlwapi.h>

#include <cwchar>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "common/xml/XMLELement.h"
#include "control/ControlIds.h"

namespace {

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], length,
                        nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                     nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    return text;
}

// The "ad" of a getad reply when its "result" is "success".
bool AdOfReply(const std::wstring& text, std::wstring& ad)
{
    const std::string bytes = Utf8(text);
    btStream stream;
    btDict dict;
    if (bytes.size() > 0x7fffffff ||
        stream.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())) != 0 ||
        btDecoder(&stream).DecodeDict(&dict) != 0)
        return false;
    const btObject* result = dict.Find("result");
    const btObject* found = dict.Find("ad");
    if (!result || result->GetType() != BT_STRING || !found || found->GetType() != BT_STRING)
        return false;
    if (static_cast<const btString*>(result)->ToStdString() != "success")
        return false;
    ad = FromUtf8(static_cast<const btString*>(found)->ToStdString());
    return true;
}

}  // namespace

void CCStreamView::RequestAd()
{
    if (!opened_)
        return;
    if (IsBusy(REQ_GETAD))
        Cancel(REQ_GETAD);
    btDict dict;
    dict.Insert("msg", new btString("getad"));
    dict.Insert("cid", new btInteger(engineCid_));
    btStream stream;
    btEncoder(&stream).EncodeDict(&dict);
    const std::string body = stream.GetBuffer().substr(0, static_cast<std::size_t>(stream.GetSize()));
    Post(cgi_ ? cgi_ : L"", body.data(), static_cast<int>(body.size()), REQ_GETAD, 3);
}

void CCStreamView::RequestAdXml(const std::wstring& url)
{
    if (!opened_ || !PathIsURLW(url.c_str()))
        return;
    if (IsBusy(REQ_ADXML))
        Cancel(REQ_ADXML);
    const std::wstring full = url + (adAppend_ ? adAppend_ : L"");
    Get(full.c_str(), REQ_ADXML, 3);
}

void CCStreamView::SendSessionKeepAlive()
{
    if (!opened_ || !sessionEnabled_ || sessionUrl_.empty() || IsBusy(REQ_SESSION))
        return;
    wchar_t tail[160];
    if (coreKind_ == CORE_LIVE)
        swprintf(tail, 160, L"&cid=%llu&time=%d", static_cast<unsigned long long>(engineCid_),
                 sessionSeconds_);
    else if (coreKind_ == CORE_VOD)
        swprintf(tail, 160, L"&cid=%llu&hash=%ls&time=%d",
                 static_cast<unsigned long long>(engineCid_), engineHash_.c_str(), sessionSeconds_);
    else
        return;
    if (Get((sessionUrl_ + tail).c_str(), REQ_SESSION, 3))
        sessionSeconds_ = 0;
}

int CCStreamView::OnHttpDone(UINT id, bool ok, const std::wstring& text)
{
    switch (id) {
    case REQ_GETAD: {
        std::wstring ad;
        if (ok && AdOfReply(text, ad)) {
            if (PathIsURLW(ad.c_str()))
                RequestAdXml(ad);
            else
                ShowAdDescription(ad);
        }
        return 1;
    }
    case REQ_ADXML:
        if (ok)
            ShowAdDescription(text);
        return 1;
    case REQ_SESSION: {
        if (ok) {
            tool::XMLELement reply;
            reply.SetText(text);
            std::wstring result;
            reply.GetTagValue(L"result", result);
            if (result == L"ok") {
                sessionAccepted_ = true;
                sessionReason_.clear();
            } else {
                sessionAccepted_ = false;
                reply.GetTagValue(L"reason", sessionReason_);
                PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_STOP, BN_CLICKED), 0);
            }
        } else {
            // The seconds of a failed keep-alive count towards the next one.
            const std::wstring url = GetRequestUrl(REQ_SESSION);
            const std::size_t at = url.find(L"&time=");
            if (at != std::wstring::npos)
                sessionSeconds_ += _wtoi(url.c_str() + at + 6);
        }
        return 0;
    }
    }
    return 1;
}
