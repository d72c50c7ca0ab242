// The 92-byte per-piece effect record that layout blobs and documents carry in Puzzle mode.
//
// In a blob every multi-byte field is big-endian except the layer identifier at 60, which is
// little-endian as the file format requires. Readers convert a record in place to host order,
// after which its bytes are exactly this structure (see FromBlobInPlace).
#pragma once

#include "framework/core/qwf_mem.h"

#include <cstddef>
#include <cstdint>

// The effect types, numbered as the bits of an effect mask (bit n is type n).
enum EffectType : int {
    kEffectBlur = 0,
    kEffectBevel = 1,
    kEffectHsl = 2,
    kEffectColourOverlay = 3,
    kEffectBrightContrast = 4,
    kEffectMotionBlur = 5,
    kEffectOpacity = 6,
    kEffectInvert = 7,
    kEffectStroke = 8,
    kEffectImageOverlay = 9,
};

struct PieceEffectRecord {
    uint8_t bcOn;            // 0 brightness/contrast
    int8_t brightness;       // 1
    int8_t contrast;         // 2
    uint8_t reserved3;       // 3
    uint8_t bevelOn;         // 4
    uint8_t reserved5[3];    // 5
    float light[3];          // 8 bevel light vector
    uint8_t hlOpacity;       // 20
    uint8_t hlGrey;          // 21
    uint8_t hlRGB[3];        // 22
    uint8_t hlCMYK[4];       // 25
    uint8_t shOpacity;       // 29
    uint8_t shGrey;          // 30
    uint8_t shRGB[3];        // 31
    uint8_t shCMYK[4];       // 34
    uint8_t bevelSize;       // 38
    uint8_t reserved39;      // 39
    uint16_t bevelDepth;     // 40
    uint8_t bevelSoften;     // 42
    uint8_t reserved43;      // 43
    uint8_t blurOn;          // 44
    uint8_t blurRadius;      // 45
    uint8_t ovOn;            // 46 colour overlay
    uint8_t ovOpacity;       // 47
    uint8_t ovGrey;          // 48
    uint8_t ovRGB[3];        // 49
    uint8_t ovCMYK[4];       // 52
    uint8_t imgOn;           // 56 image overlay
    uint8_t imgOpacity;      // 57
    uint8_t imgLayerChoice;  // 58 0 automatic, else the layer below
    uint8_t reserved59;      // 59
    int32_t layerId;         // 60 little-endian in the blob
    uint8_t stOn;            // 64 stroke
    uint8_t stOpacity;       // 65
    uint8_t stSize;          // 66
    uint8_t stGrey;          // 67
    uint8_t stRGB[3];        // 68
    uint8_t stCMYK[4];       // 71
    uint8_t reserved75;      // 75
    uint8_t hslOn;           // 76
    uint8_t reserved77;      // 77
    int16_t hue;             // 78
    int8_t saturation;       // 80
    int8_t lightness;        // 81
    uint8_t mbOn;            // 82 motion blur
    int8_t mbAngle;          // 83
    uint8_t mbDistance;      // 84
    uint8_t opOn;            // 85 opacity
    uint8_t opValue;         // 86
    uint8_t invert;          // 87
    uint8_t selected;        // 88
    uint8_t shown;           // 89
    uint8_t row;             // 90 grid row, 1-based
    uint8_t column;          // 91 grid column, 1-based
};

