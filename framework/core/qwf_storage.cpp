#include "framework/core/qwf_storage.h"


#include "framework/core/qwf_endian.h"
#include <algorithm>
#include <cstring>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_file.h"

namespace {
using qwf::GetBE16;
using qwf::GetBE32;
using qwf::PutBE16;
using qwf::PutBE32;
const uint8_t kMagic[8] = {'Q', 'W', 'C', 'P', 'S', 'v', '4', '0'};
constexpr uint32_t kTopId = 0xFFFFFFFFu;
constexpr size_t kEntryHead = 15;       // size, kind, parent id, own id, name length
constexpr uint64_t kMinRest = 11;       // a folder with an empty name
constexpr size_t kChunk = 64 * 1024;    // file digests read this much at a time

// The object's own code, or the fallback when it recorded none.
int16_t CodeOr(const CQWF_ErrorManager& object, int16_t fallback)
{
    return object.GetError() ? object.GetError() : fallback;
}





// Size of the fixed-width value of a kind, 0 for kinds without one.
size_t FixedValueSize(uint8_t kind)
{
    switch (kind) {
    case CQWF_Storage::kKindByte: return 1;
    case CQWF_Storage::kKindWord: return 2;
    case CQWF_Storage::kKindDWord: return 4;
    case CQWF_Storage::kKindDouble: return 8;
    default: return 0;
    }
}

// A key that names something writable: no empty part ("", ">A", "A>", "A>>B").
bool KeyPartsValid(const char* key, size_t len)
{
    if (len == 0 || key[0] == '>' || key[len - 1] == '>') return false;
    for (size_t i = 1; i < len; ++i) {
        if (key[i] == '>' && key[i - 1] == '>') return false;
    }
    return true;
}

// One live entry found while walking a package.
struct WalkRecord {
    uint64_t offset;
    uint32_t parent;
    uint32_t id;
    uint8_t kind;
    uint8_t taken;  // the children of this record's parent were already expanded
};

struct WalkFrame {
    uint32_t id;
    uint32_t node;
};
}  // namespace

CQWF_Storage::CQWF_Storage() = default;

bool CQWF_Storage::IndexFailed()
{
    SetError(CodeOr(m_index, QWF_ERR_MEMORY));
    return false;
}

CQWF_Storage::~CQWF_Storage()
{
    if (!Close()) ReleaseAll();
}

// ---------------------------------------------------------------------------------------------
// Keys

bool CQWF_Storage::SplitKey(const CQWF_String& key, CQWF_String& parent, CQWF_String& name)
{
    const char* text = key.GetBuffer();
    size_t len = key.GetLength();
    size_t cut = len;
    for (size_t i = len; i > 0; --i) {
        if (text[i - 1] == '>') {
            cut = i - 1;
            break;
        }
    }
    if (cut == len) {
        parent.Assign("");
        name.Assign(text);
    } else {
        // A part whose copy could not be made is empty with an error that an assignment drops.
        const CQWF_String left = key.Left(cut), right = key.Right(len - cut - 1);
        if (left.HasError() || right.HasError()) return false;
        parent = left;
        name = right;
    }
    return !parent.HasError() && !name.HasError();
}

// ---------------------------------------------------------------------------------------------
// Opening

void CQWF_Storage::ReleaseAll()
{
    if (m_file) {
        m_file->Flush();
        m_file->Close();
        if (!m_fileNotOwned) delete m_file;
    }
    m_file = nullptr;
    m_fileNotOwned = 0;
    m_memory = nullptr;
    m_memoryLength = 0;
    m_mode = 0;
    m_open = 0;
    m_indexed = 0;
    m_modified = 0;
    m_entryCount = 0;
    m_lastId = 0;
    m_end = 0;
    m_dataEnd = 0;
    m_index.Clear();
}

bool CQWF_Storage::Close()
{
    if (m_open && m_file && m_modified) {
        if (!WriteDigest()) return false;
        bool flushed = m_file->Flush();
        bool closed = m_file->Close();
        ReleaseAll();
        if (!flushed || !closed) {
            SetError(QWF_ERR_FILE_WRITE);
            return false;
        }
        return true;
    }
    ReleaseAll();
    return true;
}

bool CQWF_Storage::OpenMemory(const CQWF_Mem& block)
{
    return OpenMemory(block.GetData(), block.GetSize());
}

bool CQWF_Storage::OpenMemory(const void* data, size_t length)
{
    if (!Close()) ReleaseAll();
    ClearError();
    if (!data || length < kEmptySize) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    // Packages in memory are plain: the magic must match at both ends exactly.
    if (std::memcmp(p, kMagic, 8) != 0 || std::memcmp(p + length - 8, kMagic, 8) != 0) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    m_mode = kModeRead;
    if (!LoadBytes(p, length, false)) {
        int16_t code = GetError();
        ReleaseAll();
        SetError(code);
        return false;
    }
    m_memory = p;
    m_memoryLength = length;
    m_end = length;
    m_open = 1;
    return true;
}

