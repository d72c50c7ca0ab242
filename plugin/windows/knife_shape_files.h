// One knife shape in a file of its own: the ".qwjh" package (read and written), the older fixed
// 53-byte file (read only), and the shape's curve drawn along a vertical edge as Encapsulated
// PostScript or Adobe Illustrator 3. The system's file dialogs open the files; these functions
// get the opened file, report a failure themselves through the message sink and return false.
// The writers need the file open for reading and writing (mode 4): the package reads itself back
// for its digest. The dialog writes a new file that takes the chosen one's place only when the
// writer succeeded, so a failed writer leaves an earlier file of that name as it was.
#pragma once

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_storage.h"
#include "plugin/main/layout_model.h"
#include "plugin/windows/shape_messages.h"

#include <cstddef>
#include <cstdint>

namespace knife_file {
inline constexpr const char* kVersion = "Quarrow. Jigcrafter Shape 2.0";
inline constexpr const char* kOldMagic = "Quarrow. Jigcrafter Shape 1.2";
inline constexpr size_t kOldMagicLength = 29;
inline constexpr size_t kOldSize = 53;
// Larger files are no knife shapes (a full current-format shape takes about 4 KB).
inline constexpr int64_t kMaxSize = int64_t{1} << 24;
// The values the shape editor can give a node, in edge lengths: a node inserted at a corner of
// the Cutter's preview (376 x 200) at 1:4 lies up to 4.4 across the edge and 1.8 before or
// beyond its ends, a dragged one within that; the smoothness control gives 0 to 1. A file with
// a value outside these is refused: its curve would run far beyond any picture.
inline constexpr double kMaxAcross = 5.0;   // |H|
inline constexpr double kMinAlong = -2.0;   // U
inline constexpr double kMaxAlong = 3.0;
inline constexpr double kMaxSmoothness = 1.0;  // S, from 0
}  // namespace knife_file

// Whether a node's values are ones the editor can give (the bounds above); values that are no
// numbers are not. Every reader of stored shapes (knife-shape files, the shape library and shape
// sets, the last shape of the settings) takes only such nodes.
bool IsSoundKnifeNode(double u, double h, double s);

// Reads a current-format or older file into `shape` (count, H, U, S; the selection flags stay as
// they were). On failure the shape is unchanged.
bool LoadKnifeShapeFile(CQWF_StdFile& file, KnifeShape& shape, CShapeMessageSink* messages);
// The same from bytes already in memory.
bool ParseKnifeShapeFile(const uint8_t* data, size_t size, KnifeShape& shape,
                         CShapeMessageSink* messages);
// Decodes the 53-byte older file (magic not checked here).
void DecodeOldKnifeShape(const uint8_t* data, KnifeShape& shape);

bool SaveKnifeShapeFile(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages);

// The last knife shape in the settings store: the whole shape in one value ("LastShape>Shape": the
// node count as one byte, then U, H and S of each node as big-endian doubles), and the values
// "LastShape>NodesCount", "LastShape>H%d", "LastShape>U%d", "LastShape>S%d" (0-based) that
// stores held before it. ReadLastShape takes the one value when it is there, else the separate
// values (a count above 64 is read as 64; every node selected); false, the shape unchanged, when
// neither holds a whole shape whose nodes a knife-shape file may hold. WriteLastShape writes the
// one value first, so that a write stopped anywhere leaves the earlier shape or the new one;
// false when a write failed.
bool ReadLastShape(CQWF_Storage& prefs, KnifeShape& shape);
bool WriteLastShape(CQWF_Storage& prefs, const KnifeShape& shape);

// The drawing of the shape: Encapsulated PostScript (eps) or Illustrator 3 text, numbers in the
// C locale. False when the curve cannot be built (or memory runs out).
bool BuildKnifeShapeDrawing(const KnifeShape& shape, bool eps, CQWF_Mem& text, size_t& length);
bool WriteKnifeShapeEPS(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages);
bool WriteKnifeShapeAI(CQWF_StdFile& file, const KnifeShape& shape, CShapeMessageSink* messages);
