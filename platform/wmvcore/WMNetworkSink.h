#pragma once

// mingw-w64's wmsdkidl.h declares the writer and its plain sink but not the
// writer's network sink; declared here for the writer player and the stand-in.
#include <windows.h>
#include <wmsdkidl.h>

enum WMT_NET_PROTOCOL { WMT_PROTOCOL_HTTP = 0 };

struct IWMWriterNetworkSink : public IWMWriterSink {
    virtual HRESULT STDMETHODCALLTYPE SetMaximumClients(DWORD maxClients) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMaximumClients(DWORD* maxClients) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetNetworkProtocol(WMT_NET_PROTOCOL protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNetworkProtocol(WMT_NET_PROTOCOL* protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHostURL(WCHAR* url, DWORD* length) = 0;
    virtual HRESULT STDMETHODCALLTYPE Open(DWORD* port) = 0;
    virtual HRESULT STDMETHODCALLTYPE Disconnect() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};
__CRT_UUID_DECL(IWMWriterNetworkSink, 0x96406be7, 0x2b2b, 0x11d3, 0xb3, 0x6b, 0x00, 0xc0, 0x4f, 0x61, 0x08, 0xff)

// The writer runtime's factories, as the writer player looks them up by name.
typedef HRESULT(WINAPI* WMCreateProfileManagerFn)(IWMProfileManager** manager);
typedef HRESULT(WINAPI* WMCreateWriterFn)(IUnknown* reserved, IWMWriter** writer);
typedef HRESULT(WINAPI* WMCreateWriterNetworkSinkFn)(IWMWriterNetworkSink** sink);