bool CQWF_Storage::OpenFile(const char* path, int16_t mode)
{
    if (!Close()) ReleaseAll();
    ClearError();
    if (!path || !*path) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    CQWF_StdFile* file = new CQWF_StdFile();
    int fileMode = mode == kModeRead ? 1 : (mode == kModeCreate ? 4 : 3);
    if (!file->Open(path, fileMode)) {
        SetError(CodeOr(*file, QWF_ERR_FILE_OPEN));
        delete file;
        return false;
    }
    m_file = file;
    m_fileNotOwned = 0;
    return OpenFromFile(mode);
}

bool CQWF_Storage::OpenStdFile(CQWF_StdFile* file, int16_t mode)
{
    if (!Close()) ReleaseAll();
    ClearError();
    if (!file) return false;
    m_file = file;
    m_fileNotOwned = 1;
    return OpenFromFile(mode);
}

bool CQWF_Storage::OpenFromFile(int16_t mode)
{
    m_mode = mode;
    int64_t size = m_file->GetSize();
    bool ok = size >= 0;
    if (!ok) SetError(CodeOr(*m_file, QWF_ERR_FILE_SEEK));
    if (ok && size == 0) {
        ok = WriteEmptyHeader();
        if (ok) {
            m_open = 1;
            return true;
        }
    } else if (ok) {
        CQWF_Mem bytes;
        if (static_cast<uint64_t>(size) < kEmptySize) {
            SetError(QWF_ERR_STORAGE_HEADER);
            ok = false;
        } else if (!bytes.Alloc(static_cast<size_t>(size))) {
            SetError(bytes.GetError());
            ok = false;
        } else if (m_file->Seek(0) < 0 ||
                   m_file->Read(bytes.GetData(), static_cast<size_t>(size)) != size) {
            SetError(CodeOr(*m_file, QWF_ERR_FILE_READ));
            ok = false;
        } else {
            const uint8_t* p = bytes.GetData();
            size_t len = static_cast<size_t>(size);
            bool head = std::memcmp(p, kMagic, 7) == 0 && (p[7] == '0' || p[7] == 'S');
            if (!head || std::memcmp(p + len - 8, kMagic, 8) != 0) {
                SetError(QWF_ERR_STORAGE_HEADER);
                ok = false;
            } else {
                ok = LoadBytes(p, len, p[7] == 'S');
            }
        }
        if (ok) {
            m_end = static_cast<uint64_t>(size);
            m_open = 1;
            return true;
        }
    }
    // A file the caller opened stays open when it holds no package.
    if (m_fileNotOwned) m_file = nullptr;
    int16_t code = GetError();
    ReleaseAll();
    SetError(code);
    return false;
}

bool CQWF_Storage::WriteEmptyHeader()
{
    if (m_mode == kModeRead) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    uint8_t head[kEmptySize] = {};
    std::memcpy(head, kMagic, 8);
    std::memcpy(head + 32, kMagic, 8);
    if (!WriteAt(0, head, sizeof(head)) || !FlushFile()) return false;
    m_entryCount = 0;
    m_lastId = 0;
    m_end = kEmptySize;
    m_dataEnd = kHeaderSize;
    m_modified = 1;
    m_index.Clear();
    return m_index.GrowBuckets() || IndexFailed();
}

bool CQWF_Storage::LoadBytes(const uint8_t* data, size_t length, bool indexed)
{
    m_index.Clear();
    m_entryCount = GetBE32(data + 24);
    m_lastId = GetBE32(data + 28);
    m_indexed = indexed ? 1 : 0;
    if (!m_index.GrowBuckets()) return IndexFailed();
    return indexed ? ReadIndex(data, length) : WalkEntries(data, length);
}

