#include "control/AutoLogin.h"

#include <windows.h>

#include "common/http/WtlHttpRequest.h"
#include "common/xml/XMLELement.h"

bool AutoLogin(const std::wstring& loginUrl, const std::wstring& pageAddress)
{
    const std::wstring wide = L"url=" + pageAddress;
    const int length = static_cast<int>(wide.size());
    const int count =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string body(count > 0 ? count : 0, '\0');
    if (count > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), length, &body[0], count, nullptr, nullptr);

    wtl_http::CHttpRequest request;
    if (!request.SetURL(loginUrl.c_str()))
        return false;
    request.AddHeader(L"Content-Type", L"application/x-www-form-urlencoded");
    request.SetPostData(body.data(), body.size());
    request.AddHeader(L"Content-Length", std::to_wstring(body.size()).c_str());
    if (!request.Send(0))
        return false;

    tool::XMLELement reply;
    reply.SetText(request.GetResponseText(CP_UTF8));
    std::wstring login;
    reply.GetTagValue(L"login", login);
    return lstrcmpiW(login.c_str(), L"success") == 0;
}
