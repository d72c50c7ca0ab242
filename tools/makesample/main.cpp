// makesample: writes the sample picture (PNG) and the sample layouts of the main job into a
// folder, which it makes (with its parents) when it is missing.
//   makesample OUTDIR [WIDTH HEIGHT COLUMNS ROWS]     (--help, -h: the usage)
// OUTDIR/sample.png          the picture (default 1200 x 900, RGB)
// OUTDIR/sample.layout       a Puzzle-mode layout (default 8 x 6 cells) with a few pieces
//                            given effects; every other piece keeps the default bevel
// OUTDIR/sample-lines.layout the same grid in Layout mode (the knife lines are drawn)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/qw_envcheck.h"
#include "tools/qwhost/qwhost.h"
#include "tools/makesample/sample_layout.h"

namespace {

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool WritePicture(const std::string& path, int32_t width, int32_t height)
{
    std::vector<uint8_t> planes;
    qwsample::MakePicture(width, height, planes);
    const size_t area = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> pixels(area * 3);
    for (size_t i = 0; i < area; ++i)
        for (size_t c = 0; c < 3; ++c) pixels[i * 3 + c] = planes[c * area + i];
    std::string error;
    if (!qwhost::WritePng(path, width, height, 3, pixels, error)) {
        std::fprintf(stderr, "makesample: %s\n", error.c_str());
        return false;
    }
    return true;
}

const char kUsage[] =
    "usage: makesample OUTDIR [WIDTH HEIGHT COLUMNS ROWS]\n"
    "writes OUTDIR/sample.png (default 1200 x 900), OUTDIR/sample.layout (Puzzle mode,\n"
    "default 8 x 6 cells: a hidden piece and pieces with each kind of effect, as many as\n"
    "the grid has pieces for; the others keep the default bevel) and\n"
    "OUTDIR/sample-lines.layout (the same grid in Layout mode); OUTDIR is made when missing\n";

}  // namespace

int main(int argc, char** argv)
{
    if (!qwp::CheckEnvironmentSettings("makesample")) return 2;
    // No word is an option (a folder named "--help" is a mistake, not a wish).
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') continue;
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "makesample: unknown option %s\n%s", argv[i], kUsage);
        return 2;
    }
    if (argc != 2 && argc != 6) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string dir = argv[1];
    int32_t width = 1200, height = 900;
    int columns = 8, rows = 6;
    if (argc == 6) {
        width = std::atoi(argv[2]);
        height = std::atoi(argv[3]);
        columns = std::atoi(argv[4]);
        rows = std::atoi(argv[5]);
        if (width < 1 || height < 1 || width > 30000 || height > 30000 || columns < 1 ||
            rows < 1 || columns > 101 || rows > 101) {
            std::fprintf(stderr, "makesample: sizes out of range\n");
            return 2;
        }
    }
    qwsample::CRecordList records;
    qwsample::AddShowcaseRecords(records, columns, rows);
    std::vector<uint8_t> puzzle, lines;
    if (!qwsample::MakeLayoutBlob(width, height, columns, rows, true, &records, puzzle) ||
        !qwsample::MakeLayoutBlob(width, height, columns, rows, false, nullptr, lines)) {
        std::fprintf(stderr, "makesample: cannot build the layout\n");
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "makesample: cannot make the folder %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    if (!WriteBytes(dir + "/sample.layout", puzzle) ||
        !WriteBytes(dir + "/sample-lines.layout", lines) ||
        !WritePicture(dir + "/sample.png", width, height)) {
        std::fprintf(stderr, "makesample: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("wrote %s/sample.png (%dx%d), sample.layout and sample-lines.layout (%dx%d cells)\n",
                dir.c_str(), width, height, columns, rows);
    return 0;
}
