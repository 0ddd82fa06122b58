// upkeep.dll downloading from tests/fixtures/update_server.py. The library
// always connects to port 80, so this test runs inside a network namespace
// of its own (tests/update/netns_run.py) where the server listens on 80.
#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "tests/update/FixtureHttp.h"
#include "tests/update/UpkeepHost.h"

namespace {

const UINT_PTR kUser = 0x0BADC0DE;
const DWORD kWaitMs = 20000;

UpkeepApi api;
bool loaded = false;

struct Progress {
    std::wstring package, version, local;
    int type, length, written;
    UINT_PTR user;
};

std::mutex progressLock;
std::vector<Progress> progress;
HANDLE firstProgress = nullptr;

int WINAPI RecordProgress(const wchar_t* package, const wchar_t* version, const wchar_t* local,
                          int type, int length, int written, UINT_PTR user)
{
    std::lock_guard<std::mutex> lock(progressLock);
    progress.push_back(Progress{package, version, local, type, length, written, user});
    SetEvent(firstProgress);
    return 0;
}

std::string Line(const std::string& package, const std::string& local, const std::string& version,
                 int type)
{
    return "a=" + package + "&b=" + local + "&c=" + version + "&d=" + std::to_string(type) + "\n";
}

// The log lines of update_server.py for these requests, in order: all on
// port 80 with the library's user agent.
std::string Requests(std::initializer_list<const char*> paths)
{
    std::string lines;
    for (const char* path : paths)
        lines += std::string("80 ") + path + " WinHTTP\n";
    return lines;
}

DWORD WINAPI StartUpdateOnThread(void* result)
{
    *static_cast<int*>(result) = api.startUpdate();
    return 0;
}

class UpkeepHttp : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loaded = api.Load(TOVRA_UPKEEP_DLL); }

    void SetUp() override
    {
        ASSERT_TRUE(loaded) << "upkeep.dll or one of its exports is missing";
        port_ = FixturePort("TOVRA_UPDATE_PORT");
        ASSERT_EQ(port_, 80u) << "run through tests/update/netns_run.py with update_server:80";
        ASSERT_EQ(Control("POST", "/_reset").status, 200u);
        host_ = HostDir();
        api.exit();
        api.setUpdateSpeedCB(RecordProgress, kUser);
        for (const wchar_t* name : {L"update.ini", L"p0.exe", L"p1.exe", L"p2.exe", L"setup-one.exe",
                                    L"setup-two.exe", L"main prog.exe"})
            DeleteFileW((host_ + name).c_str());
        RemoveDirectoryW((host_ + L"p0.exe").c_str());
        ASSERT_TRUE(SetCurrentDirectoryW(TOVRA_VERSIONS_DIR));
        record_.Start();
        {
            std::lock_guard<std::mutex> lock(progressLock);
            progress.clear();
        }
        if (!firstProgress)
            firstProgress = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ResetEvent(firstProgress);
        package_ = ReadBytes(TOVRA_PACKAGE_EXE);
        ASSERT_GT(package_.size(), 4096u);
    }

    FixtureReply Control(const char* method, const std::string& path, const std::string& body = "")
    {
        return FixtureRequest(method, port_, path, body);
    }

    void Serve(const std::string& name, const std::string& body, const std::string& mode = "full")
    {
        ASSERT_EQ(Control("PUT", "/_files/upd/" + name + "?mode=" + mode, body).status, 200u);
    }

    std::string Log() { return Control("GET", "/_log").body; }

    std::string Quoted(const std::wstring& name) { return "\"" + Utf8(host_ + name) + "\""; }

    unsigned port_ = 0;
    std::wstring host_;
    std::string package_;
    PackageRecord record_;
};

TEST_F(UpkeepHttp, InitDownloadsTheInformationFileFromPort80)
{
    std::string info = Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1);
    Serve("update.ini", info);
    ASSERT_EQ(api.init(L"http://127.0.0.1/upd/", L"update.ini", L""), 1);
    EXPECT_EQ(ReadBytes(host_ + L"update.ini"), info);
    EXPECT_EQ(Log(), Requests({"/upd/update.ini"}));
    EXPECT_TRUE(progress.empty()) << "the information file reports no progress";
    EXPECT_EQ(api.checkUpdateInfo(), 1);
}

