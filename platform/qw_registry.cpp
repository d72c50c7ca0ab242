#include "platform/qw_registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/qw_guard.h"
#include "platform/qw_hostfile.h"
#include "platform/qw_paths.h"

namespace qwp {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const
    {
        size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(Upper(a[i]));
            unsigned char y = static_cast<unsigned char>(Upper(b[i]));
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>, CaseLess> keys;
    std::map<std::string, std::pair<std::string, RegValue>, CaseLess> values;  // name as created, value
};

constexpr const char* kRootNames[3] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"};
// How deep keys may lie below their root, as in the system's registry. It also bounds the
// recursion of writing and freeing the tree.
constexpr size_t kMaxDepth = 512;

struct Registry {
    Key roots[3];
};

std::string g_fileOverride;
bool g_hasFileOverride = false;
int g_deniedRoot = 0;
std::vector<std::string> g_deniedParts;

int RootIndex(RegRoot root)
{
    int i = static_cast<int>(root) - 1;
    return (i >= 0 && i < 3) ? i : -1;
}

std::vector<std::string> SplitKey(const char* key)
{
    std::vector<std::string> parts;
    if (!key) return parts;
    std::string part;
    for (const char* p = key;; ++p) {
        if (*p == '\\' || *p == 0) {
            if (!part.empty()) parts.push_back(part);
            part.clear();
            if (*p == 0) break;
        } else {
            part.push_back(*p);
        }
    }
    return parts;
}

bool SameName(const std::string& a, const std::string& b) { return !CaseLess()(a, b) && !CaseLess()(b, a); }

bool Denied(int root, const std::vector<std::string>& parts)
{
    if (g_deniedRoot != root + 1 || parts.size() < g_deniedParts.size()) return false;
    for (size_t i = 0; i < g_deniedParts.size(); ++i)
        if (!SameName(parts[i], g_deniedParts[i])) return false;
    return true;
}

// ---- the file ----

bool NeedsEscape(unsigned char c, bool name)
{
    if (c < 0x20 || c == 0x7F || c == '%') return true;
    return name && (c == '[' || c == ']' || c == '=' || c == '\\' || c == '@');
}

std::string Escape(const std::string& text, bool name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c, name)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int hi = HexDigit(text[i + 1]);
        int lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

const char* TypeName(RegType t)
{
    switch (t) {
    case RegType::String: return "sz";
    case RegType::ExpandString: return "expand_sz";
    case RegType::Binary: return "binary";
    case RegType::DWord: return "dword";
    }
    return "binary";
}

// A key's line is written when the key holds values or no sub-keys: the line of a sub-key makes
// every key on its way (so a key 512 levels deep is one line, not 512 ever longer ones).
void WriteKey(const Key& key, const std::string& path, bool isRoot, std::string& out)
{
    if (isRoot ? !key.values.empty() : (!key.values.empty() || key.keys.empty())) {
        out += "[" + path + "]\n";
        for (const auto& [lookup, named] : key.values) {
            const std::string& name = named.first;
            const RegValue& v = named.second;
            out += name.empty() ? std::string("@") : Escape(name, true);
            out += '=';
            out += TypeName(v.type);
            out += ':';
            if (v.type == RegType::DWord) {
                uint32_t x = 0;
                for (size_t i = 0; i < 4 && i < v.data.size(); ++i) x |= uint32_t(v.data[i]) << (8 * i);
                out += std::to_string(x);
            } else if (v.type == RegType::Binary) {
                static const char kHex[] = "0123456789abcdef";
                for (uint8_t b : v.data) {
                    out += kHex[b >> 4];
                    out += kHex[b & 15];
                }
            } else {
                out += Escape(std::string(v.data.begin(), v.data.end()), false);
            }
            out += '\n';
        }
    }
    for (const auto& [lookup, sub] : key.keys) WriteKey(*sub, path + "\\" + Escape(sub->name, true), false, out);
}

std::string Serialise(const Registry& reg)
{
    std::string out = "; registry of the Quarrow programs (qwp)\n";
    for (int i = 0; i < 3; ++i) WriteKey(reg.roots[i], kRootNames[i], true, out);
    return out;
}

Key* Descend(Key& from, const std::vector<std::string>& parts, bool create)
{
    Key* k = &from;
    for (const std::string& part : parts) {
        auto it = k->keys.find(part);
        if (it == k->keys.end()) {
            if (!create) return nullptr;
            auto sub = std::make_unique<Key>();
            sub->name = part;
            it = k->keys.emplace(part, std::move(sub)).first;
        }
        k = it->second.get();
    }
    return k;
}

bool ParseValue(const std::string& line, Key& key)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    size_t colon = line.find(':', eq + 1);
    if (colon == std::string::npos) return false;
    std::string rawName = line.substr(0, eq);
    std::string type = line.substr(eq + 1, colon - eq - 1);
    std::string data = line.substr(colon + 1);
    std::string name;
    if (rawName == "@") name.clear();
    else if (rawName.empty() || !Unescape(rawName, name)) return false;
    RegValue v;
    if (type == "sz" || type == "expand_sz") {
        v.type = type == "sz" ? RegType::String : RegType::ExpandString;
        std::string text;
        if (!Unescape(data, text)) return false;
        v.data.assign(text.begin(), text.end());
    } else if (type == "dword") {
        if (data.empty() || data.size() > 10) return false;
        uint64_t x = 0;
        for (char c : data) {
            if (c < '0' || c > '9') return false;
            x = x * 10 + uint64_t(c - '0');
        }
        if (x > 0xFFFFFFFFu) return false;
        v.type = RegType::DWord;
        for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>(x >> (8 * i)));
    } else if (type == "binary") {
        if (data.size() % 2) return false;
        v.type = RegType::Binary;
        for (size_t i = 0; i < data.size(); i += 2) {
            int hi = HexDigit(data[i]), lo = HexDigit(data[i + 1]);
            if (hi < 0 || lo < 0) return false;
            v.data.push_back(static_cast<uint8_t>(hi * 16 + lo));
        }
    } else {
        return false;
    }
    key.values[name] = {name, std::move(v)};
    return true;
}

