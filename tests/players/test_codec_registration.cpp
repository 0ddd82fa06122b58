#include <gtest/gtest.h>

#include <windows.h>
#include <dshow.h>
#include <shlobj.h>

#include <string>

#include "platform/dshow/FilterClsids.h"
#include "players/CodecRegistration.h"

namespace {

const wchar_t kSchemeKey[] = L"Software\\Microsoft\\MediaPlayer\\Player\\Schemes\\zaror";

std::wstring Text(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// The module a class is served from, "" when it is not registered.
std::wstring ServerOf(const GUID& clsid)
{
    std::wstring key = L"CLSID\\" + Text(clsid) + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    LONG size = sizeof path;
    if (RegQueryValueW(HKEY_CLASSES_ROOT, key.c_str(), path, &size) != ERROR_SUCCESS)
        return L"";
    return path;
}

// Whether the filter mapper lists the class among the DirectShow filters.
bool MapperLists(const GUID& clsid)
{
    std::wstring key = L"CLSID\\" + Text(CLSID_LegacyAmFilterCategory) + L"\\Instance\\" + Text(clsid);
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

DWORD SchemeRuntime()
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kSchemeKey, L"Runtime", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

std::wstring CodecFolder()
{
    wchar_t system[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE);
    return std::wstring(system) + L"\\zuvoriru\\Codecs\\";
}

struct CodecFile {
    const wchar_t* name;
    const wchar_t* built;
    const GUID* clsid;   // one class it serves
};
const CodecFile kFiles[] = {
    {L"asyncflt.ax", ASYNCFLT_PATH, &CLSID_VuzizAvezid},
    {L"RealMediaSplitter.ax", REALMEDIA_PATH, &CLSID_KeloRealMediaSplitter},
    {L"WMFDemux.dll", WMFDEMUX_PATH, &CLSID_GdclWmvParser},
};

class CodecRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        CleanSlate();
        for (const CodecFile& file : kFiles)
            ASSERT_EQ(L"", ServerOf(*file.clsid));
        ASSERT_EQ(0u, SchemeRuntime());
    }
    // The folder goes with the test: a control window made later would
    // register whatever it still held.
    void TearDown() override
    {
        CleanSlate();
        CoUninitialize();
    }

    // No folder, no registrations, no scheme key.
    void CleanSlate()
    {
        UnregisterCodecFilters();
        for (const CodecFile& file : kFiles) {
            HMODULE module = LoadLibraryW(file.built);
            typedef HRESULT(STDAPICALLTYPE * Entry)();
            auto unregister = reinterpret_cast<Entry>(
                reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
            ASSERT_TRUE(unregister);
            unregister();
            FreeLibrary(module);
            DeleteFileW((CodecFolder() + file.name).c_str());
        }
        RemoveDirectoryW(CodecFolder().c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, kSchemeKey);
    }

    void Install(const CodecFile& file)
    {
        SHCreateDirectoryExW(nullptr, CodecFolder().c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(file.built, (CodecFolder() + file.name).c_str(), FALSE));
    }
};

TEST_F(CodecRegistrationTest, WithoutTheFolderOnlyTheSchemeKeyIsWritten)
{
    RegisterCodecFilters();
    EXPECT_EQ(1u, SchemeRuntime());
    for (const CodecFile& file : kFiles) {
        EXPECT_EQ(L"", ServerOf(*file.clsid));
        EXPECT_FALSE(MapperLists(*file.clsid));
    }
}

TEST_F(CodecRegistrationTest, EachFilePresentRegistersItselfFromTheFolder)
{
    Install(kFiles[2]);
    RegisterCodecFilters();
    EXPECT_EQ(CodecFolder() + L"WMFDemux.dll", ServerOf(CLSID_GdclWmvParser));
    EXPECT_TRUE(MapperLists(CLSID_GdclWmvParser));
    EXPECT_EQ(L"", ServerOf(CLSID_VuzizAvezid));
    EXPECT_EQ(L"", ServerOf(CLSID_KeloRealMediaSplitter));

    Install(kFiles[0]);
    Install(kFiles[1]);
    RegisterCodecFilters();
    for (const CodecFile& file : kFiles) {
        EXPECT_EQ(CodecFolder() + file.name, ServerOf(*file.clsid));
        EXPECT_TRUE(MapperLists(*file.clsid));
    }
    // The splitter's file also serves both decoders.
    EXPECT_TRUE(MapperLists(CLSID_KeloRealAudioDecoder));
    EXPECT_TRUE(MapperLists(CLSID_KeloRealVideoDecoder));
    EXPECT_EQ(1u, SchemeRuntime());
}

TEST_F(CodecRegistrationTest, UnregisteringKeepsTheSchemeKey)
{
    for (const CodecFile& file : kFiles)
        Install(file);
    RegisterCodecFilters();
    UnregisterCodecFilters();
    for (const CodecFile& file : kFiles) {
        EXPECT_EQ(L"", ServerOf(*file.clsid));
        EXPECT_FALSE(MapperLists(*file.clsid));
    }
    EXPECT_EQ(1u, SchemeRuntime());
}

} // namespace
