// Randomised model test of the resource package: seeded sequences of folder creation, typed
// writes (new keys, in-place rewrites, rewrites with other lengths or kinds), deletes, reads and
// reopening (read-write, read-only, caller-owned file, memory copy, indexed copy) are applied to
// a CQWF_Storage and to a plain map of key paths; some writes run out of memory part way and
// must then change nothing. Every read is checked against the map, and after every reopen the
// whole file is parsed independently and compared with it.
#include "framework/core/qwf_storage.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"
#include "platform/qw_paths.h"
#include "platform/qw_random.h"
#include "support/test_support.h"

namespace {

using K = CQWF_Storage;

constexpr uint32_t kTop = 0xFFFFFFFFu;
// The kind that stands for a delete in the list of writes.
constexpr uint8_t kDeleteOp = 200;

using qwtest::BE16;
using qwtest::BE32;

std::string PutBe32(uint32_t v)
{
    std::string s;
    for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((v >> sh) & 0xFF);
    return s;
}

// A value as the package stores it: the kind and the value bytes (integers and doubles
// big-endian, texts with their NUL). `room` is the stored length of a text or block, which
// bounds what a later write may put in place.
struct Value {
    uint8_t kind = 0;
    std::string bytes;
    uint32_t room = 0;
    bool operator==(const Value& o) const { return kind == o.kind && bytes == o.bytes; }
};

size_t ValueBytes(uint8_t kind, size_t length)
{
    switch (kind) {
    case K::kKindFolder: return 0;
    case K::kKindByte: return 1;
    case K::kKindWord: return 2;
    case K::kKindDWord: return 4;
    case K::kKindDouble: return 8;
    default: return 4 + length;
    }
}

std::string ParentOf(const std::string& key)
{
    size_t cut = key.rfind('>');
    return cut == std::string::npos ? std::string() : key.substr(0, cut);
}

// What the package should hold: live keys, header fields and the file size.
struct Model {
    std::map<std::string, Value> keys;
    uint32_t entryCount = 0;
    uint32_t lastId = 0;
    uint64_t size = K::kEmptySize;

    void Reset() { *this = Model(); }

