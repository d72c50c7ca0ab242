#include "framework/core/qwf_keyindex.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

uint64_t HashBytes(uint64_t h, const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= kFnvPrime;
    }
    return h;
}

uint64_t HashByte(uint64_t h, uint8_t b)
{
    h ^= b;
    return h * kFnvPrime;
}
}  // namespace

void CQWF_KeyIndex::Clear()
{
    m_nodes.Free();
    m_nodeCount = 0;
    m_nodeCapacity = 0;
    m_names.Free();
    m_namesUsed = 0;
    m_buckets.Free();
    m_bucketCount = 0;
    m_liveCount = 0;
}

bool CQWF_KeyIndex::ReserveNodes(size_t count)
{
    if (count <= m_nodeCapacity) return true;
    if (count >= kNoNode) {
        SetError(QWF_ERR_MEMORY);
        return false;
    }
    // Capacities double from 16 and stay below kNoNode.
    const size_t want = std::min<size_t>(std::max<size_t>(std::bit_ceil(count), m_nodeCapacity ? m_nodeCapacity : 16), kNoNode - 1);
    if (!m_nodes.Resize(want * sizeof(Node))) {
        SetError(m_nodes.GetError());
        return false;
    }
    m_nodeCapacity = want;
    return true;
}

bool CQWF_KeyIndex::ReserveNames(size_t extra)
{
    size_t need = m_namesUsed + extra;
    if (need <= m_names.GetSize()) return true;
    const size_t want = std::max<size_t>(std::bit_ceil(need), m_names.GetSize() ? m_names.GetSize() : 256);
    if (!m_names.Resize(want)) {
        SetError(m_names.GetError());
        return false;
    }
    return true;
}

bool CQWF_KeyIndex::GrowBuckets()
{
    // Keep the table at most half full.
    if (m_bucketCount >= 64 && m_nodeCount * 2 <= m_bucketCount) return true;
    size_t want = m_bucketCount ? m_bucketCount : 64;
    while (want < m_nodeCount * 2) want *= 2;
    CQWF_Mem fresh;
    if (!fresh.Alloc(want * sizeof(uint32_t))) {
        SetError(fresh.GetError());
        return false;
    }
    std::memset(fresh.GetData(), 0xFF, want * sizeof(uint32_t));
    m_buckets.Swap(fresh);
    m_bucketCount = want;
    size_t linked = m_liveCount;
    for (size_t i = 0; i < m_nodeCount; ++i) {
        Node* n = At(static_cast<uint32_t>(i));
        if (n->linked) {
            n->linked = 0;
            Link(static_cast<uint32_t>(i));
        }
    }
    m_liveCount = linked;
    return true;
}

bool CQWF_KeyIndex::ReserveForOne(size_t nameLen)
{
    if (!ReserveNodes(m_nodeCount + 1) || !ReserveNames(nameLen)) return false;
    size_t saved = m_nodeCount;
    m_nodeCount = saved + 1;  // size the table for the node about to come
    bool ok = GrowBuckets();
    m_nodeCount = saved;
    return ok;
}

uint32_t CQWF_KeyIndex::Add(uint32_t parent, const uint8_t* name, size_t nameLen,
                               uint64_t offset, uint32_t id, uint8_t kind)
{
    if (!ReserveForOne(nameLen)) return kNoNode;
    uint32_t index = static_cast<uint32_t>(m_nodeCount++);
    Node* n = At(index);
    n->offset = offset;
    n->parent = parent;
    n->next = kNoNode;
    n->id = id;
    n->nameLen = static_cast<uint16_t>(nameLen);
    n->kind = kind;
    n->live = 1;
    n->linked = 0;
    n->nameOff = m_namesUsed;
    if (nameLen) std::memcpy(m_names.GetData() + m_namesUsed, name, nameLen);
    m_namesUsed += nameLen;
    if (parent == kNoNode) {
        n->hash = HashBytes(kFnvOffset, name, nameLen);
        n->keyLen = nameLen;
    } else {
        const Node* p = At(parent);
        n->hash = HashBytes(HashByte(p->hash, '>'), name, nameLen);
        n->keyLen = p->keyLen + 1 + nameLen;
    }
    return index;
}

