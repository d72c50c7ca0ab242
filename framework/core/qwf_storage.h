// The resource package: a tree of named, typed values addressed by key paths ("A>B>C").
//
// Layout (all integers big-endian):
//   0   8  magic "QWCPSv40" ("QWCPSv4S": indexed variant, read only)
//   8  16  MD5 digest of bytes 24..end
//   24  4  entry count (deleted entries included)
//   28  4  last id given
//   32     entries: u32 size of the rest, u8 kind, u32 parent id (0xFFFFFFFF: top level),
//          u32 own id, u16 name length, name, value
//   end-8  trailer "QWCPSv40"
// Opened read-only from memory, or from a file (read-only or read-write). Values are appended;
// a changed value is overwritten in place when it fits, otherwise the old entry is marked
// deleted (kind 99) and a new one appended.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_keyindex.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

class CQWF_StdFile;

class CQWF_Storage : public CQWF_FrameWork {
public:
    // Entry kinds.
    static constexpr uint8_t kKindFolder = 0;
    static constexpr uint8_t kKindByte = 1;
    static constexpr uint8_t kKindWord = 2;
    static constexpr uint8_t kKindDWord = 3;
    static constexpr uint8_t kKindString = 4;
    static constexpr uint8_t kKindBinary = 5;
    static constexpr uint8_t kKindDouble = 6;
    static constexpr uint8_t kKindDeleted = 99;
    // GetKind's answer for a key that is not in the package.
    static constexpr uint8_t kKindMissing = 199;

    // Open modes: 1 read-only, 2 new (an existing file is emptied), any other read-write.
    static constexpr int16_t kModeRead = 1;
    static constexpr int16_t kModeCreate = 2;
    static constexpr int16_t kModeReadWrite = 3;

    static constexpr size_t kHeaderSize = 32;
    static constexpr size_t kEmptySize = 40;

    CQWF_Storage();
    ~CQWF_Storage() override;

    CQWF_Storage(const CQWF_Storage&) = delete;
    CQWF_Storage& operator=(const CQWF_Storage&) = delete;

    // --- opening and closing (each open closes first and clears the error) ---
    // Read-only over caller memory, which must outlive the package object.
    bool OpenMemory(const void* data, size_t length);
    bool OpenMemory(const CQWF_Mem& block);
    // Windows-style path; the package owns the file it opens.
    bool OpenFile(const char* path, int16_t mode);
    bool OpenFile(const CQWF_String& path, int16_t mode) { return OpenFile(path.GetBuffer(), mode); }
    // On a file the caller opened and keeps owning.
    bool OpenStdFile(CQWF_StdFile* file, int16_t mode);
    // Rewrites the digest of a changed file, then closes. False (package still open) when the
    // digest cannot be written.
    bool Close();

    bool IsOpen() const { return m_open != 0; }
    bool IsReadOnly() const { return m_mode == kModeRead; }
    bool IsIndexed() const { return m_indexed != 0; }
    uint32_t GetEntryCount() const { return m_entryCount; }
    uint32_t GetLastId() const { return m_lastId; }

    // Digest check of a whole package held in memory: 113 when 24 bytes or shorter, 112 when
    // the digest differs.
    bool VerifyChecksum(const void* data, size_t length);
    // The same over a file (an empty file passes).
    bool VerifyFile(const char* path);
    bool VerifyFile(const CQWF_String& path) { return VerifyFile(path.GetBuffer()); }

    // --- reading: the out value is left unchanged on failure ---
    uint8_t GetKind(const char* key);
    bool GetByte(const char* key, uint8_t& out);
    bool GetWord(const char* key, uint16_t& out);
    bool GetDWord(const char* key, uint32_t& out);
    bool GetDouble(const char* key, double& out);
    bool GetString(const char* key, CQWF_String& out);
    bool GetBinary(const char* key, CQWF_Mem& out);

    uint8_t GetKind(const CQWF_String& key) { return GetKind(key.GetBuffer()); }
    bool GetByte(const CQWF_String& key, uint8_t& out) { return GetByte(key.GetBuffer(), out); }
    bool GetWord(const CQWF_String& key, uint16_t& out) { return GetWord(key.GetBuffer(), out); }
    bool GetDWord(const CQWF_String& key, uint32_t& out) { return GetDWord(key.GetBuffer(), out); }
    bool GetDouble(const CQWF_String& key, double& out) { return GetDouble(key.GetBuffer(), out); }
    bool GetString(const CQWF_String& key, CQWF_String& out) { return GetString(key.GetBuffer(), out); }
    bool GetBinary(const CQWF_String& key, CQWF_Mem& out) { return GetBinary(key.GetBuffer(), out); }

