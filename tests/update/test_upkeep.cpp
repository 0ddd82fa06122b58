// upkeep.dll driven through its exports by a host whose folder holds a
// space, without a network: the information file is written into the host
// folder, installed files are small libraries with version resources, and
// packages are copies of tests/update/TestPackage.cpp.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/update/UpkeepHost.h"

namespace {

UpkeepApi api;
bool loaded = false;

std::string Line(const std::string& package, const std::string& local, const std::string& version,
                 int type)
{
    return "a=" + package + "&b=" + local + "&c=" + version + "&d=" + std::to_string(type);
}

class Upkeep : public ::testing::Test {
protected:
    static void SetUpTestSuite() { loaded = api.Load(TOVRA_UPKEEP_DLL); }

    void SetUp() override
    {
        ASSERT_TRUE(loaded) << "upkeep.dll or one of its exports is missing";
        host_ = HostDir();
        ASSERT_NE(host_.find(L' '), std::wstring::npos) << "the host folder must hold a space";
        api.exit();
        api.setUpdateSpeedCB(nullptr, 0);
        for (const wchar_t* name : {L"update.ini", L"p0.exe", L"p1.exe", L"p2.exe", L"p3.exe",
                                    L"setup one.exe", L"setup-two.exe", L"main prog.exe"})
            DeleteFileW((host_ + name).c_str());
        RemoveDirectoryW((host_ + L"p.exe").c_str());
        DeleteFileW((host_ + L"p.exe").c_str());
        // Installed files are named relative to the current folder.
        ASSERT_TRUE(SetCurrentDirectoryW(TOVRA_VERSIONS_DIR));
        record_.Start();
        ASSERT_EQ(api.initEx(L"http://127.0.0.1/", L"update.ini", L""), 1);
    }

    void WriteInfo(const std::string& text) { ASSERT_TRUE(WriteBytes(host_ + L"update.ini", text)); }

    void CopyPackage(const std::wstring& name)
    {
        ASSERT_TRUE(CopyFileW(TOVRA_PACKAGE_EXE, (host_ + name).c_str(), FALSE));
    }

    std::string Quoted(const std::wstring& name) { return "\"" + Utf8(host_ + name) + "\""; }

