// Finds a resource of its own program file, as the setup program finds its package, and prints
// its size and MD5 digest: "SIZE HEX". Exit 1 when the resource is not there.
#include <cstdio>

#include "framework/core/qwf_block.h"
#include "platform/qw_resource.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: qwres_probe TYPE NAME\n", stderr);
        return 2;
    }
    const void* data = nullptr;
    size_t size = 0;
    if (!qwp::FindResource(argv[1], argv[2], &data, &size)) {
        std::puts("missing");
        return 1;
    }
    CQWF_MD5Block md5;
    md5.Update(data, size);
    uint8_t digest[CQWF_MD5Block::kDigestSize];
    md5.Final(digest);
    std::printf("%zu ", size);
    for (uint8_t b : digest) std::printf("%02x", b);
    std::printf("\n");
    return 0;
}
