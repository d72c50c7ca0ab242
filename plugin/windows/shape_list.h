// Shape lists: knife shapes kept as readable text (the built-in set "DefSet" in skin/shapes),
// turned into library records and into the ".qwjk" shape-set value the resource package holds.
//
//   # comment
//   shape "Classic Round Tab"
//     0.420   0.000   0.50      one node per line: U, H, S (numbers in the C locale)
//   end
//
// U and S lie in 0..1, H in -3..3; a shape has at most 64 nodes and a name of 1..63 characters.
#pragma once

#include "framework/core/qwf_file.h"
#include "framework/core/qwf_mem.h"
#include "framework/core/qwf_string.h"

#include <cstddef>

// Parses the text into library records (836 bytes each). On failure `error` names the line.
bool ParseShapeList(const char* text, size_t length, CQWF_Mem& records, size_t& count,
                    CQWF_String& error);
// Writes the shapes of the text as a shape set on a file opened for reading and writing.
bool WriteShapeListSet(const char* text, size_t length, CQWF_StdFile& file, CQWF_String& error);
// Reads a shape-list file and writes it as a shape-set file (Windows-style paths); the skin
// compiler stores the result as the package entry "DefSet".
bool BuildShapeSetFile(const char* listPath, const char* setPath, CQWF_String& error);
