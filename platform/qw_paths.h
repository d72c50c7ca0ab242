// Windows-style paths at the system-call boundary, and the file-system calls that take them.
//
// Program code names files the way the file formats and settings store them: "C:\dir\file".
// Here they become host paths: "Z:\" is the host's "/", and every other drive letter is a folder
// under one prefix folder (env QW_ROOT, default "<data home>/qwjigcrafter/drives"), e.g. "C:\a"
// is "<prefix>/c/a". Paths without a drive ("dir\file") stay relative; "\dir" is on drive Z.
// Forward slashes are accepted as separators too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qwp {

// The prefix folder that holds the drive folders (no trailing slash).
std::string DriveRoot();
// Test hook: use this prefix folder instead of QW_ROOT and the default; null restores them.
void SetDriveRoot(const char* hostFolder);

// "C:\a\b" -> "<prefix>/c/a/b"; "Z:\tmp\a" -> "/tmp/a"; "a\b" -> "a/b". Null gives "".
std::string ToHostPath(const char* windowsPath);
// The reverse: "/tmp/a" -> "Z:\tmp\a"; "<prefix>/c/a" -> "C:\a"; a relative path keeps its
// relativity with backslashes ("a/b" -> "a\b").
std::string ToWindowsPath(const char* hostPath);

// Whether two Windows-style path texts are the same as this system compares file names: drive
// letters without regard to case, "\" and "/" alike, every other character exactly (names that
// differ in case are different files here).
bool SamePathText(const std::string& a, const std::string& b);
// Whether the path itself is a symbolic link (the link is not followed).
bool IsSymbolicLink(const char* windowsPath);
// Whether the two paths name one existing file or folder (links followed).
bool IsSameFile(const char* windowsPathA, const char* windowsPathB);

// File-system calls on Windows-style paths. They return false / null / -1 on failure. A program
// file (".exe") opened for writing is made executable.
FILE* OpenFile(const char* windowsPath, const char* mode);
bool FileExists(const char* windowsPath);    // a file (not a folder)
bool FolderExists(const char* windowsPath);  // a folder
bool PathExists(const char* windowsPath);    // either
int64_t FileSize(const char* windowsPath);
// The three destructive calls obey the prefix guard (qw_guard.h).
bool RemoveFile(const char* windowsPath);
bool RemoveFolder(const char* windowsPath);  // an empty folder
bool RenamePath(const char* fromWindowsPath, const char* toWindowsPath);
// A second name for a file: a hard link (a symbolic link gets one of its own, not followed). False
// when the name is taken or the file system has no hard links.
bool LinkPath(const char* fromWindowsPath, const char* toWindowsPath);
bool CreateFolder(const char* windowsPath);  // one level; true when it exists afterwards
// One level, telling whether the folder was made, was there already, or could not be made.
enum class FolderCreation { Created, Existed, Failed };
FolderCreation CreateFolderReport(const char* windowsPath);
bool CreateFolders(const char* windowsPath); // every missing level
// Calls `visit` for each entry of a folder except "." and ".."; false when the folder cannot be
// read. A visitor returning false stops the listing.
bool ListFolder(const char* windowsPath,
                bool (*visit)(const char* name, bool isFolder, void* context), void* context);

// 64-bit positions of an open stream: SeekFile (whence SEEK_SET, SEEK_CUR or SEEK_END) gives 0
// or -1, TellFile the position or -1. StreamIsRegularFile: the stream reads a plain file (not a
// folder, device or pipe); StreamFileSize its size in bytes, -1 when it has none.
int SeekFile(FILE* stream, int64_t offset, int whence);
int64_t TellFile(FILE* stream);
bool StreamIsRegularFile(FILE* stream);
int64_t StreamFileSize(FILE* stream);

// Writing through a stream: fwrite's count (less than asked when the disk is full or a write
// failed). TruncateStream writes out what the stream holds and cuts its file to `size` bytes.
size_t WriteStream(FILE* stream, const void* data, size_t count);
bool TruncateStream(FILE* stream, int64_t size);