    void Append(const std::string& key, const Value& v)
    {
        size_t nameLen = key.size() - (ParentOf(key).empty() ? 0 : ParentOf(key).size() + 1);
        ++entryCount;
        ++lastId;
        size += 4 + 11 + nameLen + ValueBytes(v.kind, v.bytes.size());
        Value stored = v;
        stored.room = static_cast<uint32_t>(v.bytes.size());
        keys[key] = stored;
    }
    void Erase(const std::string& key)
    {
        keys.erase(key);
        std::string prefix = key + ">";
        for (auto it = keys.lower_bound(prefix);
             it != keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
            it = keys.erase(it);
        }
    }
    // The error code a write of a missing key meets: 0, or 117 for a missing or non-folder parent.
    int ParentCode(const std::string& key) const
    {
        std::string parent = ParentOf(key);
        if (parent.empty()) return 0;
        auto it = keys.find(parent);
        return (it == keys.end() || it->second.kind != K::kKindFolder) ? 117 : 0;
    }
    int CreateFolder(const std::string& key)
    {
        if (keys.count(key)) return 116;
        if (int code = ParentCode(key)) return code;
        Append(key, Value{K::kKindFolder, "", 0});
        return 0;
    }
    int Set(const std::string& key, const Value& v)
    {
        auto it = keys.find(key);
        if (it == keys.end()) {
            if (int code = ParentCode(key)) return code;
        } else if (it->second.kind == v.kind) {
            bool sized = v.kind == K::kKindString || v.kind == K::kKindBinary;
            if (!sized || v.bytes.size() <= it->second.room) {
                it->second.bytes = v.bytes;
                if (sized) it->second.room = static_cast<uint32_t>(v.bytes.size());
                return 0;
            }
            Erase(key);
        } else {
            Erase(key);
        }
        Append(key, v);
        return 0;
    }
    int Delete(const std::string& key)
    {
        if (!keys.count(key)) return 114;
        Erase(key);
        return 0;
    }
    int Apply(const std::string& key, const Value& v)
    {
        if (v.kind == kDeleteOp) return Delete(key);
        return v.kind == K::kKindFolder ? CreateFolder(key) : Set(key, v);
    }
};

// Reads a whole package file independently of CQWF_Storage: the header, every entry, and the
// key tree walked from the top level as the format describes (entries of deleted folders are
// not reached). Offsets of live keys go into `offsets` (for building an index).
struct Parsed {
    bool ok = false;
    std::string why;
    uint32_t entryCount = 0;
    uint32_t lastId = 0;
    std::map<std::string, Value> keys;
    std::map<std::string, uint32_t> offsets;
};

Parsed ParsePackage(const std::string& b)
{
    Parsed r;
    if (b.size() < 40 || b.compare(0, 8, "QWCPSv40") != 0 ||
        b.compare(b.size() - 8, 8, "QWCPSv40") != 0) {
        r.why = "frame";
        return r;
    }
    r.entryCount = BE32(b, 24);
    r.lastId = BE32(b, 28);
    struct E {
        size_t at;
        uint8_t kind;
        uint32_t parent, id;
        std::string name, value;
    };
    std::vector<E> entries;
    size_t pos = 32;
    for (uint32_t i = 0; i < r.entryCount; ++i) {
        if (pos + 15 > b.size() - 8) {
            r.why = "entry head past the end";
            return r;
        }
        uint32_t rest = BE32(b, pos);
        uint16_t n = BE16(b, pos + 13);
        if (rest < 11u + n || pos + 4 + rest > b.size() - 8) {
            r.why = "entry past the end";
            return r;
        }
        E e{pos, static_cast<uint8_t>(b[pos + 4]), BE32(b, pos + 5), BE32(b, pos + 9),
            b.substr(pos + 15, n), b.substr(pos + 15 + n, rest - 11 - n)};
        entries.push_back(e);
        pos += 4 + rest;
    }
    if (pos != b.size() - 8) {
        r.why = "bytes between the last entry and the trailer";
        return r;
    }
    std::vector<std::pair<uint32_t, std::string>> todo{{kTop, ""}};
    while (!todo.empty()) {
        auto [id, prefix] = todo.back();
        todo.pop_back();
        for (const E& e : entries) {
            if (e.parent != id || e.kind == K::kKindDeleted) continue;
            std::string key = prefix.empty() ? e.name : prefix + ">" + e.name;
            if (r.keys.count(key)) {
                r.why = "duplicate live key " + key;
                return r;
            }
            Value v;
            v.kind = e.kind;
            if (e.kind == K::kKindString || e.kind == K::kKindBinary) {
                if (e.value.size() < 4 || BE32(e.value, 0) > e.value.size() - 4) {
                    r.why = "bad length in " + key;
                    return r;
                }
                v.room = BE32(e.value, 0);
                v.bytes = e.value.substr(4, v.room);
            } else if (e.kind == K::kKindFolder) {
                if (!e.value.empty()) {
                    r.why = "folder with a value: " + key;
                    return r;
                }
                todo.push_back({e.id, key});
            } else {
                if (e.value.size() != ValueBytes(e.kind, 0)) {
                    r.why = "fixed value of the wrong size in " + key;
                    return r;
                }
                v.bytes = e.value;
            }
            r.keys[key] = v;
            r.offsets[key] = static_cast<uint32_t>(e.at);
        }
    }
    r.ok = true;
    return r;
}

// The random source of the test: the system's seedable generator, combined to wider values.
uint32_t Rand(uint32_t below) { return static_cast<uint32_t>(qwp::Random15()) % below; }
uint32_t Rand32()
{
    return (uint32_t(qwp::Random15()) << 30) ^ (uint32_t(qwp::Random15()) << 15) ^
           uint32_t(qwp::Random15());
}

// Names that are prefixes of each other and repeat at several depths.
const char* const kNames[] = {"W", "MAIN", "ROOT", "AB", "A", "Left", "Le", "x", "ABC", "Left2"};
constexpr uint32_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);

