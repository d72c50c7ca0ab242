// The private folders that runs with --data-dir load the module from: "qwhost.XXXXXX" in the
// temp folder. A run holds an exclusive lock (flock) on the file "qwhost.lock" in its folder from
// the moment it made the folder until it removed it, so a folder whose lock nobody holds was left
// by a run that was stopped (killed) and may go; a folder without that file is not known to be
// one of ours and stays.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "qwhost.h"

namespace fs = std::filesystem;

namespace qwhost {
namespace {

constexpr char kPrefix[] = "qwhost.";
constexpr char kLockName[] = "qwhost.lock";

bool IsStagingName(const char* name)
{
    const size_t prefix = sizeof kPrefix - 1;
    if (std::strncmp(name, kPrefix, prefix) != 0 || std::strlen(name) != prefix + 6) return false;
    for (const char* p = name + prefix; *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p))) return false;
    return true;
}

// Whether the descriptor `fd` is the file that `path` names now (a remover may have taken the
// name between the open and the lock).
bool StillNamed(int fd, const std::string& path)
{
    struct stat held, named;
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

void RemoveAbandonedStagingFolders()
{
    std::error_code tempError;
    const std::string temp = fs::temp_directory_path(tempError).string();
    if (tempError) return;
    DIR* dir = ::opendir(temp.c_str());
    if (!dir) return;
    while (struct dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (!IsStagingName(entry->d_name) || ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const std::string folder = temp + "/" + entry->d_name;
        const std::string lock = folder + "/" + kLockName;
        const int fd = ::open(lock.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) continue;
        std::error_code ec;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(fd, lock)) fs::remove_all(folder, ec);
        ::close(fd);
    }
    ::closedir(dir);
}

bool MakeStagingFolder(std::string& folder, int& lock, std::string& error)
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec) return (error = "no temporary folder: " + ec.message()), false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string name = (temp / "qwhost.XXXXXX").string();
        if (!::mkdtemp(name.data())) return (error = "cannot create a folder in " + temp.string() + ": " + std::strerror(errno)), false;
        const std::string path = name + "/" + kLockName;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = "cannot create " + path + ": " + std::strerror(errno);
            ::rmdir(name.c_str());
            return false;
        }
        // Another run's sweep may have found the file before the lock was taken: then the
        // folder is gone and a new one is made.
        if (::flock(fd, LOCK_EX) == 0 && StillNamed(fd, path)) {
            folder = name;
            lock = fd;
            return true;
        }
        ::close(fd);
    }
    error = "cannot keep a folder in " + temp.string();
    return false;
}

void RemoveStagingFolder(const std::string& folder, int lock)
{
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
    if (lock >= 0) ::close(lock);
}

}  // namespace qwhost
