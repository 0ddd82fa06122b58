#pragma once
// A top-level browser for a test container: its document answers the page
// address the test gives. Only what a control asks of its page is there
// (the browser's document, the document's URL); any other method of either
// is a fault of the caller.
#include <windows.h>
#include <exdisp.h>

#ifdef __cplusplus
extern "C" {
#endif

// A browser with one reference; the address is copied.
IWebBrowser2* StubBrowserCreate(const wchar_t* pageUrl);

#ifdef __cplusplus
}
#endif
