#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

namespace ppn {
class PPNCore;
}
class CVodBlockMap;

// What a peer session needs of its engine. Everything runs on the engine thread.
class IVodSessionHost {
public:
    virtual ppn::PPNCore* Network() = 0;
    // Null while the size is unknown.
    virtual CVodBlockMap* BlockMap() = 0;
    virtual HWND Window() = 0;
    virtual HANDLE TimerQueue() = 0;
    virtual const std::string& Hash() = 0;
    virtual const std::string& Referrer() = 0;
    virtual std::uint32_t UploadRateKbit() = 0;
    virtual std::uint32_t DownloadRateKbit() = 0;
    virtual std::uint64_t ReadPosition() = 0;
    virtual std::uint32_t WindowEnd() = 0;

protected:
    ~IVodSessionHost() {}
};