std::string RandomPath()
{
    std::string key = kNames[Rand(kNameCount)];
    uint32_t depth = Rand(3);
    for (uint32_t i = 0; i < depth; ++i) key += std::string(">") + kNames[Rand(kNameCount)];
    return key;
}

// An existing key: a value's (folders == 0), a folder's (folders == 1) or any; empty if none.
std::string ExistingKey(const Model& m, int folders)
{
    std::vector<const std::string*> pick;
    for (const auto& [key, v] : m.keys) {
        if (folders < 0 || (v.kind == K::kKindFolder) == (folders == 1)) pick.push_back(&key);
    }
    return pick.empty() ? std::string() : *pick[Rand(static_cast<uint32_t>(pick.size()))];
}

// A key for an operation: existing values, new names under existing folders (which grow the
// tree) and arbitrary paths (which mostly meet missing parents or replace a folder).
enum class Use { kFolder, kValue, kDelete, kRead };

std::string RandomKey(const Model& m, Use use)
{
    uint32_t r = Rand(100);
    std::string key;
    switch (use) {
    case Use::kFolder:
        if (r < 85) {
            key = ExistingKey(m, 1);
            key = key.empty() ? kNames[Rand(kNameCount)] : key + ">" + kNames[Rand(kNameCount)];
        }
        break;
    case Use::kValue:
        if (r < 50) {
            key = ExistingKey(m, 0);
        } else if (r < 95) {
            key = ExistingKey(m, 1);
            if (!key.empty()) key += std::string(">") + kNames[Rand(kNameCount)];
        } else if (r < 96) {
            key = ExistingKey(m, 1);  // a folder replaced by a value
        }
        break;
    case Use::kDelete:
        if (r < 60) {
            key = ExistingKey(m, 0);
        } else if (r < 75) {
            key = ExistingKey(m, 1);
        }
        break;
    case Use::kRead:
        if (r < 70) key = ExistingKey(m, -1);
        break;
    }
    return key.empty() ? RandomPath() : key;
}

Value RandomValue(uint8_t kind)
{
    Value v;
    v.kind = kind;
    auto be = [&](uint64_t bits, int n) {
        for (int i = n - 1; i >= 0; --i) v.bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
    };
    switch (kind) {
    case K::kKindByte: be(Rand(256), 1); break;
    case K::kKindWord: be(Rand(3) ? Rand(65536) : 8000, 2); break;
    case K::kKindDWord: be(Rand(3) ? Rand32() : (Rand(2) ? 8000 : 120), 4); break;
    case K::kKindDouble: {
        double d = (static_cast<double>(Rand32()) - 2147483648.0) / (1.0 + Rand(1000));
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        be(bits, 8);
        break;
    }
    case K::kKindString: {
        // Lengths cluster low so that rewrites fit, shrink and grow in turn.
        uint32_t n = Rand(4) ? Rand(12) : Rand(200);
        for (uint32_t i = 0; i < n; ++i) v.bytes += static_cast<char>('!' + Rand(90));
        v.bytes += '\0';
        break;
    }
    default: {
        uint32_t n = Rand(4) ? Rand(12) : Rand(300);
        for (uint32_t i = 0; i < n; ++i) v.bytes += static_cast<char>(Rand(256));
        break;
    }
    }
    return v;
}

uint64_t FromBe(const std::string& bytes)
{
    uint64_t v = 0;
    for (unsigned char c : bytes) v = (v << 8) | c;
    return v;
}

