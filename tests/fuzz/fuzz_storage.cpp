// Opens arbitrary bytes as a package from memory, then reads every key it can name.
//
// The keys are rebuilt here by a separate, deliberately simple walk of the entries (bounded
// in count and key length), so that the package's own directory is checked against it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_storage.h"

namespace {
uint32_t BE32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void ReadAll(CQWF_Storage& s, const std::string& key)
{
    const char* k = key.c_str();
    uint8_t b = 0;
    uint16_t w = 0;
    uint32_t d = 0;
    double x = 0;
    CQWF_String str;
    CQWF_Mem mem;
    s.GetKind(k);
    s.GetByte(k, b);
    s.GetWord(k, w);
    s.GetDWord(k, d);
    s.GetDouble(k, x);
    s.GetString(k, str);
    s.GetBinary(k, mem);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CQWF_Storage s;
    s.VerifyChecksum(data, size);
    if (!s.OpenMemory(data, size)) return 0;

    // Candidate keys: names of the entries joined through their parent ids.
    std::map<uint32_t, std::string> folders;
    std::vector<std::string> keys;
    size_t pos = 32;
    uint32_t count = BE32(data + 24);
    for (uint32_t i = 0; i < count && i < 2000 && pos + 15 <= size; ++i) {
        uint32_t rest = BE32(data + pos);
        size_t nameLen = (size_t(data[pos + 13]) << 8) | data[pos + 14];
        if (pos + 15 + nameLen > size) break;
        std::string name(reinterpret_cast<const char*>(data + pos + 15), nameLen);
        uint32_t parent = BE32(data + pos + 5);
        uint32_t id = BE32(data + pos + 9);
        std::string key = name;
        auto it = folders.find(parent);
        if (it != folders.end() && it->second.size() < 4096) key = it->second + ">" + name;
        keys.push_back(key);
        keys.push_back(name);
        if (data[pos + 4] == 0) folders.emplace(id, key);
        if (rest > size) break;
        pos += 4 + size_t(rest);
    }
    keys.push_back("");
    keys.push_back(">");
    for (const std::string& key : keys) ReadAll(s, key);
    // Writes are refused on a memory package.
    if (s.SetByte("k", 1) || s.GetError() != QWF_ERR_STORAGE_READ_ONLY) __builtin_trap();
    return 0;
}