    std::wstring host_;
    PackageRecord record_;
};

TEST_F(Upkeep, InitExNeedsBothTextsAndRefusesTextsThatDoNotFit)
{
    std::wstring longest(255, L'x'), tooLong(256, L'x');
    struct Case {
        const wchar_t *base, *info, *main;
        int result;
    } cases[] = {
        {nullptr, L"update.ini", L"", 0},
        {L"http://127.0.0.1/", nullptr, L"", 0},
        {L"", L"update.ini", L"", 0},
        {L"http://127.0.0.1/", L"", L"", 0},
        {tooLong.c_str(), L"update.ini", L"", 0},
        {L"http://127.0.0.1/", tooLong.c_str(), L"", 0},
        {L"http://127.0.0.1/", L"update.ini", tooLong.c_str(), 0},
        {longest.c_str(), longest.c_str(), longest.c_str(), 1},
        {L"http://127.0.0.1/", L"update.ini", nullptr, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(api.initEx(c.base, c.info, c.main), c.result);
    EXPECT_EQ(api.executeMainProc(), 1) << "no main program: nothing to start";
    EXPECT_EQ(api.init(L"not a url", L"update.ini", L""), 0) << "a URL that cannot be split";
}

// Installed v<version>.dll against the announced version: the first part
// that differs among the first three decides. When none is newer the
// information file is deleted.
TEST_F(Upkeep, ComparesAnnouncedVersionsWithVersionResources)
{
    struct Case {
        const char *installed, *announced;
        int newer;
    } cases[] = {
        {"v1.2.0.0.dll", "1.3.0.0", 1},   {"v1.2.0.0.dll", "1.2.0.9", 0},
        {"v1.2.0.0.dll", "1.2.0.0", 0},   {"v1.2.0.0.dll", "2.0.0.0", 1},
        {"v2.0.0.0.dll", "1.5.0.0", 0},   {"v1.2.0.0.dll", "1.1.9.0", 0},
        {"v1.2.3.4.dll", "1.2.4.0", 1},   {"v1.2.3.4.dll", "1.2.2.9", 0},
        {"v1.300.0.0.dll", "1.299.0.0", 0}, {"v1.300.0.0.dll", "1.301.0.0", 1},
        {"v1.300.0.0.dll", "1.44.0.0", 0},
        // Announced versions are kept to 20 characters: a long tail is cut
        // off, and a version whose first dot lies beyond them names none.
        {"v1.2.0.0.dll", "1.3.0.00000000000000000000000", 1},
        {"v1.2.0.0.dll", "00000000000000000001.3.0.0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.installed) + " against " + c.announced);
        api.exit();
        WriteInfo(Line("p0.exe", c.installed, c.announced, 1) + "\n");
        EXPECT_EQ(api.checkUpdateInfo(), c.newer);
        EXPECT_EQ(Exists(host_ + L"update.ini"), c.newer == 1);
    }
}

// A missing installed file keeps 0.0.0.0 without hiding the versions of the
// files listed after it; only entry 0's file must exist.
TEST_F(Upkeep, MissingInstalledFileDoesNotHideLaterVersions)
{
    WriteInfo(Line("p0.exe", "v1.2.0.0.dll", "1.2.0.0", 1) + "\n" +
              Line("p1.exe", "missing.dll", "1.0.0.0", 1) + "\n" +
              Line("p2.exe", "v2.0.0.0.dll", "1.5.0.0", 1) + "\n" +
              Line("p3.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    for (const wchar_t* name : {L"p0.exe", L"p1.exe", L"p2.exe", L"p3.exe"})
        CopyPackage(name);
    ASSERT_EQ(api.decompressionFile(), 1);
    EXPECT_EQ(record_.Lines(), (std::vector<std::string>{Quoted(L"p1.exe"), Quoted(L"p3.exe")}));
    EXPECT_TRUE(Exists(host_ + L"p0.exe"));
    EXPECT_FALSE(Exists(host_ + L"p1.exe"));
    EXPECT_TRUE(Exists(host_ + L"p2.exe"));
    EXPECT_FALSE(Exists(host_ + L"p3.exe"));

    api.exit();
    WriteInfo(Line("p0.exe", "missing.dll", "9.0.0.0", 1) + "\n" +
              Line("p1.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n");
    EXPECT_EQ(api.checkUpdateInfo(), 0) << "entry 0's file has no version";
}

TEST_F(Upkeep, ReadsTheInformationFileLineByLine)
{
    std::string newer = Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1);
    std::string tail = newer.substr(newer.find('&'));
    // "a=p0.exe&pad=xxx...&b=..." with its line feed: 99 or 100 bytes.
    std::string padded = "a=p0.exe&pad=" + std::string(98 - newer.size() - 5, 'x') + tail;
    struct Case {
        const char* what;
        std::string text;
        int result;
    } cases[] = {
        {"ends with a line break", newer + "\n", 1},
        {"ends without one", newer, 1},
        {"only a package", "x=pkg.exe\n", 0},
        {"fields between the first and the last three", "a=p0.exe&k=1&l=2&b=v1.2.0.0.dll&c=1.3.0.0&d=1", 1},
        {"a line of 98 bytes", padded + "\n", 1},
        {"a line of 99 bytes", "y" + padded + "\n", 0},
        {"101 lines", [&] {
             std::string text;
             for (int i = 0; i < 101; ++i)
                 text += newer + "\n";
             return text + "x";
         }(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        api.exit();
        WriteInfo(c.text);
        EXPECT_EQ(api.checkUpdateInfo(), c.result);
    }

    api.exit();
    DeleteFileW((host_ + L"update.ini").c_str());
    EXPECT_EQ(api.checkUpdateInfo(), 0) << "no information file";

    WriteInfo(newer + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    EXPECT_EQ(api.checkUpdateInfo(), 0) << "its entries are still used";
    api.exit();
    EXPECT_EQ(api.checkUpdateInfo(), 1);
}

TEST_F(Upkeep, UpdateTypeTwoIsReportedUntilExit)
{
    WriteInfo(Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n" +
              Line("p1.exe", "v1.2.0.0.dll", "1.3.0.0", 2) + "\n");
    EXPECT_EQ(api.getUpdateType(), 0);
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    EXPECT_EQ(api.getUpdateType(), 1);
    EXPECT_EQ(api.exit(), 1);
    EXPECT_EQ(api.getUpdateType(), 0);

    WriteInfo(Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    EXPECT_EQ(api.getUpdateType(), 0);
}

// Packages run one after another from quoted command lines, since the host
// folder holds a space; each is deleted after it ended, and so is the
// information file.
TEST_F(Upkeep, RunsNewerPackagesInOrderAndDeletesThem)
{
    WriteInfo(Line("setup one.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n" +
              Line("p1.exe", "v2.0.0.0.dll", "2.0.0.0", 1) + "\n" +
              Line("setup-two.exe", "v1.2.0.0.dll", "2.0.0.0", 1) + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    for (const wchar_t* name : {L"setup one.exe", L"p1.exe", L"setup-two.exe"})
        CopyPackage(name);
    ASSERT_EQ(api.decompressionFile(), 1);
    EXPECT_EQ(record_.Lines(),
              (std::vector<std::string>{Quoted(L"setup one.exe"), Quoted(L"setup-two.exe")}));
    EXPECT_FALSE(Exists(host_ + L"setup one.exe"));
    EXPECT_FALSE(Exists(host_ + L"setup-two.exe"));
    EXPECT_TRUE(Exists(host_ + L"p1.exe")) << "not newer: not run";
    EXPECT_FALSE(Exists(host_ + L"update.ini"));
}

TEST_F(Upkeep, StopsAtThePackageThatCannotBeStarted)
{
    WriteInfo(Line("p0.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n" +
              Line("p1.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n" +
              Line("p2.exe", "v1.2.0.0.dll", "1.3.0.0", 1) + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 1);
    CopyPackage(L"p0.exe");
    CopyPackage(L"p2.exe");
    EXPECT_EQ(api.decompressionFile(), 0);
    EXPECT_EQ(record_.Lines(), std::vector<std::string>{Quoted(L"p0.exe")});
    EXPECT_TRUE(Exists(host_ + L"p2.exe"));

    api.exit();
    WriteInfo(Line("p2.exe", "v1.2.0.0.dll", "1.2.0.0", 1) + "\n");
    ASSERT_EQ(api.checkUpdateInfo(), 0);
    EXPECT_EQ(api.decompressionFile(), 1) << "nothing newer: nothing to run";
    EXPECT_EQ(record_.Lines().size(), 1u);
}

TEST_F(Upkeep, StartsTheMainProgramFromTheHostFolder)
{
    ASSERT_EQ(api.initEx(L"http://127.0.0.1/", L"update.ini", L"main prog.exe"), 1);
    EXPECT_EQ(api.executeMainProc(), 0) << "no such program";
    CopyPackage(L"main prog.exe");
    ASSERT_EQ(api.executeMainProc(), 1);
    ASSERT_TRUE(record_.WaitForRuns(1));
    std::vector<std::string> lines = record_.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(Utf8(host_ + L"main prog.exe")), std::string::npos) << lines[0];
}

// A package of the present information file already in the host folder is
// pending; the check clears the entries either way.
TEST_F(Upkeep, PackageInTheHostFolderIsPending)
{
    WriteInfo(Line("p3.exe", "v1.2.0.0.dll", "1.2.0.0", 2) + "\n" +
              Line("p.exe", "v1.2.0.0.dll", "1.3.0.0", 2) + "\n");
    CopyPackage(L"p.exe");
    BYTE pending = 7;
    EXPECT_EQ(api.compNeedUpdate(&pending), 1);
    EXPECT_EQ(pending, 1);
    EXPECT_EQ(api.getUpdateType(), 0) << "the entries were cleared";
    EXPECT_EQ(api.checkUpdateInfo(), 1) << "the entries were cleared";
    EXPECT_EQ(api.compNeedUpdate(nullptr), 0);
}

}  // namespace
