#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/http/WtlHttpRequest.h"

// Completion of a CHttpHelper request, posted to the owner window; wParam is
// the request id, lParam 0.
#define WM_HTTPHELPER_DONE 15428

// An id-keyed set of asynchronous content-server requests for a window
// (T: a class with HWND Handle() const, the window that receives the
// completions). The owner routes WM_HTTPHELPER_DONE to OnHttpMessage and
// implements OnHttpDone and GetCodePage.
//
// A finished request is deleted at the start of the next completion this
// helper handles, never inside its own (its handler may still be using it),
// and only when the handler answered non-zero; an answer of 0 keeps the
// request for reuse. Everything runs on the owner window's thread; the
// lock only guards the map against the owner's own re-entrant calls.
template <class T>
class CHttpHelper {
public:
    CHttpHelper() { InitializeCriticalSection(&m_lock); }
    virtual ~CHttpHelper()
    {
        CancelAll();
        DeleteCriticalSection(&m_lock);
    }
    CHttpHelper(const CHttpHelper&) = delete;
    CHttpHelper& operator=(const CHttpHelper&) = delete;

    // Non-zero: the request is finished with and may be deleted.
    virtual int OnHttpDone(UINT id, bool ok, const std::wstring& text) = 0;
    // Code page of the response text of request id.
    virtual UINT GetCodePage(UINT id) = 0;

    // The request stored for id; with create, a new one when there is none.
    wtl_http::CHttpRequest* GetRequest(UINT id, bool create)
    {
        Locked hold(m_lock);
        auto found = m_requests.find(id);
        if (found != m_requests.end() && found->second)
            return found->second.get();
        if (!create)
            return nullptr;
        std::unique_ptr<wtl_http::CHttpRequest>& slot = m_requests[id];
        slot.reset(new wtl_http::CHttpRequest());
        return slot.get();
    }

    // True when the URL was accepted and the request started.
    bool Get(const wchar_t* url, UINT id, int tries)
    {
        wtl_http::CHttpRequest* request = GetRequest(id, true);
        request->Reset();
        request->SetNotify(OwnerWindow(), WM_HTTPHELPER_DONE, id);
        request->SetTries(tries);
        if (!request->SetURL(url))
            return false;
        return request->Send(1) != 0;
    }

    // A form POST of the body; true when it started.
    bool Post(const wchar_t* url, const void* body, int length, UINT id, int tries)
    {
        wtl_http::CHttpRequest* request = GetRequest(id, true);
        m_done.erase(id);
        return request->PostForm(url, body, length, OwnerWindow(), WM_HTTPHELPER_DONE, id,
                                 tries) != 0;
    }

    std::wstring GetRequestUrl(UINT id)
    {
        wtl_http::CHttpRequest* request = GetRequest(id, false);
        return request ? request->GetURL() : std::wstring();
    }

    bool IsBusy(UINT id)
    {
        wtl_http::CHttpRequest* request = GetRequest(id, false);
        return request && request->IsBusy();
    }

    // Aborts (waiting for its worker) and deletes the request of id.
    void Cancel(UINT id)
    {
        Locked hold(m_lock);
        auto found = m_requests.find(id);
        if (found == m_requests.end())
            return;
        std::unique_ptr<wtl_http::CHttpRequest> request = std::move(found->second);
        m_requests.erase(found);
        if (request && request->IsBusy())
            request->Reset();
    }

    void CancelAll()
    {
        Locked hold(m_lock);
        for (auto& entry : m_requests)
            if (entry.second && entry.second->IsBusy())
                entry.second->Reset();
        m_requests.clear();
    }

    void ReapDone()
    {
        std::set<UINT> done;
        done.swap(m_done);
        for (UINT id : done)
            Cancel(id);
    }

    // The WM_HTTPHELPER_DONE handler; false when the id is not ours (the
    // message then goes on to the window's default processing).
    bool OnHttpMessage(WPARAM wParam, LRESULT& result)
    {
        const UINT id = static_cast<UINT>(wParam);
        m_done.erase(id);
        ReapDone();
        {
            Locked hold(m_lock);
            if (m_requests.find(id) == m_requests.end())
                return false;
        }
        result = 0;
        wtl_http::CHttpRequest* request = GetRequest(id, false);
        if (!request) {
            Cancel(id);
            return true;
        }
        // A request posts only after its worker has let go of it, so one
        // still busy here was sent again after a cancel: this completion
        // belongs to the aborted send, and the running one will post its own.
        if (request->IsBusy())
            return true;
        const std::wstring text = request->GetResponseText(GetCodePage(id));
        const bool ok = request->IsOK() != 0;
        if (OnHttpDone(id, ok, text) != 0)
            m_done.insert(id);
        return true;
    }

private:
    class Locked {
    public:
        explicit Locked(CRITICAL_SECTION& lock) : m_held(lock) { EnterCriticalSection(&m_held); }
        ~Locked() { LeaveCriticalSection(&m_held); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;

    private:
        CRITICAL_SECTION& m_held;
    };

    HWND OwnerWindow() const { return static_cast<const T*>(this)->Handle(); }

    std::map<UINT, std::unique_ptr<wtl_http::CHttpRequest>> m_requests;
    std::set<UINT> m_done;  // touched on the owner's thread only
    CRITICAL_SECTION m_lock;
};