// Performs a write (or a delete) on the package; returns its error code (0 on success).
// `failAfter` >= 0 makes the allocation after that many fail, from just before the call.
int StoreWrite(CQWF_Storage& s, const std::string& key, const Value& v, long failAfter = -1)
{
    CQWF_String text(v.kind == K::kKindString ? v.bytes.c_str() : "");
    bool asString = Rand(2) != 0;
    bool viaSetValue = Rand(2) != 0;
    qwf::SetAllocFailureAfter(failAfter);
    const char* k = key.c_str();
    bool ok = false;
    uint64_t bits = FromBe(v.bytes);
    switch (v.kind) {
    case K::kKindFolder: ok = s.CreateFolder(k); break;
    case kDeleteOp: ok = s.Delete(k); break;
    case K::kKindByte: ok = s.SetByte(k, static_cast<uint8_t>(bits)); break;
    case K::kKindWord: ok = s.SetWord(k, static_cast<uint16_t>(bits)); break;
    case K::kKindDWord:
        if (!viaSetValue) {
            ok = s.SetDWord(k, static_cast<uint32_t>(bits));
        } else {
            uint32_t d = static_cast<uint32_t>(bits);
            ok = s.SetValue(k, K::kKindDWord, &d, 4);
        }
        break;
    case K::kKindDouble: {
        double d;
        std::memcpy(&d, &bits, 8);
        ok = s.SetDouble(k, d);
        break;
    }
    case K::kKindString:
        ok = asString ? s.SetString(k, text) : s.SetString(k, v.bytes.c_str());
        break;
    default: ok = s.SetBinary(k, v.bytes.data(), v.bytes.size()); break;
    }
    qwf::SetAllocFailureAfter(-1);
    EXPECT_EQ(ok, s.GetError() == 0) << key;
    return ok ? 0 : s.GetError();
}

