// btdump <file>: decodes one bencoded dictionary (a tracker request or reply
// saved to a file), prints its listing and the canonical re-encoding.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btStream.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: btdump <file>\n");
        return 2;
    }
    FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::fprintf(stderr, "btdump: cannot open %s\n", argv[1]);
        return 2;
    }
    std::vector<char> bytes;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);

    btStream in;
    in.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    in.Reset(0);
    btDict dict;
    int result = btDecoder(&in).DecodeDict(&dict);
    if (result != 0) {
        std::fprintf(stderr, "btdump: not a bencoded dictionary (result %d)\n", result);
        return 1;
    }
    dict.Dump(0);

    btStream out;
    btEncoder(&out).Encode(&dict);
    std::printf("%.*s\n", static_cast<int>(out.GetSize()), out.GetBuffer().data());
    return 0;
}
