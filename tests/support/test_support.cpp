#include "support/test_support.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "framework/core/qwf_block.h"
#include "platform/qw_envcheck.h"

namespace fs = std::filesystem;

namespace {
// A test program refuses to run with a setting of the environment it does not know: a misspelled
// QW_ISA would test the kernels of another level than the one asked for.
const bool g_settingsKnown = [] {
    if (!qwp::CheckEnvironmentSettings(program_invocation_short_name)) std::exit(2);
    return true;
}();
}  // namespace

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

EnvGuard::EnvGuard(const char* name, const char* value) : m_name(name)
{
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old) m_old = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
}

EnvGuard::~EnvGuard()
{
    if (m_had) ::setenv(m_name.c_str(), m_old.c_str(), 1);
    else ::unsetenv(m_name.c_str());
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

std::string FileBytes(const std::string& path)
{
    std::string bytes;
    return ReadWholeFile(path, bytes) ? bytes : std::string();
}

std::string HexOf(const void* bytes, size_t n)
{
    static const char* const kDigits = "0123456789abcdef";
    const auto* p = static_cast<const uint8_t*>(bytes);
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[p[i] >> 4];
        s += kDigits[p[i] & 15];
    }
    return s;
}

std::string Md5Hex(const std::string& bytes)
{
    CQWF_MD5Block md5;
    CQWF_Mem out;
    md5.SetInput(bytes.data(), bytes.size());
    md5.SetOutputMem(&out);
    if (!md5.Process() || out.GetSize() != 16) return "";
    return HexOf(out.GetData(), out.GetSize());
}

namespace {
constexpr uint8_t kFrontPattern = 0xA7;
size_t PageSize() { return static_cast<size_t>(::sysconf(_SC_PAGESIZE)); }
}  // namespace

// [no access][pattern .. bytes][no access]: the bytes end where the second page starts.
void GuardedBytes::Map(size_t n)
{
    const size_t page = PageSize();
    const size_t body = (n + page - 1) / page * page;
    m_mapped = body + 2 * page;
    void* p = ::mmap(nullptr, m_mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        ADD_FAILURE() << "no memory for " << n << " guarded bytes";
        std::abort();
    }
    m_base = static_cast<uint8_t*>(p);
    ::mprotect(m_base, page, PROT_NONE);
    ::mprotect(m_base + page + body, page, PROT_NONE);
    m_size = n;
    m_data = m_base + page + body - n;
    std::memset(m_base + page, kFrontPattern, body - n);
}

void GuardedBytes::Unmap()
{
    if (!m_base) return;
    for (const uint8_t* p = m_base + PageSize(); p < m_data; ++p)
        if (*p != kFrontPattern) {
            ADD_FAILURE() << "a byte " << (m_data - p) << " before the start was written";
            break;
        }
    ::munmap(m_base, m_mapped);
    m_base = nullptr;
}

GuardedBytes::GuardedBytes(size_t n, uint8_t fill)
{
    Map(n);
    std::memset(m_data, fill, n);
}

GuardedBytes::GuardedBytes(const GuardedBytes& o) : GuardedBytes(o.m_size) { std::memcpy(m_data, o.m_data, m_size); }

GuardedBytes& GuardedBytes::operator=(const GuardedBytes& o)
{
    if (this != &o) {
        Unmap();
        Map(o.m_size);
        std::memcpy(m_data, o.m_data, m_size);
    }
    return *this;
}

GuardedBytes::~GuardedBytes() { Unmap(); }

}  // namespace qwtest
