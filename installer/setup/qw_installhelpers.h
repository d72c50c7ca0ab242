// The system helpers of the setup and uninstall programs: file-system queries and folder trees,
// registry texts, and Start-menu shortcuts. They report by their results only and show nothing;
// their callers choose the message.
#pragma once

#include <cstdint>

#include "framework/core/qwf_string.h"

class CQWWIN32FileSystem {
public:
    // Paths longer than this do not fit the programs' path buffers.
    static constexpr size_t kMaxPath = 259;
    // The folder log of one installation holds at most this many characters.
    static constexpr size_t kMaxLog = 26000;
    // One folder-tree call undoes at most this many folders it created.
    static constexpr size_t kMaxUndo = 100;

    virtual ~CQWWIN32FileSystem() = default;

    // True when the path names an existing file or folder.
    bool FileExists(const CQWF_String& path) const;
    // The longest existing prefix of the path, cut at backslashes; false when none exists.
    bool FolderOfPathExists(const CQWF_String& path, CQWF_String& out) const;
    // Free space in MB available to the caller on the drive of the nearest existing folder of
    // the path; -1 when no prefix of the path exists or nothing can be measured.
    int64_t GetFreeSpaceMB(const CQWF_String& path) const;
    // Creates every missing folder of an absolute path "X:\...". Each folder it creates is
    // appended to the log (when given) as its path ending in a backslash and a line feed; `out`
    // (when given) receives the normalised path: upper-case drive letter, parts trimmed of blanks,
    // empty and "." parts dropped, one backslash at the end. A path of another form, on a drive
    // that does not exist, with a ".." part or longer than kMaxPath fails; so does a folder that
    // cannot be created, after the folders created by this call are removed again. With
    // `within` (a normalised folder), a folder below it on the way that is a link fails the call
    // before anything is made: what is made there would lie where the link points.
    bool CreateFolderTree(CQWF_String* log, const CQWF_String& path, CQWF_String* out,
                          const CQWF_String* within = nullptr) const;
    // The folders CreateFolderTree would make for the path now, as its log would list them, and
    // the normalised path (when `out` is given); false for a path it refuses before making
    // anything.
    bool PlanFolderTree(const CQWF_String& path, CQWF_String& missing, CQWF_String* out = nullptr,
                        const CQWF_String* within = nullptr) const;
};

// Registry roots by number: 1 classes root, 2 current user, 3 local machine.
enum : int { kRegClassesRoot = 1, kRegCurrentUser = 2, kRegLocalMachine = 3 };

// Splits "key\value name" at the last backslash; a path without one is all value name. False when
// a part is longer than 999 characters.
bool SplitRegPath(const CQWF_String& path, CQWF_String& key, CQWF_String& value);
// Reads a value as text: strings as they are, 32-bit values in decimal; false for values longer
// than 255 bytes, binary values ("Binary data") and other kinds ("Can't convert to string").
bool RegReadString(const CQWF_String& path, int root, CQWF_String& out);
// The name of the key's sub-key at the index (sorted); false when the key does not open or there
// is no such sub-key.
bool RegEnumSubKey(const CQWF_String& key, int root, CQWF_String& out, uint32_t index);
// Under the local machine: opens or creates the key and sets the value as a string.
bool RegWriteString(const CQWF_String& path, const CQWF_String& text);
// Under the local machine: the highest key of the path that does not exist ("" when the key
// exists), that is the first key that RegWriteString would make on the way to it.
CQWF_String FirstMissingKey(const CQWF_String& key);
// Under the local machine: the keys from `key` up to and including `created` (the key or one of
// its parents; else nothing happens) that are empty go, the deepest first, up to the first that
// holds values or sub-keys. So the keys a setup made on the way to its entry go again with it,
// unless something else has come into them.
void RemoveEmptyKeys(const CQWF_String& key, const CQWF_String& created);
// Whether `created` is the key or one of its parents (registry names compare without case).
bool IsKeyOnTheWay(const CQWF_String& created, const CQWF_String& key);

