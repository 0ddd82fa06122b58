#include "live/LiveHeldTexts.h"

const wchar_t* LiveHeldTexts::Hold(const std::wstring& text)
{
    std::lock_guard<std::mutex> lock(m_textsLock);
    auto it = m_texts.find(text);
    if (it == m_texts.end()) {
        if (m_texts.size() >= kMostTexts)
            return nullptr;
        it = m_texts.insert(text).first;
    }
    return it->c_str();
}

bool LiveHeldTexts::Holds(const void* pointer) const
{
    std::lock_guard<std::mutex> lock(m_textsLock);
    for (const std::wstring& text : m_texts)
        if (text.c_str() == pointer)
            return true;
    return false;
}

std::size_t LiveHeldTexts::Size() const
{
    std::lock_guard<std::mutex> lock(m_textsLock);
    return m_texts.size();
}
