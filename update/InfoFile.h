#pragma once
// The update-information file: ANSI text, one component a line, each line a
// list of key=value fields joined by "&". Windows-free, so it also builds
// natively with sanitizers and a fuzzer: the file comes from a server.
#include <string>
#include <vector>

namespace upkeep {

const size_t kMaxInfoLines = 100;
// A line with its line feed is shorter than this.
const size_t kMaxInfoLineBytes = 100;

// Splits the file's bytes into lines without their line ends. The text after
// the last line feed is a line too, so a file that ends with a line break
// has one more, empty, line; that line alone never counts against the limit.
// False when a line is too long or there are too many lines.
bool SplitInfoLines(const std::string& bytes, std::vector<std::string>& lines);

struct InfoLine {
    std::wstring package;    // value of the first field
    std::wstring localPath;  // third field from the end
    std::wstring version;    // second field from the end
    unsigned char type = 0;  // last field, decimal, taken as one byte
};

// Fields without "=" are not counted; the keys are never looked at; the
// fields between the first and the last three are ignored.
InfoLine ParseInfoLine(const std::wstring& line);

// The four parts of an installed file's version.
struct LocalVersion {
    unsigned part[4] = {0, 0, 0, 0};
};

// True when the announced dotted version is newer than the installed one.
// The parts that a "." follows are compared in order, at most the first
// three, so the fourth part never decides; the first part that differs
// decides.
bool IsNewerVersion(const std::wstring& announced, const LocalVersion& local);

}  // namespace upkeep
