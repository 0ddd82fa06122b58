#include "service/VodSrvSession.h"

#include <algorithm>
#include <cstring>

#include "common/pack/BlockBuffer.h"
#include "common/text/HexText.h"
#include "net/PPNCore.h"
#include "net/PPNException.h"
#include "net/PpnEvents.h"
#include "service/BlockReader.h"
#include "service/PieceBufferPool.h"
#include "service/VodRecordList.h"
#include "service/VodSeeder.h"
#include "vod/VodMessages.h"
#include "vod/VodUnits.h"

namespace {

// Pieces of blocks past this number would not fit a u32 piece number.
const std::uint32_t kLastBlock = 0xFFFFFFFFu / kVodPiecesPerBlock - 1;

// Two hexadecimal characters per byte from the start of the text; a text
// shorter than 32 characters gives 16 zero bytes, a pair that does not
// read as a number gives 0 (one digit reads as itself).
void HashFromText(const std::string& text, unsigned char hash[16]) {
    std::memset(hash, 0, 16);
    if (text.size() < 32)
        return;
    for (int i = 0; i < 16; ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0)
            continue;
        hash[i] = static_cast<unsigned char>(low < 0 ? high : high * 16 + low);
    }
}

// Microseconds of the performance counter: monotonic, and fine enough for
// ticks 1 ms apart (the tick count moves in steps of up to 16 ms).
std::int64_t MonotonicUs() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t count = now.QuadPart;
    return count / frequency * 1000000 + count % frequency * 1000000 / frequency;
}

}  // namespace

CVodSrvSession::CVodSrvSession(VodSeeder* seeder, ppn::PPNCore* core, const PeerId& peer)
    : m_seeder(seeder), m_core(core), m_peer(peer) {
    boost::recursive_mutex::scoped_lock stats(m_statsLock);
    SetPacing();
}

CVodSrvSession::~CVodSrvSession() {
    m_active = false;
    DeleteSendTimer();
    // The reader waits for its reads under way, whose pieces still arrive
    // here; only then are the queues emptied.
    m_reader.reset();
    DropQueues();
}

void CVodSrvSession::DropQueues() {
    boost::recursive_mutex::scoped_lock request(m_requestLock);
    boost::recursive_mutex::scoped_lock ready(m_readyLock);
    m_requests.clear();
    for (const Ready& r : m_ready)
        PieceBufferPool::Instance().Free(r.buffer);
    m_ready.clear();
}

int CVodSrvSession::GetRate() {
    boost::recursive_mutex::scoped_lock stats(m_statsLock);
    return m_rate;
}

// ------------------------------------------------------------------ messages

void CVodSrvSession::OnPacket(const char* data, int length) {
    if (!data || length <= 0)
        return;
    VodMessage message;
    if (!ReadVodMessage(data, static_cast<std::uint32_t>(length), message))
        return;
    if (message.type == VOD_MSG_HELLO)
        OnHello(message.hello);
    else if (message.type == VOD_MSG_REQUEST)
        OnRequest(message.request);
}

void CVodSrvSession::OnHello(const VodHelloMsg& hello) {
    unsigned char hash[16];
    HashFromText(hello.hash, hash);
    const bool accepted = hello.version == VodHelloMsg::kVersion && m_seeder->HasVideo(hash);
    if (accepted) {
        std::unique_ptr<BlockReader> reader(
            new BlockReader(m_seeder->GetCompletionPort(), m_seeder->GetRecordList(),
                            m_seeder->GetBlockCache(), this, hash));
        {
            boost::recursive_mutex::scoped_lock request(m_requestLock);
            std::swap(reader, m_reader);
            std::memcpy(m_hash, hash, sizeof(m_hash));
            m_requests.clear();
        }
        if (reader) {
            // A second hello replaces the served video: what was queued for
            // the earlier one must not leave under the new one's numbers.
            reader.reset();
            DropQueues();
        }
        m_active = true;
    } else {
        m_active = false;
    }

    VodMessage reply;
    reply.type = VOD_MSG_HELLO_REPLY;
    reply.hello.form = VodHelloMsg::kFormNoStrings;
    if (accepted) {
        reply.hello.flags = VodHelloMsg::kFlagAvailability | VodHelloMsg::kFlagAccepted;
        // A record whose block failed its digest offers nothing until its
        // index is loaded again.
        reply.hello.availability =
            m_seeder->GetRecordList()->GetBlockMap(HashText(hash), reply.hello.blocks)
                ? VodHelloMsg::kHoldsField
                : VodHelloMsg::kHoldsNone;
    }
    nps::DefaultBlockBuffer bytes;
    PackVodMessage(reply, bytes);
    SendReliable(bytes.data, bytes.size);
}

