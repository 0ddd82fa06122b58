#pragma once

// The cache pairs of tests/fixtures/cache_pairs.py, written by the Python
// writer into a scratch folder, and what the tests need to use them.

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "vod/VodUnits.h"

namespace pairs {

const std::string kA = "a1a1a1a1a1a1a1a1a1a1a1a1a1a1a1a1";  // blocks 3, 0, 1, 4
const std::string kB = "b2b2b2b2b2b2b2b2b2b2b2b2b2b2b2b2";  // same group as A
const std::string kC = "c3c3c3c3c3c3c3c3c3c3c3c3c3c3c3c3";  // another tracker
const std::string kD = "d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4d4";  // content id 0
const std::string kE = "e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5e5";  // block 1 changed
const std::string kF = "f6f6f6f6f6f6f6f6f6f6f6f6f6f6f6f6";  // cut inside block 1
const std::string kG = "a7a7a7a7a7a7a7a7a7a7a7a7a7a7a7a7";  // cut before block 1
const char kTracker[] = "http://127.0.0.1/vod";
const char kOtherTracker[] = "http://127.0.0.1/other";
const char kNat[] = "nat.test:3501";
// Five blocks, the last 1,000 bytes short.
const std::int64_t kSize = 5 * std::int64_t(kVodBlockSize) - 1000;

inline std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// The fixture's folder as a Windows path; empty when not run by the fixture.
inline std::wstring StagingFolder() {
    const char* dir = std::getenv("TOVRA_PAIRS_DIR");
    return dir ? L"Z:" + Widen(dir) : std::wstring();
}

inline std::wstring InFolder(const std::wstring& folder, const std::string& name) {
    return folder + L"\\" + Widen(name);
}

// Copies the data file first, then the index, as the engine creates them.
inline bool CopyPair(const std::string& hash, const std::wstring& to) {
    const std::wstring from = StagingFolder();
    return CopyFileW(InFolder(from, hash).c_str(), InFolder(to, hash).c_str(), FALSE) &&
           CopyFileW(InFolder(from, hash + ".vd2").c_str(), InFolder(to, hash + ".vd2").c_str(),
                     FALSE);
}

// Byte o of the test video: (7 o + o / 509 + 1) mod 256, as the writer makes it.
inline char VideoByte(std::int64_t offset) {
    return static_cast<char>(offset * 7 + offset / 509 + 1);
}

inline std::string PieceBytes(std::uint32_t piece) {
    const std::int64_t start = std::int64_t(piece) * kVodPieceSize;
    std::string bytes;
    for (std::int64_t o = start; o < start + kVodPieceSize && o < kSize; ++o)
        bytes += VideoByte(o);
    return bytes;
}

inline void HashBytes(const std::string& text, unsigned char hash[16]) {
    for (int i = 0; i < 16; ++i)
        hash[i] = static_cast<unsigned char>(std::strtoul(text.substr(2 * i, 2).c_str(), nullptr, 16));
}

}  // namespace pairs
