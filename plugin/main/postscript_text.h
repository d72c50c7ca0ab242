// The text of PostScript and Adobe Illustrator 3 files: a growing buffer whose numbers are
// always formatted in the C locale, and the prolog and trailer every Illustrator 3 file of the
// filter carries around its paths.
#pragma once

#include <cstddef>

#include "framework/core/qwf_mem.h"

class CPostScriptText {
public:
    void Raw(const char* text, size_t n);
    void Add(const char* text);
    // printf-style, in the C locale.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // False for good once memory ran out.
    bool Ok() const { return m_ok; }
    CQWF_Mem& Text() { return m_text; }
    size_t Length() const { return m_used; }

private:
    bool Reserve(size_t extra);

    CQWF_Mem m_text;
    size_t m_used = 0;
    bool m_ok = true;
};

namespace qwps {
// From "%%DocumentNeededResources:" to "%%EndSetup": the procedure sets the file needs, their
// inclusion and initialisation. The caller writes the lines before (version, creator, boxes).
void IllustratorProlog(CPostScriptText& out);
// From "%%PageTrailer" to the procedure sets' termination (the caller ends with "%%EOF").
void IllustratorTrailer(CPostScriptText& out);
}  // namespace qwps
