#pragma once
// The record of every call the stand-in controls receive, one line each
// ("Flash.SetVariable(mediaURL,http://...)"). Tests in the same process take
// it through the DLL's StandinTakeLog export; when TOVRA_STANDIN_LOG names a
// file, each line is also appended there for tests in another process.
#include <string>

namespace standins {

void Log(const std::wstring& line);
// The lines since the last take, each ended by '\n'; the record is emptied.
std::wstring TakeLog();

}  // namespace standins