void CVodSrvSession::OnRequest(const VodRequestMsg& request) {
    if (!m_active)
        return;
    {
        boost::recursive_mutex::scoped_lock lock(m_requestLock);
        for (const auto& entry : request.blocks) {
            if (entry.first > kLastBlock)
                continue;
            // Bits beyond one block's 48 pieces name no piece of this block.
            const std::size_t bits =
                std::min<std::size_t>(entry.second.size(), kVodPiecesPerBlock);
            for (std::size_t i = 0; i < bits; ++i)
                if (entry.second.test(i))
                    m_requests.push_back(entry.first * kVodPiecesPerBlock +
                                         static_cast<std::uint32_t>(i));
        }
        m_lastRequest = request.number;
    }
    {
        boost::recursive_mutex::scoped_lock stats(m_statsLock);
        m_sum1 += request.lossPercent * 0.01f;
        m_sum2 += request.secondRatio * 0.01f;
        ++m_reportCount;
        if (m_elapsedMs >= kWindowMs) {
            m_averageRatio1 = m_sum1 / m_reportCount;
            m_averageRatio2 = m_sum2 / m_reportCount;
            AdjustRate();
            m_sum1 = m_sum2 = 0;
            m_reportCount = 0;
            m_elapsedMs = 0;
        }
    }
    StartSendTimer();
}

// ------------------------------------------------------------------ pacing

// Called with the statistics lock held.
void CVodSrvSession::AdjustRate() {
    const int direction = m_averageRatio1 > 0.2f ? 0 : m_averageRatio1 <= 0.05f ? 2 : 1;
    if (direction == m_direction) {
        m_step = std::max(-kMaxStep, std::min(kMaxStep, m_step * 2));
    } else {
        m_direction = direction;
        m_step = direction - 1;
    }
    if (!(m_step > 0 && m_rate >= kMaxRate))
        m_rate += m_step * kRateStep;
    m_rate = std::max(kMinRate, std::min(kMaxRate, m_rate));
    const long long cap = static_cast<long long>(m_seeder->GetUploadLimit()) * 8000;
    if (cap != 0 && m_rate > cap)
        m_rate = static_cast<int>(cap);
    SetPacing();
}

// Called with the statistics lock held.
void CVodSrvSession::SetPacing() {
    // The time to send 800 bytes at the rate.
    m_exactPeriodMs = 6400000.0f / static_cast<float>(m_rate);
    const int period = static_cast<int>(m_exactPeriodMs);
    m_periodMs = period <= 1 ? 1 : period;
    m_pacer.SetPeriod(m_exactPeriodMs);
    boost::mutex::scoped_lock timer(m_timerLock);
    if (m_sendTimer)
        ChangeTimerQueueTimer(m_seeder->GetTimerQueue(), m_sendTimer, m_periodMs, m_periodMs);
}

void CVodSrvSession::StartSendTimer() {
    boost::recursive_mutex::scoped_lock stats(m_statsLock);
    const int period = m_periodMs;
    boost::mutex::scoped_lock timer(m_timerLock);
    // Deactivate clears the flag before it takes the timer lock, so no timer
    // is made after it deleted the last one.
    HANDLE queue = m_seeder->GetTimerQueue();
    if (m_sendTimer || !m_active || !queue)
        return;
    // The first tick credits the time from now.
    m_pacer.Start(MonotonicUs());
    if (!CreateTimerQueueTimer(&m_sendTimer, queue, &CVodSrvSession::SendTickThunk, this,
                               period, period, WT_EXECUTEDEFAULT))
        m_sendTimer = nullptr;
}

void CVodSrvSession::DeleteSendTimer() {
    HANDLE timer;
    {
        boost::mutex::scoped_lock lock(m_timerLock);
        timer = m_sendTimer;
        m_sendTimer = nullptr;
    }
    // Waited for outside the timer lock: a running tick may wait for the
    // statistics lock, whose holder may be waiting for the timer lock.
    if (timer)
        DeleteTimerQueueTimer(m_seeder->GetTimerQueue(), timer, INVALID_HANDLE_VALUE);
}

void CVodSrvSession::Close() {
    try {
        m_core->Close(m_peer, PPN_CONN_SRUDP);
    } catch (const ppn::PPNException&) {
    }
    Deactivate();
}

void CVodSrvSession::Deactivate() {
    m_active = false;
    DeleteSendTimer();
}

VOID CALLBACK CVodSrvSession::SendTickThunk(PVOID context, BOOLEAN) {
    static_cast<CVodSrvSession*>(context)->SendTick();
}