void CQWF_KeyIndex::Link(uint32_t node)
{
    Node* n = At(node);
    uint32_t* buckets = reinterpret_cast<uint32_t*>(m_buckets.GetData());
    size_t b = static_cast<size_t>(n->hash) & (m_bucketCount - 1);
    n->next = buckets[b];
    buckets[b] = node;
    n->linked = 1;
    ++m_liveCount;
}

void CQWF_KeyIndex::Unlink(uint32_t node)
{
    Node* n = At(node);
    if (!n->linked) return;
    uint32_t* buckets = reinterpret_cast<uint32_t*>(m_buckets.GetData());
    size_t b = static_cast<size_t>(n->hash) & (m_bucketCount - 1);
    uint32_t* link = &buckets[b];
    while (*link != kNoNode) {
        if (*link == node) {
            *link = n->next;
            break;
        }
        link = &At(*link)->next;
    }
    n->next = kNoNode;
    n->linked = 0;
    --m_liveCount;
}

bool CQWF_KeyIndex::KeyEquals(uint32_t node, const char* key, size_t keyLen) const
{
    const Node* n = At(node);
    if (n->keyLen != keyLen) return false;
    // Compare from the end: the node's own name, then ">" and the parent's name, and so on.
    size_t pos = keyLen;
    uint32_t cur = node;
    while (true) {
        const Node* c = At(cur);
        if (pos < c->nameLen) return false;
        pos -= c->nameLen;
        if (c->nameLen &&
            std::memcmp(key + pos, m_names.GetData() + c->nameOff, c->nameLen) != 0) {
            return false;
        }
        if (c->parent == kNoNode) return pos == 0;
        if (pos == 0 || key[pos - 1] != '>') return false;
        --pos;
        cur = c->parent;
    }
}

bool CQWF_KeyIndex::NodesEqual(uint32_t a, uint32_t b) const
{
    const Node* na = At(a);
    const Node* nb = At(b);
    if (na->keyLen != nb->keyLen || na->hash != nb->hash) return false;
    // Walk both keys backwards one byte at a time; names need not split alike.
    uint32_t ca = a, cb = b;
    size_t pa = na->nameLen, pb = nb->nameLen;
    // The previous byte of a key: its name's bytes, '>' between names, -1 before the first.
    auto previous = [this](uint32_t& node, size_t& pos) -> int {
        if (pos > 0) return m_names.GetData()[At(node)->nameOff + --pos];
        if (At(node)->parent == kNoNode) return -1;
        node = At(node)->parent;
        pos = At(node)->nameLen;
        return '>';
    };
    while (true) {
        const int ba = previous(ca, pa);
        const int bb = previous(cb, pb);
        if (ba != bb) return false;
        if (ba < 0) return true;
    }
}

uint64_t CQWF_KeyIndex::HashKey(const char* key, size_t keyLen)
{
    return HashBytes(kFnvOffset, reinterpret_cast<const uint8_t*>(key), keyLen);
}

uint32_t CQWF_KeyIndex::Find(const char* key, size_t keyLen) const
{
    if (!m_bucketCount || !key) return kNoNode;
    const uint64_t h = HashKey(key, keyLen);
    const uint32_t* buckets = reinterpret_cast<const uint32_t*>(m_buckets.GetData());
    uint32_t i = buckets[static_cast<size_t>(h) & (m_bucketCount - 1)];
    while (i != kNoNode) {
        const Node* n = At(i);
        if (n->hash == h && KeyEquals(i, key, keyLen)) return i;
        i = n->next;
    }
    return kNoNode;
}

uint32_t CQWF_KeyIndex::FindEqualLinked(uint32_t node) const
{
    const Node* n = At(node);
    const uint32_t* buckets = reinterpret_cast<const uint32_t*>(m_buckets.GetData());
    uint32_t i = buckets[static_cast<size_t>(n->hash) & (m_bucketCount - 1)];
    while (i != kNoNode) {
        if (i != node && NodesEqual(i, node)) return i;
        i = At(i)->next;
    }
    return kNoNode;
}
