#include "platform/qw_fontraster.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/core/qwf_block.h"
#include "framework/core/qwf_storage.h"
#include "framework/imaging/qwf_font.h"
#include "framework/imaging/qwf_textlayer.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Raster(const char* face, uint32_t size)
{
    qwp::FontRasterRequest r;
    r.face = face;
    r.pixelSize = size;
    std::vector<uint8_t> block;
    std::string error;
    EXPECT_TRUE(qwp::RasteriseFont(r, block, error)) << error;
    return block;
}

// The block travels the way the skin package carries it: compressed, as a package value.
void LoadThroughPackage(CQWF_Font& font, const std::vector<uint8_t>& block, const qwtest::TempDir& dir)
{
    CQWF_Mem packed;
    CQWF_ZipBlock zip;
    zip.SetInput(block.data(), block.size());
    zip.SetOutputMem(&packed);
    ASSERT_TRUE(zip.Process());
    const std::string path = dir.File("fonts.qws4");
    CQWF_Storage out;
    ASSERT_TRUE(out.OpenFile(path.c_str(), CQWF_Storage::kModeCreate));
    ASSERT_TRUE(out.CreateFolder("Fonts"));
    ASSERT_TRUE(out.SetBinary("Fonts>Test", packed.GetData(), packed.GetSize()));
    ASSERT_TRUE(out.Close());
    CQWF_Storage in;
    ASSERT_TRUE(in.OpenFile(path.c_str(), CQWF_Storage::kModeRead));
    ASSERT_TRUE(font.Load(in, "Fonts>Test")) << font.GetError();
}

