#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "common/wnd/ModuleHandle.h"
#include "live/LiveBasePlayer.h"
#include "platform/wmvcore/WMNetworkSink.h"

// Re-serves a live stream of raw Windows Media samples through the writer
// runtime ("wmvcore.dll", loaded by name): the writer takes the samples and
// its HTTP network sink serves every client. The player header is the writer
// profile as UTF-16 XML; a record is u8 stream, u8 sample flags, u64 time in
// 100 ns units, then the sample data. Each stream starts at its first clean
// point; times count from the first sample written.
class CLiveWMPlayer : public CLiveBasePlayer {
public:
    CLiveWMPlayer();
    ~CLiveWMPlayer() override;
    bool Start(const char* header, std::uint32_t length) override;
    int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength, bool noPacing) override;
    void Stop() override;
    // The sink's port is kept after Stop.
    std::wstring GetUrl() override;
    void Finish() override;

private:
    // Start's steps, under the lock; false at the first that fails.
    bool StartLocked(const char* header, std::uint32_t length);
    // Releases the writer, its advanced side and the sink; forgets the streams.
    void ReleaseAll();

    std::mutex m_lock;  // a push and Stop on another thread never overlap
    bool m_serving;
    IWMWriter* m_writer;
    IWMWriterAdvanced* m_writerAdvanced;
    IWMWriterNetworkSink* m_sink;
    IWMProfileManager* m_profileManager;
    std::map<std::uint16_t, std::uint64_t> m_firstSampleTimes;
    std::uint32_t m_port;
    std::uint64_t m_baseTime;  // time of the first sample written
    bool m_hasBaseTime;
    CModuleHandle m_module;
};
