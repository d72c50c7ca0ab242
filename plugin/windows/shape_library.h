// The custom shape library "ckss.data" and the shape-set files ".qwjk".
//
// "ckss.data" holds 836-byte records back to back, no header (a remainder is ignored):
//   0-63     name, zero-terminated, at most 63 characters (byte 63 is always 0)
//   64       node count n (0..64), 65-67 zero
//   68-323   64 floats U (little-endian), only the first n meaningful
//   324-579  64 floats H
//   580-835  64 floats S
// A ".qwjk" file is a package with "Version" = "Quarrow. Jigcrafter Shape Set 2.0",
// "Shape_0" .. "Shape_<total-1>" (binary: 64-byte name, 32-bit little-endian node count n, then
// U, H, S as little-endian floats for each node: 68 + 12 n bytes) and "TotalShapes" (32-bit).
#pragma once

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"
#include "plugin/main/layout_model.h"
#include "plugin/windows/shape_messages.h"

#include <cstddef>
#include <cstdint>

namespace shape_library {
inline constexpr size_t kRecordSize = 836;
inline constexpr size_t kNameBytes = 64;
inline constexpr size_t kNameMax = 63;
inline constexpr size_t kCountOffset = 64;
inline constexpr size_t kUOffset = 68;
inline constexpr size_t kHOffset = 324;
inline constexpr size_t kSOffset = 580;
inline constexpr size_t kSetValueHeader = 68;
inline constexpr size_t kSetValueNode = 12;
inline constexpr const char* kFileName = "ckss.data";
inline constexpr const char* kSetVersion = "Quarrow. Jigcrafter Shape Set 2.0";
}  // namespace shape_library

// Fills one record (836 bytes) from a shape and a name (cut to 63 characters).
void ShapeToRecord(const KnifeShape& shape, const char* name, uint8_t* record);
// A record as a shape: a count above 64 is taken as 64; every node is unselected. False, with an
// empty shape, for a damaged record: a node whose values a knife-shape file may not hold
// (IsSoundKnifeNode).
bool RecordToShape(const uint8_t* record, KnifeShape& shape);
// The record's name: at most 63 characters, whatever byte 63 holds.
void GetRecordName(const uint8_t* record, CQWF_String& name);
void SetRecordName(uint8_t* record, const char* name);

// What became of reading "ckss.data".
enum class LibraryRead { kOk, kMissing, kUnreadable };

// Reads the whole library file into whole records (the block is emptied for an empty file).
LibraryRead ReadCustomShapes(const CQWF_String& path, CQWF_Mem& block, size_t& count);
// Replaces the library file by the records; the old file stays whole until the new one is
// written completely. False when it could not be written.
bool WriteCustomShapes(const CQWF_String& path, const uint8_t* records, size_t count);
// Appends one named shape to the library file (a missing file is an empty library; a file that
// exists but cannot be read is left alone). Reports "Memory allocation problem...",
// "Error reading data file..." or "Cannot update presets file...".
bool AppendCustomShape(const CQWF_String& path, const char* name, const KnifeShape& shape,
                       CShapeMessageSink* messages);

// Parses a shape set into whole records. "TotalShapes" = 0 is a success with no records. A set
// that is no shape set, names more shapes than it holds, or holds a shape value that does not
// match its node count (more than 64 nodes, a length other than 68 + 12 n, values a knife-shape
// file may not hold) is refused with a message; `records` is then unchanged.
bool ParseShapeSet(const uint8_t* data, size_t size, CQWF_Mem& records, size_t& count,
                   CShapeMessageSink* messages);
// The binary set value of one record (68 + 12 n bytes).
bool BuildShapeSetValue(const uint8_t* record, CQWF_Mem& value, size_t& length);
// Writes the records whose flag is set (every record when `selected` is null) as a set on a file
// opened for reading and writing. False (nothing written) when no record is chosen; "Cannot
// write file..." when a write or the close fails.
bool WriteShapeSetFile(CQWF_StdFile& file, const uint8_t* records, size_t count,
                       const uint8_t* selected, CShapeMessageSink* messages);