// Checks of names that become parts of paths or registry keys: a plain name, not empty, not "."
// or "..", without a drive, separator, wildcard or character a file name cannot hold. `why` tells
// what is wrong.
bool IsPlainName(const CQWF_String& name, CQWF_String* why = nullptr);

class CQWShortcut {
public:
    virtual ~CQWShortcut() = default;

    // The all-users Programs folder of the Start menu, or the user's own; empty when neither.
    // With a log, a folder that is missing is made where it belongs (the desktop's rule for its
    // data folders) and the folders made are logged as CQWWIN32FileSystem::CreateFolderTree logs.
    bool GetProgramsFolder(CQWF_String& out, CQWF_String* log = nullptr) const;
    // Where GetProgramsFolder with a log finds or makes the folder, and the folders it would make
    // (as its log would list them); false when it would find none.
    bool PlanProgramsFolder(CQWF_String& out, CQWF_String& missing) const;
    // Appends a backslash (unless there is one) and the name to the folder and creates that
    // folder; an existing folder counts as success. `created` tells whether it was made now.
    bool MakeSubFolder(const CQWF_String& folder, const CQWF_String& name, CQWF_String* path = nullptr,
                       bool* created = nullptr) const;
    bool WriteLink(const CQWF_String& linkPath, const CQWF_String& target, const CQWF_String& workingFolder) const;
    // A link named `name` in the group folder below the Programs folder, to the target, saved as
    // the system saves links (qwp::ShellLinkFilePath: "NAME.desktop", a ".lnk" ending replaced).
    // The group and the name must be plain names. The link file's path and whether the group
    // folder was made by this call are given back; a log is passed to GetProgramsFolder.
    bool Create(const CQWF_String& target, const CQWF_String& group, const CQWF_String& name,
                const CQWF_String& workingFolder, CQWF_String* linkPath = nullptr,
                bool* groupCreated = nullptr, CQWF_String* log = nullptr) const;
    // Create's steps up to the link's file: the group folder (made when missing; a link in its
    // place is no group folder) and the path of the link file in it.
    bool PrepareLink(const CQWF_String& group, const CQWF_String& name, CQWF_String& linkPath,
                     CQWF_String* groupFolder = nullptr, bool* groupCreated = nullptr, CQWF_String* log = nullptr) const;
};

// Path helpers shared by both programs.
namespace qwinstall {
// The path with a backslash at its end.
CQWF_String WithBackslash(const CQWF_String& path);
// True when `path` lies inside the folder `folder` (ending in a backslash or not), compared as
// the system compares names (qwp::SamePathText); the folder itself does not lie inside itself.
bool IsInsideFolder(const CQWF_String& path, const CQWF_String& folder);
// True when the path begins with a drive letter, a colon and a backslash and has no ".." part,
// wildcard, further colon, double quote or control character.
bool IsPlainAbsolutePath(const CQWF_String& path);
// Whether the two folder texts name one folder (trailing backslashes aside); an empty one names
// none.
bool IsSameFolder(const CQWF_String& a, const CQWF_String& b);
// Whether a folder is `base` or one of its parents (a folder a setup makes on its way to `base`),
// or, with `orInside`, lies inside `base` with no link between them.
bool IsFolderOfBase(const CQWF_String& folder, const CQWF_String& base, bool orInside);
// Whether the folder is `inner` or one of its parents as the files lie on the host, where the
// folders above a drive's root hold the drive too (those a setup made for the system drive).
bool IsHostFolderOf(const CQWF_String& folder, const CQWF_String& inner);
// Whether a folder between `folder` and `path` (which lies inside it) is a link: what lies below
// a link is not the installation's, whatever its path says.
bool LinkBetween(const CQWF_String& folder, const CQWF_String& path);
}  // namespace qwinstall
