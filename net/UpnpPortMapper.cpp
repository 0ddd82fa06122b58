// The platform headers before Boost's, which bring in windows.h.
#include "net/UpnpNat.h"

#include "net/UpnpPortMapper.h"

#include <string>

namespace {

long CreateSystemNat(IUPnPNAT** nat) {
    return CoCreateInstance(kClsidUPnPNAT, nullptr, CLSCTX_INPROC_SERVER, kIidUPnPNAT, reinterpret_cast<void**>(nat));
}

// "UDP" or "TCP"; null for any other protocol number.
const wchar_t* ProtocolText(int protocol) {
    switch (protocol) {
    case PortMapper::kUdp: return L"UDP";
    case PortMapper::kTcp: return L"TCP";
    default: return nullptr;
    }
}

// A BSTR that frees itself.
class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_value(SysAllocString(text)) {}
    Bstr() : m_value(nullptr) {}
    ~Bstr() { SysFreeString(m_value); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return m_value; }
    BSTR* out() { return &m_value; }

private:
    BSTR m_value;
};

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}

}  // namespace

UpnpPortMapper::UpnpPortMapper(NatFactory factory)
    : m_factory(factory ? factory : &CreateSystemNat), m_nat(nullptr), m_collection(nullptr) {}

UpnpPortMapper::~UpnpPortMapper() {
    boost::mutex::scoped_lock lock(m_mutex);
    ReleaseLocked();
}

bool UpnpPortMapper::Init() {
    boost::mutex::scoped_lock lock(m_mutex);
    if (m_nat)
        return true;
    IUPnPNAT* nat = nullptr;
    if (FAILED(m_factory(&nat)) || !nat)
        return false;
    m_nat = nat;
    IStaticPortMappingCollection* collection = nullptr;
    if (FAILED(m_nat->get_StaticPortMappingCollection(&collection))) {
        m_nat->Release();
        m_nat = nullptr;
        return false;
    }
    // A gateway without UPnP answers success and no collection.
    m_collection = collection;
    return true;
}

bool UpnpPortMapper::FetchCollection() {
    if (!m_collection) {
        IStaticPortMappingCollection* collection = nullptr;
        if (SUCCEEDED(m_nat->get_StaticPortMappingCollection(&collection)))
            m_collection = collection;
    }
    return m_collection != nullptr;
}

bool UpnpPortMapper::Add(const char* internalClient, std::uint16_t internalPort, int protocol,
                         std::uint16_t externalPort) {
    boost::mutex::scoped_lock lock(m_mutex);
    // The protocol is checked first, so a bad one reaches no gateway.
    const wchar_t* protocolText = ProtocolText(protocol);
    if (!protocolText || !m_nat || !FetchCollection())
        return false;
    Bstr protocolBstr(protocolText);
    Bstr client(Widen(internalClient).c_str());
    Bstr description(L"");
    IStaticPortMapping* mapping = nullptr;
    if (FAILED(m_collection->Add(externalPort, protocolBstr.get(), internalPort, client.get(), VARIANT_TRUE,
                                 description.get(), &mapping)) ||
        !mapping)
        return false;
    Bstr external;
    const bool ok = SUCCEEDED(mapping->get_ExternalIPAddress(external.out()));
    mapping->Release();
    return ok;
}

bool UpnpPortMapper::Remove(std::uint16_t externalPort, int protocol) {
    boost::mutex::scoped_lock lock(m_mutex);
    const wchar_t* protocolText = ProtocolText(protocol);
    if (!protocolText || !m_nat || !FetchCollection())
        return false;
    Bstr protocolBstr(protocolText);
    return SUCCEEDED(m_collection->Remove(externalPort, protocolBstr.get()));
}

void UpnpPortMapper::Release() {
    boost::mutex::scoped_lock lock(m_mutex);
    ReleaseLocked();
}

void UpnpPortMapper::ReleaseLocked() {
    if (m_collection) {
        m_collection->Release();
        m_collection = nullptr;
    }
    if (m_nat) {
        m_nat->Release();
        m_nat = nullptr;
    }
}
