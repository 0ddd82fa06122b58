// A page for the control, driven by lines on standard input: it fills a
// property bag of page parameters, creates the control by ProgID in a site
// of ours (or through atl.dll's "AtlAxWin" window), calls it by name through
// IDispatch and reports the events the control fires. Message boxes and
// dialogs that come up are reported and dismissed.
//
//   param NAME VALUE   a page parameter (the rest of the line is the value)
//   create PROGID      created | error create 0x...
//   atl PROGID         atl items N | error atl ...
//   items              items ID ID ... (the control window's items)
//   get NAME           value TEXT | error get 0x...
//   put NAME VALUE     put 0x...
//   call NAME          call 0x...
//   events             events STATE STATE ...
//   STOP               ends the program
#include <windows.h>
#include <ocidl.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "tests/tools/OleTestHost.h"
#include "tests/tools/SayLine.h"

namespace {

const UINT WM_LINE = WM_APP + 1;

std::string Hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Message boxes and dialogs would wait for a user: say so, press OK.
LRESULT CALLBACK DismissDialogs(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {}, title[128] = {};
        GetClassNameW(window, className, 32);
        if (wcscmp(className, L"#32770") == 0) {
            GetWindowTextW(window, title, 128);
            Say("dialog " + Narrow(title));
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Standard input, line by line, to the main thread; the main thread frees
// each posted line.
DWORD WINAPI ReadLines(void* thread)
{
    const DWORD mainThread = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread));
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        PostThreadMessageW(mainThread, WM_LINE, 0, reinterpret_cast<LPARAM>(new std::string(line)));
    }
    PostThreadMessageW(mainThread, WM_LINE, 0, reinterpret_cast<LPARAM>(new std::string("STOP")));
    return 0;
}

