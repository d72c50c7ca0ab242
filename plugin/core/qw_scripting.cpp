// Scripting parameters: the layout blob recorded in the host's descriptor as packed,
// upper-case hexadecimal text split into text items, with one integer item giving the text's
// length and the chunk scheme.
#include <cstring>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_endian.h"
#include "plugin/core/qw_8bfplugin.h"

namespace {

constexpr size_t kLongChunk = 65000;
constexpr size_t kShortChunk = 1000;
constexpr size_t kLongChunkLimit = 10;
constexpr size_t kShortChunkLimit = 200;
constexpr size_t kMaxText = 650000;
constexpr int32_t kLongBase = 20000000;
constexpr int32_t kShortBase = 10000000;
constexpr size_t kIndexLimit = 26 * 26 * 26;  // three base-26 letters
constexpr size_t kZipHeader = 16;
// zlib never packs better than about 1:1032; a declared size beyond that is not genuine.
constexpr uint64_t kMaxRatio = 1032;

uint32_t LongKey(size_t i) { return QWH_FourCC("qwe0") + uint32_t(i); }

uint32_t ShortKey(size_t j)
{
    return (uint32_t('q') << 24) | (uint32_t('w') << 16) | (uint32_t('a' + j / 26) << 8) |
           uint32_t('a' + j % 26);
}

const WriteDescriptorProcs* WriteProcs(const FilterRecord* r)
{
    if (!r || !r->descriptorParameters) return nullptr;
    const WriteDescriptorProcs* w = r->descriptorParameters->writeDescriptorProcs;
    if (!w || !w->openWriteDescriptorProc || !w->closeWriteDescriptorProc ||
        !w->putIntegerProc || !w->putTextProc)
        return nullptr;
    return w;
}

const ReadDescriptorProcs* ReadProcs(const FilterRecord* r)
{
    if (!r || !r->descriptorParameters) return nullptr;
    const ReadDescriptorProcs* p = r->descriptorParameters->readDescriptorProcs;
    if (!p || !p->openReadDescriptorProc || !p->closeReadDescriptorProc || !p->getKeyProc ||
        !p->getIntegerProc || !p->getTextProc)
        return nullptr;
    return p;
}

int HexValue(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}


}  // namespace

bool CQWF_8BFPluginVirtual::PutDescriptorChunk(const char* text, size_t length, uint32_t key,
                                               PIWriteDescriptor token, size_t index)
{
    const WriteDescriptorProcs* w = WriteProcs(m_record);
    if (!w || !HasHandleProcs() || !text) return false;
    // Three letters hold 0..17575; a larger index could not be read back.
    if (index >= kIndexLimit || length > kLongChunk) return false;
    const HandleProcs& hp = *m_record->handleProcs;
    Handle h = hp.newProc(int32_t(length + 4));
    if (!h) return false;
    char* p = hp.lockProc(h, 0);
    if (!p) {
        hp.disposeProc(h);
        return false;
    }
    p[0] = char('A' + index / 676);
    p[1] = char('A' + (index % 676) / 26);
    p[2] = char('A' + index % 26);
    std::memcpy(p + 3, text, length);
    p[3 + length] = 0;
    hp.unlockProc(h);
    QWH_Err err = w->putTextProc(token, key, h);
    hp.disposeProc(h);
    return err == noErr;
}

