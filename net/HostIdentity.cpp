#include "net/HostIdentity.h"

#include "net/Winsock.h"

#include <iphlpapi.h>
#include <nb30.h>

#include <atomic>
#include <vector>

#include "net/HardwareAddress.h"

namespace {

// Loads a system library by name and frees it on every way out.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const wchar_t* name) : m_module(LoadLibraryW(name)) {}
    ~LoadedLibrary() {
        if (m_module)
            FreeLibrary(m_module);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    template <typename F>
    F Find(const char* name) const {
        return m_module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_module, name))) : nullptr;
    }

private:
    HMODULE m_module;
};

typedef DWORD(WINAPI* GetAdaptersInfoFn)(PIP_ADAPTER_INFO, PULONG);
typedef UCHAR(WINAPI* NetbiosFn)(PNCB);

bool MacFromIpHelper(int adapter, unsigned char (&out)[kHardwareAddressSize]) {
    LoadedLibrary library(L"Iphlpapi.dll");
    const GetAdaptersInfoFn getAdaptersInfo = library.Find<GetAdaptersInfoFn>("GetAdaptersInfo");
    if (!getAdaptersInfo)
        return false;
    // One adapter record first; the size it asks for when there are more.
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<IP_ADAPTER_INFO> records(1);
    DWORD result = getAdaptersInfo(records.data(), &size);
    if (result == ERROR_BUFFER_OVERFLOW) {
        records.resize((size + sizeof(IP_ADAPTER_INFO) - 1) / sizeof(IP_ADAPTER_INFO));
        result = getAdaptersInfo(records.data(), &size);
    }
    if (result != ERROR_SUCCESS || size < (adapter + 1) * sizeof(IP_ADAPTER_INFO))
        return false;
    const IP_ADAPTER_INFO* info = records.data();
    for (int i = 0; i < adapter && info; ++i)
        info = info->Next;
    if (info)
        CopyHardwareAddress(info->Address, info->AddressLength, out);
    return true;
}

bool MacFromNetbios(int adapter, unsigned char (&out)[kHardwareAddressSize]) {
    LoadedLibrary library(L"Netapi32.dll");
    const NetbiosFn netbios = library.Find<NetbiosFn>("Netbios");
    if (!netbios)
        return false;

    LANA_ENUM lanas;
    NCB ncb;
    ZeroMemory(&ncb, sizeof ncb);
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
    ncb.ncb_length = sizeof lanas;
    UCHAR lana = static_cast<UCHAR>(adapter);
    if (netbios(&ncb) == NRC_GOODRET) {
        if (adapter >= lanas.length)
            return false;
        lana = lanas.lana[adapter];
    }

    ZeroMemory(&ncb, sizeof ncb);
    ncb.ncb_command = NCBRESET;
    ncb.ncb_lana_num = lana;
    netbios(&ncb);

    unsigned char status[600];
    ZeroMemory(&ncb, sizeof ncb);
    ncb.ncb_command = NCBASTAT;
    ncb.ncb_lana_num = lana;
    ncb.ncb_callname[0] = '*';
    ncb.ncb_callname[1] = ' ';
    ncb.ncb_buffer = status;
    ncb.ncb_length = sizeof status;
    if (netbios(&ncb) != NRC_GOODRET)
        return false;
    // ADAPTER_STATUS opens with the six-byte adapter address.
    CopyHardwareAddress(status, kHardwareAddressSize, out);
    return true;
}

std::atomic<std::uint32_t> g_localIPv4(0);

// Any public address will do: only the routing table is asked, nothing is sent.
const char kRoutingProbeAddress[] = "198.51.100.1";

bool RoutingInterfaceAddress(std::uint32_t& address) {
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    sockaddr_in target;
    ZeroMemory(&target, sizeof target);
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = inet_addr(kRoutingProbeAddress);
    sockaddr_in local;
    ZeroMemory(&local, sizeof local);
    DWORD returned = 0;
    const bool ok = target.sin_addr.s_addr != INADDR_NONE &&
                    WSAIoctl(s, SIO_ROUTING_INTERFACE_QUERY, &target, sizeof target, &local, sizeof local,
                             &returned, nullptr, nullptr) == 0;
    closesocket(s);
    if (ok)
        address = local.sin_addr.s_addr;
    return ok;
}

}  // namespace

bool GetAdapterMacHex(std::string& text, int adapter) {
    unsigned char mac[kHardwareAddressSize] = {0};
    if (!MacFromIpHelper(adapter, mac) && !MacFromNetbios(adapter, mac))
        return false;
    text = FormatHardwareAddress(mac);
    return true;
}

bool GetLocalIPv4(std::uint32_t& address) {
    const std::uint32_t cached = g_localIPv4.load();
    if (cached != 0) {
        address = cached;
        return true;
    }
    char name[1024];
    if (gethostname(name, sizeof name) == 0) {
        const hostent* host = gethostbyname(name);
        if (!host || host->h_addrtype != AF_INET || !host->h_addr_list[0])
            return false;
        if (!host->h_addr_list[1]) {
            std::uint32_t only;
            CopyMemory(&only, host->h_addr_list[0], 4);
            g_localIPv4.store(only);
            address = only;
            return true;
        }
    }
    std::uint32_t routed;
    if (!RoutingInterfaceAddress(routed))
        return false;
    g_localIPv4.store(routed);
    address = routed;
    return true;
}

bool IsOwnIPv4Address(std::uint32_t address) {
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return false;
    std::vector<unsigned char> buffer(size);
    MIB_IPADDRTABLE* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    if (GetIpAddrTable(table, &size, FALSE) != NO_ERROR)
        return false;
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (table->table[i].dwAddr == address)
            return true;
    return false;
}
