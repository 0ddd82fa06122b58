#include "live/LiveFeeder.h"

#include <cwchar>
#include <string>

#include <mmsystem.h>
#include <objbase.h>

#include "live/LiveEngineMessages.h"
#include "live/LiveStreamHeader.h"
#include "live/LiveStrings.h"

namespace {

const DWORD kPollMs = 100;
const DWORD kCountdownStepMs = 1000;
const UINT kReadyTimeoutMs = 2000;
const DWORD kAfterReadyMs = 2000;
const DWORD kPlayerStopWaitMs = 2000;
const UINT kCountdownTimeoutMs = 100;

}  // namespace

LiveFeeder::LiveFeeder(ILiveFeederHost* engine, std::uint32_t bufferingSeconds, LivePlayerFactory factory)
    : m_engine(engine), m_factory(factory), m_selector(new LivePlayerSelector(factory)), m_thread(nullptr), m_running(false),
      m_nextPiece(engine->GetWindowStart()), m_currentHeader(0), m_wake(nullptr),
      m_bufferingSeconds(bufferingSeconds), m_stopped(nullptr)
{
}

LiveFeeder::~LiveFeeder()
{
    Stop();
}

bool LiveFeeder::Start()
{
    if (m_thread != nullptr)
        return false;
    if (!m_selector)
        m_selector.reset(new LivePlayerSelector(m_factory));
    m_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = CreateThread(nullptr, 0, Thread, this, CREATE_SUSPENDED, nullptr);
    if (m_wake == nullptr || m_stopped == nullptr || m_thread == nullptr) {
        // Nothing made here outlives a failed start.
        for (HANDLE* handle : {&m_thread, &m_wake, &m_stopped}) {
            if (*handle != nullptr)
                CloseHandle(*handle);
            *handle = nullptr;
        }
        return false;
    }
    m_running = true;
    ResumeThread(m_thread);
    return true;
}

bool LiveFeeder::Stop()
{
    if (m_thread == nullptr)
        return false;
    m_running = false;
    SetEvent(m_wake);
    SetEvent(m_stopped);
    m_selector->StopCurrent();
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    m_selector.reset();
    CloseHandle(m_wake);
    CloseHandle(m_stopped);
    m_wake = m_stopped = nullptr;
    return true;
}

void LiveFeeder::Wake()
{
    if (m_wake != nullptr)
        SetEvent(m_wake);
}

DWORD WINAPI LiveFeeder::Thread(LPVOID self)
{
    // The players this thread starts may create COM objects (the writer
    // player's Windows Media writer).
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<LiveFeeder*>(self)->Run();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

bool LiveFeeder::Pause(DWORD ms)
{
    WaitForSingleObject(m_stopped, ms);
    return m_running;
}

void LiveFeeder::Run()
{
    while (m_running) {
        std::uint32_t length = 0;
        std::int32_t result = m_engine->GetPiece(m_nextPiece, nullptr, length);
        if (result < 0 && result != -2) {
            Pause(kPollMs);
            continue;
        }
        if (result != -2 && length != 0) {
            if (m_piece.size() < length)
                m_piece.resize(length);
            result = m_engine->GetPiece(m_nextPiece, m_piece.data(), length);
            if (result < 0 && result != -2) {
                Pause(kPollMs);
                continue;
            }
            if (result > 0) {
                LivePieceRecords records(m_piece.data(), length);
                if (records.HeaderId() != m_currentHeader && !ChangeHeader(records.HeaderId()))
                    return;
                Feed(m_piece.data(), length);
            }
        }
        ++m_nextPiece;
    }
}

bool LiveFeeder::ChangeHeader(std::uint32_t id)
{
    std::string header;
    while (m_running && !m_engine->RequestHeader(id, header))
        Pause(kPollMs);
    ResetEvent(m_wake);
    if (!m_running)
        return false;
    bool first = m_currentHeader == 0;
    if (!first) {
        m_selector->StopCurrent();
        m_engine->NotifyHost(WM_LIVE_STATUS, LIVE_STATUS_NEXT_PROGRAMME,
                             LiveStatusStringId(LIVE_STATUS_NEXT_PROGRAMME), true);
        WaitForSingleObject(m_wake, kPlayerStopWaitMs);
        if (!m_running)
            return false;
    } else {
        Countdown();
        if (!m_running)
            return false;
    }
    m_currentHeader = id;
    if (m_selector->Select(header.data(), static_cast<std::uint32_t>(header.size()))) {
        m_engine->SetPlayerUrl(m_selector->GetUrl());
        const wchar_t* title = m_engine->HoldHostText(m_selector->GetTitle());
        m_engine->NotifyHostTimeout(WM_LIVE_STREAM_READY, reinterpret_cast<WPARAM>(title), 0,
                                    kReadyTimeoutMs);
        Pause(kAfterReadyMs);
    }
    return true;
}

void LiveFeeder::Countdown()
{
    const std::wstring format = LoadLiveString(IDS_LIVE_WAITING);
    for (std::uint32_t i = 0; i < m_bufferingSeconds && m_running; ++i) {
        wchar_t text[64];
        std::swprintf(text, 64, format.c_str(),
                      static_cast<int>(static_cast<std::uint64_t>(i) * 100 / m_bufferingSeconds));
        const wchar_t* held = m_engine->HoldHostText(text);
        m_engine->NotifyHostTimeout(WM_LIVE_STATUS, LIVE_STATUS_BUFFERING, reinterpret_cast<LPARAM>(held),
                                    kCountdownTimeoutMs);
        Pause(kCountdownStepMs);
    }
}

void LiveFeeder::Feed(const char* piece, std::uint32_t length)
{
    DWORD t0 = timeGetTime();
    bool noPacing = m_engine->NoPacing();
    CLiveBasePlayer* player = m_selector->Current();
    LivePieceRecords records(piece, length);
    const char* record = nullptr;
    std::uint32_t recordLength = 0;
    while (m_running && records.Next(record, recordLength)) {
        if (player != nullptr)
            player->PushData(record, recordLength, length, noPacing);
    }
    // Every piece ticks, a fast one too: with pacing, the tick is what spreads
    // the pieces over real time.
    DWORD t1 = timeGetTime();
    if (player != nullptr)
        player->Tick(m_nextPiece, t1 > t0 ? t1 - t0 : 0, noPacing);
}