// Builds the directory from the entries. Everything is checked against the package bounds
// before use; folders are expanded with an explicit stack, each folder id at most once, so
// cycles and self-parents are refused instead of looping.
bool CQWF_Storage::WalkEntries(const uint8_t* data, size_t length)
{
    const uint64_t limit = length - 8;  // entries end before the trailer
    const uint64_t maxEntries = (limit - kHeaderSize) / (4 + kMinRest);
    if (m_entryCount > maxEntries) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    CQWF_Mem recordMem;
    if (!recordMem.Alloc((m_entryCount ? m_entryCount : 1) * sizeof(WalkRecord))) {
        SetError(recordMem.GetError());
        return false;
    }
    WalkRecord* records = reinterpret_cast<WalkRecord*>(recordMem.GetData());
    size_t recordCount = 0;
    uint64_t nameBytes = 0;
    uint64_t pos = kHeaderSize;
    // The next id must be new to every entry, deleted ones included (a deleted folder's id
    // still names the entries beneath it): a header whose last id lags behind the entries is
    // taken at the largest id written.
    uint32_t largestId = m_lastId;
    for (uint32_t i = 0; i < m_entryCount; ++i) {
        if (pos + kEntryHead > limit) {
            SetError(QWF_ERR_STORAGE_DIGEST);
            return false;
        }
        const uint8_t* e = data + pos;
        uint64_t rest = GetBE32(e);
        uint16_t nameLen = GetBE16(e + 13);
        if (rest < kMinRest + nameLen || pos + 4 + rest > limit) {
            SetError(QWF_ERR_STORAGE_DIGEST);
            return false;
        }
        uint8_t kind = e[4];
        const uint32_t id = GetBE32(e + 9);
        if (id != kTopId && id > largestId) largestId = id;
        if (kind != kKindDeleted) {
            WalkRecord& r = records[recordCount++];
            r.offset = pos;
            r.kind = kind;
            r.parent = GetBE32(e + 5);
            r.id = id;
            r.taken = 0;
            if (kind == kKindFolder && r.parent == r.id) {
                SetError(QWF_ERR_STORAGE_HEADER);
                return false;
            }
            nameBytes += nameLen;
        }
        pos += 4 + rest;
    }
    m_dataEnd = pos;
    m_lastId = largestId;
    if (recordCount == 0) return true;

    // Group the records by parent id, keeping the file order within a group.
    CQWF_Mem orderMem;
    if (!orderMem.Alloc(recordCount * sizeof(uint32_t))) {
        SetError(orderMem.GetError());
        return false;
    }
    uint32_t* order = reinterpret_cast<uint32_t*>(orderMem.GetData());
    // Two folders of one id would share their entries: the first entry written beneath one of
    // them would make the package unopenable. Refused, as a cycle is.
    size_t folders = 0;
    for (size_t i = 0; i < recordCount; ++i)
        if (records[i].kind == kKindFolder) order[folders++] = records[i].id;
    std::sort(order, order + folders);
    if (std::adjacent_find(order, order + folders) != order + folders) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    for (size_t i = 0; i < recordCount; ++i) order[i] = static_cast<uint32_t>(i);
    std::stable_sort(order, order + recordCount, [records](uint32_t a, uint32_t b) {
        return records[a].parent < records[b].parent;
    });

    if (!m_index.ReserveNodes(recordCount) ||
        !m_index.ReserveNames(static_cast<size_t>(nameBytes)))
        return IndexFailed();
    CQWF_Mem stackMem;
    if (!stackMem.Alloc((recordCount + 1) * sizeof(WalkFrame))) {
        SetError(stackMem.GetError());
        return false;
    }
    WalkFrame* stack = reinterpret_cast<WalkFrame*>(stackMem.GetData());
    size_t depth = 0;
    stack[depth++] = {kTopId, kNoNode};
    while (depth > 0) {
        WalkFrame frame = stack[--depth];
        uint32_t* lo = std::lower_bound(order, order + recordCount, frame.id,
                                        [records](uint32_t r, uint32_t id) {
                                            return records[r].parent < id;
                                        });
        if (lo == order + recordCount || records[*lo].parent != frame.id) continue;
        if (records[*lo].taken) {
            // The same folder id is reached a second time: a cycle or a duplicate folder.
            SetError(QWF_ERR_STORAGE_HEADER);
            return false;
        }
        records[*lo].taken = 1;
        for (uint32_t* it = lo; it != order + recordCount && records[*it].parent == frame.id;
             ++it) {
            const WalkRecord& r = records[*it];
            const uint8_t* e = data + r.offset;
            uint32_t node = m_index.Add(frame.node, e + kEntryHead, GetBE16(e + 13), r.offset,
                                        r.id, r.kind);
            if (node == kNoNode) return IndexFailed();
            if (m_index.FindEqualLinked(node) == kNoNode) m_index.Link(node);
            if (r.kind == kKindFolder) stack[depth++] = {r.id, node};
        }
    }
    return true;
}

