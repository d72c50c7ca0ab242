// The entries the skin compiler writes, collected in order and written as one resource package.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/skinc/skin_canvas.h"
#include "tools/skinc/skin_source.h"

namespace skinc {

struct PackageEntry {
    std::string key;
    uint8_t kind = 0;            // package kinds: 0 folder, 1 byte, 2 word, 3 dword, 4 text, 5 blob, 6 double
    std::vector<uint8_t> value;  // the value as the package stores it (blobs: the stored bytes)
    Where where;
    // Image elements also keep what they show (for previews): rectangle and RGBA planes.
    bool image = false;
    Rect rect;
    std::vector<uint8_t> planes;
};

class PackageBuilder {
public:
    explicit PackageBuilder(Diagnostics& diag) : m_diag(diag) {}

    // Every folder on the key's path (the key itself included) as a folder entry.
    void Folder(const std::string& key, const Where& where);
    void Byte(const std::string& key, uint8_t v, const Where& where);
    void Word(const std::string& key, uint16_t v, const Where& where);
    void DWord(const std::string& key, uint32_t v, const Where& where);
    void Double(const std::string& key, double v, const Where& where);
    void Text(const std::string& key, const std::string& text, const Where& where);
    // A blob stored as given, or packed into a compressed block first.
    void Blob(const std::string& key, const std::vector<uint8_t>& bytes, bool compress, const Where& where);
    // An image element: the rectangle (16-bit big-endian left, top, right, bottom) and the
    // red, green, blue and alpha planes, packed into a compressed block.
    void Element(const std::string& key, const Canvas& canvas, const Where& where);
    void Element(const std::string& key, const Rect& rect, const std::vector<uint8_t>& planes, const Where& where);
    // A mask element: the rectangle and one byte per pixel, packed.
    void MaskElement(const std::string& key, const Rect& rect, const std::vector<uint8_t>& mask, const Where& where);

    const std::vector<PackageEntry>& Entries() const { return m_entries; }
    const PackageEntry* Find(const std::string& key) const;

    // Writes the package file (through a temporary file next to it, renamed at the end). False
    // with an error message when it cannot be written.
    bool Write(const std::string& hostPath);

private:
    PackageEntry* Add(const std::string& key, uint8_t kind, const Where& where);

    Diagnostics& m_diag;
    std::vector<PackageEntry> m_entries;
    std::map<std::string, size_t> m_index;
};

// Packs bytes into a compressed block (zlib level 9).
std::vector<uint8_t> Pack(const std::vector<uint8_t>& bytes);

}  // namespace skinc
