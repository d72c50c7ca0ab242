#include "platform/qw_paths.h"

#include "platform/qw_guard.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace qwp {
namespace {
std::string g_rootOverride;
bool g_hasRootOverride = false;
std::atomic<long> g_openFailAfter{-1};  // counted down by opens on every thread
std::atomic<long> g_truncateFailAfter{-1};
long g_createFolderFailAfter = -1;

std::string StripTrailingSlashes(std::string s)
{
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s == "/") s.clear();  // the drive folders then lie directly under "/"
    return s;
}

std::string Slashes(const char* p, char from, char to)
{
    std::string s(p);
    for (char& c : s)
        if (c == from) c = to;
    return s;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool StatPath(const char* windowsPath, struct stat& st)
{
    if (!windowsPath || !*windowsPath) return false;
    std::string host = ToHostPath(windowsPath);
    return ::stat(host.c_str(), &st) == 0;
}
}  // namespace

std::string DriveRoot()
{
    if (g_hasRootOverride) return g_rootOverride;
    const char* env = std::getenv("QW_ROOT");
    if (env && *env) return StripTrailingSlashes(env);
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return StripTrailingSlashes(data) + "/qwjigcrafter/drives";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return StripTrailingSlashes(home) + "/.local/share/qwjigcrafter/drives";
    return "/tmp/qwjigcrafter/drives";
}

void SetDriveRoot(const char* hostFolder)
{
    g_hasRootOverride = hostFolder != nullptr;
    g_rootOverride = hostFolder ? StripTrailingSlashes(hostFolder) : std::string();
}

std::string ToHostPath(const char* windowsPath)
{
    if (!windowsPath) return std::string();
    const char* p = windowsPath;
    if (std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        const char* rest = p + 2;
        while (IsSeparator(*rest)) ++rest;
        std::string tail = Slashes(rest, '\\', '/');
        if (drive == 'z') return "/" + tail;
        std::string folder = DriveRoot() + "/" + drive;
        return tail.empty() ? folder : folder + "/" + tail;
    }
    return Slashes(p, '\\', '/');
}

std::string ToWindowsPath(const char* hostPath)
{
    if (!hostPath) return std::string();
    if (hostPath[0] != '/') return Slashes(hostPath, '/', '\\');
    std::string path(hostPath);
    std::string root = DriveRoot();
    if (path.size() >= root.size() + 2 && path.compare(0, root.size(), root) == 0 &&
        path[root.size()] == '/') {
        char drive = path[root.size() + 1];
        size_t after = root.size() + 2;
        if (drive >= 'a' && drive <= 'y' && (after == path.size() || path[after] == '/')) {
            std::string tail = path.substr(after);
            while (!tail.empty() && tail[0] == '/') tail.erase(0, 1);
            std::string out;
            out += static_cast<char>(drive - 'a' + 'A');
            out += ":\\";
            return out + Slashes(tail.c_str(), '/', '\\');
        }
    }
    return "Z:" + Slashes(hostPath, '/', '\\');
}