bool CQWF_8BFPluginVirtual::WriteScriptParameters(const void* bytes, size_t length)
{
    const WriteDescriptorProcs* w = WriteProcs(m_record);
    if (!bytes || !length || !w || !HasHandleProcs()) return false;
    if (length > 0xffffffffu) return false;

    CQWF_Mem packed;
    {
        CQWF_ZipBlock zip;
        zip.SetInput(bytes, length);
        zip.SetOutputMem(&packed);
        zip.SetMode(1);
        if (!zip.Process()) return false;
    }
    CQWF_String hex;
    if (packed.GetSize() == 0 || packed.GetSize() > kMaxText / 2) return false;
    if (!hex.AssignHex(packed.GetData(), packed.GetSize())) return false;
    size_t textLength = hex.GetLength();
    if (textLength == 0 || textLength > kMaxText) return false;
    const char* text = hex.GetBuffer();

    PIWriteDescriptor token = w->openWriteDescriptorProc();
    if (!token) return false;

    bool ok = true;
    int32_t lengthItem = int32_t(textLength) + kLongBase;
    size_t chunks = (textLength - 1) / kLongChunk + 1;
    for (size_t i = 0; i < chunks && ok; ++i) {
        size_t from = i * kLongChunk;
        size_t n = textLength - from < kLongChunk ? textLength - from : kLongChunk;
        if (PutDescriptorChunk(text + from, n, LongKey(i), token, i)) continue;
        ok = false;
        // A host that refuses long text items gets short ones, when the text is long enough
        // for that to matter.
        if (i == 0 && n >= kShortChunk + 1) {
            size_t shortChunks = (textLength - 1) / kShortChunk + 1;
            if (shortChunks <= kShortChunkLimit) {
                ok = true;
                for (size_t j = 0; j < shortChunks && ok; ++j) {
                    size_t f = j * kShortChunk;
                    size_t m = textLength - f < kShortChunk ? textLength - f : kShortChunk;
                    ok = PutDescriptorChunk(text + f, m, ShortKey(j), token, j);
                }
                lengthItem = int32_t(textLength) + kShortBase;
            }
            break;
        }
    }
    if (ok) ok = w->putIntegerProc(token, QWH_FourCC("qweS"), lengthItem) == noErr;

    PIDescriptorParameters* dp = m_record->descriptorParameters;
    if (dp->descriptor) m_record->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
    Handle fresh = nullptr;
    if (w->closeWriteDescriptorProc(token, &fresh) != noErr) ok = false;
    dp->descriptor = fresh;
    dp->recordInfo = plugInDialogOptional;
    return ok;
}

bool CQWF_8BFPluginVirtual::GetDescriptorChunk(uint8_t* buffer, size_t bufferLength,
                                               size_t chunkSize, PIReadDescriptor token,
                                               size_t indexLimit, size_t* indexOut,
                                               size_t* lengthOut)
{
    const ReadDescriptorProcs* rp = ReadProcs(m_record);
    if (!rp || !HasHandleProcs() || !buffer) return false;
    const HandleProcs& hp = *m_record->handleProcs;
    Handle h = nullptr;
    QWH_Err err = rp->getTextProc(token, &h);
    if (err == userCanceledErr) m_scriptCancelled = 1;
    if (err != noErr || !h) return false;
    bool ok = false;
    int32_t size = hp.getSizeProc(h);
    const uint8_t* p = size > 4 ? reinterpret_cast<const uint8_t*>(hp.lockProc(h, 0)) : nullptr;
    if (p) {
        bool letters = true;
        for (int i = 0; i < 3; ++i) letters = letters && p[i] >= 'A' && p[i] <= 'Z';
        size_t index = letters ? size_t(p[0] - 'A') * 676 + size_t(p[1] - 'A') * 26 +
                                     size_t(p[2] - 'A')
                               : indexLimit;
        const void* zero = std::memchr(p + 3, 0, size_t(size) - 3);
        if (letters && index < indexLimit && zero) {
            size_t n = size_t(static_cast<const uint8_t*>(zero) - (p + 3));
            size_t at = index * chunkSize;
            if (at <= bufferLength && n <= bufferLength - at && n <= chunkSize) {
                std::memcpy(buffer + at, p + 3, n);
                if (indexOut) *indexOut = index;
                if (lengthOut) *lengthOut = n;
                ok = true;
            }
        }
        hp.unlockProc(h);
    }
    hp.disposeProc(h);
    return ok;
}