// The alpha plane of a text rendered by the text layer, one character per pixel:
// '#' full coverage, '.' none, '+' above half, '-' below half.
std::vector<std::string> Picture(CQWF_TextLayer& layer)
{
    std::vector<std::string> rows;
    const uint8_t* a = layer.GetPlane(3);
    for (int y = 0; y < layer.GetHeight(); ++y) {
        std::string row;
        for (int x = 0; x < layer.GetWidth(); ++x) {
            const uint8_t v = a[y * layer.GetWidth() + x];
            row += v == 0 ? '.' : v == 255 ? '#' : v > 128 ? '+' : '-';
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(FontRaster, BlockCoversTheWindowsCodePageAndLoads)
{
    const std::vector<uint8_t> block = Raster("DejaVu Sans", 12);
    ASSERT_GT(block.size(), 6u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 4), "QWF2");
    EXPECT_EQ(block[4], 32);
    EXPECT_EQ(block[5], 255);

    CQWF_Font font;
    ASSERT_TRUE(font.LoadBlock(block.data(), block.size()));
    int8_t left, spacing, top;
    uint8_t w, h;
    // Space moves the pen without drawing; DEL and the unassigned codes neither draw nor move.
    ASSERT_NE(font.GetGlyph(' ', left, spacing, top, w, h), nullptr);
    EXPECT_EQ(w * h, 0);
    EXPECT_GT(left + spacing, 0);
    for (uint8_t c : {127, 0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        ASSERT_NE(font.GetGlyph(c, left, spacing, top, w, h), nullptr);
        EXPECT_EQ(w + h + left + spacing, 0) << int(c);
    }
    // The code page's own characters: euro sign, en dash, e acute above e, descender of g.
    int8_t eTop;
    ASSERT_NE(font.GetGlyph('e', left, spacing, eTop, w, h), nullptr);
    for (uint8_t c : {0x80, 0x96, 0xE9, 0xC5, 0xFF}) {
        ASSERT_NE(font.GetGlyph(c, left, spacing, top, w, h), nullptr);
        EXPECT_GT(w * h, 0) << int(c);
    }
    font.GetGlyph(0xE9, left, spacing, top, w, h);
    EXPECT_LT(top, eTop);
    font.GetGlyph('g', left, spacing, top, w, h);
    EXPECT_GT(top + h, 0);

    // Bold sets wider; the same request gives the same bytes.
    CQWF_Font bold;
    const std::vector<uint8_t> boldBlock = Raster("DejaVu Sans Bold", 12);
    ASSERT_TRUE(bold.LoadBlock(boldBlock.data(), boldBlock.size()));
    int32_t regularWidth, boldWidth, height;
    ASSERT_TRUE(font.MeasureText("Jigcrafter", 16, regularWidth, height));
    ASSERT_TRUE(bold.MeasureText("Jigcrafter", 16, boldWidth, height));
    EXPECT_GT(boldWidth, regularWidth);
    EXPECT_EQ(Raster("DejaVu Sans", 12), block);
}

TEST(FontRaster, HintedTextRendersToKnownPixels)
{
    qwtest::TempDir dir;
    CQWF_Font font;
    LoadThroughPackage(font, Raster("DejaVu Sans", 12), dir);
    int16_t base, bottom;
    font.GetLineMetrics(base, bottom);

    CQWF_TextLayer layer;
    ASSERT_TRUE(layer.Create(0, 0, 1, 20, static_cast<uint16_t>(base + 1)));
    layer.m_font = &font;
    ASSERT_TRUE(layer.SetText("HIT", 0xFFFFFFFF, 16, 0, 0));
    // Stems and bars snap to whole pixels: nine rows of cap height ending on the baseline row.
    const std::vector<std::string> expected = {
        ".#.....#..#.#######.",
        ".#.....#..#....#....",
        ".#.....#..#....#....",
        ".#.....#..#....#....",
        ".#######..#....#....",
        ".#.....#..#....#....",
        ".#.....#..#....#....",
        ".#.....#..#....#....",
        ".#.....#..#....#....",
    };
    const std::vector<std::string> got = Picture(layer);
    ASSERT_EQ(got.size(), static_cast<size_t>(base + 1));
    for (int y = 0; y < base - 9; ++y) EXPECT_EQ(got[y], std::string(20, '.')) << "row " << y;
    for (int y = 0; y < 9; ++y) EXPECT_EQ(got[base - 9 + y], expected[y]) << "row " << y;
}

TEST(FontRaster, RefusesWhatItCannotRender)
{
    std::vector<uint8_t> block;
    std::string error;
    qwp::FontRasterRequest r;
    r.face = "Comic Sans";
    r.pixelSize = 12;
    EXPECT_FALSE(qwp::RasteriseFont(r, block, error));
    EXPECT_NE(error.find("Comic Sans"), std::string::npos);
    r.face = "DejaVu Sans";
    r.pixelSize = 3;
    EXPECT_FALSE(qwp::RasteriseFont(r, block, error));
    EXPECT_FALSE(error.empty());
    r.pixelSize = 12;
    r.first = 66;
    r.last = 65;
    EXPECT_FALSE(qwp::RasteriseFont(r, block, error));
    EXPECT_TRUE(block.empty());
    EXPECT_EQ(qwp::Cp1252ToUnicode(0x80), 0x20ACu);
    EXPECT_EQ(qwp::Cp1252ToUnicode(0xE9), 0xE9u);
    EXPECT_EQ(qwp::Cp1252ToUnicode(9), 0u);
}

// Writes font blocks and text-layer renderings into build/test-output/fonts for the independent
// check (tests/scripts/font_raster.sh), which compares them with PIL's FreeType binding. It is
// that script's fixture (font_raster_samples), not a test of its own.
TEST(FontRasterSamples, WriteBlocksAndTextLayerRenderings)
{
    struct Sample {
        const char* face;
        uint32_t size;
        const char* text;
    };
    const Sample samples[] = {
        {"DejaVu Sans", 12, "Jigcrafter 3.0: Rows 8, Columns 6 (100%)\nSecond line"},
        {"DejaVu Sans", 11, "Quick brown fox jumps over the lazy dog"},
        {"DejaVu Sans Bold", 12, "Apply | Cancel | OK"},
        {"DejaVu Sans", 9, "0 50 100 150 200 250"},
        {"DejaVu Sans", 8, "Small 7 Normal: \xe9\xe8\xfc \x80 \x96 [x]"},
    };
    const std::string dir = qwtest::OutputDir("fonts");
    std::string manifest;
    int n = 0;
    for (const Sample& s : samples) {
        const std::vector<uint8_t> block = Raster(s.face, s.size);
        const std::string fontName = "font" + std::to_string(n) + ".qwf2";
        ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/" + fontName, std::string(block.begin(), block.end())));
        manifest += "font\t" + fontName + "\t" + qwp::FontFacePath(s.face) + "\t" + std::to_string(s.size) + "\n";

        CQWF_Font font;
        ASSERT_TRUE(font.LoadBlock(block.data(), block.size()));
        int32_t w, h;
        ASSERT_TRUE(font.MeasureText(s.text, 16, w, h));
        int16_t base, bottom;
        font.GetLineMetrics(base, bottom);
        CQWF_TextLayer layer;
        ASSERT_TRUE(layer.Create(0, 0, 1, static_cast<uint16_t>(w + 8), static_cast<uint16_t>(h + 8)));
        layer.m_font = &font;
        ASSERT_TRUE(layer.SetText(s.text, 0xFFFFFFFF, 16, 4, 4));
        const std::string name = "sample" + std::to_string(n) + ".pgm";
        std::string pgm = "P5\n" + std::to_string(layer.GetWidth()) + " " + std::to_string(layer.GetHeight()) + "\n255\n";
        pgm.append(reinterpret_cast<const char*>(layer.GetPlane(3)), layer.GetPlaneSize());
        ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/" + name, pgm));
        std::string hex;
        for (const char* p = s.text; *p; ++p) {
            char b[3];
            std::snprintf(b, sizeof b, "%02x", static_cast<uint8_t>(*p));
            hex += b;
        }
        manifest += "text\t" + name + "\t" + fontName + "\t4\t" + std::to_string(4 + base) + "\t16\t" + hex + "\n";
        ++n;
    }
    ASSERT_TRUE(qwtest::WriteWholeFile(dir + "/manifest.tsv", manifest));
}
