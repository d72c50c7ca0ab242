// Unpacks arbitrary bytes as a compressed block; small inputs are also packed and unpacked again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "framework/core/qwf_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CQWF_Mem out;
    CQWF_ZipBlock unpack;
    unpack.SetMode(0);
    unpack.SetInput(data, size);
    unpack.SetOutputMem(&out);
    if (unpack.Process()) {
        // A block that unpacks gives exactly its declared size.
        uint32_t declared = (uint32_t(data[8]) << 24) | (uint32_t(data[9]) << 16) |
                            (uint32_t(data[10]) << 8) | data[11];
        if (out.GetSize() != declared) std::abort();
    }

    if (size > 0 && size <= 4096) {
        CQWF_Mem packed, back;
        CQWF_ZipBlock pack;
        pack.SetMode(static_cast<uint8_t>(1 + data[0] % 3));
        pack.SetInput(data, size);
        pack.SetOutputMem(&packed);
        if (!pack.Process()) std::abort();
        CQWF_ZipBlock again;
        again.SetMode(0);
        again.SetInputMem(packed);
        again.SetOutputMem(&back);
        if (!again.Process() || back.GetSize() != size ||
            std::memcmp(back.GetData(), data, size) != 0) {
            std::abort();
        }
    }
    return 0;
}
