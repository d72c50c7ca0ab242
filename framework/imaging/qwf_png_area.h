// The image data of a PNG picture (RGB with alpha, 8 bits) that is one colour outside an area:
// the zlib stream of its filtered rows, as CQWF_ImagePNG writes it into the IDAT chunks.
//
// A piece on its transparent canvas is mostly rows of one colour, and every row of the piece's
// band is that colour left and right of the piece. Rows of the colour alone are compressed once,
// in runs of 1, 2, 4, ... 128 rows that each start afresh and end on a byte (a full flush), so
// that any sequence of them is a valid part of a stream; the band's rows are filtered as libpng
// filters them (its adaptive choice) and compressed with zlib's run-length strategy. The stream
// is another than libpng would make of the whole picture, but it inflates to the same rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/qwf_mem.h"

struct QWF_PNGSettings;

class CQWF_PNGAreaCoder {
public:
    CQWF_PNGAreaCoder();
    ~CQWF_PNGAreaCoder();
    CQWF_PNGAreaCoder(const CQWF_PNGAreaCoder&) = delete;
    CQWF_PNGAreaCoder& operator=(const CQWF_PNGAreaCoder&) = delete;

    // Receives the stream in pieces; false stops the coding.
    using Sink = bool (*)(const uint8_t* bytes, size_t length, void* context);
    // Called between rows with the number of rows coded; false (a cancel) stops the coding.
    using Step = bool (*)(int32_t rows, void* context);
    enum class Result : uint8_t { kDone, kNoMemory, kStopped };

    // The settings as CQWF_ImagePNG::Write has checked them (an area inside the picture).
    Result Code(const QWF_PNGSettings& settings, Sink sink, Step step, void* context);

private:
    struct Stream;
    bool Ready();
    bool PrepareRuns(int32_t width, uint32_t outside);
    bool Deflate(int flush, Sink sink, void* context);
    // The steady bytes of the band's rows for the filter trials (see the source).
    void PrepareBand(const QWF_PNGSettings& settings, bool colourAbove);
    // The band row at `raw` (after its filter byte) filtered over the row above: the raw row
    // (its filter byte set to none) or one of the trials.
    const uint8_t* FilterRow(const uint8_t* raw, const uint8_t* above, size_t bytes);
    // The stream's sum after the filtered row.
    uint32_t RowSum(uint32_t sum, const uint8_t* row, size_t bytes) const;

    Stream* m_stream = nullptr;
    // Rows of one colour: the colour's row, and its runs compressed with their sums and lengths.
    int32_t m_runWidth = -1;
    uint32_t m_runColour = 0;
    CQWF_Mem m_colourRow;  // the raw row (no filter byte)
    CQWF_Mem m_runs;       // the compressed runs one after the other
    size_t m_runEnd[8] = {};
    uint32_t m_runSum[8] = {};
    uint64_t m_runLength[8] = {};
    // The band: the raw row and the one above (each with its filter byte), the filter trials.
    CQWF_Mem m_rows;
    CQWF_Mem m_trials;
    size_t m_left = 0;          // the area's first byte in a row
    size_t m_to = 0;            // the end of the bytes filtered one by one
    size_t m_steadyPixels = 0;  // pixels of steady bytes in a row
    size_t m_steadyWeight[5] = {};
    bool m_steadyZero[5] = {};  // a filter's steady bytes are zeros
    uint8_t m_best = 0;         // the filter of the last row filtered
    CQWF_Mem m_out;
};
