// Image files: PackBits rows, a large layered PSD and PNG writing, and layer-set compositing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/core/qwf_file.h"
#include "framework/imaging/qwf_layer.h"
#include "framework/imaging/qwf_png.h"
#include "framework/imaging/qwf_psd.h"
#include "platform/qw_paths.h"

namespace {

// Piece-like content: flat areas with a noisy band and a soft edge in the alpha plane.
void FillPlanes(std::vector<uint8_t> (&p)[4], int w, int h, int seed)
{
    for (auto& v : p) v.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * w + x;
            bool band = (y / 8 + seed) % 4 == 0;
            p[0][i] = static_cast<uint8_t>(band ? (x * 13 + y * 7 + seed) : seed * 3);
            p[1][i] = static_cast<uint8_t>(band ? (x ^ y) : seed * 5);
            p[2][i] = static_cast<uint8_t>(128 + (x >> 4));
            int d = x < y ? x : y;
            p[3][i] = static_cast<uint8_t>(d < 10 ? d * 25 : 255);
        }
}

std::string TempPath(const char* name) { return std::string("/tmp/qwbench-") + name; }

void BM_PackBitsRow(benchmark::State& state)
{
    std::vector<uint8_t> p[4];
    FillPlanes(p, 4000, 64, 1);
    std::vector<uint8_t> out(4000 * 2);
    size_t rows = 0;
    for (auto _ : state) {
        for (int y = 0; y < 64; ++y) {
            for (int k = 0; k < 4; ++k)
                benchmark::DoNotOptimize(
                    CQWF_ImagePSD::PackRow(p[k].data() + y * 4000, 4000, out.data()));
            rows += 4;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(rows) * 4000);
}
BENCHMARK(BM_PackBitsRow);

void BM_WritePsd4000x3000x300(benchmark::State& state)
{
    constexpr int kCols = 20, kRows = 15, kPiece = 200, kMargin = 20;
    const int side = kPiece + 2 * kMargin;
    std::vector<std::vector<uint8_t>> planes(kCols * kRows * 4);
    for (int j = 0; j < kCols * kRows; ++j) {
        std::vector<uint8_t> p[4];
        FillPlanes(p, side, side, j);
        for (int k = 0; k < 4; ++k) planes[j * 4 + k] = std::move(p[k]);
    }
    const std::string path = TempPath("large.psd");
    for (auto _ : state) {
        CQWF_StdFile f;
        if (!f.Open(qwp::ToWindowsPath(path.c_str()).c_str(), CQWF_StdFile::kModeWrite)) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        CQWF_ImagePSD psd;
        psd.AttachFile(&f);
        QWF_PSDSettings s;
        s.width = 4000;
        s.height = 3000;
        s.resolution = 300;
        s.lightAngle = 130;
        psd.SetWriteSettings(s);
        char name[64];
        for (int j = 0; j < kCols * kRows; ++j) {
            QWF_PSDLayer l;
            l.width = l.height = static_cast<int16_t>(side);
            l.left = static_cast<int16_t>((j % kCols) * kPiece - kMargin);
            l.top = static_cast<int16_t>((j / kCols) * kPiece - kMargin);
            std::snprintf(name, sizeof name, "Piece %d", j + 1);
            std::snprintf(l.name, sizeof l.name, "%s", name);
            for (int k = 0; k < 4; ++k) l.planes[k] = planes[j * 4 + k].data();
            l.stride = side;
            psd.AddLayer(l);
        }
        if (!psd.Write()) state.SkipWithError("write failed");
        f.Close();
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_WritePsd4000x3000x300)->Unit(benchmark::kMillisecond);

void BM_WritePng1000x1000(benchmark::State& state)
{
    std::vector<uint8_t> p[4];
    FillPlanes(p, 1000, 1000, 3);
    const std::string path = TempPath("piece.png");
    for (auto _ : state) {
        CQWF_StdFile f;
        if (!f.Open(qwp::ToWindowsPath(path.c_str()).c_str(), CQWF_StdFile::kModeWrite)) {
            state.SkipWithError("cannot open the output file");
            break;
        }
        CQWF_ImagePNG png;
        png.AttachFile(&f);
        QWF_PNGSettings s;
        s.width = s.height = 1000;
        s.mode = QWF_PNG_RGBA;
        for (int k = 0; k < 4; ++k) s.planes[k] = p[k].data();
        s.stride = 1000;
        s.product = "Quarrow. Jigcrafter 3.0";
        if (!png.Write(s)) state.SkipWithError("write failed");
        f.Close();
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_WritePng1000x1000)->Unit(benchmark::kMillisecond);

// A window face: an opaque background, 40 alpha layers and 10 half-opaque ones.
void BM_LayerSetRender(benchmark::State& state)
{
    CQWF_LayerSet set;
    set.Create(1024, 768);
    std::vector<CQWF_Layer> layers(51);
    layers[0].Create(0, 0, 1024, 768, QWF_IMAGE_RGB);
    layers[0].Fill(0x00404040, 255);
    set.AddLayer(&layers[0]);
    for (int i = 1; i <= 50; ++i) {
        CQWF_Layer& l = layers[i];
        l.Create(static_cast<int16_t>((i * 97) % 900), static_cast<int16_t>((i * 53) % 650), 120,
                 100, i <= 40 ? QWF_IMAGE_RGBA : QWF_IMAGE_RGB);
        l.Fill(0x80000000u | static_cast<uint32_t>(i * 4999), 255);
        if (i > 40) l.SetOpacity(128);
        set.AddLayer(&l);
    }
    for (auto _ : state) benchmark::DoNotOptimize(set.Render());
    state.SetItemsProcessed(state.iterations() * 1024 * 768);
}
BENCHMARK(BM_LayerSetRender)->Unit(benchmark::kMillisecond);

}  // namespace
