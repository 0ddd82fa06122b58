// Written in C: the two interfaces are long, and a table of functions names
// only the methods a control calls; the other entries stay empty.
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <mshtml.h>

#include "tests/tools/StubBrowser.h"

typedef struct StubDocument {
    IHTMLDocument2 iface;
    LONG refs;
    BSTR url;
} StubDocument;

typedef struct StubBrowser {
    IWebBrowser2 iface;
    LONG refs;
    StubDocument* document;
} StubBrowser;

static HRESULT STDMETHODCALLTYPE DocumentQueryInterface(IHTMLDocument2* self, REFIID iid,
                                                        void** object)
{
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) ||
        IsEqualIID(iid, &IID_IHTMLDocument) || IsEqualIID(iid, &IID_IHTMLDocument2)) {
        *object = self;
        IHTMLDocument2_AddRef(self);
        return S_OK;
    }
    *object = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE DocumentAddRef(IHTMLDocument2* self)
{
    return (ULONG)InterlockedIncrement(&((StubDocument*)self)->refs);
}

static ULONG STDMETHODCALLTYPE DocumentRelease(IHTMLDocument2* self)
{
    StubDocument* document = (StubDocument*)self;
    LONG left = InterlockedDecrement(&document->refs);
    if (left == 0) {
        SysFreeString(document->url);
        HeapFree(GetProcessHeap(), 0, document);
    }
    return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE DocumentGetUrl(IHTMLDocument2* self, BSTR* url)
{
    *url = SysAllocString(((StubDocument*)self)->url);
    return *url ? S_OK : E_OUTOFMEMORY;
}

static IHTMLDocument2Vtbl g_documentMethods;

static HRESULT STDMETHODCALLTYPE BrowserQueryInterface(IWebBrowser2* self, REFIID iid,
                                                       void** object)
{
    if (IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, &IID_IDispatch) ||
        IsEqualIID(iid, &IID_IWebBrowser) || IsEqualIID(iid, &IID_IWebBrowserApp) ||
        IsEqualIID(iid, &IID_IWebBrowser2)) {
        *object = self;
        IWebBrowser2_AddRef(self);
        return S_OK;
    }
    *object = NULL;
    return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE BrowserAddRef(IWebBrowser2* self)
{
    return (ULONG)InterlockedIncrement(&((StubBrowser*)self)->refs);
}

static ULONG STDMETHODCALLTYPE BrowserRelease(IWebBrowser2* self)
{
    StubBrowser* browser = (StubBrowser*)self;
    LONG left = InterlockedDecrement(&browser->refs);
    if (left == 0) {
        IHTMLDocument2_Release(&browser->document->iface);
        HeapFree(GetProcessHeap(), 0, browser);
    }
    return (ULONG)left;
}

static HRESULT STDMETHODCALLTYPE BrowserGetDocument(IWebBrowser2* self, IDispatch** document)
{
    StubDocument* page = ((StubBrowser*)self)->document;
    IHTMLDocument2_AddRef(&page->iface);
    *document = (IDispatch*)&page->iface;
    return S_OK;
}

static IWebBrowser2Vtbl g_browserMethods;

IWebBrowser2* StubBrowserCreate(const wchar_t* pageUrl)
{
    if (!g_browserMethods.QueryInterface) {
        g_documentMethods.QueryInterface = DocumentQueryInterface;
        g_documentMethods.AddRef = DocumentAddRef;
        g_documentMethods.Release = DocumentRelease;
        g_documentMethods.get_URL = DocumentGetUrl;
        g_browserMethods.QueryInterface = BrowserQueryInterface;
        g_browserMethods.AddRef = BrowserAddRef;
        g_browserMethods.Release = BrowserRelease;
        g_browserMethods.get_Document = BrowserGetDocument;
    }
    StubDocument* document = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *document);
    StubBrowser* browser = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *browser);
    if (!document || !browser) {
        HeapFree(GetProcessHeap(), 0, document);
        HeapFree(GetProcessHeap(), 0, browser);
        return NULL;
    }
    document->iface.lpVtbl = &g_documentMethods;
    document->refs = 1;
    document->url = SysAllocString(pageUrl);
    browser->iface.lpVtbl = &g_browserMethods;
    browser->refs = 1;
    browser->document = document;
    return &browser->iface;
}