// Only a whole 2xx body with its announced length is an information file;
// anything else fails and leaves no file behind.
TEST_F(UpkeepHttp, InitFailsOnIncompleteAndErrorAnswers)
{
    std::string info = Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1);
    for (const char* mode : {"nolength", "short", "status404", "missing"}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(Control("POST", "/_reset").status, 200u);
        if (std::string(mode) != "missing")
            Serve("update.ini", info, mode);
        EXPECT_EQ(api.init(L"http://127.0.0.1/upd/", L"update.ini", L""), 0);
        EXPECT_EQ(Log(), Requests({"/upd/update.ini"}));
        EXPECT_FALSE(Exists(host_ + L"update.ini"));
    }
}

// The host text keeps a port written after it, and the connection still
// goes to port 80: such a URL cannot be reached.
TEST_F(UpkeepHttp, PortInTheBaseUrlIsNotHonoured)
{
    Serve("update.ini", Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1));
    std::wstring base = L"http://127.0.0.1:" + std::to_wstring(FixturePort("TOVRA_UPDATE_ALT_PORT")) + L"/upd/";
    EXPECT_EQ(api.init(base.c_str(), L"update.ini", L""), 0);
    EXPECT_EQ(Log(), "");
}

// The whole road: information file, check, type, packages with progress,
// running them, the main program.
TEST_F(UpkeepHttp, UpdatesFromTheInformationFileToTheMainProgram)
{
    Serve("update.ini", Line("setup-one.exe", "v1.300.0.0.dll", "1.301.0.0", 2) +
                            Line("p1.exe", "v2.0.0.0.dll", "1.5.0.0", 1) +
                            Line("setup-two.exe", "v1.2.0.0.dll", "1.2.1.0", 1));
    Serve("setup-one.exe", package_);
    Serve("p1.exe", package_);
    Serve("setup-two.exe", package_);
    ASSERT_TRUE(CopyFileW(TOVRA_PACKAGE_EXE, (host_ + L"main prog.exe").c_str(), FALSE));

    ASSERT_EQ(api.init(L"http://127.0.0.1/upd/", L"update.ini", L"main prog.exe"), 1);
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    EXPECT_EQ(api.getUpdateType(), 1);
    ASSERT_EQ(api.startUpdate(), 1);
    EXPECT_EQ(Log(), Requests({"/upd/update.ini", "/upd/setup-one.exe", "/upd/setup-two.exe"}));
    EXPECT_EQ(ReadBytes(host_ + L"setup-one.exe"), package_);
    EXPECT_EQ(ReadBytes(host_ + L"setup-two.exe"), package_);

    // Every block of 256 bytes or less reports, package after package.
    struct Expected {
        const wchar_t *package, *version, *local;
        int type;
    } expected[] = {{L"setup-one.exe", L"1.301.0.0", L"1.300.0.0", 2},
                    {L"setup-two.exe", L"1.2.1.0", L"1.2.0.0", 1}};
    const int size = static_cast<int>(package_.size());
    size_t at = 0;
    for (const Expected& e : expected) {
        int written = 0;
        for (; at < progress.size() && progress[at].package == e.package; ++at) {
            const Progress& p = progress[at];
            EXPECT_EQ(p.version, e.version);
            EXPECT_EQ(p.local, e.local);
            EXPECT_EQ(p.type, e.type);
            EXPECT_EQ(p.length, size);
            EXPECT_EQ(p.user, kUser);
            EXPECT_GT(p.written, written);
            EXPECT_LE(p.written - written, 256);
            written = p.written;
        }
        EXPECT_EQ(written, size);
    }
    EXPECT_EQ(at, progress.size());

    ASSERT_EQ(api.decompressionFile(), 1);
    EXPECT_EQ(record_.Lines(), (std::vector<std::string>{Quoted(L"setup-one.exe"), Quoted(L"setup-two.exe")}));
    EXPECT_FALSE(Exists(host_ + L"setup-one.exe"));
    EXPECT_FALSE(Exists(host_ + L"setup-two.exe"));
    EXPECT_FALSE(Exists(host_ + L"update.ini"));

    ASSERT_EQ(api.executeMainProc(), 1);
    ASSERT_TRUE(record_.WaitForRuns(3));
    EXPECT_NE(record_.Lines()[2].find(Utf8(host_ + L"main prog.exe")), std::string::npos);
    EXPECT_EQ(api.exit(), 1);
}

