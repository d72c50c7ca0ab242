// The key index of a resource package: one node per entry, in creation order (a parent always
// before its children), with a chained hash over whole keys. Keys are not stored whole: a node
// holds its own name and its parent node, so deep trees cost memory in proportion to the package.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

class CQWF_KeyIndex : public CQWF_ErrorManager {
public:
    struct Node {
        uint64_t offset;   // entry offset in the package
        uint64_t hash;     // hash of the whole key
        uint64_t keyLen;   // length of the whole key
        uint64_t nameOff;  // name bytes in the name arena
        uint32_t parent;   // parent node, kNoNode at the top
        uint32_t next;     // next node in the same hash bucket
        uint32_t id;       // the entry's own id
        uint16_t nameLen;
        uint8_t kind;
        uint8_t live;      // 0 once deleted
        uint8_t linked;    // in the hash (a duplicate key of a damaged package is not)
    };
    static constexpr uint32_t kNoNode = 0xFFFFFFFFu;

    void Clear();
    // Room for `count` nodes, `extra` more name bytes, one more node of nameLen bytes (with its
    // hash table), and a hash table at most half full. False (error set) when memory runs out.
    bool ReserveNodes(size_t count);
    bool ReserveNames(size_t extra);
    bool ReserveForOne(size_t nameLen);
    bool GrowBuckets();
    // A new node below `parent` (kNoNode at the top), not yet in the hash; kNoNode on failure.
    uint32_t Add(uint32_t parent, const uint8_t* name, size_t nameLen, uint64_t offset,
                 uint32_t id, uint8_t kind);
    void Link(uint32_t node);
    void Unlink(uint32_t node);
    // The linked node of a whole key, kNoNode when there is none.
    uint32_t Find(const char* key, size_t keyLen) const;
    // A linked node other than `node` with the same key, kNoNode when there is none.
    uint32_t FindEqualLinked(uint32_t node) const;
    bool KeyEquals(uint32_t node, const char* key, size_t keyLen) const;
    static uint64_t HashKey(const char* key, size_t keyLen);

    Node* At(uint32_t i) const { return reinterpret_cast<Node*>(m_nodes.GetData()) + i; }
    size_t Count() const { return m_nodeCount; }

private:
    bool NodesEqual(uint32_t a, uint32_t b) const;

    CQWF_Mem m_nodes;
    size_t m_nodeCount = 0;
    size_t m_nodeCapacity = 0;
    CQWF_Mem m_names;
    size_t m_namesUsed = 0;
    CQWF_Mem m_buckets;  // uint32 node indices, power-of-two count
    size_t m_bucketCount = 0;
    size_t m_liveCount = 0;
};