static_assert(sizeof(PieceEffectRecord) == 92, "piece record is 92 bytes");
// Every field where the layout blob has it.
static_assert(offsetof(PieceEffectRecord, bcOn) == 0);
static_assert(offsetof(PieceEffectRecord, brightness) == 1);
static_assert(offsetof(PieceEffectRecord, contrast) == 2);
static_assert(offsetof(PieceEffectRecord, reserved3) == 3);
static_assert(offsetof(PieceEffectRecord, bevelOn) == 4);
static_assert(offsetof(PieceEffectRecord, reserved5) == 5);
static_assert(offsetof(PieceEffectRecord, light) == 8);
static_assert(offsetof(PieceEffectRecord, hlOpacity) == 20);
static_assert(offsetof(PieceEffectRecord, hlGrey) == 21);
static_assert(offsetof(PieceEffectRecord, hlRGB) == 22);
static_assert(offsetof(PieceEffectRecord, hlCMYK) == 25);
static_assert(offsetof(PieceEffectRecord, shOpacity) == 29);
static_assert(offsetof(PieceEffectRecord, shGrey) == 30);
static_assert(offsetof(PieceEffectRecord, shRGB) == 31);
static_assert(offsetof(PieceEffectRecord, shCMYK) == 34);
static_assert(offsetof(PieceEffectRecord, bevelSize) == 38);
static_assert(offsetof(PieceEffectRecord, reserved39) == 39);
static_assert(offsetof(PieceEffectRecord, bevelDepth) == 40);
static_assert(offsetof(PieceEffectRecord, bevelSoften) == 42);
static_assert(offsetof(PieceEffectRecord, reserved43) == 43);
static_assert(offsetof(PieceEffectRecord, blurOn) == 44);
static_assert(offsetof(PieceEffectRecord, blurRadius) == 45);
static_assert(offsetof(PieceEffectRecord, ovOn) == 46);
static_assert(offsetof(PieceEffectRecord, ovOpacity) == 47);
static_assert(offsetof(PieceEffectRecord, ovGrey) == 48);
static_assert(offsetof(PieceEffectRecord, ovRGB) == 49);
static_assert(offsetof(PieceEffectRecord, ovCMYK) == 52);
static_assert(offsetof(PieceEffectRecord, imgOn) == 56);
static_assert(offsetof(PieceEffectRecord, imgOpacity) == 57);
static_assert(offsetof(PieceEffectRecord, imgLayerChoice) == 58);
static_assert(offsetof(PieceEffectRecord, reserved59) == 59);
static_assert(offsetof(PieceEffectRecord, layerId) == 60);
static_assert(offsetof(PieceEffectRecord, stOn) == 64);
static_assert(offsetof(PieceEffectRecord, stOpacity) == 65);
static_assert(offsetof(PieceEffectRecord, stSize) == 66);
static_assert(offsetof(PieceEffectRecord, stGrey) == 67);
static_assert(offsetof(PieceEffectRecord, stRGB) == 68);
static_assert(offsetof(PieceEffectRecord, stCMYK) == 71);
static_assert(offsetof(PieceEffectRecord, reserved75) == 75);
static_assert(offsetof(PieceEffectRecord, hslOn) == 76);
static_assert(offsetof(PieceEffectRecord, reserved77) == 77);
static_assert(offsetof(PieceEffectRecord, hue) == 78);
static_assert(offsetof(PieceEffectRecord, saturation) == 80);
static_assert(offsetof(PieceEffectRecord, lightness) == 81);
static_assert(offsetof(PieceEffectRecord, mbOn) == 82);
static_assert(offsetof(PieceEffectRecord, mbAngle) == 83);
static_assert(offsetof(PieceEffectRecord, mbDistance) == 84);
static_assert(offsetof(PieceEffectRecord, opOn) == 85);
static_assert(offsetof(PieceEffectRecord, opValue) == 86);
static_assert(offsetof(PieceEffectRecord, invert) == 87);
static_assert(offsetof(PieceEffectRecord, selected) == 88);
static_assert(offsetof(PieceEffectRecord, shown) == 89);
static_assert(offsetof(PieceEffectRecord, row) == 90);
static_assert(offsetof(PieceEffectRecord, column) == 91);

namespace qwpiece {
constexpr size_t kRecordSize = 92;

// One colour in the forms of the three image modes: grey, red/green/blue, cyan/magenta/yellow/black.
inline void SetColour(uint8_t& grey, uint8_t* rgb, uint8_t* cmyk, uint8_t g, uint8_t r,
                      uint8_t gr, uint8_t b, uint8_t c, uint8_t m, uint8_t y, uint8_t k)
{
    grey = g;
    rgb[0] = r;
    rgb[1] = gr;
    rgb[2] = b;
    cmyk[0] = c;
    cmyk[1] = m;
    cmyk[2] = y;
    cmyk[3] = k;
}

// The settings of a freshly cut piece (bevel on, every other effect off), selected 0, shown 1,
// row and column 0.
void DefaultRecord(PieceEffectRecord& r);

// Writes the record's blob form (92 bytes). Reserved bytes are written as zero.
void ToBlob(const PieceEffectRecord& r, uint8_t* out);

// Converts one record of a blob to host order in place: the floats at 8, 12 and 16, the 16-bit
// values at 40 and 78 (big-endian) and the layer identifier at 60 (little-endian).
void FromBlobInPlace(uint8_t* p);

// Reads a host-order record from any address (no alignment needed).
void Load(const uint8_t* p, PieceEffectRecord& r);

// The records (host order) by their grid cell, rows and columns 1..100: a direct table filled in
// one pass, in which a later record of a cell wins. Records outside the grid are not entered.
class CRecordIndex {
public:
    // False when memory runs out (nothing is found then).
    bool Build(const uint8_t* records, uint32_t count);
    // The number of the record of the cell; -1 when none.
    int32_t Find(int32_t row, int32_t column) const;
    void Reset() { m_table.Free(); }

private:
    CQWF_Mem m_table;
};
}  // namespace qwpiece
