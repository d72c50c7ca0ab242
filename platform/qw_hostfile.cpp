#include "platform/qw_hostfile.h"

#include "platform/qw_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace qwp {

bool ReadHostFile(const std::string& hostPath, std::string& bytes, bool* missing)
{
    bytes.clear();
    FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (missing) *missing = !f && errno == ENOENT;
    if (!f) return false;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool WriteHostFileAtomically(const std::string& hostPath, const std::vector<std::pair<const void*, size_t>>& parts,
                             unsigned mode)
{
    FileReplacement* replacement = nullptr;
    FILE* f = BeginHostReplacement(hostPath, "wb", mode, replacement);
    if (!f) return false;
    bool ok = true;
    for (const auto& [data, size] : parts)
        if (ok && size) ok = WriteStream(f, data, size) == size;
    return EndReplacement(f, replacement, ok);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(pos, end - pos));
        if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
        pos = end + 1;
    }
    return lines;
}

}  // namespace qwp