bool Parse(const std::string& text, Registry& reg)
{
    Key* current = nullptr;
    for (const std::string& line : SplitLines(text)) {
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return false;
            std::vector<std::string> raw = SplitKey(line.substr(1, line.size() - 2).c_str());
            if (raw.empty() || raw.size() - 1 > kMaxDepth) return false;
            int root = -1;
            for (int i = 0; i < 3; ++i)
                if (SameName(raw[0], kRootNames[i])) root = i;
            if (root < 0) return false;
            std::vector<std::string> parts;
            for (size_t i = 1; i < raw.size(); ++i) {
                std::string part;
                if (!Unescape(raw[i], part) || part.empty()) return false;
                parts.push_back(part);
            }
            current = Descend(reg.roots[root], parts, true);
        } else {
            if (!current || !ParseValue(line, *current)) return false;
        }
    }
    return true;
}

bool Load(Registry& reg)
{
    // What writers in its folder left when they were stopped mid-write goes first (a process that
    // stopped meanwhile may have left some).
    const std::string file = RegistryFile();
    const size_t slash = file.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : file.substr(0, slash ? slash : 1);
    RemoveStaleReplacements(ToWindowsPath(folder.c_str()).c_str());
    std::string text;
    bool missing = false;
    if (!ReadHostFile(file, text, &missing)) return missing;  // no file yet: an empty registry
    return Parse(text, reg);
}

bool IsEmpty(const Registry& reg)
{
    for (const Key& root : reg.roots)
        if (!root.keys.empty() || !root.values.empty()) return false;
    return true;
}

bool Save(const Registry& reg)
{
    std::string file = RegistryFile();
    // An empty registry is no file (a missing file reads as an empty registry), so that the
    // last key that goes leaves nothing behind.
    if (IsEmpty(reg) && MayDestroy(file)) {
        NameChangeHook();
        return ::unlink(file.c_str()) == 0 || errno == ENOENT;
    }
    std::string text = Serialise(reg);
    size_t slash = file.rfind('/');
    if (slash != std::string::npos && slash > 0) CreateFolders(ToWindowsPath(file.substr(0, slash).c_str()).c_str());
    return WriteHostFileAtomically(file, {{text.data(), text.size()}}, 0644);
}

