#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>

namespace fs = std::filesystem;

namespace qwtest {

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "qwtest-XXXXXX").string();
    char* p = ::mkdtemp(tmpl.data());
    m_path = p ? p : tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::string SourceDir()
{
    const char* e = std::getenv("QW_SOURCE_DIR");
    return e ? e : QW_SOURCE_DIR;
}

std::string BinaryDir()
{
    const char* e = std::getenv("QW_BINARY_DIR");
    return e ? e : QW_BINARY_DIR;
}

std::string OutputDir(const std::string& sub)
{
    // A run that checks its own files (the image-files script) names its own folder, so the
    // same tests running in parallel under ctest never write into the files it reads.
    const char* own = std::getenv("QW_TEST_OUTPUT");
    fs::path p = own && *own ? fs::path(own) : fs::path(BinaryDir()) / "test-output";
    if (!sub.empty()) p /= sub;
    std::error_code ec;
    fs::create_directories(p, ec);
    return p.string();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    bytes = ss.str();
    return true;
}

std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace qwtest
