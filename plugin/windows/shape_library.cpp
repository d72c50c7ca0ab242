#include "plugin/windows/shape_library.h"

#include "framework/core/qwf_storage.h"
#include "platform/qw_format.h"
#include "platform/qw_paths.h"
#include "plugin/windows/knife_shape_files.h"
#include "plugin/windows/shape_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace shape_library;
using shape_bytes::GetLE32;
using shape_bytes::GetLEFloat;
using shape_bytes::PutLE32;
using shape_bytes::PutLEFloat;

namespace {
void Report(CShapeMessageSink* messages, const char* text)
{
    if (messages)
        messages->ShowError(text);
}

size_t NameLength(const uint8_t* bytes)
{
    size_t n = 0;
    while (n < kNameMax && bytes[n])
        ++n;
    return n;
}

// Reads exactly `count` bytes from the current position.
bool ReadExactly(CQWF_StdFile& file, uint8_t* buffer, size_t count)
{
    size_t got = 0;
    while (got < count) {
        const int64_t n = file.Read(buffer + got, count - got);
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

void SetRecordName(uint8_t* record, const char* name)
{
    std::memset(record, 0, kNameBytes);
    if (!name)
        return;
    const size_t n = std::min(std::strlen(name), kNameMax);
    std::memcpy(record, name, n);
}

void GetRecordName(const uint8_t* record, CQWF_String& name)
{
    const size_t n = NameLength(record);
    if (char* text = name.SetLength(n))
        std::memcpy(text, record, n);
}

void ShapeToRecord(const KnifeShape& shape, const char* name, uint8_t* record)
{
    std::memset(record, 0, kRecordSize);
    SetRecordName(record, name);
    const int n = std::min<int>(shape.nodeCount, kKnifeMaxNodes);
    record[kCountOffset] = static_cast<uint8_t>(n);
    for (int i = 0; i < n; ++i) {
        PutLEFloat(record + kUOffset + 4 * i, static_cast<float>(shape.U[i]));
        PutLEFloat(record + kHOffset + 4 * i, static_cast<float>(shape.H[i]));
        PutLEFloat(record + kSOffset + 4 * i, static_cast<float>(shape.S[i]));
    }
}

bool RecordToShape(const uint8_t* record, KnifeShape& shape)
{
    shape = KnifeShape{};
    const int n = std::min<int>(record[kCountOffset], kKnifeMaxNodes);
    for (int i = 0; i < n; ++i) {
        const double u = GetLEFloat(record + kUOffset + 4 * i);
        const double h = GetLEFloat(record + kHOffset + 4 * i);
        const double s = GetLEFloat(record + kSOffset + 4 * i);
        if (!IsSoundKnifeNode(u, h, s)) {
            shape = KnifeShape{};
            return false;
        }
        shape.U[i] = u;
        shape.H[i] = h;
        shape.S[i] = s;
    }
    shape.nodeCount = static_cast<uint8_t>(n);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The library file

LibraryRead ReadCustomShapes(const CQWF_String& path, CQWF_Mem& block, size_t& count)
{
    count = 0;
    if (!qwp::PathExists(path.GetBuffer())) {
        block.Free();
        return LibraryRead::kMissing;
    }
    CQWF_StdFile file;
    if (!qwp::FileExists(path.GetBuffer()) || !file.Open(path, CQWF_StdFile::kModeRead))
        return LibraryRead::kUnreadable;
    const int64_t size = file.GetSize();
    if (size < 0)
        return LibraryRead::kUnreadable;
    const size_t whole = static_cast<size_t>(size) / kRecordSize;
    CQWF_Mem bytes;
    if (whole > 0 && (!bytes.Alloc(whole * kRecordSize) || file.Seek(0) < 0 ||
                      !ReadExactly(file, bytes.GetData(), whole * kRecordSize)))
        return LibraryRead::kUnreadable;
    block.Swap(bytes);
    bytes.Free();
    count = whole;
    return LibraryRead::kOk;
}

bool WriteCustomShapes(const CQWF_String& path, const uint8_t* records, size_t count)
{
    // A new file takes the old one's place in one step, once it is written whole. The library
    // is the filter's own file: a link at its name is replaced, never written through.
    CQWF_StdFile file;
    const size_t bytes = count * kRecordSize;
    return file.OpenReplacement(path, CQWF_StdFile::kModeWrite, true) &&
           (bytes == 0 || file.Write(records, bytes) == static_cast<int64_t>(bytes)) && file.Commit();
}

bool AppendCustomShape(const CQWF_String& path, const char* name, const KnifeShape& shape,
                       CShapeMessageSink* messages)
{
    CQWF_Mem block;
    size_t count = 0;
    if (ReadCustomShapes(path, block, count) == LibraryRead::kUnreadable) {
        Report(messages, shape_text::kReadError);
        return false;
    }
    if (!block.Resize((count + 1) * kRecordSize)) {
        Report(messages, shape_text::kMemory);
        return false;
    }
    ShapeToRecord(shape, name, block.GetData() + count * kRecordSize);
    if (!WriteCustomShapes(path, block.GetData(), count + 1)) {
        Report(messages, shape_text::kCannotUpdate);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Shape sets

bool BuildShapeSetValue(const uint8_t* record, CQWF_Mem& value, size_t& length)
{
    const int n = std::min<int>(record[kCountOffset], kKnifeMaxNodes);
    length = kSetValueHeader + kSetValueNode * static_cast<size_t>(n);
    if (!value.AllocZeroed(length))
        return false;
    uint8_t* v = value.GetData();
    std::memcpy(v, record, NameLength(record));
    PutLE32(v + kCountOffset, static_cast<uint32_t>(n));
    for (int i = 0; i < n; ++i) {
        uint8_t* node = v + kSetValueHeader + kSetValueNode * i;
        PutLEFloat(node, GetLEFloat(record + kUOffset + 4 * i));
        PutLEFloat(node + 4, GetLEFloat(record + kHOffset + 4 * i));
        PutLEFloat(node + 8, GetLEFloat(record + kSOffset + 4 * i));
    }
    return true;
}

namespace {
// One shape value of a set as a record; false when the value does not hold what its node count
// says, or holds values a knife-shape file may not hold.
bool SetValueToRecord(const CQWF_Mem& value, uint8_t* record)
{
    const size_t size = value.GetSize();
    const uint8_t* v = value.GetData();
    if (size < kSetValueHeader)
        return false;
    const uint32_t n = GetLE32(v + kCountOffset);
    if (n > kKnifeMaxNodes || size != kSetValueHeader + kSetValueNode * n)
        return false;
    std::memset(record, 0, kRecordSize);
    std::memcpy(record, v, NameLength(v));
    record[kCountOffset] = static_cast<uint8_t>(n);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* node = v + kSetValueHeader + kSetValueNode * i;
        const float u = GetLEFloat(node);
        const float h = GetLEFloat(node + 4);
        const float s = GetLEFloat(node + 8);
        if (!IsSoundKnifeNode(u, h, s))
            return false;
        PutLEFloat(record + kUOffset + 4 * i, u);
        PutLEFloat(record + kHOffset + 4 * i, h);
        PutLEFloat(record + kSOffset + 4 * i, s);
    }
    return true;
}
}  // namespace

bool ParseShapeSet(const uint8_t* data, size_t size, CQWF_Mem& records, size_t& count,
                   CShapeMessageSink* messages)
{
    CQWF_Storage package;
    if (!data || !package.VerifyChecksum(data, size)) {
        Report(messages, shape_text::kUnknownFormat);
        return false;
    }
    // A sound package of another kind, or one without its count, is refused without a message.
    CQWF_String version;
    uint32_t total = 0;
    if (!package.OpenMemory(data, size) || !package.GetString("Version", version) ||
        version.Compare(kSetVersion) != 0 || !package.GetDWord("TotalShapes", total))
        return false;
    if (total == 0) {
        count = 0;
        records.Free();
        return true;
    }
    // Every shape is an entry of its own: a larger total cannot be true.
    if (total > package.GetEntryCount()) {
        Report(messages, shape_text::kReadError);
        return false;
    }
    CQWF_Mem block;
    if (!block.AllocZeroed(static_cast<size_t>(total) * kRecordSize)) {
        Report(messages, shape_text::kMemory);
        return false;
    }
    CQWF_Mem value;
    char key[32];
    for (uint32_t k = 0; k < total; ++k) {
        qwp::Format(key, sizeof key, "Shape_%u", k);
        if (!package.GetBinary(key, value) ||
            !SetValueToRecord(value, block.GetData() + static_cast<size_t>(k) * kRecordSize)) {
            Report(messages, shape_text::kReadError);
            return false;
        }
    }
    records.Swap(block);
    count = total;
    return true;
}

bool WriteShapeSetFile(CQWF_StdFile& file, const uint8_t* records, size_t count,
                       const uint8_t* selected, CShapeMessageSink* messages)
{
    size_t chosen = 0;
    for (size_t i = 0; i < count; ++i)
        chosen += (!selected || selected[i]) ? 1 : 0;
    if (chosen == 0 || !records)
        return false;
    CQWF_Storage package;
    bool ok = package.OpenStdFile(&file, CQWF_Storage::kModeCreate) &&
              package.SetString("Version", kSetVersion);
    CQWF_Mem value;
    char text[64];
    uint32_t written = 0;
    for (size_t i = 0; ok && i < count; ++i) {
        if (selected && !selected[i])
            continue;
        size_t length = 0;
        ok = BuildShapeSetValue(records + i * kRecordSize, value, length);
        if (messages) {
            qwp::Format(text, sizeof text, "Writing shape %u of %zu", written + 1, chosen);
            messages->ShowStatus(text);
        }
        char key[32];
        qwp::Format(key, sizeof key, "Shape_%u", written);
        ok = ok && package.SetBinary(key, value.GetData(), length);
        ++written;
    }
    ok = ok && package.SetDWord("TotalShapes", written);
    if (ok && messages)
        messages->ShowStatus("Writing complete");
    ok = package.Close() && ok;
    if (!ok) {
        Report(messages, shape_text::kCannotWrite);
        return false;
    }
    return true;
}
