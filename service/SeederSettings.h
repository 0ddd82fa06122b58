#pragma once

// The upload limit of every seeder, in kilobytes (1000 bytes) per second,
// from the all-users settings: "netup" / 16 when "datatype" is 1, else
// "netup" / 2; 0 is unlimited.
int UploadLimitFromSettings();
int UploadLimitFor(int netUp, int dataType);