int SeekFile(FILE* stream, int64_t offset, int whence)
{
    if (!stream) return -1;
    return fseeko(stream, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

int64_t TellFile(FILE* stream)
{
    if (!stream) return -1;
    const off_t position = ftello(stream);
    return position < 0 ? -1 : static_cast<int64_t>(position);
}

bool StreamIsRegularFile(FILE* stream)
{
    struct stat st;
    return stream && fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t StreamFileSize(FILE* stream)
{
    struct stat st;
    if (!stream || fstat(fileno(stream), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool SamePathText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (IsSeparator(x) && IsSeparator(y)) continue;
        // The drive letter: "c:" and "C:" are the same drive.
        if (i == 0 && a.size() >= 2 && a[1] == ':' && b[1] == ':' && std::isalpha(static_cast<unsigned char>(x))) {
            x = static_cast<char>(std::tolower(static_cast<unsigned char>(x)));
            y = static_cast<char>(std::tolower(static_cast<unsigned char>(y)));
        }
        if (x != y) return false;
    }
    return true;
}

bool IsSymbolicLink(const char* windowsPath)
{
    if (!windowsPath || !*windowsPath) return false;
    std::string host = StripTrailingSlashes(ToHostPath(windowsPath));
    struct stat st;
    return !host.empty() && ::lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool IsSameFile(const char* windowsPathA, const char* windowsPathB)
{
    struct stat a, b;
    return StatPath(windowsPathA, a) && StatPath(windowsPathB, b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

namespace {
// The injected open failure, counted down by every open.
bool OpenFails()
{
    long n = g_openFailAfter.load(std::memory_order_relaxed);
    while (n >= 0) {
        if (g_openFailAfter.compare_exchange_weak(n, n == 0 ? -1 : n - 1, std::memory_order_relaxed)) {
            if (n != 0) return false;
            errno = EIO;
            return true;
        }
    }
    return false;
}

// A program file (".exe") that is written can be run, as the system runs programs by their
// name: it gets the execute bits wherever it has the read bits.
bool IsProgramName(const std::string& host)
{
    const size_t n = host.size();
    return n > 4 && host[n - 4] == '.' && std::tolower(static_cast<unsigned char>(host[n - 3])) == 'e' &&
           std::tolower(static_cast<unsigned char>(host[n - 2])) == 'x' &&
           std::tolower(static_cast<unsigned char>(host[n - 1])) == 'e';
}

mode_t Runnable(mode_t mode) { return mode | ((mode & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2); }
}  // namespace

namespace {
std::string g_unwritableFolder;  // host path ending in '/', "" while off
}  // namespace

void SetUnwritableFilesForTesting(const char* windowsFolder)
{
    g_unwritableFolder.clear();
    if (!windowsFolder) return;
    if (char* real = ::realpath(ToHostPath(windowsFolder).c_str(), nullptr)) {
        g_unwritableFolder = std::string(real) + "/";
        std::free(real);
    }
}

FILE* OpenFile(const char* windowsPath, const char* mode)
{
    if (!windowsPath || !*windowsPath || !mode || OpenFails()) return nullptr;
    std::string host = ToHostPath(windowsPath);
    if (!g_unwritableFolder.empty() && std::strpbrk(mode, "wa+")) {
        char* real = ::realpath(host.c_str(), nullptr);
        const bool unwritable = real && std::string(real).compare(0, g_unwritableFolder.size(), g_unwritableFolder) == 0;
        std::free(real);
        if (unwritable) {
            errno = EACCES;
            return nullptr;
        }
    }
    FILE* f = std::fopen(host.c_str(), mode);
    if (f && std::strpbrk(mode, "wa+") && IsProgramName(host)) {
        struct stat st;
        if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fileno(f), Runnable(st.st_mode));
    }
    return f;
}

// ---------------------------------------------------------------------------------------------
// Writing, and the small file system of the tests

namespace {
std::string g_spaceFolder;  // host path ending in '/', "" while off
int64_t g_space = -1;
// Writers on several threads share the free space (set only while no writer runs).
std::mutex g_spaceLock;
std::atomic<bool> g_spaceOn{false};

// Whether the stream's file lies inside the small file system.
bool OnSmallFileSystem(FILE* stream)
{
    if (!g_spaceOn.load(std::memory_order_acquire)) return false;
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0) return false;
    return std::string(target, static_cast<size_t>(n)).compare(0, g_spaceFolder.size(), g_spaceFolder) == 0;
}
}  // namespace

void SetFreeSpace(const char* windowsFolder, int64_t bytes)
{
    g_spaceOn.store(false, std::memory_order_release);
    g_spaceFolder.clear();
    g_space = -1;
    if (!windowsFolder || bytes < 0) return;
    char* real = ::realpath(ToHostPath(windowsFolder).c_str(), nullptr);
    if (!real) return;
    g_spaceFolder = std::string(real) + "/";
    std::free(real);
    g_space = bytes;
    g_spaceOn.store(true, std::memory_order_release);
}

namespace {
std::atomic<long> g_exitAtWrite{-1};  // counted down by writes on every thread
}  // namespace

void SetExitAtWriteAfter(long n) { g_exitAtWrite.store(n, std::memory_order_relaxed); }

namespace {
std::atomic<bool> g_syncFiles{true};
std::atomic<long> g_exitAtNameChange{-1};
std::atomic<long> g_nameChanges{0};
}  // namespace

void SetFileSyncForTesting(bool on) { g_syncFiles.store(on, std::memory_order_relaxed); }

void SetExitAtNameChangeAfter(long n) { g_exitAtNameChange.store(n, std::memory_order_relaxed); }

long NameChangesMade() { return g_nameChanges.load(std::memory_order_relaxed); }

void NameChangeHook()
{
    g_nameChanges.fetch_add(1, std::memory_order_relaxed);
    if (g_exitAtNameChange.load(std::memory_order_relaxed) >= 0 &&
        g_exitAtNameChange.fetch_sub(1, std::memory_order_relaxed) == 0)
        ::_exit(137);
}

size_t WriteStream(FILE* stream, const void* data, size_t count)
{
    if (g_exitAtWrite.load(std::memory_order_relaxed) >= 0 && g_exitAtWrite.fetch_sub(1, std::memory_order_relaxed) == 0)
        ::_exit(137);
    if (!stream || !data || count == 0) return 0;
    if (!OnSmallFileSystem(stream)) return std::fwrite(data, 1, count, stream);
    const std::lock_guard<std::mutex> hold(g_spaceLock);
    // Bytes over the file's own cost nothing; bytes past its end take the free space.
    std::fflush(stream);
    const int64_t at = TellFile(stream);
    const int64_t size = StreamFileSize(stream);
    const int64_t inside = at >= 0 && size > at ? size - at : 0;
    const uint64_t room = static_cast<uint64_t>(inside + g_space);
    const size_t allowed = count < room ? count : static_cast<size_t>(room);
    const size_t written = allowed ? std::fwrite(data, 1, allowed, stream) : 0;
    std::fflush(stream);
    const int64_t end = (at < 0 ? 0 : at) + static_cast<int64_t>(written);
    if (size >= 0 && end > size) g_space -= end - size;
    if (written < count) errno = ENOSPC;
    return written;
}

bool TruncateStream(FILE* stream, int64_t size)
{
    if (!stream || size < 0 || std::fflush(stream) != 0) return false;
    long n = g_truncateFailAfter.load(std::memory_order_relaxed);
    while (n >= 0)
        if (g_truncateFailAfter.compare_exchange_weak(n, n == 0 ? -1 : n - 1, std::memory_order_relaxed)) {
            if (n != 0) break;
            errno = EIO;
            return false;
        }
    const int64_t before = StreamFileSize(stream);
    if (::ftruncate(fileno(stream), static_cast<off_t>(size)) != 0) return false;
    if (before > size && OnSmallFileSystem(stream)) {
        const std::lock_guard<std::mutex> hold(g_spaceLock);
        g_space += before - size;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Replacing files
//
// The new file is made beside its target under a hidden name of its own: "." + the target's
// name + kTempMark + six random characters. Its writer holds an exclusive lock (flock) on it from
// the moment it is made until it took the target's place or was removed, so a file of such a
// name that nobody holds is left over from a writer that stopped (a crash, a kill) and may go.

namespace {
constexpr const char kTempMark[] = ".~qw";
constexpr size_t kTempMarkLength = sizeof kTempMark - 1;
constexpr size_t kTempRandomLength = 6;  // mkostemp's XXXXXX

bool IsTempRandom(const char* p)
{
    for (size_t i = 0; i < kTempRandomLength; ++i)
        if (!std::isalnum(static_cast<unsigned char>(p[i]))) return false;
    return p[kTempRandomLength] == 0;
}

// Whether `entry` is the name of a new file replacing `target` (a name in the same folder), or
// of any file when `target` is null.
bool IsTempNameOf(const char* entry, const char* target)
{
    const size_t n = std::strlen(entry);
    if (n < 1 + kTempMarkLength + kTempRandomLength + 1 || entry[0] != '.') return false;
    const size_t markAt = n - kTempRandomLength - kTempMarkLength;
    if (std::memcmp(entry + markAt, kTempMark, kTempMarkLength) != 0 || !IsTempRandom(entry + n - kTempRandomLength))
        return false;
    if (!target) return markAt > 1;
    const size_t t = std::strlen(target);
    return markAt == 1 + t && std::memcmp(entry + 1, target, t) == 0;
}

// Removes the file `name` of the open folder when it is a plain file that nobody holds.
void RemoveIfStale(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat held, named;
    // While the lock is ours no writer holds the file, and none can take it again: writers lock
    // a file only right after making it and check that it still has its name.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
        named.st_ino == held.st_ino) {
        NameChangeHook();
        ::unlinkat(folder, name, 0);
    }
    ::close(fd);
}

// Removes the left-over new files of `target` (a name) in the host folder, or all of them.
void RemoveStaleIn(const std::string& hostFolder, const char* target)
{
    DIR* dir = ::opendir(hostFolder.empty() ? "." : hostFolder.c_str());
    if (!dir) return;
    while (struct dirent* entry = ::readdir(dir))
        if (IsTempNameOf(entry->d_name, target)) RemoveIfStale(::dirfd(dir), entry->d_name);
    ::closedir(dir);
}

// Makes the new file beside `target` and takes its lock; -1 when it cannot be made.
int MakeLockedTemp(const std::string& target, std::string& temp)
{
    const size_t slash = target.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        temp = target.substr(0, nameAt) + "." + target.substr(nameAt) + kTempMark + "XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        struct stat held, named;
        // A cleaner that found the file before the lock was taken may have removed it: then
        // the lock holds a file without a name, and a new one is made.
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &held) == 0 && ::lstat(temp.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            return fd;
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}
}  // namespace

struct EarlierFile {
    int fd;
};

void RemoveStaleReplacements(const char* windowsFolder)
{
    if (!windowsFolder || !*windowsFolder) return;
    std::string host = ToHostPath(windowsFolder);
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    RemoveStaleIn(host, nullptr);
}

struct FileReplacement {
    std::string temp;    // the new file; empty when the target is written in place
    std::string target;  // what it replaces
    int lock = -1;       // holds the new file's lock until it took its name or was removed
    int earlier = -1;    // the earlier file, held open over the rename
    bool replaces = false;  // a file stood at the target
    bool closed = false;
    bool stored = false;  // closed with every byte written out (and synced, when synced)
    bool synced = false;  // on the disk as far as the rename needs
};

FILE* BeginHostReplacement(const std::string& hostTarget, const char* mode, unsigned fileMode,
                           FileReplacement*& replacement, LinkAtTarget link, bool removeStale)
{
    replacement = nullptr;
    if (hostTarget.empty() || !mode || OpenFails()) return nullptr;
    std::string target = hostTarget;
    struct stat st;
    // A link replaced as itself is a plain file's place: nothing of what it names is looked at.
    const bool linkItself = link == LinkAtTarget::Replace && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    const bool exists = linkItself || ::stat(target.c_str(), &st) == 0;
    if (linkItself) st.st_mode = S_IFREG;
    std::string temp;
    int lock = -1;
    FILE* f = nullptr;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe takes the bytes where it stands; a folder opens as nothing.
        f = std::fopen(target.c_str(), mode);
    } else {
        if (exists && !linkItself) {
            if (char* real = ::realpath(target.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        const size_t slash = target.rfind('/');
        if (removeStale)
            RemoveStaleIn(slash == std::string::npos ? std::string() : target.substr(0, slash ? slash : 1),
                          target.c_str() + (slash == std::string::npos ? 0 : slash + 1));
        const int fd = MakeLockedTemp(target, temp);
        if (fd < 0) return nullptr;
        mode_t permissions = static_cast<mode_t>(fileMode);
        if (!permissions) {
            if (exists && !linkItself) {
                permissions = st.st_mode & 07777;
            } else {
                const mode_t mask = ::umask(0);
                ::umask(mask);
                permissions = 0666 & ~mask;
                if (std::strpbrk(mode, "wa+") && IsProgramName(target)) permissions = Runnable(permissions);
            }
        }
        ::fchmod(fd, permissions);
        // The stream's own descriptor is closed with the stream; the lock stays with this one.
        lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        f = lock >= 0 ? ::fdopen(fd, mode) : nullptr;
        if (!f) {
            ::unlink(temp.c_str());
            ::close(fd);
            if (lock >= 0) ::close(lock);
            return nullptr;
        }
    }
    if (!f) return nullptr;
    replacement = new (std::nothrow) FileReplacement;
    if (replacement) {
        replacement->temp = temp;
        replacement->target = target;
        replacement->lock = lock;
        replacement->replaces = exists;
    }
    if (!replacement) {
        std::fclose(f);
        if (!temp.empty()) ::unlink(temp.c_str());
        if (lock >= 0) ::close(lock);
        errno = ENOMEM;
        return nullptr;
    }
    return f;
}

FILE* BeginReplacement(const char* windowsTarget, const char* mode, FileReplacement*& replacement,
                       LinkAtTarget link, bool removeStale)
{
    replacement = nullptr;
    if (!windowsTarget || !*windowsTarget) return nullptr;
    return BeginHostReplacement(ToHostPath(windowsTarget), mode, 0, replacement, link, removeStale);
}

bool CloseReplacement(FILE* stream, FileReplacement* replacement, bool sync)
{
    if (!replacement || replacement->closed) return false;
    bool ok = stream && !std::ferror(stream) && std::fflush(stream) == 0;
    if (stream && std::fclose(stream) != 0) ok = false;
    replacement->closed = true;
    replacement->stored = ok;
    return ok && (!sync || SyncReplacement(replacement));
}

bool SyncReplacement(FileReplacement* replacement)
{
    if (!replacement || !replacement->closed || !replacement->stored) return false;
    // Only data on the disk may take an earlier file's name: it goes before the rename (a new
    // name loses nothing when the system stops before the data is written). The lock's
    // descriptor is one of the new file's.
    if (!replacement->synced && !replacement->temp.empty() && replacement->replaces && g_syncFiles.load(std::memory_order_relaxed))
        replacement->stored = ::fdatasync(replacement->lock) == 0;
    replacement->synced = true;
    return replacement->stored;
}

bool EndReplacement(FILE* stream, FileReplacement* replacement, bool commit, EarlierFile** earlier)
{
    if (earlier) *earlier = nullptr;
    if (!replacement) {
        if (stream) std::fclose(stream);
        return false;
    }
    if (!replacement->closed) {
        if (commit) {
            CloseReplacement(stream, replacement);
        } else if (stream) {
            std::fclose(stream);
        }
    }
    bool ok = commit && SyncReplacement(replacement);
    if (!replacement->temp.empty()) {
        // Held open, the earlier file's space is freed where the caller closes it.
        if (ok && earlier && replacement->replaces)
            replacement->earlier = ::open(replacement->target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        NameChangeHook();
        if (ok) ok = ::rename(replacement->temp.c_str(), replacement->target.c_str()) == 0;
        if (!ok) ::unlink(replacement->temp.c_str());
    }
    if (replacement->lock >= 0) ::close(replacement->lock);
    if (ok && earlier && replacement->earlier >= 0) {
        *earlier = new (std::nothrow) EarlierFile{replacement->earlier};
        if (*earlier) replacement->earlier = -1;
    }
    if (replacement->earlier >= 0) ::close(replacement->earlier);
    delete replacement;
    return ok;
}

void CloseEarlierFile(EarlierFile* earlier)
{
    if (!earlier) return;
    ::close(earlier->fd);
    delete earlier;
}

void SetOpenFailureAfter(long n) { g_openFailAfter.store(n, std::memory_order_relaxed); }

bool OpenFailurePending() { return g_openFailAfter.load(std::memory_order_relaxed) >= 0; }
void SetTruncateFailureAfter(long n) { g_truncateFailAfter.store(n, std::memory_order_relaxed); }

bool FileExists(const char* windowsPath)
{
    struct stat st;
    return StatPath(windowsPath, st) && !S_ISDIR(st.st_mode);
}

bool FolderExists(const char* windowsPath)
{
    struct stat st;
    return StatPath(windowsPath, st) && S_ISDIR(st.st_mode);
}

bool PathExists(const char* windowsPath)
{
    struct stat st;
    return StatPath(windowsPath, st);
}

int64_t FileSize(const char* windowsPath)
{
    struct stat st;
    if (!StatPath(windowsPath, st) || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool RemoveFile(const char* windowsPath)
{
    if (!windowsPath || !*windowsPath) return false;
    std::string host = ToHostPath(windowsPath);
    if (!MayDestroy(host)) return false;
    NameChangeHook();
    return ::unlink(host.c_str()) == 0;
}

bool RemoveFolder(const char* windowsPath)
{
    if (!windowsPath || !*windowsPath) return false;
    std::string host = StripTrailingSlashes(ToHostPath(windowsPath));
    if (!MayDestroy(host)) return false;
    NameChangeHook();
    return ::rmdir(host.c_str()) == 0;
}

bool RenamePath(const char* fromWindowsPath, const char* toWindowsPath)
{
    if (!fromWindowsPath || !*fromWindowsPath || !toWindowsPath || !*toWindowsPath) return false;
    std::string from = ToHostPath(fromWindowsPath);
    std::string to = ToHostPath(toWindowsPath);
    if (!MayDestroy(from) || !MayDestroy(to)) return false;
    NameChangeHook();
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool LinkPath(const char* fromWindowsPath, const char* toWindowsPath)
{
    if (!fromWindowsPath || !*fromWindowsPath || !toWindowsPath || !*toWindowsPath) return false;
    const std::string from = ToHostPath(fromWindowsPath), to = ToHostPath(toWindowsPath);
    NameChangeHook();
    return ::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0;
}

namespace {
FolderCreation MakeHostFolder(const std::string& host)
{
    if (host.empty()) return FolderCreation::Failed;
    if (::mkdir(host.c_str(), 0755) == 0) return FolderCreation::Created;
    struct stat st;
    if (errno == EEXIST && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FolderCreation::Existed;
    return FolderCreation::Failed;
}
}  // namespace

void SetCreateFolderFailureAfter(long n) { g_createFolderFailAfter = n; }

FolderCreation CreateFolderReport(const char* windowsPath)
{
    if (!windowsPath || !*windowsPath) return FolderCreation::Failed;
    if (g_createFolderFailAfter >= 0) {
        if (g_createFolderFailAfter == 0) {
            g_createFolderFailAfter = -1;
            errno = EACCES;
            return FolderCreation::Failed;
        }
        --g_createFolderFailAfter;
    }
    return MakeHostFolder(StripTrailingSlashes(ToHostPath(windowsPath)));
}

bool CreateFolder(const char* windowsPath)
{
    return CreateFolderReport(windowsPath) != FolderCreation::Failed;
}

bool CreateFolders(const char* windowsPath)
{
    if (!windowsPath || !*windowsPath) return false;
    std::string host = ToHostPath(windowsPath);
    while (host.size() > 1 && host.back() == '/') host.pop_back();
    if (host.empty()) return false;
    for (size_t i = 1; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '/') {
            if (host[i - 1] == '/') continue;
            if (MakeHostFolder(host.substr(0, i)) == FolderCreation::Failed) return false;
        }
    }
    return true;
}

bool ListFolder(const char* windowsPath,
                bool (*visit)(const char* name, bool isFolder, void* context), void* context)
{
    if (!windowsPath || !*windowsPath || !visit) return false;
    std::string host = ToHostPath(windowsPath);
    DIR* dir = ::opendir(host.c_str());
    if (!dir) return false;
    while (struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        bool isFolder = false;
        if (entry->d_type == DT_DIR) {
            isFolder = true;
        } else if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st;
            std::string full = host + "/" + name;
            isFolder = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (!visit(name, isFolder, context)) break;
    }
    ::closedir(dir);
    return true;
}

}  // namespace qwp