// Replacing a file whole, the one way the programs write a file over an earlier one.
// BeginReplacement opens a new file beside the target (in its folder, under a hidden name of its
// own, ".<name>.~qw" and six letters or digits, with the target's permissions or those of a new
// file) in the stream mode given; the target is not touched. The new file is locked until the
// replacement ends, and new files of the target that nobody holds (left by a writer that stopped
// without ending its replacement) are removed first. CloseReplacement writes out the stream and
// closes it, and with `sync` syncs the new file to the disk when it is to replace an earlier
// file; SyncReplacement does that sync later, on any thread (both true when all of that
// succeeded). EndReplacement with `commit`, after a successful close, syncs the new file when
// that was not done yet and renames it over the target, so that readers see the old file or the
// whole new one; otherwise (or when the sync or the rename fails) it removes the new file and
// the target stays as it was. It answers true only when the new file took the target's place,
// closes a stream still open and ends the replacement in every case. A target that exists but
// is no plain file (a device, a pipe) is written in place; a link stays a link and the file it
// names is replaced, unless LinkAtTarget::Replace is asked for: the new file then takes the
// link's own place (with the permissions of a new file), and nothing is written through the
// link. Without `removeStale` the left-over new files are not looked for (a series of files in
// one folder removes them once, RemoveStaleReplacements).
struct FileReplacement;
enum class LinkAtTarget { Follow, Replace };
FILE* BeginReplacement(const char* windowsTarget, const char* mode, FileReplacement*& replacement,
                       LinkAtTarget link = LinkAtTarget::Follow, bool removeStale = true);
// The same on a host path; `fileMode` (0: as above) gives the new file's permissions.
FILE* BeginHostReplacement(const std::string& hostTarget, const char* mode, unsigned fileMode,
                           FileReplacement*& replacement, LinkAtTarget link = LinkAtTarget::Follow,
                           bool removeStale = true);
bool CloseReplacement(FILE* stream, FileReplacement* replacement, bool sync = true);
bool SyncReplacement(FileReplacement* replacement);
// The system frees the space of the earlier file that a new one replaced when the earlier file's
// last descriptor closes, which on a disk mounted with "discard" waits for the device. With
// `earlier` given, a replacement that took the target's place keeps the earlier file open and
// hands it over (null when there was none), to be closed by CloseEarlierFile on any thread.
struct EarlierFile;
bool EndReplacement(FILE* stream, FileReplacement* replacement, bool commit, EarlierFile** earlier = nullptr);
void CloseEarlierFile(EarlierFile* earlier);

// Removes the new files of replacements in the folder that nobody holds (left over by writers that
// stopped): for the folders a program keeps its own files in, when it starts, and for the folder
// of a series of files.
void RemoveStaleReplacements(const char* windowsFolder);

// Fault injection for tests: the next `n` opens succeed and the one after fails (-1: off).
void SetOpenFailureAfter(long n);
// Whether that failure is still to come.
bool OpenFailurePending();
// Tests of files the user may not write: existing files inside this folder (at any depth) open
// only for reading; an open that would write one fails (EACCES). New files and replacements are
// not affected, as for files without write permission in a folder the user may write. Null: off.
void SetUnwritableFilesForTesting(const char* windowsFolder);
// Tests of what a crash leaves: the process ends as a killed one ends (status 137, nothing more
// written or closed) at the WriteStream call after the next `n` ones, before it writes (-1: off).
void SetExitAtWriteAfter(long n);
// The same at the rename, hard link or removal of a file or folder after the next `n` ones (-1:
// off), before it is done; NameChangesMade counts those calls since the process started. The
// platform's own calls that rename, link or remove a name call NameChangeHook first.
void SetExitAtNameChangeAfter(long n);
long NameChangesMade();
void NameChangeHook();
// Tests whose files never outlive the machine: replacements skip their sync to the disk (false).
void SetFileSyncForTesting(bool on);
// The next `n` cuts (TruncateStream) succeed and the one after fails (-1: off).
void SetTruncateFailureAfter(long n);
// The same for CreateFolder: the next `n` folders are created and the one after is not.
void SetCreateFolderFailureAfter(long n);
// A small file system for tests: the files inside this folder (at any depth) may grow by `bytes`
// bytes in all through WriteStream, and a write that needs more stores what fits and fails as on a
// full disk (ENOSPC); overwriting bytes a file already has needs no space, and TruncateStream
// gives the cut bytes back. A null folder or a negative count: off.
void SetFreeSpace(const char* windowsFolder, int64_t bytes);

}  // namespace qwp
