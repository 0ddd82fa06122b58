#include "vod/VodTrackerRequest.h"

#include <memory>

#include "common/http/HttpRequest.h"

http::CHttpRequest* PostTrackerRequest(HWND window, UINT message, WPARAM kind,
                                       const std::wstring& url, const std::string& body)
{
    std::unique_ptr<http::CHttpRequest> request(new http::CHttpRequest);
    if (request->SetURL(url.c_str()) != 1)
        return nullptr;
    request->SetNotify(window, message, kind, reinterpret_cast<LPARAM>(request.get()));
    request->SetPostData(body.data(), body.size());
    if (request->Send(1) != 1)
        return nullptr;
    return request.release();
}

bool ReadTrackerReply(http::CHttpRequest& request, std::string& bytes)
{
    bytes.clear();
    if (!request.IsOK())
        return false;
    const std::wstring text = request.GetResponseText(CP_UTF8);
    if (text.empty())
        return true;
    const int count = static_cast<int>(text.size());
    const int need = WideCharToMultiByte(CP_ACP, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
    if (need <= 0)
        return true;
    bytes.resize(static_cast<std::size_t>(need));
    WideCharToMultiByte(CP_ACP, 0, text.data(), count, &bytes[0], need, nullptr, nullptr);
    return true;
}
