#include "platform/qw_hostfile.h"

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
    std::string temp = hostPath + ".newXXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = true;
    for (const auto& [data, size] : parts) {
        const char* p = static_cast<const char*>(data);
        size_t left = size;
        while (ok && left > 0) {
            ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
            } else {
                p += n;
                left -= static_cast<size_t>(n);
            }
        }
    }
    ok = ok && ::fchmod(fd, static_cast<mode_t>(mode)) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), hostPath.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
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
