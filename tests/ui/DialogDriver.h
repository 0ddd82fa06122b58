#pragma once
#include <windows.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Drives this thread's modal dialogs and message boxes (the windows of class
// "#32770") through a WH_CBT hook:
// each window activated for the first time is handed to the next step, which
// fills items by sent messages and presses buttons by posted commands (the
// modal loop runs them once the window is up). A window beyond the steps is
// cancelled and counted, so a wrong turn ends instead of waiting for ever.
class DialogDriver {
public:
    using Step = std::function<void(HWND)>;

    explicit DialogDriver(std::vector<Step> steps) : m_steps(std::move(steps))
    {
        s_current = this;
        m_hook = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    }
    ~DialogDriver()
    {
        UnhookWindowsHookEx(m_hook);
        s_current = nullptr;
    }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Windows shown so far, and those no step was left for.
    int Shown() const { return static_cast<int>(m_seen.size()); }
    int Unexpected() const { return m_unexpected; }

    static void Press(HWND dialog, int id)
    {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    static void SetText(HWND dialog, int id, const wchar_t* text)
    {
        SendDlgItemMessageW(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    static void Check(HWND dialog, int id, bool checked)
    {
        SendDlgItemMessageW(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    static std::wstring Text(HWND window)
    {
        wchar_t text[512] = L"";
        GetWindowTextW(window, text, 512);
        return text;
    }
    static std::wstring ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    // Once ready() holds (asked every 20 ms, for at most 10 s), then(); the
    // timer runs inside whatever modal loop is current. Gives up with a
    // cancel of `dialog`.
    static void WhenReady(HWND dialog, std::function<bool()> ready, std::function<void()> then)
    {
        s_pending = {dialog, std::move(ready), std::move(then), 0};
        SetTimer(nullptr, 0, 20, Poll);
    }
    // A message box's text (its static item 0xFFFF).
    static std::wstring BoxText(HWND box) { return ItemText(box, 0xFFFF); }

private:
    struct Pending {
        HWND dialog;
        std::function<bool()> ready;
        std::function<void()> then;
        int ticks;
    };
    static void CALLBACK Poll(HWND, UINT, UINT_PTR timer, DWORD)
    {
        if (!s_pending.ready())  {
            if (++s_pending.ticks < 500)
                return;
            KillTimer(nullptr, timer);
            fwprintf(stderr, L"the awaited state never came\n");
            Press(s_pending.dialog, IDCANCEL);
            return;
        }
        KillTimer(nullptr, timer);
        s_pending.then();
    }

    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        DialogDriver* self = s_current;
        if (code == HCBT_ACTIVATE && self) {
            HWND window = reinterpret_cast<HWND>(wParam);
            // Activation also passes to and from other processes' windows,
            // and to the test's own windows once a dialog has gone.
            wchar_t kind[16] = L"";
            const bool ours = window &&
                              GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() &&
                              GetClassNameW(window, kind, 16) && lstrcmpW(kind, L"#32770") == 0;
            if (ours && self->m_seen.insert(window).second) {
                if (self->m_next < self->m_steps.size()) {
                    self->m_steps[self->m_next++](window);
                } else {
                    wchar_t name[64] = L"";
                    GetClassNameW(window, name, 64);
                    fwprintf(stderr, L"unexpected window: class %ls, text %ls\n", name,
                             Text(window).c_str());
                    ++self->m_unexpected;
                    Press(window, IDCANCEL);
                }
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline DialogDriver* s_current = nullptr;
    static inline Pending s_pending;
    HHOOK m_hook = nullptr;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::set<HWND> m_seen;
    int m_unexpected = 0;
};
