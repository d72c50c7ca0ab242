// The files one installation writes. Each is written beside its place and put there only once it
// is stored whole; a file (or link) that stood there keeps a hidden second name until the
// installation ends, while the new file takes its place in one step. So a run that fails, or is
// aborted, puts back every earlier file as it was, a run that succeeds drops what it kept, and a
// run stopped anywhere leaves each place with the earlier file or the new one, whole (what it
// left under hidden names the next run, or the uninstall, removes). Nothing is ever written
// through a link: a link at a file's place is kept aside as the link it is.
#pragma once

#include <memory>
#include <vector>

#include "framework/core/qwf_array.h"
#include "framework/core/qwf_file.h"
#include "framework/core/qwf_string.h"

namespace qwsetup {

class CReplacedFiles {
public:
    CReplacedFiles() = default;
    CReplacedFiles(const CReplacedFiles&) = delete;
    CReplacedFiles& operator=(const CReplacedFiles&) = delete;

    // Opens the new file for `path` in `mode` (CQWF_StdFile 2 or 4); false when it cannot be
    // made (a folder at the path, a folder that cannot be written).
    static bool Begin(CQWF_StdFile& file, const CQWF_String& path, int mode);
    // Stores the new file whole and puts it at `path`, the earlier one set aside (the first time
    // the path is placed). False, with nothing changed at the path, when it could not be stored or
    // put there.
    bool Place(CQWF_StdFile& file, const CQWF_String& path);
    // A whole file of these bytes at `path`.
    bool PlaceBytes(const CQWF_String& path, const void* bytes, size_t length);
    // Stores the new file whole now and keeps it to be put at `path` by PlaceStaged; false (the
    // new file given up) when it could not be stored.
    bool Stage(std::unique_ptr<CQWF_StdFile> file, const CQWF_String& path);
    // Puts every staged file at its path, in the order staged; false, with the path that failed,
    // when one could not be put there (those put before stay placed).
    bool PlaceStaged(CQWF_String& failed);

    // Takes away every file placed and puts back what was set aside, the last first.
    void RollBack();
    // Drops what was set aside; the placed files stay.
    void Finish();

    // The hidden name beside `path` under which an earlier file waits.
    static CQWF_String AsideName(const CQWF_String& path);

private:
    // Puts a stored new file at its path.
    bool Put(CQWF_StdFile& file, const CQWF_String& path);

    struct Staged {
        std::unique_ptr<CQWF_StdFile> file;
        CQWF_String path;
    };
    std::vector<Staged> m_staged;
    CQWF_StringArray m_placed;  // every path placed, once
    CQWF_StringArray m_aside;   // per placed path its earlier file's name, "" when none stood there
};

}  // namespace qwsetup
