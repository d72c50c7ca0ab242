// Helpers shared by the test programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qwtest {
// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Sets an environment variable (null unsets it) while the guard lives, then puts it back.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value);
    ~EnvGuard();
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    std::string m_name, m_old;
    bool m_had = false;
};

// build/test-output/<sub> (or $QW_TEST_OUTPUT/<sub>): files that independent readers check.
std::string OutputDir(const std::string& sub = "");
std::string SourceDir();
std::string BinaryDir();

bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The whole file; "" when it cannot be read.
std::string FileBytes(const std::string& path);
// Big-endian numbers in bytes read from a file.
inline uint32_t BE16(const std::string& s, size_t at)
{
    return (uint32_t(uint8_t(s[at])) << 8) | uint8_t(s[at + 1]);
}
inline uint32_t BE32(const std::string& s, size_t at)
{
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint8_t(s[at + 3]);
}
// The names in a folder (hidden ones too), sorted; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& path);

// Bytes whose last one lies just before a page that may not be touched, so that a read or write
// one byte past the end faults in every build. The slack between the page before and the first
// byte holds a pattern that the destructor checks: a write before the start fails the test.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t n = 0, uint8_t fill = 0);
    GuardedBytes(const GuardedBytes& o);
    GuardedBytes& operator=(const GuardedBytes& o);
    ~GuardedBytes();
    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }
    size_t size() const { return m_size; }
    uint8_t* begin() { return m_data; }
    uint8_t* end() { return m_data + m_size; }
    const uint8_t* begin() const { return m_data; }
    const uint8_t* end() const { return m_data + m_size; }
    uint8_t& operator[](size_t i) { return m_data[i]; }
    uint8_t operator[](size_t i) const { return m_data[i]; }
    std::vector<uint8_t> Copy() const { return std::vector<uint8_t>(begin(), end()); }

private:
    void Map(size_t n);
    void Unmap();
    uint8_t* m_base = nullptr;
    size_t m_mapped = 0, m_size = 0;
    uint8_t* m_data = nullptr;
};

// Two lower-case hexadecimal digits per byte.
std::string HexOf(const void* bytes, size_t n);
// The MD5 digest of the bytes as our digest block computes it, in hexadecimal; "" when it fails.
std::string Md5Hex(const std::string& bytes);
}  // namespace qwtest
