#pragma once
// Links a test opens reach a recorder program in place of the browser.
//
// Install copies tests/tools/linkrecorder over the prefix's system32
// iexplore.exe (Wine's own stub there is found before any "App Paths" entry
// and never exits without a browser engine), names that copy in the prefix's
// DLL overrides ("iexplore.exe" = "native"), and gives the programs this
// process starts from then on a log file of this recorder's own and a
// semaphore the recorder releases once per launch.
#include <windows.h>

#include <string>
#include <vector>

class LinkRecorder {
public:
    LinkRecorder() = default;
    LinkRecorder(const LinkRecorder&) = delete;
    LinkRecorder& operator=(const LinkRecorder&) = delete;
    ~LinkRecorder();

    // False, with the reason in Error(), when the recorder cannot be put in place.
    bool Install();
    const std::string& Error() const { return m_error; }

    // Waits until at least count launches have been recorded since Install.
    bool WaitForLaunches(size_t count, DWORD timeoutMs);
    // The recorded command lines, oldest first.
    std::vector<std::wstring> CommandLines() const;
    // The arguments of launch i after the program's own name, as the
    // program's C runtime would split them.
    std::vector<std::wstring> Arguments(size_t i) const;

private:
    std::wstring m_log;
    HANDLE m_semaphore = nullptr;
    size_t m_seen = 0;
    std::string m_error;
};