bool CQWF_8BFPluginVirtual::ReadScriptParameters(CQWF_Mem& out, bool& showDialog)
{
    m_scriptCancelled = 0;
    const ReadDescriptorProcs* rp = ReadProcs(m_record);
    if (!rp || !HasHandleProcs()) return false;
    PIDescriptorParameters* dp = m_record->descriptorParameters;

    bool ok = false;
    PIReadDescriptor token = nullptr;
    CQWF_Mem text;
    do {
        const uint32_t lengthKeys[2] = {QWH_FourCC("qweS"), 0};
        token = rp->openReadDescriptorProc(dp->descriptor, lengthKeys);
        if (!token) break;
        int64_t value = -1;
        uint32_t key = 0, type = 0;
        int32_t flags = 0;
        bool readError = false;
        while (rp->getKeyProc(token, &key, &type, &flags)) {
            if (key != lengthKeys[0]) continue;
            int32_t v = 0;
            QWH_Err err = rp->getIntegerProc(token, &v);
            if (err != noErr) {
                if (err == userCanceledErr) m_scriptCancelled = 1;
                readError = true;
                break;
            }
            value = v;
        }
        if (readError || value < kShortBase) break;
        size_t chunkSize, limit, count, length;
        bool longChunks = value > kLongBase;
        if (value == kShortBase) break;
        if (longChunks) {
            length = size_t(value - kLongBase);
            chunkSize = kLongChunk;
            limit = kLongChunkLimit;
        } else {
            length = size_t(value - kShortBase);
            chunkSize = kShortChunk;
            limit = kShortChunkLimit;
        }
        if (length > kMaxText) break;
        count = (length - 1) / chunkSize + 1;
        if (count > limit) break;
        if (!text.AllocZeroed(length)) break;
        QWH_Err closeErr = rp->closeReadDescriptorProc(token);
        token = nullptr;
        (void)closeErr;

        uint32_t keys[kShortChunkLimit + 1] = {};
        for (size_t i = 0; i < count; ++i) keys[i] = longChunks ? LongKey(i) : ShortKey(i);
        token = rp->openReadDescriptorProc(dp->descriptor, keys);
        if (!token) break;
        // Every chunk must arrive once, with exactly the length its place needs.
        uint8_t seen[kShortChunkLimit] = {};
        size_t seenCount = 0;
        bool chunkError = false;
        while (rp->getKeyProc(token, &key, &type, &flags)) {
            bool listed = false;
            for (size_t i = 0; i < count && !listed; ++i) listed = keys[i] == key;
            if (!listed) continue;
            size_t index = 0, n = 0;
            if (!GetDescriptorChunk(text.GetData(), length, chunkSize, token, limit, &index, &n) ||
                index >= count || seen[index]) {
                chunkError = true;
                break;
            }
            size_t expected = length - index * chunkSize;
            if (expected > chunkSize) expected = chunkSize;
            if (n != expected) {
                chunkError = true;
                break;
            }
            seen[index] = 1;
            ++seenCount;
        }
        if (chunkError || seenCount != count) break;

        if (length % 2) break;
        size_t packedLength = length / 2;
        CQWF_Mem packed;
        if (!packed.Alloc(packedLength)) break;
        const uint8_t* t = text.GetData();
        bool hexOk = true;
        for (size_t i = 0; i < packedLength && hexOk; ++i) {
            int hi = HexValue(t[2 * i]), lo = HexValue(t[2 * i + 1]);
            hexOk = hi >= 0 && lo >= 0;
            packed.GetData()[i] = uint8_t((hi << 4) | (lo & 15));
        }
        if (!hexOk || packedLength < kZipHeader) break;
        // The packed block must lie inside the text (bytes after it are not read, as with every
        // other packed block), and its declared size must be one that the packed bytes can
        // produce.
        uint32_t unpackedSize = qwf::GetBE32(packed.GetData() + 8);
        uint32_t packedSize = qwf::GetBE32(packed.GetData() + 12);
        if (uint64_t(packedSize) + kZipHeader > packedLength || unpackedSize == 0 ||
            uint64_t(unpackedSize) > uint64_t(packedSize) * kMaxRatio + 1024)
            break;
        CQWF_ZipBlock zip;
        zip.SetInput(packed.GetData(), packed.GetSize());
        zip.SetOutputMem(&out);
        zip.SetMode(0);
        if (!zip.Process()) break;
        showDialog = dp->playInfo == plugInDialogDisplay;
        ok = true;
    } while (false);

    if (token) rp->closeReadDescriptorProc(token);
    if (dp->descriptor) m_record->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
    return ok;
}
