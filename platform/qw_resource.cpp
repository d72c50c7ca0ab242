#include "platform/qw_resource.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/qw_hostfile.h"
#include "platform/qw_module.h"

namespace qwp {
namespace {

constexpr char kMagic[8] = {'Q', 'W', 'R', 'S', 'R', 'C', '0', '1'};
constexpr size_t kFooterSize = 32;
// Far beyond any real directory; a larger one is taken as damage.
constexpr uint64_t kMaxDirectory = 16u << 20;

struct Entry {
    std::string type;
    std::string name;
    uint64_t offset;  // from the start of the file
    uint64_t size;
};

struct Registered {
    std::string type;
    std::string name;
    const void* data;
    size_t size;
};

struct Table {
    std::string file;  // host path the directory was read from
    bool read = false;
    bool valid = false;
    std::vector<Entry> entries;
    // Data read so far, by entry index; kept for the life of the process.
    std::map<size_t, std::unique_ptr<std::vector<uint8_t>>> data;
    // Data of an earlier reading of the file, kept because it may still be in use.
    std::vector<std::unique_ptr<std::vector<uint8_t>>> retired;
};

std::mutex g_mutex;
std::vector<Registered> g_registered;
std::string g_fileOverride;
bool g_hasFileOverride = false;
bool g_lookupFails = false;
// Tables of every file read; data handed out stays valid even when tests switch files.
std::vector<std::unique_ptr<Table>> g_tables;

bool SameText(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

uint64_t GetBE(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

void PutBE(std::vector<uint8_t>& out, uint64_t v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool ReadAt(int fd, uint64_t position, void* buffer, size_t count)
{
    uint8_t* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::pread(fd, p, count, static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        position += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
}

// Reads and checks the directory of an open file. `tableStart` is where the table begins (the
// program's own bytes end there).
bool ReadDirectory(int fd, std::vector<Entry>& entries, uint64_t& tableStart, std::string& error)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) return (error = "cannot read the file size"), false;
    uint64_t fileSize = static_cast<uint64_t>(st.st_size);
    if (fileSize < kFooterSize) return (error = "no resource table"), false;
    uint8_t footer[kFooterSize];
    if (!ReadAt(fd, fileSize - kFooterSize, footer, kFooterSize)) return (error = "cannot read"), false;
    if (std::memcmp(footer + 24, kMagic, 8) != 0) return (error = "no resource table"), false;
    tableStart = GetBE(footer, 8);
    uint64_t dirOffset = GetBE(footer + 8, 8);
    uint64_t dirSize = GetBE(footer + 16, 8);
    if (tableStart > dirOffset || dirSize < 4 || dirSize > kMaxDirectory ||
        dirOffset > fileSize - kFooterSize || dirSize != fileSize - kFooterSize - dirOffset)
        return (error = "damaged resource table"), false;
    std::vector<uint8_t> dir(static_cast<size_t>(dirSize));
    if (!ReadAt(fd, dirOffset, dir.data(), dir.size())) return (error = "cannot read"), false;
    uint64_t count = GetBE(dir.data(), 4);
    size_t pos = 4;
    uint64_t room = dirOffset - tableStart;
    entries.clear();
    for (uint64_t i = 0; i < count; ++i) {
        Entry e;
        for (std::string* text : {&e.type, &e.name}) {
            if (dir.size() - pos < 2) return (error = "damaged resource table"), false;
            size_t n = static_cast<size_t>(GetBE(dir.data() + pos, 2));
            pos += 2;
            if (dir.size() - pos < n) return (error = "damaged resource table"), false;
            text->assign(reinterpret_cast<const char*>(dir.data() + pos), n);
            pos += n;
        }
        if (dir.size() - pos < 16) return (error = "damaged resource table"), false;
        uint64_t offset = GetBE(dir.data() + pos, 8);
        e.size = GetBE(dir.data() + pos + 8, 8);
        pos += 16;
        if (offset > room || e.size > room - offset) return (error = "damaged resource table"), false;
        e.offset = tableStart + offset;
        entries.push_back(std::move(e));
    }
    if (pos != dir.size()) return (error = "damaged resource table"), false;
    return true;
}

bool ReadAll(int fd, uint64_t size, std::vector<uint8_t>& out)
{
    out.resize(static_cast<size_t>(size));
    return size == 0 || ReadAt(fd, 0, out.data(), out.size());
}

Table* TableFor(const std::string& file)
{
    for (auto& t : g_tables)
        if (t->file == file) return t.get();
    g_tables.push_back(std::make_unique<Table>());
    g_tables.back()->file = file;
    return g_tables.back().get();
}

}  // namespace

bool FindResource(const char* type, const char* name, const void** data, size_t* size)
{
    if (!type || !name || !data || !size) return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_lookupFails) return false;
    for (const Registered& r : g_registered) {
        if (SameText(r.type, type) && SameText(r.name, name)) {
            *data = r.data;
            *size = r.size;
            return true;
        }
    }
    std::string file = g_hasFileOverride ? g_fileOverride : ModuleHostPath();
    if (file.empty()) return false;
    Table* table = TableFor(file);
    int fd = -1;
    if (!table->read) {
        table->read = true;
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        uint64_t tableStart = 0;
        std::string error;
        table->valid = fd >= 0 && ReadDirectory(fd, table->entries, tableStart, error);
    }
    if (!table->valid) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    for (size_t i = 0; i < table->entries.size(); ++i) {
        const Entry& e = table->entries[i];
        if (!SameText(e.type, type) || !SameText(e.name, name)) continue;
        auto found = table->data.find(i);
        if (found == table->data.end()) {
            if (fd < 0) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            auto bytes = std::make_unique<std::vector<uint8_t>>(static_cast<size_t>(e.size));
            bool ok = fd >= 0 && (e.size == 0 || ReadAt(fd, e.offset, bytes->data(), bytes->size()));
            if (!ok) {
                if (fd >= 0) ::close(fd);
                return false;
            }
            found = table->data.emplace(i, std::move(bytes)).first;
        }
        if (fd >= 0) ::close(fd);
        *data = found->second->data();
        *size = found->second->size();
        return true;
    }
    if (fd >= 0) ::close(fd);
    return false;
}

void RegisterResource(const char* type, const char* name, const void* data, size_t size)
{
    if (!type || !name) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (size_t i = 0; i < g_registered.size(); ++i) {
        if (SameText(g_registered[i].type, type) && SameText(g_registered[i].name, name)) {
            g_registered.erase(g_registered.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    if (data) g_registered.push_back(Registered{type, name, data, size});
}

void ClearRegisteredResources()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_registered.clear();
}

void SetResourceFileForTesting(const char* hostPath)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_hasFileOverride = hostPath != nullptr;
    g_fileOverride = hostPath ? hostPath : "";
    // A file named again is read afresh (a test may have rewritten it).
    if (hostPath) {
        for (auto& t : g_tables) {
            if (t->file == g_fileOverride) {
                t->read = false;
                t->valid = false;
                t->entries.clear();
                for (auto& [index, bytes] : t->data) t->retired.push_back(std::move(bytes));
                t->data.clear();
            }
        }
    }
}

void SetResourceLookupFailure(bool fail)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lookupFails = fail;
}

bool ReadResourceTable(const char* hostPath, std::vector<ResourceBlock>& blocks, std::string& error)
{
    blocks.clear();
    if (!hostPath) return (error = "no file"), false;
    int fd = ::open(hostPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return (error = std::string("cannot open: ") + std::strerror(errno)), false;
    std::vector<Entry> entries;
    uint64_t tableStart = 0;
    bool ok = ReadDirectory(fd, entries, tableStart, error);
    for (size_t i = 0; ok && i < entries.size(); ++i) {
        ResourceBlock b{entries[i].type, entries[i].name, {}};
        b.data.resize(static_cast<size_t>(entries[i].size));
        if (!b.data.empty() && !ReadAt(fd, entries[i].offset, b.data.data(), b.data.size())) {
            error = "cannot read";
            ok = false;
        }
        blocks.push_back(std::move(b));
    }
    ::close(fd);
    if (!ok) blocks.clear();
    return ok;
}

bool WriteProgramWithResources(const char* programHostPath, const char* outputHostPath,
                               const std::vector<ResourceBlock>& blocks, std::string& error)
{
    if (!programHostPath || !outputHostPath) return (error = "no file"), false;
    int in = ::open(programHostPath, O_RDONLY | O_CLOEXEC);
    if (in < 0) return (error = std::string("cannot open the program: ") + std::strerror(errno)), false;
    struct stat st;
    std::vector<uint8_t> program;
    bool ok = ::fstat(in, &st) == 0 && ReadAll(in, static_cast<uint64_t>(st.st_size), program);
    if (ok) {
        // A table the program already carries is replaced, not stacked.
        std::vector<Entry> old;
        uint64_t tableStart = 0;
        std::string ignored;
        if (ReadDirectory(in, old, tableStart, ignored)) program.resize(static_cast<size_t>(tableStart));
    }
    ::close(in);
    if (!ok) return (error = "cannot read the program"), false;

    std::vector<uint8_t> table;
    std::vector<uint8_t> directory;
    PutBE(directory, blocks.size(), 4);
    for (const ResourceBlock& b : blocks) {
        if (b.type.size() > 0xFFFF || b.name.size() > 0xFFFF)
            return (error = "resource type or name too long"), false;
        PutBE(directory, b.type.size(), 2);
        directory.insert(directory.end(), b.type.begin(), b.type.end());
        PutBE(directory, b.name.size(), 2);
        directory.insert(directory.end(), b.name.begin(), b.name.end());
        PutBE(directory, table.size(), 8);
        PutBE(directory, b.data.size(), 8);
        table.insert(table.end(), b.data.begin(), b.data.end());
    }
    uint64_t tableStart = program.size();
    uint64_t dirOffset = tableStart + table.size();
    std::vector<uint8_t> footer;
    PutBE(footer, tableStart, 8);
    PutBE(footer, dirOffset, 8);
    PutBE(footer, directory.size(), 8);
    footer.insert(footer.end(), kMagic, kMagic + 8);

    std::vector<std::pair<const void*, size_t>> parts;
    for (const std::vector<uint8_t>* part : {&program, &table, &directory, &footer})
        parts.emplace_back(part->data(), part->size());
    if (WriteHostFileAtomically(outputHostPath, parts, 0755)) return true;
    error = std::string("cannot write the output: ") + std::strerror(errno);
    return false;
}

}  // namespace qwp