// Loads the registry and finds the key; null when the file is unreadable, the root unknown, the
// key denied, or (without create) missing.
Key* Open(Registry& reg, RegRoot root, const char* key, bool create)
{
    int r = RootIndex(root);
    if (r < 0) return nullptr;
    std::vector<std::string> parts = SplitKey(key);
    if (parts.size() > kMaxDepth || Denied(r, parts) || !Load(reg)) return nullptr;
    return Descend(reg.roots[r], parts, create);
}

}  // namespace

bool RegKeyExists(RegRoot root, const char* key)
{
    Registry reg;
    return Open(reg, root, key, false) != nullptr;
}

bool RegCreateKey(RegRoot root, const char* key)
{
    Registry reg;
    if (Open(reg, root, key, false)) return true;
    Registry fresh;
    if (!Open(fresh, root, key, true)) return false;
    return Save(fresh);
}

bool RegSetValue(RegRoot root, const char* key, const char* name, RegType type, const void* data, size_t size)
{
    Registry reg;
    Key* k = Open(reg, root, key, false);
    if (!k || (size && !data)) return false;
    RegValue v;
    v.type = type;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (size) v.data.assign(bytes, bytes + size);
    if (type == RegType::DWord && v.data.size() != 4) return false;
    std::string n = name ? name : "";
    k->values.erase(n);
    k->values.emplace(n, std::make_pair(n, std::move(v)));
    return Save(reg);
}

bool RegDeleteValue(RegRoot root, const char* key, const char* name)
{
    Registry reg;
    Key* k = Open(reg, root, key, false);
    if (!k || k->values.erase(name ? name : "") == 0) return false;
    return Save(reg);
}

bool RegGetValue(RegRoot root, const char* key, const char* name, RegValue& out)
{
    Registry reg;
    Key* k = Open(reg, root, key, false);
    if (!k) return false;
    auto it = k->values.find(name ? name : "");
    if (it == k->values.end()) return false;
    out = it->second.second;
    return true;
}

namespace {
// The name of the entry at the index of one of the key's sorted maps (its sub-keys or values).
template <typename Map, typename NameOf>
bool EnumName(RegRoot root, const char* key, uint32_t index, std::string& name, Map Key::*map, NameOf nameOf)
{
    Registry reg;
    Key* k = Open(reg, root, key, false);
    if (!k || index >= (k->*map).size()) return false;
    auto it = (k->*map).begin();
    std::advance(it, index);
    name = nameOf(it->second);
    return true;
}
}  // namespace

bool RegEnumKey(RegRoot root, const char* key, uint32_t index, std::string& name)
{
    return EnumName(root, key, index, name, &Key::keys, [](const std::unique_ptr<Key>& sub) { return sub->name; });
}

bool RegEnumValue(RegRoot root, const char* key, uint32_t index, std::string& name)
{
    return EnumName(root, key, index, name, &Key::values,
                    [](const std::pair<std::string, RegValue>& named) { return named.first; });
}

bool RegDeleteKey(RegRoot root, const char* key)
{
    std::vector<std::string> parts = SplitKey(key);
    if (parts.empty()) return false;
    Registry reg;
    std::string last = parts.back();
    std::vector<std::string> parentParts(parts.begin(), parts.end() - 1);
    std::string parentPath;
    for (const std::string& p : parentParts) parentPath += p + "\\";
    int r = RootIndex(root);
    if (r < 0 || Denied(r, parts)) return false;
    Key* parent = Open(reg, root, parentPath.c_str(), false);
    if (!parent) return false;
    auto it = parent->keys.find(last);
    if (it == parent->keys.end() || !it->second->keys.empty()) return false;
    parent->keys.erase(it);
    return Save(reg);
}

std::string RegistryFile()
{
    if (g_hasFileOverride) return g_fileOverride;
    const char* env = std::getenv("QW_REGISTRY");
    if (env && *env) return env;
    return DriveRoot() + "/registry.txt";
}

void SetRegistryFileForTesting(const char* hostPath)
{
    g_hasFileOverride = hostPath != nullptr;
    g_fileOverride = hostPath ? hostPath : "";
}

void SetRegistryDeniedKey(RegRoot root, const char* key)
{
    g_deniedRoot = key ? static_cast<int>(root) : 0;
    g_deniedParts = SplitKey(key);
}

}  // namespace qwp