// A package that does not arrive whole is removed and never run, and the
// packages after it are not downloaded.
TEST_F(UpkeepHttp, IncompletePackageIsNeverRun)
{
    for (const char* mode : {"nolength", "short", "status404", "missing"}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(Control("POST", "/_reset").status, 200u);
        api.exit();
        record_.Start();
        Serve("update.ini", Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1) +
                                Line("p1.exe", "v1.2.0.0.dll", "1.3.0.0", 1) +
                                Line("p2.exe", "v1.2.0.0.dll", "1.3.0.0", 1));
        Serve("p0.exe", package_);
        if (std::string(mode) != "missing")
            Serve("p1.exe", package_, mode);
        Serve("p2.exe", package_);

        ASSERT_EQ(api.init(L"http://127.0.0.1/upd/", L"update.ini", L""), 1);
        ASSERT_EQ(api.checkUpdateInfo(), 1);
        EXPECT_EQ(api.startUpdate(), 1);
        EXPECT_EQ(Log(), Requests({"/upd/update.ini", "/upd/p0.exe", "/upd/p1.exe"}));
        EXPECT_EQ(ReadBytes(host_ + L"p0.exe"), package_);
        EXPECT_FALSE(Exists(host_ + L"p1.exe"));
        EXPECT_FALSE(Exists(host_ + L"p2.exe"));

        EXPECT_EQ(api.decompressionFile(), 0);
        EXPECT_EQ(record_.Lines(), std::vector<std::string>{Quoted(L"p0.exe")});
    }
}

// Update_StopUpdate from another thread in the middle of a package: the
// download fails, its part is removed, nothing after it is fetched, nothing
// runs, and a later check finds nothing pending.
TEST_F(UpkeepHttp, StopFromAnotherThreadAbandonsTheUpdate)
{
    Serve("update.ini", Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1) +
                            Line("p1.exe", "v1.2.0.0.dll", "1.3.0.0", 1));
    Serve("p0.exe", package_, "hold");
    Serve("p1.exe", package_);
    ASSERT_EQ(api.init(L"http://127.0.0.1/upd/", L"update.ini", L""), 1);
    ASSERT_EQ(api.checkUpdateInfo(), 1);

    int result = -1;
    HANDLE updater = CreateThread(nullptr, 0, StartUpdateOnThread, &result, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(firstProgress, kWaitMs), WAIT_OBJECT_0);
    api.stopUpdate();
    EXPECT_EQ(Control("POST", "/_release").status, 200u);
    ASSERT_EQ(WaitForSingleObject(updater, kWaitMs), WAIT_OBJECT_0);
    CloseHandle(updater);
    EXPECT_EQ(result, 1);

    EXPECT_LT(progress.back().written, static_cast<int>(package_.size()));
    EXPECT_FALSE(Exists(host_ + L"p0.exe"));
    EXPECT_EQ(Log(), Requests({"/upd/update.ini", "/upd/p0.exe"}));
    EXPECT_EQ(api.decompressionFile(), 0);
    EXPECT_TRUE(record_.Lines().empty());

    BYTE pending = 7;
    EXPECT_EQ(api.compNeedUpdate(&pending), 1) << "the information file is downloaded anew";
    EXPECT_EQ(pending, 0);
}

TEST_F(UpkeepHttp, WithoutPendingPackageTheInformationFileIsDownloadedAnew)
{
    std::string info = Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1);
    Serve("update.ini", info);
    ASSERT_TRUE(WriteBytes(host_ + L"update.ini", Line("p0.exe", "v1.2.0.0.dll", "1.2.5.0", 2)));
    ASSERT_TRUE(CreateDirectoryW((host_ + L"p0.exe").c_str(), nullptr));
    ASSERT_EQ(api.initEx(L"http://127.0.0.1/upd/", L"update.ini", L""), 1);
    EXPECT_EQ(Log(), "") << "InitEx downloads nothing";

    BYTE pending = 7;
    EXPECT_EQ(api.compNeedUpdate(&pending), 1);
    EXPECT_EQ(pending, 0) << "a folder is not a package";
    EXPECT_EQ(ReadBytes(host_ + L"update.ini"), info);
    EXPECT_EQ(api.getUpdateType(), 0);

    ASSERT_EQ(Control("POST", "/_reset").status, 200u);
    pending = 7;
    EXPECT_EQ(api.compNeedUpdate(&pending), 0);
    EXPECT_EQ(pending, 0);
}

}  // namespace
