// Feeds arbitrary scripting-parameter descriptors to the reader; whatever it accepts must
// write and read back to the same bytes.
//
// Input: 4 bytes of the length item (little-endian), one flag byte (bit 0: the length item is
// present, bit 1: short-chunk keys, bit 2: the host asks for the dialog), then the text items
// separated by '\n', each given verbatim (index letters, characters, terminator).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "plugin/core/qw_8bfplugin.h"
#include "tests/plugin/core/fake_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    FilterRecord rec;
    fakehost::Reset(rec, 4, 4, plugInModeRGBColor, 3);
    fakehost::State& s = fakehost::S();
    int32_t length = 0;
    std::memcpy(&length, data, 4);
    uint8_t flags = data[4];
    size_t index = 0;
    const uint8_t* p = data + 5;
    const uint8_t* end = data + size;
    while (p <= end && index < 300) {
        const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(p, '\n', size_t(end - p)));
        const uint8_t* stop = nl ? nl : end;
        uint32_t key = (flags & 2) ? ((uint32_t('q') << 24) | (uint32_t('w') << 16) |
                                      (uint32_t('a' + (index / 26) % 26) << 8) | uint32_t('a' + index % 26))
                                   : QWH_FourCC("qwe0") + uint32_t(index % 10);
        s.readItems.push_back(fakehost::Item{key, typeText, std::vector<uint8_t>(p, stop)});
        ++index;
        if (!nl) break;
        p = nl + 1;
    }
    if (flags & 1) {
        fakehost::Item it{QWH_FourCC("qweS"), typeInteger, std::vector<uint8_t>(4)};
        std::memcpy(it.bytes.data(), &length, 4);
        s.readItems.insert(s.readItems.begin() + long(s.readItems.size() / 2), it);
    }
    rec.descriptorParameters->playInfo = (flags & 4) ? plugInDialogDisplay : plugInDialogDontDisplay;
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);

    CQWF_8BFPluginVirtual plugin;
    int16_t result = 0;
    plugin.SetHostPointers(&rec, nullptr, &result);
    CQWF_Mem blob;
    bool show = false;
    bool ok = plugin.ReadScriptParameters(blob, show);
    if (rec.descriptorParameters->descriptor || fakehost::LiveHandles() != 0 || s.badDisposes)
        __builtin_trap();  // the descriptor and every chunk handle must be disposed
    if (!ok) return 0;
    if (show != ((flags & 4) != 0) || !blob.GetSize()) __builtin_trap();
    if (!plugin.WriteScriptParameters(blob.GetData(), blob.GetSize())) return 0;
    fakehost::DisposeH(rec.descriptorParameters->descriptor);
    s.readItems = s.written;
    rec.descriptorParameters->descriptor = fakehost::MakeHandle("d", 1);
    CQWF_Mem again;
    if (!plugin.ReadScriptParameters(again, show) || again.GetSize() != blob.GetSize() ||
        std::memcmp(again.GetData(), blob.GetData(), blob.GetSize()) != 0)
        __builtin_trap();
    return 0;
}