// The indexed variant lists every key with its entry offset in a compressed block before the
// trailer: u16 path length, path, u32 entry offset.
bool CQWF_Storage::ReadIndex(const uint8_t* data, size_t length)
{
    uint64_t packed = GetBE32(data + length - 12);
    if (length < kHeaderSize + 12 || packed > length - 12 - kHeaderSize) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    const uint64_t limit = length - 12 - packed;  // entries end before the index
    CQWF_Mem index;
    CQWF_ZipBlock zip;
    zip.SetMode(0);
    zip.SetInput(data + limit, static_cast<size_t>(packed));
    zip.SetOutputMem(&index);
    if (!zip.Process()) {
        SetError(zip.GetError());
        return false;
    }
    m_dataEnd = length - 8;
    const uint8_t* p = index.GetData();
    size_t size = index.GetSize();
    size_t at = 0;
    while (at < size) {
        if (size - at < 2) break;
        size_t pathLen = GetBE16(p + at);
        if (size - at - 2 < pathLen + 4) {
            SetError(QWF_ERR_STORAGE_HEADER);
            return false;
        }
        const uint8_t* path = p + at + 2;
        uint64_t offset = GetBE32(path + pathLen);
        at += 2 + pathLen + 4;
        if (offset < kHeaderSize || offset + kEntryHead > limit) {
            SetError(QWF_ERR_STORAGE_DIGEST);
            return false;
        }
        const uint8_t* e = data + offset;
        uint64_t rest = GetBE32(e);
        if (rest < kMinRest + GetBE16(e + 13) || offset + 4 + rest > limit) {
            SetError(QWF_ERR_STORAGE_DIGEST);
            return false;
        }
        if (e[4] == kKindDeleted || pathLen == 0) continue;
        uint32_t node = m_index.Add(kNoNode, path, pathLen, offset, GetBE32(e + 9), e[4]);
        if (node == kNoNode) return IndexFailed();
        if (m_index.FindEqualLinked(node) == kNoNode) m_index.Link(node);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Digests

bool CQWF_Storage::VerifyChecksum(const void* data, size_t length)
{
    ClearError();
    if (!data || length <= 24) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    CQWF_MD5Block md5;
    md5.Update(p + 24, length - 24);
    uint8_t digest[CQWF_MD5Block::kDigestSize];
    md5.Final(digest);
    if (std::memcmp(digest, p + 8, sizeof(digest)) != 0) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    return true;
}

bool CQWF_Storage::VerifyFile(const char* path)
{
    ClearError();
    CQWF_StdFile file;
    if (!path || !file.Open(path, 1)) {
        SetError(CodeOr(file, QWF_ERR_FILE_OPEN));
        return false;
    }
    int64_t size = file.GetSize();
    if (size < 0) {
        SetError(file.GetError());
        return false;
    }
    if (size == 0) return true;
    if (size <= 24) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    // Digest the file in pieces rather than holding it whole.
    uint8_t head[24];
    if (file.Seek(0) < 0 || file.Read(head, sizeof(head)) != static_cast<int64_t>(sizeof(head))) {
        SetError(CodeOr(file, QWF_ERR_FILE_READ));
        return false;
    }
    CQWF_Mem chunk;
    if (!chunk.Alloc(kChunk)) {
        SetError(chunk.GetError());
        return false;
    }
    CQWF_MD5Block md5;
    int64_t left = size - 24;
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
        if (file.Read(chunk.GetData(), n) != static_cast<int64_t>(n)) {
            SetError(CodeOr(file, QWF_ERR_FILE_READ));
            return false;
        }
        md5.Update(chunk.GetData(), n);
        left -= static_cast<int64_t>(n);
    }
    uint8_t digest[CQWF_MD5Block::kDigestSize];
    md5.Final(digest);
    if (std::memcmp(digest, head + 8, sizeof(digest)) != 0) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    return true;
}

bool CQWF_Storage::WriteDigest()
{
    if (!FlushFile()) return false;
    int64_t size = m_file->GetSize();
    if (size < 0) {
        SetError(CodeOr(*m_file, QWF_ERR_FILE_SEEK));
        return false;
    }
    if (size <= 24) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    CQWF_Mem chunk;
    if (!chunk.Alloc(kChunk)) {
        SetError(chunk.GetError());
        return false;
    }
    CQWF_MD5Block md5;
    if (m_file->Seek(24) < 0) {
        SetError(CodeOr(*m_file, QWF_ERR_FILE_SEEK));
        return false;
    }
    int64_t left = size - 24;
    while (left > 0) {
        const size_t n = static_cast<size_t>(std::min<int64_t>(left, kChunk));
        if (m_file->Read(chunk.GetData(), n) != static_cast<int64_t>(n)) {
            SetError(CodeOr(*m_file, QWF_ERR_FILE_READ));
            return false;
        }
        md5.Update(chunk.GetData(), n);
        left -= static_cast<int64_t>(n);
    }
    uint8_t head[24];
    std::memcpy(head, kMagic, 8);
    md5.Final(head + 8);
    if (!WriteAt(0, head, sizeof(head)) || !FlushFile()) return false;
    m_modified = 0;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Raw access

bool CQWF_Storage::ReadAt(uint64_t position, void* buffer, size_t count)
{
    if (position > m_end || count > m_end - position) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    if (m_memory) {
        std::memcpy(buffer, m_memory + position, count);
        return true;
    }
    if (!m_file) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    m_file->ClearError();
    if (m_file->Seek(static_cast<int64_t>(position)) < 0) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    if (count == 0) return true;
    if (m_file->Read(buffer, count) != static_cast<int64_t>(count)) {
        SetError(CodeOr(*m_file, QWF_ERR_FILE_READ));
        return false;
    }
    return true;
}

bool CQWF_Storage::WriteAt(uint64_t position, const void* buffer, size_t count)
{
    if (!m_file) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    m_file->ClearError();
    if (m_file->Seek(static_cast<int64_t>(position)) < 0) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    if (count && m_file->Write(buffer, count) != static_cast<int64_t>(count)) {
        SetError(CodeOr(*m_file, QWF_ERR_FILE_WRITE));
        return false;
    }
    return true;
}

bool CQWF_Storage::FlushFile()
{
    if (!m_file) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    m_file->ClearError();
    if (!m_file->Flush()) {
        SetError(CodeOr(*m_file, QWF_ERR_FILE_WRITE));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reading values

bool CQWF_Storage::LocateValue(const char* key, uint8_t kind, uint64_t& valuePos,
                               uint64_t& valueRoom)
{
    if (!m_open) {
        SetError(QWF_ERR_STORAGE_NO_KEY);
        return false;
    }
    uint32_t node = key ? m_index.Find(key, std::strlen(key)) : kNoNode;
    if (node == kNoNode) {
        SetError(QWF_ERR_STORAGE_NO_KEY);
        return false;
    }
    uint64_t offset = m_index.At(node)->offset;
    uint8_t head[kEntryHead];
    if (!ReadAt(offset, head, sizeof(head))) return false;
    if (head[4] != kind) {
        SetError(QWF_ERR_STORAGE_KIND);
        return false;
    }
    uint64_t rest = GetBE32(head);
    uint16_t nameLen = GetBE16(head + 13);
    // Entries end before the trailer.
    if (rest < kMinRest + nameLen || offset + 4 + rest > m_dataEnd) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    valuePos = offset + kEntryHead + nameLen;
    valueRoom = rest - kMinRest - nameLen;
    return true;
}

bool CQWF_Storage::ReadFixed(const char* key, uint8_t kind, uint8_t* bytes)
{
    ClearError();
    uint64_t pos, room;
    if (!LocateValue(key, kind, pos, room)) return false;
    size_t n = FixedValueSize(kind);
    if (room < n) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    return ReadAt(pos, bytes, n);
}

bool CQWF_Storage::ReadSized(const char* key, uint8_t kind, CQWF_Mem& bytes)
{
    ClearError();
    uint64_t pos, room;
    if (!LocateValue(key, kind, pos, room)) return false;
    uint8_t lenBytes[4];
    if (room < 4) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    if (!ReadAt(pos, lenBytes, 4)) return false;
    uint64_t length = GetBE32(lenBytes);
    if (length > room - 4) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    if (!bytes.Alloc(static_cast<size_t>(length))) {
        SetError(bytes.GetError());
        return false;
    }
    return ReadAt(pos + 4, bytes.GetData(), static_cast<size_t>(length));
}

uint8_t CQWF_Storage::GetKind(const char* key)
{
    ClearError();
    uint32_t node = (m_open && key) ? m_index.Find(key, std::strlen(key)) : kNoNode;
    if (node == kNoNode) {
        SetError(QWF_ERR_STORAGE_NO_KEY);
        return kKindMissing;
    }
    return m_index.At(node)->kind;
}

bool CQWF_Storage::GetByte(const char* key, uint8_t& out)
{
    uint8_t b[1];
    if (!ReadFixed(key, kKindByte, b)) return false;
    out = b[0];
    return true;
}

bool CQWF_Storage::GetWord(const char* key, uint16_t& out)
{
    uint8_t b[2];
    if (!ReadFixed(key, kKindWord, b)) return false;
    out = GetBE16(b);
    return true;
}

bool CQWF_Storage::GetDWord(const char* key, uint32_t& out)
{
    uint8_t b[4];
    if (!ReadFixed(key, kKindDWord, b)) return false;
    out = GetBE32(b);
    return true;
}

bool CQWF_Storage::GetDouble(const char* key, double& out)
{
    uint8_t b[8];
    if (!ReadFixed(key, kKindDouble, b)) return false;
    const uint64_t bits = qwf::GetBE64(b);
    double v;
    std::memcpy(&v, &bits, sizeof(v));
    out = v;
    return true;
}

bool CQWF_Storage::GetString(const char* key, CQWF_String& out)
{
    CQWF_Mem bytes;
    if (!ReadSized(key, kKindString, bytes)) return false;
    // A stored text counts its terminating NUL: an empty or unterminated one is malformed.
    size_t n = bytes.GetSize();
    if (n == 0 || bytes.GetData()[n - 1] != 0) {
        SetError(QWF_ERR_STORAGE_HEADER);
        return false;
    }
    char* buffer = out.SetLength(n - 1);
    if (!buffer) {
        SetError(CodeOr(out, QWF_ERR_MEMORY));
        return false;
    }
    std::memcpy(buffer, bytes.GetData(), n);
    return true;
}

bool CQWF_Storage::GetBinary(const char* key, CQWF_Mem& out)
{
    CQWF_Mem bytes;
    if (!ReadSized(key, kKindBinary, bytes)) return false;
    out.Swap(bytes);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Writing

bool CQWF_Storage::CheckWritable()
{
    if (!m_open || (!m_file && !m_memory)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    // Memory packages are read-only; indexed ones would need their index rewritten.
    if (m_mode == kModeRead || !m_file || m_indexed) {
        SetError(QWF_ERR_STORAGE_READ_ONLY);
        return false;
    }
    return true;
}

bool CQWF_Storage::CreateFolder(const char* key)
{
    ClearError();
    if (!CheckWritable()) return false;
    if (!key) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    if (m_index.Find(key, std::strlen(key)) != kNoNode) {
        SetError(QWF_ERR_STORAGE_EXISTS);
        return false;
    }
    return Append(key, kKindFolder, nullptr, 0);
}

bool CQWF_Storage::SetByte(const char* key, uint8_t value)
{
    return SetValue(key, kKindByte, &value, 1);
}

bool CQWF_Storage::SetWord(const char* key, uint16_t value)
{
    return SetValue(key, kKindWord, &value, 2);
}

bool CQWF_Storage::SetDWord(const char* key, uint32_t value)
{
    return SetValue(key, kKindDWord, &value, 4);
}

bool CQWF_Storage::SetDouble(const char* key, double value)
{
    return SetValue(key, kKindDouble, &value, 8);
}

bool CQWF_Storage::SetString(const char* key, const char* text)
{
    if (!text) text = "";
    return SetValue(key, kKindString, text, std::strlen(text) + 1);
}

bool CQWF_Storage::SetString(const char* key, const CQWF_String& text)
{
    return SetValue(key, kKindString, text.GetBuffer(), text.GetLength() + 1);
}

bool CQWF_Storage::SetBinary(const char* key, const void* data, size_t length)
{
    return SetValue(key, kKindBinary, data, length);
}

bool CQWF_Storage::SetValue(const char* key, uint8_t kind, const void* value, size_t length)
{
    ClearError();
    if (kind == kKindFolder) return CreateFolder(key);
    if (!CheckWritable()) return false;
    if (!key || kind > kKindDouble || (!value && (length || FixedValueSize(kind)))) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    // The value as stored: integers and doubles big-endian.
    uint8_t fixed[8];
    const uint8_t* bytes = static_cast<const uint8_t*>(value);
    size_t fixedSize = FixedValueSize(kind);
    if (fixedSize) {
        uint64_t bits = 0;
        switch (kind) {
        case kKindByte: bits = *static_cast<const uint8_t*>(value); break;
        case kKindWord: { uint16_t v; std::memcpy(&v, value, 2); bits = v; break; }
        case kKindDWord: { uint32_t v; std::memcpy(&v, value, 4); bits = v; break; }
        default: std::memcpy(&bits, value, 8); break;
        }
        qwf::PutBE64(fixed, bits << (64 - 8 * fixedSize));  // the value's bytes first
        bytes = fixed;
        length = fixedSize;
    } else if (length > 0xFFFFFFFFu - 0x20000u ||
               (kind == kKindString && (length == 0 || bytes[length - 1] != 0))) {
        // Texts carry their NUL (the reader refuses them otherwise); lengths are 32-bit.
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    size_t keyLen = std::strlen(key);
    uint32_t node = m_index.Find(key, keyLen);
    if (node == kNoNode) return Append(key, kind, bytes, length);
    if (m_index.At(node)->kind == kind) {
        bool fits = false;
        if (!Overwrite(node, bytes, length, fits)) return false;
        if (fits) return true;
    }
    // The new entry is appended first and the old one (with everything beneath it) marked
    // deleted after it: a write that fails (no memory, a full disk) keeps the old value. The
    // file ends up with the same bytes as when the old entry is marked first.
    size_t older = m_index.Count();
    CQWF_Mem marks;
    if (!marks.AllocZeroed(older)) {
        SetError(marks.GetError());
        return false;
    }
    if (!Append(key, kind, bytes, length)) return false;
    if (!DeleteKey(key, keyLen, older, marks)) {
        // Take the new entry back; the old value stays as far as its marks were not written.
        int16_t code = GetError();
        if (m_index.Count() > older) {
            uint32_t fresh = static_cast<uint32_t>(older);
            const uint8_t deleted = kKindDeleted;
            if (WriteAt(m_index.At(fresh)->offset + 4, &deleted, 1) && FlushFile()) {
                m_index.At(fresh)->live = 0;
                m_index.At(fresh)->kind = kKindDeleted;
                m_index.Unlink(fresh);
            }
        }
        SetError(code);
        return false;
    }
    return true;
}

bool CQWF_Storage::Overwrite(uint32_t node, const uint8_t* value, size_t valueLength, bool& fits)
{
    fits = false;
    Node* n = m_index.At(node);
    uint8_t head[kEntryHead];
    if (!ReadAt(n->offset, head, sizeof(head))) return false;
    uint64_t rest = GetBE32(head);
    uint16_t nameLen = GetBE16(head + 13);
    if (head[4] != n->kind || rest < kMinRest + nameLen || n->offset + 4 + rest > m_dataEnd) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    uint64_t pos = n->offset + kEntryHead + nameLen;
    uint64_t room = rest - kMinRest - nameLen;
    if (FixedValueSize(n->kind)) {
        if (room < valueLength) return true;  // a damaged entry: append anew
        if (!WriteAt(pos, value, valueLength) || !FlushFile()) return false;
    } else {
        if (room < 4) return true;
        uint8_t lenBytes[4];
        if (!ReadAt(pos, lenBytes, 4)) return false;
        // The stored length bounds what may be written in place (never past the entry).
        uint64_t stored = GetBE32(lenBytes);
        if (stored > room - 4) stored = room - 4;
        if (valueLength > stored) return true;
        CQWF_Mem buf;
        if (!buf.Alloc(4 + valueLength)) {
            SetError(buf.GetError());
            return false;
        }
        PutBE32(buf.GetData(), static_cast<uint32_t>(valueLength));
        if (valueLength) std::memcpy(buf.GetData() + 4, value, valueLength);
        if (!WriteAt(pos, buf.GetData(), buf.GetSize()) || !FlushFile()) return false;
    }
    m_modified = 1;
    fits = true;
    return true;
}

bool CQWF_Storage::Append(const char* key, uint8_t kind, const uint8_t* value, size_t valueLength)
{
    size_t keyLen = std::strlen(key);
    if (!KeyPartsValid(key, keyLen)) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    size_t cut = keyLen;
    while (cut > 0 && key[cut - 1] != '>') --cut;
    const char* name = key + cut;
    size_t nameLen = keyLen - cut;
    if (nameLen == 0 || nameLen > 0xFFFF) {
        SetError(QWF_ERR_ARGUMENT);
        return false;
    }
    uint32_t parentNode = kNoNode;
    uint32_t parentId = kTopId;
    if (cut > 0) {
        parentNode = m_index.Find(key, cut - 1);
        if (parentNode == kNoNode || m_index.At(parentNode)->kind != kKindFolder) {
            SetError(QWF_ERR_STORAGE_PARENT);
            return false;
        }
        parentId = m_index.At(parentNode)->id;
    }
    // Ids 1..0xFFFFFFFE; 0xFFFFFFFF names the top level.
    if (m_lastId >= kTopId - 1 || m_entryCount == 0xFFFFFFFFu) {
        SetError(QWF_ERR_STORAGE_DIGEST);
        return false;
    }
    uint64_t valueBytes = (kind == kKindString || kind == kKindBinary) ? 4 + valueLength
                                                                        : valueLength;
    // Fits 32 bits: names have at most 0xFFFF bytes, values (SetValue) 0x20000 bytes less.
    const uint64_t rest = kMinRest + nameLen + valueBytes;
    // Room in the directory first, so nothing can fail after the file changed.
    if (!m_index.ReserveForOne(nameLen)) return IndexFailed();

    CQWF_Mem buf;
    size_t total = static_cast<size_t>(4 + rest + 8);
    if (!buf.Alloc(total)) {
        SetError(buf.GetError());
        return false;
    }
    uint8_t* p = buf.GetData();
    uint32_t id = m_lastId + 1;
    PutBE32(p, static_cast<uint32_t>(rest));
    p[4] = kind;
    PutBE32(p + 5, parentId);
    PutBE32(p + 9, id);
    PutBE16(p + 13, static_cast<uint16_t>(nameLen));
    std::memcpy(p + kEntryHead, name, nameLen);
    uint8_t* v = p + kEntryHead + nameLen;
    if (kind == kKindString || kind == kKindBinary) {
        PutBE32(v, static_cast<uint32_t>(valueLength));
        v += 4;
    }
    if (valueLength) std::memcpy(v, value, valueLength);
    std::memcpy(p + total - 8, kMagic, 8);

    // The entry and a new trailer go where the old trailer stood; the header count follows
    // only once they are on disk, so a failure leaves the old package readable.
    uint64_t at = m_dataEnd;
    if (!WriteAt(at, p, total) || !FlushFile()) {
        SealEnd(at);
        return false;
    }
    uint8_t head[8];
    PutBE32(head, m_entryCount + 1);
    PutBE32(head + 4, id);
    if (!WriteAt(24, head, 8) || !FlushFile()) {
        int16_t code = GetError();
        PutBE32(head, m_entryCount);
        PutBE32(head + 4, m_lastId);
        if (WriteAt(24, head, 8)) FlushFile();
        SealEnd(at);
        SetError(code);
        return false;
    }
    m_entryCount += 1;
    m_lastId = id;
    m_dataEnd = at + 4 + rest;
    m_modified = 1;
    // Whatever lay beyond the new trailer (the rest of an earlier failed append) goes.
    if (m_end > m_dataEnd + 8) SealEnd(m_dataEnd);
    m_end = std::max(m_end, m_dataEnd + 8);
    uint32_t node = m_index.Add(parentNode, reinterpret_cast<const uint8_t*>(name), nameLen, at,
                                id, kind);
    if (node != kNoNode) m_index.Link(node);
    return true;
}

// Ends the package with a whole trailer at `trailer` (where the entries end) and cuts the file
// there: after a failed append the file may end in a partial entry, which the header count does
// not reach; a trailer left anywhere else would be broken by the next, shorter append. When the
// file cannot be cut, a trailer also goes at its very end, so that it still opens.
void CQWF_Storage::SealEnd(uint64_t trailer)
{
    int16_t code = GetError();
    m_modified = 1;
    if (WriteAt(trailer, kMagic, 8) && FlushFile() && m_file->Truncate(static_cast<int64_t>(trailer + 8))) {
        m_end = trailer + 8;
    } else {
        const int64_t size = m_file->GetSize();
        uint64_t end = size < 0 ? m_end : static_cast<uint64_t>(size);
        if (end < trailer + 8) end = trailer + 8;
        if (WriteAt(end - 8, kMagic, 8) && FlushFile()) m_end = end;
    }
    SetError(code);
}

bool CQWF_Storage::Delete(const char* key)
{
    ClearError();
    if (!CheckWritable()) return false;
    size_t keyLen = key ? std::strlen(key) : 0;
    if (!key || m_index.Find(key, keyLen) == kNoNode) {
        SetError(QWF_ERR_STORAGE_NO_KEY);
        return false;
    }
    CQWF_Mem marks;
    if (!marks.AllocZeroed(m_index.Count())) {
        SetError(marks.GetError());
        return false;
    }
    return DeleteKey(key, keyLen, m_index.Count(), marks);
}

// Marks the entry of every live key that equals the key or lies beneath it as deleted, among
// the first `nodeLimit` nodes (a rewrite leaves out the entry it has just appended); `marks`
// holds nodeLimit zero bytes. Nodes come in creation order, so a node's parent is decided
// before the node itself.
bool CQWF_Storage::DeleteKey(const char* key, size_t keyLen, size_t nodeLimit, CQWF_Mem& marks)
{
    nodeLimit = std::min({nodeLimit, m_index.Count(), marks.GetSize()});
    uint8_t* in = marks.GetData();
    const uint64_t h = CQWF_KeyIndex::HashKey(key, keyLen);
    const uint8_t deleted = kKindDeleted;
    bool ok = true;
    for (size_t i = 0; i < nodeLimit && ok; ++i) {
        Node* n = m_index.At(static_cast<uint32_t>(i));
        if (!n->live) continue;
        bool hit = (n->parent != kNoNode && in[n->parent]) ||
                   (n->hash == h && m_index.KeyEquals(static_cast<uint32_t>(i), key, keyLen));
        if (!hit) continue;
        if (!WriteAt(n->offset + 4, &deleted, 1)) {
            SetError(QWF_ERR_STORAGE_DIGEST);
            ok = false;
            break;
        }
        in[i] = 1;
        n->live = 0;
        n->kind = kKindDeleted;
        m_index.Unlink(static_cast<uint32_t>(i));
    }
    m_modified = 1;
    if (!FlushFile()) return false;
    return ok;
}
