// The UPnP mapper against gateways of our own: COM objects that record what
// they are asked. The system's UPnP object is never created here.
#include "net/UpnpNat.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/UpnpPortMapper.h"

namespace {

// IDispatch members that no caller uses.
#define NO_DISPATCH                                                                                   \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }                  \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }     \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {        \
        return E_NOTIMPL;                                                                             \
    }                                                                                                 \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,   \
                                     UINT*) override {                                                \
        return E_NOTIMPL;                                                                             \
    }

// Reference counting that the test can read back.
#define COUNTED(Interface)                                                                            \
    LONG refs = 1;                                                                                    \
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }                                      \
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }                                     \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {                           \
        *out = nullptr;                                                                               \
        return E_NOINTERFACE;                                                                         \
    }

struct Gateway;
Gateway* g_gateway;

struct FakeMapping : public IStaticPortMapping {
    COUNTED(IStaticPortMapping)
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE get_ExternalIPAddress(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_ExternalPort(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_InternalPort(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Protocol(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_InternalClient(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Description(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditInternalClient(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditDescription(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EditInternalPort(long) override { return E_NOTIMPL; }
};

struct FakeCollection : public IStaticPortMappingCollection {
    COUNTED(IStaticPortMappingCollection)
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Item(long, BSTR, IStaticPortMapping**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Count(long*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Remove(long externalPort, BSTR protocol) override;
    HRESULT STDMETHODCALLTYPE Add(long externalPort, BSTR protocol, long internalPort, BSTR client,
                                  VARIANT_BOOL enabled, BSTR description, IStaticPortMapping** mapping) override;
};

struct FakeNat : public IUPnPNAT {
    COUNTED(IUPnPNAT)
    NO_DISPATCH
    HRESULT STDMETHODCALLTYPE get_StaticPortMappingCollection(IStaticPortMappingCollection** value) override;
    HRESULT STDMETHODCALLTYPE get_DynamicPortMappingCollection(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NATEventManager(IUnknown**) override { return E_NOTIMPL; }
};

// One gateway: how it behaves and what it was asked, as text lines.
struct Gateway {
    bool natCreated = true;
    HRESULT collectionResult = S_OK;
    bool hasUpnp = true;  // false: the collection comes back null with success
    HRESULT addResult = S_OK;
    HRESULT externalAddressResult = S_OK;
    std::vector<std::string> calls;
    FakeNat nat;
    FakeCollection collection;
    FakeMapping mapping;
};

std::string Narrow(BSTR text) {
    std::string out;
    for (const wchar_t* p = text; p && *p; ++p)
        out += static_cast<char>(*p);
    return out;
}

HRESULT FakeMapping::get_ExternalIPAddress(BSTR* value) {
    g_gateway->calls.push_back("ExternalIPAddress");
    *value = SysAllocString(L"203.0.113.7");
    return g_gateway->externalAddressResult;
}

HRESULT FakeCollection::Remove(long externalPort, BSTR protocol) {
    g_gateway->calls.push_back("Remove " + std::to_string(externalPort) + " " + Narrow(protocol));
    return S_OK;
}

HRESULT FakeCollection::Add(long externalPort, BSTR protocol, long internalPort, BSTR client, VARIANT_BOOL enabled,
                            BSTR description, IStaticPortMapping** mapping) {
    g_gateway->calls.push_back("Add " + std::to_string(externalPort) + " " + Narrow(protocol) + " " +
                               std::to_string(internalPort) + " " + Narrow(client) + " " +
                               std::to_string(enabled) + " [" + Narrow(description) + "]");
    if (FAILED(g_gateway->addResult))
        return g_gateway->addResult;
    g_gateway->mapping.AddRef();
    *mapping = &g_gateway->mapping;
    return S_OK;
}

HRESULT FakeNat::get_StaticPortMappingCollection(IStaticPortMappingCollection** value) {
    g_gateway->calls.push_back("Collection");
    *value = nullptr;
    if (FAILED(g_gateway->collectionResult))
        return g_gateway->collectionResult;
    if (g_gateway->hasUpnp) {
        g_gateway->collection.AddRef();
        *value = &g_gateway->collection;
    }
    return S_OK;
}

long CreateFakeNat(IUPnPNAT** nat) {
    *nat = nullptr;
    if (!g_gateway->natCreated)
        return REGDB_E_CLASSNOTREG;
    g_gateway->nat.AddRef();
    *nat = &g_gateway->nat;
    return S_OK;
}

class UpnpMapperTest : public ::testing::Test {
protected:
    UpnpMapperTest() { g_gateway = &gateway; }
    ~UpnpMapperTest() override { g_gateway = nullptr; }

    // Every reference the mapper took has been given back.
    void ExpectAllReleased() {
        EXPECT_EQ(gateway.nat.refs, 1);
        EXPECT_EQ(gateway.collection.refs, 1);
        EXPECT_EQ(gateway.mapping.refs, 1);
    }

    Gateway gateway;
};

TEST_F(UpnpMapperTest, MapsAndUnmapsThePort) {
    {
        UpnpPortMapper mapper(&CreateFakeNat);
        ASSERT_TRUE(mapper.Init());
        EXPECT_TRUE(mapper.Init());  // once made, the object stays
        EXPECT_TRUE(mapper.Add("192.0.2.2", 5123, PortMapper::kUdp, 5123));
        EXPECT_TRUE(mapper.Remove(5123, PortMapper::kUdp));
        EXPECT_TRUE(mapper.Add("192.0.2.2", 80, PortMapper::kTcp, 8080));
        mapper.Release();
        ExpectAllReleased();
    }
    const std::vector<std::string> expected = {
        "Collection", "Add 5123 UDP 5123 192.0.2.2 -1 []", "ExternalIPAddress", "Remove 5123 UDP",
        "Add 8080 TCP 80 192.0.2.2 -1 []", "ExternalIPAddress"};
    EXPECT_EQ(gateway.calls, expected);
}

TEST_F(UpnpMapperTest, OtherProtocolsReachNoGateway) {
    UpnpPortMapper mapper(&CreateFakeNat);
    gateway.hasUpnp = false;  // so that Add would have to fetch the collection again
    ASSERT_TRUE(mapper.Init());
    gateway.calls.clear();
    EXPECT_FALSE(mapper.Add("192.0.2.2", 5123, 3, 5123));
    EXPECT_FALSE(mapper.Remove(5123, 0));
    EXPECT_TRUE(gateway.calls.empty());
}

TEST_F(UpnpMapperTest, GatewayWithoutUpnpInitsButMapsNothing) {
    gateway.hasUpnp = false;
    UpnpPortMapper mapper(&CreateFakeNat);
    EXPECT_TRUE(mapper.Init());
    EXPECT_FALSE(mapper.Add("192.0.2.2", 5123, PortMapper::kUdp, 5123));
    EXPECT_FALSE(mapper.Remove(5123, PortMapper::kUdp));
    const std::vector<std::string> expected = {"Collection", "Collection", "Collection"};
    EXPECT_EQ(gateway.calls, expected);
    mapper.Release();
    ExpectAllReleased();
}

TEST_F(UpnpMapperTest, FailuresLeaveNothingHeld) {
    struct Case {
        const char* name;
        bool natCreated;
        HRESULT collection, add, external;
        bool init, add_ok;
    } cases[] = {
        {"no NAT object", false, S_OK, S_OK, S_OK, false, false},
        {"collection fails", true, E_FAIL, S_OK, S_OK, false, false},
        {"gateway refuses the mapping", true, S_OK, E_FAIL, S_OK, true, false},
        {"external address unreadable", true, S_OK, S_OK, E_FAIL, true, false},
    };
    for (const Case& c : cases) {
        Gateway g;
        g_gateway = &g;
        g.natCreated = c.natCreated;
        g.collectionResult = c.collection;
        g.addResult = c.add;
        g.externalAddressResult = c.external;
        {
            UpnpPortMapper mapper(&CreateFakeNat);
            EXPECT_EQ(mapper.Init(), c.init) << c.name;
            EXPECT_EQ(mapper.Add("192.0.2.2", 5123, PortMapper::kUdp, 5123), c.add_ok) << c.name;
        }  // the destructor releases what Release was not called for
        EXPECT_EQ(g.nat.refs, 1) << c.name;
        EXPECT_EQ(g.collection.refs, 1) << c.name;
        EXPECT_EQ(g.mapping.refs, 1) << c.name;
    }
    g_gateway = &gateway;
}

}  // namespace
