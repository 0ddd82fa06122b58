// The update-information file's lines, fields and version comparison.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "update/InfoFile.h"

namespace {

using upkeep::InfoLine;
using upkeep::LocalVersion;

LocalVersion Version(unsigned a, unsigned b, unsigned c, unsigned d)
{
    LocalVersion version;
    version.part[0] = a;
    version.part[1] = b;
    version.part[2] = c;
    version.part[3] = d;
    return version;
}

TEST(InfoFile, SplitsLinesAndKeepsTheEmptyTextAfterTheLastLineFeed)
{
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"a=1\nb=2", {"a=1", "b=2"}},
        {"a=1\nb=2\n", {"a=1", "b=2", ""}},
        {"a=1\r\nb=2\r\n", {"a=1", "b=2", ""}},
        {"", {""}},
        {"\n\n", {"", "", ""}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        EXPECT_TRUE(upkeep::SplitInfoLines(c.bytes, lines)) << c.bytes;
        EXPECT_EQ(lines, c.lines) << c.bytes;
    }
}

TEST(InfoFile, RefusesLongLinesAndTooManyLines)
{
    std::vector<std::string> lines;
    std::string longest(98, 'x');  // with its line feed: 99 bytes
    EXPECT_TRUE(upkeep::SplitInfoLines(longest + "\n", lines));
    EXPECT_TRUE(upkeep::SplitInfoLines(longest + "\r\n", lines)) << "a CR is not part of the line";
    EXPECT_FALSE(upkeep::SplitInfoLines(longest + "x\n", lines));
    EXPECT_FALSE(upkeep::SplitInfoLines("a\n" + longest + "x", lines)) << "the last line too";

    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred += "a=" + std::to_string(i) + "\n";
    ASSERT_TRUE(upkeep::SplitInfoLines(hundred, lines))
        << "100 lines, each ended by a line feed, are a full file";
    EXPECT_EQ(lines.size(), 100u);
    EXPECT_FALSE(upkeep::SplitInfoLines(hundred + "a=100", lines));
    EXPECT_FALSE(upkeep::SplitInfoLines(hundred + "\n", lines));
}

TEST(InfoFile, TakesThePackageFirstAndTheOtherFieldsFromTheEnd)
{
    struct Case {
        std::wstring line, package, localPath, version;
        unsigned type;
    } cases[] = {
        {L"a=setup.exe&b=C:\\app\\core.dll&c=1.2.3.4&d=1", L"setup.exe", L"C:\\app\\core.dll", L"1.2.3.4", 1},
        {L"x=pkg.exe", L"pkg.exe", L"", L"", 0},
        {L"a=p.exe&skip=1&also=2&b=core.dll&c=2.0.0.0&d=2", L"p.exe", L"core.dll", L"2.0.0.0", 2},
        {L"a=p.exe&b=core.dll&noequals&c=2.0.0.0&d=2&tail", L"p.exe", L"core.dll", L"2.0.0.0", 2},
        {L"a=p.exe&v=1.0.0.0&t=3", L"p.exe", L"", L"1.0.0.0", 3},
        {L"a=p=q.exe&b=x=y&c=1.0.0.0&d=1", L"p=q.exe", L"x=y", L"1.0.0.0", 1},
        {L"=p.exe&=f&=1.0.0.0&=258", L"p.exe", L"f", L"1.0.0.0", 2},
        {L"a=p.exe&b=f&c=1.0.0.0&d=-1", L"p.exe", L"f", L"1.0.0.0", 255},
        {L"a=p.exe&b=f&c=1.0.0.0&d=x", L"p.exe", L"f", L"1.0.0.0", 0},
        {L"", L"", L"", L"", 0},
        {L"no fields at all", L"", L"", L"", 0},
    };
    for (const Case& c : cases) {
        InfoLine parsed = upkeep::ParseInfoLine(c.line);
        EXPECT_EQ(parsed.package, c.package) << c.line.size();
        EXPECT_EQ(parsed.localPath, c.localPath) << c.line.size();
        EXPECT_EQ(parsed.version, c.version) << c.line.size();
        EXPECT_EQ(parsed.type, c.type) << c.line.size();
    }
}

// The first part that differs decides, among the first three; a newer
// installed part is never "updated" to an older one, and parts are compared
// in full.
TEST(InfoFile, ComparesTheFirstThreePartsInOrder)
{
    struct Case {
        LocalVersion local;
        std::wstring announced;
        bool newer;
    } cases[] = {
        {Version(1, 2, 0, 0), L"1.3.0.0", true},
        {Version(1, 2, 0, 0), L"1.2.0.9", false},
        {Version(1, 2, 0, 0), L"1.2.0.0", false},
        {Version(1, 2, 0, 0), L"2.0.0.0", true},
        {Version(2, 0, 0, 0), L"1.5.0.0", false},
        {Version(1, 2, 0, 0), L"1.1.9.0", false},
        {Version(1, 2, 3, 4), L"1.2.4.0", true},
        {Version(1, 2, 3, 4), L"1.2.2.9", false},
        {Version(1, 300, 0, 0), L"1.299.0.0", false},
        {Version(1, 300, 0, 0), L"1.301.0.0", true},
        {Version(65535, 65535, 65535, 0), L"65535.65535.65535.1", false},
        {Version(0, 0, 0, 0), L"0.0.1.0", true},
        {Version(0, 0, 0, 0), L"0.0.1", false},
        {Version(0, 0, 0, 0), L"1", false},
        {Version(0, 0, 0, 0), L"", false},
        {Version(1, 0, 0, 0), L" 2.0.0.0", true},
        {Version(1, 0, 0, 0), L"x.1.0.0", false},
        {Version(1, 0, 0, 0), L"1.2.3.4.5", true},
        {Version(4294967295u, 0, 0, 0), L"99999999999999999999.0.0.0", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upkeep::IsNewerVersion(c.announced, c.local), c.newer)
            << std::string(c.announced.begin(), c.announced.end()) << " against "
            << c.local.part[0] << "." << c.local.part[1] << "." << c.local.part[2] << "."
            << c.local.part[3];
    }
}

}  // namespace