// Reads a key with the getter of `kind`; the stored bytes in `out` on success, else the code.
// A failed read leaves its out value as it was; a string read keeps the string's tag.
int StoreRead(CQWF_Storage& s, const std::string& key, uint8_t kind, std::string& out)
{
    const char* k = key.c_str();
    out.clear();
    bool ok = false, kept = true;
    auto be = [&](uint64_t bits, int n) {
        for (int i = n - 1; i >= 0; --i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    };
    switch (kind) {
    case K::kKindFolder: {
        uint8_t got = s.GetKind(k);
        if (got == K::kKindMissing) return s.GetError();
        return got == K::kKindFolder ? 0 : 118;
    }
    case K::kKindByte: { uint8_t v = 0x5A; ok = s.GetByte(k, v); kept = v == 0x5A; be(v, 1); break; }
    case K::kKindWord: { uint16_t v = 0x5A5A; ok = s.GetWord(k, v); kept = v == 0x5A5A; be(v, 2); break; }
    case K::kKindDWord: { uint32_t v = 0x5A5A5A5A; ok = s.GetDWord(k, v); kept = v == 0x5A5A5A5A; be(v, 4); break; }
    case K::kKindDouble: {
        double v = 0.5;
        ok = s.GetDouble(k, v);
        kept = v == 0.5;
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        be(bits, 8);
        break;
    }
    case K::kKindString: {
        CQWF_String v("old");
        v.SetTag(42);
        ok = s.GetString(k, v);
        EXPECT_EQ(v.GetTag(), 42u) << key;
        kept = std::strcmp(v.GetBuffer(), "old") == 0;
        out.assign(v.GetBuffer(), v.GetLength() + 1);
        break;
    }
    default: {
        CQWF_Mem v(3);
        std::memcpy(v.GetData(), "abc", 3);
        ok = s.GetBinary(k, v);
        kept = v.GetSize() == 3 && std::memcmp(v.GetData(), "abc", 3) == 0;
        if (v.GetSize()) out.assign(reinterpret_cast<const char*>(v.GetData()), v.GetSize());
        break;
    }
    }
    EXPECT_TRUE(ok || kept) << key << " kind " << int(kind) << ": a failed read changed its out value";
    if (!ok) out.clear();
    return ok ? 0 : s.GetError();
}

// What a read of `key` with the getter of `kind` should give.
int ExpectedRead(const Model& m, const std::string& key, uint8_t kind, std::string& out)
{
    out.clear();
    auto it = m.keys.find(key);
    if (it == m.keys.end()) return 114;
    if (it->second.kind != kind) return 118;
    out = it->second.bytes;
    return 0;
}

class StorageModel : public ::testing::Test {
protected:
    std::string Path() const { return m_dir.File("model.qws4"); }
    std::string WinPath() const { return qwp::ToWindowsPath(Path().c_str()); }
    std::string Bytes() const { return qwtest::FileBytes(Path()); }

    // Every key of the model reads back with its own getter and GetKind, and a few others miss.
    void CheckReads(CQWF_Storage& s, const Model& m, const std::string& where)
    {
        for (const auto& [key, v] : m.keys) {
            std::string got;
            ASSERT_EQ(s.GetKind(key.c_str()), v.kind) << where << " " << key;
            ASSERT_EQ(StoreRead(s, key, v.kind, got), 0) << where << " " << key;
            ASSERT_EQ(got, v.bytes) << where << " " << key;
        }
        for (int i = 0; i < 4; ++i) {
            std::string key = RandomKey(m, Use::kRead);
            uint8_t kind = static_cast<uint8_t>(Rand(7));
            std::string want, got;
            int code = ExpectedRead(m, key, kind, want);
            ASSERT_EQ(StoreRead(s, key, kind, got), code)
                << where << " " << key << " kind " << int(kind);
            ASSERT_EQ(got, want) << where << " " << key;
        }
    }

    // The file parsed on its own matches the model key for key, with the header and size.
    void CheckFile(const Model& m, const std::string& where, Parsed* keep = nullptr)
    {
        std::string b = Bytes();
        Parsed p = ParsePackage(b);
        ASSERT_TRUE(p.ok) << where << ": " << p.why;
        ASSERT_EQ(b.size(), m.size) << where;
        ASSERT_EQ(p.entryCount, m.entryCount) << where;
        ASSERT_EQ(p.lastId, m.lastId) << where;
        ASSERT_EQ(p.keys.size(), m.keys.size()) << where;
        for (const auto& [key, v] : m.keys) {
            auto it = p.keys.find(key);
            ASSERT_TRUE(it != p.keys.end()) << where << " missing in the file: " << key;
            ASSERT_EQ(it->second.kind, v.kind) << where << " " << key;
            ASSERT_EQ(it->second.bytes, v.bytes) << where << " " << key;
            if (v.kind == K::kKindString || v.kind == K::kKindBinary) {
                ASSERT_EQ(it->second.room, v.room) << where << " " << key;
            }
        }
        if (keep) *keep = p;
    }

    // A closed package file: digest, memory copy and an indexed copy all agree with the model.
    void CheckClosed(const Model& m, const std::string& where)
    {
        CQWF_Storage v;
        ASSERT_TRUE(v.VerifyFile(WinPath().c_str())) << where << " " << v.GetError();
        Parsed p;
        CheckFile(m, where, &p);
        if (HasFatalFailure()) return;
        std::string b = Bytes();

        CQWF_Storage mem;
        ASSERT_TRUE(mem.OpenMemory(b.data(), b.size())) << where << " " << mem.GetError();
        ASSERT_EQ(mem.GetEntryCount(), m.entryCount);
        CheckReads(mem, m, where + " (memory)");
        EXPECT_FALSE(mem.SetDWord("W", 1));  // memory packages are read-only
        EXPECT_EQ(mem.GetError(), 115);
        EXPECT_FALSE(mem.CreateFolder("F"));
        EXPECT_EQ(mem.GetError(), 115);
        EXPECT_FALSE(mem.Delete("W"));
        EXPECT_EQ(mem.GetError(), 115);

        // The same entries with an index before the trailer, keys in ascending order.
        if (p.offsets.empty()) return;
        std::string index;
        for (const auto& [key, off] : p.offsets) {
            index += static_cast<char>(key.size() >> 8);
            index += static_cast<char>(key.size() & 0xFF);
            index += key + PutBe32(off);
        }
        CQWF_Mem packed;
        CQWF_ZipBlock zip;
        zip.SetInput(index.data(), index.size());
        zip.SetOutputMem(&packed);
        ASSERT_TRUE(zip.Process());
        std::string ib = b.substr(0, b.size() - 8);
        ib[7] = 'S';
        ib.append(reinterpret_cast<const char*>(packed.GetData()), packed.GetSize());
        ib += PutBe32(static_cast<uint32_t>(packed.GetSize())) + "QWCPSv40";
        std::string ipath = m_dir.File("indexed.qws4");
        ASSERT_TRUE(qwtest::WriteWholeFile(ipath, ib));
        CQWF_Storage idx;
        ASSERT_TRUE(idx.OpenFile(qwp::ToWindowsPath(ipath.c_str()).c_str(), K::kModeRead))
            << where << " " << idx.GetError();
        ASSERT_TRUE(idx.IsIndexed());
        CheckReads(idx, m, where + " (indexed)");
    }

    // Runs `steps` random operations from a fresh package; `deleteShare` percent are deletes.
    void Run(uint32_t seed, int steps, uint32_t deleteShare)
    {
        qwp::SeedRandom(seed);
        std::remove(Path().c_str());
        Model m;
        CQWF_Storage s;
        CQWF_StdFile callerFile;
        // The ways a settings store comes to be: read-write first and created when that fails,
        // created, created and reopened before any write, an empty file opened read-write, or a
        // file the caller created.
        switch (Rand(5)) {
        case 0:
            ASSERT_FALSE(s.OpenFile(WinPath().c_str(), K::kModeReadWrite));
            ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeCreate)) << s.GetError();
            break;
        case 1: ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeCreate)) << s.GetError(); break;
        case 2:
            ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeCreate)) << s.GetError();
            ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeReadWrite)) << s.GetError();
            break;
        case 3:
            ASSERT_TRUE(qwtest::WriteWholeFile(Path(), ""));
            ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeReadWrite)) << s.GetError();
            break;
        default:
            ASSERT_TRUE(callerFile.Open(CQWF_String(WinPath().c_str()),
                                        CQWF_StdFile::kModeCreateReadWrite));
            ASSERT_TRUE(s.OpenStdFile(&callerFile, K::kModeReadWrite)) << s.GetError();
            break;
        }
        bool readOnly = false;
        for (int step = 0; step < steps; ++step) {
            std::string where = "seed " + std::to_string(seed) + " step " + std::to_string(step);
            uint32_t op = Rand(100);
            if (op < 60 + deleteShare) {
                std::string key;
                Value v;
                if (op < 14) {
                    key = RandomKey(m, Use::kFolder);
                    v.kind = K::kKindFolder;
                } else if (op < 60) {
                    // A value of any kind; half of the rewrites keep the key's kind.
                    key = RandomKey(m, Use::kValue);
                    uint8_t kind = static_cast<uint8_t>(1 + Rand(6));
                    auto it = m.keys.find(key);
                    if (it != m.keys.end() && it->second.kind != K::kKindFolder && Rand(2)) {
                        kind = it->second.kind;
                    }
                    v = RandomValue(kind);
                } else {
                    key = RandomKey(m, Use::kDelete);
                    v.kind = kDeleteOp;
                }
                std::string what = where + " write " + key + " kind " + std::to_string(v.kind);
                Model before = m;
                int code = readOnly ? 115 : m.Apply(key, v);
                // One write in six runs out of memory part way (after 0 to 7 allocations): it
                // happens whole or not at all.
                long failAfter = Rand(6) == 0 ? static_cast<long>(Rand(8)) : -1;
                int got = StoreWrite(s, key, v, failAfter);
                if (failAfter >= 0 && got == QWF_ERR_MEMORY) {
                    m = before;
                } else {
                    ASSERT_EQ(got, code) << what;
                }
            } else if (op < 96) {
                std::string key = RandomKey(m, Use::kRead);
                uint8_t kind = static_cast<uint8_t>(Rand(7));
                auto it = m.keys.find(key);
                if (it != m.keys.end() && Rand(3)) kind = it->second.kind;
                std::string want, got;
                int code = ExpectedRead(m, key, kind, want);
                ASSERT_EQ(StoreRead(s, key, kind, got), code)
                    << where << " get " << key << " kind " << int(kind);
                ASSERT_EQ(got, want) << where << " get " << key;
            } else {
                // Close and reopen: read-write (own or caller-owned file), read-only, or emptied.
                ASSERT_TRUE(s.Close()) << where << " " << s.GetError();
                CheckClosed(m, where);
                if (HasFatalFailure()) return;
                uint32_t how = Rand(20);
                readOnly = how < 6;
                if (how == 19) {
                    // Created anew: everything is gone.
                    m.Reset();
                    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeCreate))
                        << where << " " << s.GetError();
                } else if (how >= 17) {
                    ASSERT_TRUE(callerFile.Open(CQWF_String(WinPath().c_str()),
                                                CQWF_StdFile::kModeReadWrite));
                    ASSERT_TRUE(s.OpenStdFile(&callerFile, K::kModeReadWrite))
                        << where << " " << s.GetError();
                } else {
                    int16_t mode = readOnly ? K::kModeRead : K::kModeReadWrite;
                    ASSERT_TRUE(s.OpenFile(WinPath().c_str(), mode))
                        << where << " " << s.GetError();
                }
                ASSERT_EQ(s.GetEntryCount(), m.entryCount) << where;
                ASSERT_EQ(s.GetLastId(), m.lastId) << where;
            }
            if (!readOnly) {
                ASSERT_EQ(s.GetEntryCount(), m.entryCount) << where;
            }
            CheckReads(s, m, where);
            if (HasFatalFailure()) return;
            // The file is flushed after every write: it parses to the model while still open.
            if (step % 16 == 0) CheckFile(m, where + " (open)");
            if (HasFatalFailure()) return;
        }
        ASSERT_TRUE(s.Close());
        CheckClosed(m, "seed " + std::to_string(seed) + " end");
    }

    qwtest::TempDir m_dir;
};

}  // namespace

