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

#include <optional>
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

// Wine hands an address of a scheme such as "http:" or "mailto:" to its own
// browser launcher, which passes it to the desktop outside the prefix; it
// reads the scheme's command from the machine's classes only. While this
// lives, that command is the recorder LinkRecorder::Install put where the
// browser was; the old command comes back at destruction.
class SchemeToRecorder {
public:
    explicit SchemeToRecorder(const wchar_t* scheme);
    ~SchemeToRecorder();
    SchemeToRecorder(const SchemeToRecorder&) = delete;
    SchemeToRecorder& operator=(const SchemeToRecorder&) = delete;
    bool ok() const { return m_ok; }

private:
    bool Set(const std::wstring& command);

    HKEY m_key = nullptr;
    std::optional<std::wstring> m_old;
    bool m_ok = false;
};
