// Helpers shared by the test programs.
#pragma once

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

// build/test-output/<sub> (or $QW_TEST_OUTPUT/<sub>): files that independent readers check.
std::string OutputDir(const std::string& sub = "");
std::string SourceDir();
std::string BinaryDir();

bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool ReadWholeFile(const std::string& path, std::string& bytes);
// The names in a folder (hidden ones too), sorted; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& path);
}  // namespace qwtest
