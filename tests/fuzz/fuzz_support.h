// What the file readers' fuzz targets share: a check that stops the run, a folder of the
// process's own for the files a reader opens, and packages whose digest is made to match (a
// mutated package would otherwise never get past its digest).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "framework/core/qwf_block.h"
#include "platform/qw_paths.h"

namespace qwfuzz {

// Stops the run on a broken expectation, naming the place of the target that holds it.
inline void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    if (ok) return;
    std::fprintf(stderr, "check failed at %s:%d\n", file, line);
    std::abort();
}

// A fresh folder under the temporary folder, removed when the process ends normally.
inline const std::string& Folder()
{
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/qwfuzz.XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (!mkdtemp(buffer.data())) std::abort();
        return std::string(buffer.data());
    }();
    static const bool removeAtExit = [] {
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(Folder(), ec);
        });
        return true;
    }();
    (void)removeAtExit;
    return path;
}

// The host path and the Windows-style path of a file in the folder.
inline std::string HostPath(const std::string& name) { return Folder() + "/" + name; }
inline std::string WindowsPath(const std::string& name) { return qwp::ToWindowsPath(HostPath(name).c_str()); }

inline bool WriteFile(const std::string& hostPath, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(hostPath.c_str(), "wb");
    if (!f) return false;
    const bool ok = (size == 0 || std::fwrite(data, 1, size, f) == size);
    return std::fclose(f) == 0 && ok;
}

inline bool ReadFile(const std::string& hostPath, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (!f) return false;
    uint8_t buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A package (it starts with the package magic) gets the digest of its body: bytes 8..23 hold the
// MD5 of bytes 24 to the end.
inline void SealPackage(std::vector<uint8_t>& bytes)
{
    if (bytes.size() <= 24 || std::memcmp(bytes.data(), "QWCPSv4", 7) != 0) return;
    CQWF_MD5Block md5;
    md5.Update(bytes.data() + 24, bytes.size() - 24);
    md5.Final(bytes.data() + 8);
}

}  // namespace qwfuzz
