#include "platform/qw_fontraster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

#include <cstdlib>
#include <sys/stat.h>

namespace qwp {

namespace {

struct FaceFile {
    const char* name;
    const char* file;
};

constexpr FaceFile kFaces[] = {
    {"DejaVu Sans", "DejaVuSans.ttf"},
    {"DejaVu Sans Bold", "DejaVuSans-Bold.ttf"},
    {"DejaVu Sans Mono", "DejaVuSansMono.ttf"},
};

constexpr const char* kFontDirs[] = {
    "/usr/share/fonts/truetype/dejavu",
    "/usr/share/fonts/dejavu",
    "/usr/local/share/fonts/dejavu",
};

// Windows-1252 codes 0x80..0x9F; 0 marks the unassigned ones.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool IsFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Owns the library and the face for one rasterisation.
class FreeTypeFace {
public:
    ~FreeTypeFace()
    {
        if (m_face) FT_Done_Face(m_face);
        if (m_library) FT_Done_FreeType(m_library);
    }
    bool Open(const std::string& path, uint32_t pixelSize, std::string& error)
    {
        if (FT_Init_FreeType(&m_library) != 0) {
            m_library = nullptr;
            error = "FreeType cannot start";
            return false;
        }
        // The classic TrueType interpreter also applies the faces' horizontal hints, so stems
        // land on whole pixels: crisp small text on screen, as DejaVu's hints intend.
        FT_UInt interpreter = TT_INTERPRETER_VERSION_35;
        FT_Property_Set(m_library, "truetype", "interpreter-version", &interpreter);
        if (FT_New_Face(m_library, path.c_str(), 0, &m_face) != 0) {
            m_face = nullptr;
            error = "cannot read the font file " + path;
            return false;
        }
        if (FT_Select_Charmap(m_face, FT_ENCODING_UNICODE) != 0) {
            error = "the font file " + path + " has no Unicode character map";
            return false;
        }
        if (FT_Set_Pixel_Sizes(m_face, 0, pixelSize) != 0) {
            error = "the font file " + path + " cannot be scaled to " + std::to_string(pixelSize) + " px";
            return false;
        }
        return true;
    }
    FT_Face Get() const { return m_face; }

private:
    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
};

void AppendEmpty(std::vector<uint8_t>& block)
{
    block.insert(block.end(), 5, 0);
}

bool FitsSigned8(long v) { return v >= -128 && v <= 127; }

// Appends the glyph record of one code point; false with a reason when it does not fit.
bool AppendGlyph(FT_Face face, uint32_t code, uint8_t c, std::vector<uint8_t>& block, std::string& error)
{
    const FT_UInt index = code ? FT_Get_Char_Index(face, code) : 0;
    if (index == 0) {
        AppendEmpty(block);
        return true;
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0 ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) {
        error = "character " + std::to_string(c) + " cannot be rendered";
        return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    const long width = static_cast<long>(bm.width);
    const long height = static_cast<long>(bm.rows);
    const long left = width ? slot->bitmap_left : 0;
    const long top = height ? -static_cast<long>(slot->bitmap_top) : 0;
    const long advance = (slot->advance.x + 32) >> 6;
    const long spacing = advance - left - width;
    if (width > 255 || height > 255 || !FitsSigned8(left) || !FitsSigned8(top) || !FitsSigned8(spacing)) {
        error = "character " + std::to_string(c) + " is too large for a bitmap-font record";
        return false;
    }
    block.push_back(static_cast<uint8_t>(static_cast<int8_t>(left)));
    block.push_back(static_cast<uint8_t>(static_cast<int8_t>(spacing)));
    block.push_back(static_cast<uint8_t>(static_cast<int8_t>(top)));
    block.push_back(static_cast<uint8_t>(width));
    block.push_back(static_cast<uint8_t>(height));
    for (long y = 0; y < height; ++y) {
        const unsigned char* row = bm.pitch >= 0 ? bm.buffer + y * bm.pitch
                                                 : bm.buffer + (height - 1 - y) * -static_cast<long>(bm.pitch);
        block.insert(block.end(), row, row + width);
    }
    return true;
}

}  // namespace

uint32_t Cp1252ToUnicode(uint8_t code)
{
    if (code < 32 || code == 127) return 0;
    if (code >= 0x80 && code <= 0x9F) return kHighControls[code - 0x80];
    return code;
}

std::string FontFacePath(const std::string& face)
{
    const char* file = nullptr;
    for (const FaceFile& f : kFaces) {
        if (face == f.name) file = f.file;
    }
    if (!file) return {};
    if (const char* dir = std::getenv("QW_FONT_DIR"); dir && *dir) {
        const std::string path = std::string(dir) + "/" + file;
        if (IsFile(path)) return path;
    }
    for (const char* dir : kFontDirs) {
        const std::string path = std::string(dir) + "/" + file;
        if (IsFile(path)) return path;
    }
    return {};
}

bool RasteriseFont(const FontRasterRequest& request, std::vector<uint8_t>& block, std::string& error)
{
    block.clear();
    error.clear();
    bool known = false;
    for (const FaceFile& f : kFaces) known = known || request.face == f.name;
    if (!known) {
        error = "unknown font face \"" + request.face + "\"";
        return false;
    }
    if (request.pixelSize < 4 || request.pixelSize > 64) {
        error = "font size " + std::to_string(request.pixelSize) + " px is outside 4 to 64";
        return false;
    }
    if (request.first > request.last) {
        error = "the character range is empty";
        return false;
    }
    const std::string path = FontFacePath(request.face);
    if (path.empty()) {
        error = "the font file of \"" + request.face + "\" is not installed (package fonts-dejavu-core)";
        return false;
    }
    FreeTypeFace face;
    if (!face.Open(path, request.pixelSize, error)) return false;

    block = {'Q', 'W', 'F', '2', request.first, request.last};
    for (unsigned c = request.first; c <= request.last; ++c) {
        const uint8_t code = static_cast<uint8_t>(c);
        if (!AppendGlyph(face.Get(), Cp1252ToUnicode(code), code, block, error)) {
            block.clear();
            return false;
        }
    }
    return true;
}

}  // namespace qwp