TEST_F(StorageModel, RandomOperationsMatchAPlainMap)
{
    // Few deletes grow wide trees (the directory grows on reopening); many keep it small.
    for (uint32_t seed : {1u, 2u, 3u, 17u, 404u, 8000u, 65537u, 123456u}) {
        Run(seed, 500, seed % 2 ? 2 : 8);
        if (HasFatalFailure()) return;
    }
}

// A rewrite that needs a new entry on a full disk: the new entry cannot be appended, so the old
// one must not be marked deleted either (marks are written in place and would succeed).
TEST_F(StorageModel, RewriteOnAFullDiskKeepsTheOldValue)
{
    {
        CQWF_Storage s;
        ASSERT_TRUE(s.OpenFile(WinPath().c_str(), K::kModeCreate));
        ASSERT_TRUE(s.CreateFolder("W"));
        ASSERT_TRUE(s.SetString("W>Left", "8000"));
        ASSERT_TRUE(s.SetWord("W>Top", 120));
    }
    const std::string path = WinPath();
    const size_t before = Bytes().size();
    // The child must see this test's folder, so it forks without re-running the test.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            lim.rlim_cur = lim.rlim_max = before;
            setrlimit(RLIMIT_FSIZE, &lim);
            CQWF_Storage s;
            if (!s.OpenFile(path.c_str(), K::kModeReadWrite)) std::_Exit(2);
            if (s.SetString("W>Left", "a longer text that needs a new entry")) std::_Exit(3);
            if (s.SetDWord("W>Top", 120)) std::_Exit(4);
            CQWF_String text;
            uint16_t top = 0;
            if (!s.GetString("W>Left", text) || std::strcmp(text.GetBuffer(), "8000") != 0) {
                std::_Exit(5);
            }
            if (!s.GetWord("W>Top", top) || top != 120) std::_Exit(6);
            if (!s.Close()) std::_Exit(7);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
    CQWF_Storage s;
    EXPECT_TRUE(s.VerifyFile(path.c_str())) << s.GetError();
    ASSERT_TRUE(s.OpenFile(path.c_str(), K::kModeRead)) << s.GetError();
    CQWF_String text;
    ASSERT_TRUE(s.GetString("W>Left", text));
    EXPECT_STREQ(text.GetBuffer(), "8000");
    uint16_t top = 0;
    ASSERT_TRUE(s.GetWord("W>Top", top));
    EXPECT_EQ(top, 120);
}
