#include "vod/http/ChunkPacer.h"

std::uint64_t ChunkPacer::WaitBefore(std::uint64_t nowUs)
{
    // The first chunk goes at once; each later one a period after the one before.
    if (!m_started || nowUs > m_deadlineUs + m_periodUs) {
        m_started = true;
        m_deadlineUs = nowUs;
    }
    const std::uint64_t wait = m_deadlineUs > nowUs ? m_deadlineUs - nowUs : 0;
    m_deadlineUs += m_periodUs;
    return wait;
}
