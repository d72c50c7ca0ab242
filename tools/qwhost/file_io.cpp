// Whole-file output of the test host: what stood at the path is never removed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "qwhost.h"

namespace fs = std::filesystem;

namespace qwhost {

namespace {
// Writes every byte and closes the stream; false when a write or the close fails.
bool WriteAndClose(std::FILE* f, const std::vector<uint8_t>& bytes)
{
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    return written && flushed && closed;
}
}  // namespace

bool WriteOutputFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        // A device or a pipe is written in place; there is nothing to replace.
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || !WriteAndClose(f, bytes)) {
            error = "cannot write " + path;
            return false;
        }
        return true;
    }
    // A file is written beside its place and renamed over it once complete.
    const fs::path target(path);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".qwhost-%d.tmp", attempt);
        const fs::path temp = dir / ("." + target.filename().string() + suffix);
        std::FILE* f = std::fopen(temp.c_str(), "wbx");  // only a file of our own
        if (!f) {
            if (fs::exists(temp, ec)) continue;
            break;
        }
        if (!WriteAndClose(f, bytes) || std::rename(temp.c_str(), path.c_str()) != 0) {
            fs::remove(temp, ec);
            break;
        }
        return true;
    }
    error = "cannot write " + path;
    return false;
}

}  // namespace qwhost
