#include "service/SeederSettings.h"

#include "vod/VodCacheFile.h"

int UploadLimitFor(int netUp, int dataType) {
    const int limit = dataType == 1 ? netUp / 16 : netUp / 2;
    return limit > 0 ? limit : 0;
}

int UploadLimitFromSettings() {
    return UploadLimitFor(CVodCacheFile::GetNetUp(), CVodCacheFile::GetDataType());
}