    // --- writing (file packages opened for writing only; 115 otherwise) ---
    bool CreateFolder(const char* key);
    // Kinds 1-6 (0 creates a folder). The value points at a native uint8_t, uint16_t, uint32_t
    // or double for kinds 1, 2, 3, 6 (stored big-endian); at `length` bytes for kinds 4 and 5
    // (a text's bytes end with its NUL).
    bool SetValue(const char* key, uint8_t kind, const void* value, size_t length);
    bool SetByte(const char* key, uint8_t value);
    bool SetWord(const char* key, uint16_t value);
    bool SetDWord(const char* key, uint32_t value);
    bool SetDouble(const char* key, double value);
    bool SetString(const char* key, const char* text);
    bool SetString(const char* key, const CQWF_String& text);
    bool SetBinary(const char* key, const void* data, size_t length);
    // Marks the key and everything beneath it deleted.
    bool Delete(const char* key);

    bool CreateFolder(const CQWF_String& key) { return CreateFolder(key.GetBuffer()); }
    bool SetValue(const CQWF_String& key, uint8_t kind, const void* value, size_t length)
    {
        return SetValue(key.GetBuffer(), kind, value, length);
    }
    bool SetByte(const CQWF_String& key, uint8_t value) { return SetByte(key.GetBuffer(), value); }
    bool SetWord(const CQWF_String& key, uint16_t value) { return SetWord(key.GetBuffer(), value); }
    bool SetDWord(const CQWF_String& key, uint32_t value) { return SetDWord(key.GetBuffer(), value); }
    bool SetDouble(const CQWF_String& key, double value) { return SetDouble(key.GetBuffer(), value); }
    bool SetString(const CQWF_String& key, const CQWF_String& text) { return SetString(key.GetBuffer(), text); }
    bool SetString(const CQWF_String& key, const char* text) { return SetString(key.GetBuffer(), text); }
    bool SetBinary(const CQWF_String& key, const void* data, size_t length)
    {
        return SetBinary(key.GetBuffer(), data, length);
    }
    bool Delete(const CQWF_String& key) { return Delete(key.GetBuffer()); }

    // Splits at the last ">": "A>B>C" gives "A>B" and "C"; without ">" the parent is empty.
    static bool SplitKey(const CQWF_String& key, CQWF_String& parent, CQWF_String& name);

private:
    using Node = CQWF_KeyIndex::Node;
    static constexpr uint32_t kNoNode = CQWF_KeyIndex::kNoNode;

    bool OpenFromFile(int16_t mode);
    bool LoadBytes(const uint8_t* data, size_t length, bool indexed);
    bool WalkEntries(const uint8_t* data, size_t length);
    bool ReadIndex(const uint8_t* data, size_t length);
    void ReleaseAll();

    // A failed change of the key index: its error becomes the package's.
    bool IndexFailed();

    // Raw access to the package bytes (memory or file), bounded by the package size.
    bool ReadAt(uint64_t position, void* buffer, size_t count);
    bool WriteAt(uint64_t position, const void* buffer, size_t count);
    bool FlushFile();
    // Finds a key's value: checks the kind and that the value lies inside its entry.
    bool LocateValue(const char* key, uint8_t kind, uint64_t& valuePos, uint64_t& valueRoom);
    bool ReadFixed(const char* key, uint8_t kind, uint8_t* bytes);
    bool ReadSized(const char* key, uint8_t kind, CQWF_Mem& bytes);

    bool CheckWritable();
    bool Append(const char* key, uint8_t kind, const uint8_t* value, size_t valueLength);
    bool Overwrite(uint32_t node, const uint8_t* value, size_t valueLength, bool& fits);
    bool DeleteKey(const char* key, size_t keyLen, size_t nodeLimit, CQWF_Mem& marks);
    void SealEnd(uint64_t trailer);
    bool WriteEmptyHeader();
    bool WriteDigest();

    // Memory mode.
    const uint8_t* m_memory = nullptr;
    size_t m_memoryLength = 0;
    // File mode.
    CQWF_StdFile* m_file = nullptr;
    uint8_t m_fileNotOwned = 0;

    int16_t m_mode = 0;
    uint8_t m_open = 0;
    uint8_t m_indexed = 0;
    uint8_t m_modified = 0;
    uint32_t m_entryCount = 0;
    uint32_t m_lastId = 0;
    uint64_t m_end = 0;      // size of the package
    uint64_t m_dataEnd = 0;  // where the next entry goes (the trailer's place)

    CQWF_KeyIndex m_index;
};