class Host {
public:
    Host()
    {
        page_ = CreateWindowExW(0, L"Static", L"page", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
        site_ = new olehost::TestSite(page_);
    }

    // False once the program should end.
    bool Handle(const std::string& line)
    {
        const size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        const size_t split = rest.find(' ');
        const std::string first = rest.substr(0, split);
        const std::string second = split == std::string::npos ? "" : rest.substr(split + 1);
        if (verb == "STOP")
            return false;
        if (verb == "param")
            bag_.values[Wide(first)] = Wide(second);
        else if (verb == "create")
            Create(first);
        else if (verb == "atl")
            CreateThroughAtl(first);
        else if (verb == "items")
            Say("items" + Items(control_));
        else if (verb == "get")
            Get(first);
        else if (verb == "put")
            Say("put " + Hex(Dispatch(first, DISPATCH_PROPERTYPUT, second)));
        else if (verb == "call")
            Say("call " + Hex(Dispatch(first, DISPATCH_METHOD, std::string())));
        else if (verb == "events") {
            std::string states;
            for (const VARIANT& call : sink_.calls)
                states += " " + std::to_string(call.lVal);
            Say("events" + states);
        } else
            Say("error unknown " + verb);
        return true;
    }

private:
    void Create(const std::string& progId)
    {
        CLSID clsid;
        IOleObject* ole = nullptr;
        HRESULT result = CLSIDFromProgID(Wide(progId).c_str(), &clsid);
        if (SUCCEEDED(result))
            result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                      reinterpret_cast<void**>(&ole));
        if (FAILED(result)) {
            Say("error create " + Hex(result));
            return;
        }
        ole->SetClientSite(site_);
        IPersistPropertyBag* persist = nullptr;
        if (SUCCEEDED(ole->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist)))) {
            result = persist->Load(&bag_, nullptr);
            persist->Release();
        }
        Connect(ole);
        if (SUCCEEDED(result))
            result = ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, page_, nullptr);
        ole->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
        HWND window = nullptr;
        IOleWindow* oleWindow = nullptr;
        if (SUCCEEDED(ole->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&oleWindow)))) {
            oleWindow->GetWindow(&window);
            oleWindow->Release();
        }
        control_ = window;
        ole->Release();
        Say(SUCCEEDED(result) ? "created" : "error create " + Hex(result));
    }

    void Connect(IUnknown* object)
    {
        IConnectionPointContainer* container = nullptr;
        if (FAILED(object->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&container))))
            return;
        IProvideClassInfo2* info = nullptr;
        GUID events = IID_NULL;
        if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
            info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
            info->Release();
        }
        IConnectionPoint* point = nullptr;
        DWORD cookie = 0;
        if (SUCCEEDED(container->FindConnectionPoint(events, &point))) {
            point->Advise(&sink_, &cookie);
            point->Release();
        }
        container->Release();
    }

    // The control inside a window of atl.dll's own host class, named by its
    // ProgID as a page's markup would.
    void CreateThroughAtl(const std::string& progId)
    {
        typedef BOOL(WINAPI * InitFunction)();
        typedef HRESULT(WINAPI * GetControlFunction)(HWND, IUnknown**);
        HMODULE atl = LoadLibraryW(L"atl.dll");
        auto init = reinterpret_cast<InitFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(atl, "AtlAxWinInit")));
        auto getControl = reinterpret_cast<GetControlFunction>(
            reinterpret_cast<void (*)()>(GetProcAddress(atl, "AtlAxGetControl")));
        if (!init || !getControl || !init()) {
            Say("error atl init");
            return;
        }
        HWND host = CreateWindowExW(0, L"AtlAxWin", Wide(progId).c_str(), WS_CHILD | WS_VISIBLE,
                                    0, 0, 480, 60, page_, nullptr, nullptr, nullptr);
        IUnknown* control = nullptr;
        HRESULT result = host ? getControl(host, &control) : E_FAIL;
        if (FAILED(result) || !control) {
            Say("error atl " + Hex(result));
            return;
        }
        control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
        Connect(control);
        control->Release();
        control_ = GetWindow(host, GW_CHILD);
        int count = 0;
        for (int id = 201; id <= 213; ++id)
            count += control_ && GetDlgItem(control_, id) ? 1 : 0;
        Say("atl items " + std::to_string(count));
    }

    static std::string Items(HWND window)
    {
        std::string ids;
        for (int id = 1; window && id <= 1000; ++id)
            if (GetDlgItem(window, id))
                ids += " " + std::to_string(id);
        return ids;
    }

    HRESULT Dispatch(const std::string& name, WORD flags, const std::string& text, VARIANT* out = nullptr)
    {
        if (!dispatch_)
            return E_POINTER;
        std::wstring wide = Wide(name);
        LPOLESTR names[] = {&wide[0]};
        DISPID id = 0;
        HRESULT result = dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        if (FAILED(result))
            return result;
        VARIANT argument;
        argument.vt = VT_BSTR;
        argument.bstrVal = SysAllocString(Wide(text).c_str());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&argument, &named, 1, 1};
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        result = dispatch_->Invoke(id, IID_NULL, 0, flags,
                                   flags == DISPATCH_PROPERTYPUT ? &params : &none, out, nullptr,
                                   nullptr);
        VariantClear(&argument);
        return result;
    }

    void Get(const std::string& name)
    {
        VARIANT value;
        VariantInit(&value);
        HRESULT result = Dispatch(name, DISPATCH_PROPERTYGET, std::string(), &value);
        if (FAILED(result)) {
            Say("error get " + Hex(result));
            return;
        }
        if (value.vt == VT_BOOL)
            Say("value " + std::to_string(value.boolVal));
        else if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)))
            Say("value " + Narrow(value.bstrVal ? value.bstrVal : L""));
        else
            Say("error get type");
        VariantClear(&value);
    }

    HWND page_ = nullptr;
    HWND control_ = nullptr;
    olehost::TestSite* site_ = nullptr;   // lives as long as the program
    olehost::TextBag bag_;
    olehost::EventSink sink_;
    IDispatch* dispatch_ = nullptr;
};

}  // namespace

int main()
{
    OleInitialize(nullptr);
    SetWindowsHookExW(WH_CBT, DismissDialogs, nullptr, GetCurrentThreadId());
    Host host;
    CloseHandle(CreateThread(nullptr, 0, ReadLines,
                             reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())),
                             0, nullptr));
    Say("ready");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_LINE) {
            std::string* line = reinterpret_cast<std::string*>(message.lParam);
            const bool more = host.Handle(*line);
            delete line;
            if (!more)
                break;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // The objects are left to the process's end: the control's window and
    // hooks go with it.
    std::fflush(stdout);
    ExitProcess(0);
}
