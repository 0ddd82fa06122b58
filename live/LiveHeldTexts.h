#pragma once

#include <cstddef>
#include <mutex>
#include <set>
#include <string>

// Texts handed to the owner window by a message sent with a time-out (the
// stream-ready title, the buffering countdown). When the time-out expires
// the sender goes on while the message may still be delivered later, so the
// text must outlive the call: it is held here until the engine is deleted,
// and the owner can ask whether a pointer is one of them before reading it.
// Equal texts share one copy, which bounds what a run accumulates.
class LiveHeldTexts {
public:
    static constexpr std::size_t kMostTexts = 1024;

    // The held copy of text; null once kMostTexts different texts are held.
    const wchar_t* Hold(const std::wstring& text);
    // True for a pointer that Hold returned.
    bool Holds(const void* pointer) const;
    std::size_t Size() const;

private:
    mutable std::mutex m_textsLock;  // guards m_texts
    std::set<std::wstring> m_texts;  // node-based: a held copy never moves
};