void CVodSrvSession::SendTick() {
    // The queue's pool starts a thread for every callback that waits: ticks
    // that queued up behind a slow one of the same session would each hold
    // a thread (hundreds under load). A tick that overlaps the previous one
    // is skipped instead; the next one credits its time.
    if (!m_active || m_ticking.exchange(true))
        return;
    {
        boost::recursive_mutex::scoped_lock stats(m_statsLock);
        // Timer-queue wake-ups come late, at 1 ms by several periods: the
        // tick credits the time that really passed, not one period, and a
        // piece not yet read keeps its credit for the next tick. Elapsed
        // stops growing at the window, which any value past it closes.
        m_elapsedMs = std::min(kWindowMs, m_elapsedMs) + m_pacer.Tick(MonotonicUs());
        while (m_pacer.Due() && SendOnePiece())
            m_pacer.Spend();
    }
    m_ticking = false;
}

// ------------------------------------------------------------------ pieces

// Called with the statistics lock held. Whether a piece left (or was
// refused by the upload limit); either way the reads are topped up.
bool CVodSrvSession::SendOnePiece() {
    boost::recursive_mutex::scoped_lock request(m_requestLock);
    boost::recursive_mutex::scoped_lock ready(m_readyLock);
    const bool any = !m_ready.empty();
    if (any) {
        const Ready first = m_ready.front();
        m_ready.pop_front();
        SendPiece(first);
        PieceBufferPool::Instance().Free(first.buffer);
    }
    StartReads();
    return any;
}

// Called with the request and ready locks held.
void CVodSrvSession::StartReads() {
    int room = kMaxPending - m_readsInFlight - static_cast<int>(m_ready.size());
    while (room > 0 && !m_requests.empty() && m_reader) {
        char* buffer = PieceBufferPool::Instance().Alloc();
        if (!buffer)
            break;
        const std::uint32_t piece = m_requests.front();
        m_requests.pop_front();
        // Counted before the read starts: its completion may come first.
        ++m_readsInFlight;
        const int got = m_reader->Read(piece, buffer, PieceBufferPool::kBufferSize);
        if (got < 0) {
            --m_readsInFlight;
            PieceBufferPool::Instance().Free(buffer);
            continue;
        }
        if (got > 0) {
            --m_readsInFlight;
            m_ready.push_back(Ready{piece, buffer, static_cast<std::uint32_t>(got)});
        }
        --room;
    }
}

// Called with the request and ready locks held (and the statistics lock).
void CVodSrvSession::SendPiece(const Ready& ready) {
    const long long queued = static_cast<long long>(m_requests.size()) +
                             static_cast<long long>(m_ready.size()) +
                             std::max(0, static_cast<int>(m_readsInFlight));
    VodMessage message;
    message.type = VOD_MSG_PIECE;
    message.piece.piece = ready.piece;
    message.piece.queued = static_cast<std::uint16_t>(std::min<long long>(queued, 0xFFFF));
    message.piece.rate = static_cast<std::uint16_t>(std::min(m_rate / 1000, 0xFFFF));
    message.piece.data = nps::ByteRange{ready.buffer, ready.length};
    nps::DefaultBlockBuffer bytes;
    PackVodMessage(message, bytes);
    if (m_seeder->CheckUploadBudget(bytes.size)) {
        try {
            m_core->Send(m_peer, PPN_CONN_SUDT, bytes.data, static_cast<int>(bytes.size));
        } catch (const ppn::PPNException&) {
        }
    }
    if (m_requests.empty() && m_ready.empty() && m_readsInFlight == 0 &&
        m_lastDone < m_lastRequest) {
        VodMessage done;
        done.type = VOD_MSG_DONE;
        done.done = m_lastRequest;
        nps::DefaultBlockBuffer doneBytes;
        PackVodMessage(done, doneBytes);
        SendReliable(doneBytes.data, doneBytes.size);
        m_lastDone = m_lastRequest;
    }
}

void CVodSrvSession::SendReliable(const char* data, std::uint32_t length) {
    try {
        m_core->Send(m_peer, PPN_CONN_SRUDP, data, static_cast<int>(length));
    } catch (const ppn::PPNException&) {
    }
}

void CVodSrvSession::OnReadDone(std::uint32_t piece, char* buffer, std::uint32_t length,
                                bool failed) {
    // The piece joins the ready queue before it stops counting as in flight,
    // so no tick can see the session idle in between and confirm too early.
    boost::recursive_mutex::scoped_lock ready(m_readyLock);
    if (failed || length == 0)
        PieceBufferPool::Instance().Free(buffer);
    else
        m_ready.push_back(Ready{piece, buffer, length});
    --m_readsInFlight;
}
