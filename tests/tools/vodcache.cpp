// Drives CVodCacheFile from the command line, for tests that check our cache
// files with an independent reader and hand us files it wrote.
//
//   vodcache folder                      prints the cache folder
//   vodcache write HASH SIZE SEED B...   writes the blocks of the test video,
//                                        each in its own call, in that order
//   vodcache read HASH SIZE              prints "<block> <md5>" for each block
//                                        read back, "<block> -" for the others
//
// The test video's byte at offset o is (7 o + o / 509 + SEED) mod 256; the
// header names "nat.test:3501", "http://127.0.0.1/vod" and content id 77.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/md5/Md5.h"
#include "vod/CacheFolder.h"
#include "vod/VodCacheFile.h"
#include "vod/VodUnits.h"

namespace {

std::uint32_t BlockLength(std::int64_t size, std::uint32_t block) {
    const std::int64_t left = size - std::int64_t(block) * kVodBlockSize;
    return static_cast<std::uint32_t>(left < kVodBlockSize ? left : kVodBlockSize);
}

void Open(CVodCacheFile& cache, const std::string& hash, std::int64_t size) {
    cache.SetHash(hash);
    cache.SetNatServer("nat.test", 3501);
    cache.SetTrackerUrl("http://127.0.0.1/vod");
    cache.SetContentId(77);
    cache.SetBlockCount(static_cast<std::uint32_t>((size + kVodBlockSize - 1) / kVodBlockSize));
    cache.LoadIndex();
}

int Write(const std::string& hash, std::int64_t size, int seed, char** blocks, int count) {
    CVodCacheFile cache;
    Open(cache, hash, size);
    for (int i = 0; i < count; ++i) {
        const std::uint32_t block = static_cast<std::uint32_t>(std::atoi(blocks[i]));
        std::string bytes(BlockLength(size, block), '\0');
        const std::int64_t start = std::int64_t(block) * kVodBlockSize;
        for (std::size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<char>((start + k) * 7 + (start + k) / 509 + seed);
        VodBlockPieces pieces;
        for (std::size_t at = 0; at < bytes.size(); at += kVodPieceSize) {
            const std::size_t n = bytes.size() - at < kVodPieceSize ? bytes.size() - at
                                                                   : kVodPieceSize;
            pieces[block].push_back(VodPieceBytes{static_cast<std::uint16_t>(n), &bytes[at]});
        }
        if (!cache.WriteBlocks(pieces)) {
            std::printf("write of block %u failed\n", block);
            return 1;
        }
    }
    return 0;
}

int Read(const std::string& hash, std::int64_t size) {
    CVodCacheFile cache;
    Open(cache, hash, size);
    std::vector<char> buffer(kVodBlockSize);
    for (std::uint32_t block = 0; block < cache.GetBlockCount(); ++block) {
        const std::uint32_t got = cache.ReadBlock(block, buffer.data(), kVodBlockSize);
        if (got == 0)
            std::printf("%u -\n", block);
        else
            std::printf("%u %s\n", block, Md5Hex(buffer.data(), got).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Keeps the folder rule on drive C: of the test prefix; without a
    // "RODar_Azizo" folder there it could choose Wine's Z: (the host's root).
    CreateDirectoryW(L"C:\\RODar_Azizo", nullptr);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "folder" && argc == 2) {
        std::printf("%ls\n", GetCacheFolder(false).c_str());
        return 0;
    }
    if (command == "write" && argc >= 5)
        return Write(argv[2], std::atoll(argv[3]), std::atoi(argv[4]), argv + 5, argc - 5);
    if (command == "read" && argc == 4)
        return Read(argv[2], std::atoll(argv[3]));
    std::fprintf(stderr, "usage: vodcache folder | write HASH SIZE SEED BLOCK... | read HASH SIZE\n");
    return 2;
}
