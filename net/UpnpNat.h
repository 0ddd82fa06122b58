#pragma once

// The system's UPnP NAT object and its static port mappings, declared here
// from the published interface descriptions (mingw ships no header for them).
// Only the members this stack calls are typed; the others keep their vtable
// slot with an IUnknown pointer.

#include "net/Winsock.h"

#include <oaidl.h>

extern const CLSID kClsidUPnPNAT;                      // {AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}
extern const IID kIidUPnPNAT;                          // {B171C812-CC76-485A-94D8-B6B3A2794E99}
extern const IID kIidStaticPortMappingCollection;      // {CD1F3E77-66D6-4664-82C7-36DBB641D0F1}
extern const IID kIidStaticPortMapping;                // {6F10711F-729B-41E5-93B8-F21D0F818DF1}

struct IStaticPortMapping : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ExternalIPAddress(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExternalPort(long* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InternalPort(long* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Protocol(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InternalClient(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditInternalClient(BSTR internalClient) = 0;
    virtual HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL enabled) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditDescription(BSTR description) = 0;
    virtual HRESULT STDMETHODCALLTYPE EditInternalPort(long internalPort) = 0;
};

struct IStaticPortMappingCollection : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(long externalPort, BSTR protocol, IStaticPortMapping** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(long* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(long externalPort, BSTR protocol) = 0;
    virtual HRESULT STDMETHODCALLTYPE Add(long externalPort, BSTR protocol, long internalPort, BSTR internalClient,
                                          VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping) = 0;
};

struct IUPnPNAT : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_StaticPortMappingCollection(IStaticPortMappingCollection** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DynamicPortMappingCollection(IUnknown** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NATEventManager(IUnknown** value) = 0;
};
