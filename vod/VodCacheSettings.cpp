// The "cachedata" settings of CVodCacheFile: one key per call, decimal values.
#include "vod/VodCacheFile.h"

#include <algorithm>

#include "common/settings/CIni.h"
#include "vod/CacheFolder.h"

namespace {

const wchar_t kSection[] = L"cachedata";
const int kMinCacheSizeMB = 500;

int ReadSetting(const std::wstring& file, const wchar_t* key, int defaultValue) {
    return util::CIni(file.c_str()).ReadInt(kSection, key, defaultValue, 10);
}

void WriteSetting(const std::wstring& file, const wchar_t* key, int value) {
    util::CIni(file.c_str()).WriteInt(kSection, key, value, 10);
}

}  // namespace

void CVodCacheFile::SetCachePath(const std::wstring& folder) {
    if (!folder.empty() && IsExistingFolder(folder))
        util::CIni(util::GetLocalSettingsIniPath().c_str()).WriteString(kSection, L"path",
                                                                        folder.c_str());
}

int CVodCacheFile::GetCacheSize() {
    return std::max(ReadSetting(util::GetLocalSettingsIniPath(), L"size", 2048), kMinCacheSizeMB);
}

bool CVodCacheFile::SetCacheSize(int megabytes) {
    if (megabytes < kMinCacheSizeMB)
        return false;
    WriteSetting(util::GetLocalSettingsIniPath(), L"size", megabytes);
    return true;
}

int CVodCacheFile::GetNetType() {
    return std::min(std::max(ReadSetting(util::GetCommonSettingsIniPath(), L"nettype", 0), 0), 6);
}

void CVodCacheFile::SetNetType(int type) {
    WriteSetting(util::GetCommonSettingsIniPath(), L"nettype", type);
}

int CVodCacheFile::GetNetUp() {
    return ReadSetting(util::GetCommonSettingsIniPath(), L"netup", 0);
}

void CVodCacheFile::SetNetUp(int value) {
    WriteSetting(util::GetCommonSettingsIniPath(), L"netup", value);
}

int CVodCacheFile::GetNetDown() {
    return ReadSetting(util::GetCommonSettingsIniPath(), L"netdown", 0);
}

void CVodCacheFile::SetNetDown(int value) {
    WriteSetting(util::GetCommonSettingsIniPath(), L"netdown", value);
}

int CVodCacheFile::GetDataType() {
    const int type = ReadSetting(util::GetCommonSettingsIniPath(), L"datatype", 1);
    return type == 2 ? 2 : 1;
}

void CVodCacheFile::SetDataType(int type) {
    WriteSetting(util::GetCommonSettingsIniPath(), L"datatype", type);
}
