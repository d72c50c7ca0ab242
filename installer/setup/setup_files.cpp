#include "installer/setup/setup_files.h"

#include "platform/qw_paths.h"

namespace qwsetup {

bool CReplacedFiles::Begin(CQWF_StdFile& file, const CQWF_String& path, int mode)
{
    // A folder at the path is no file's place (setting it aside would move a whole folder).
    if (qwp::FolderExists(path.GetBuffer()) && !qwp::IsSymbolicLink(path.GetBuffer())) return false;
    return file.OpenReplacement(path, mode, true);
}

CQWF_String CReplacedFiles::AsideName(const CQWF_String& path)
{
    int64_t back = path.FindChar('\\', 0, false);
    size_t cut = back < 0 ? 0 : path.GetLength() - static_cast<size_t>(back);
    return path.Left(cut) + "." + path.Mid(cut, path.GetLength()) + ".qwearlier";
}

bool CReplacedFiles::Place(CQWF_StdFile& file, const CQWF_String& path)
{
    // Stored whole first: a full disk or a failed write changes nothing at the path.
    if (!file.Close()) {
        file.GiveUpReplacement();
        return false;
    }
    return Put(file, path);
}

bool CReplacedFiles::Stage(std::unique_ptr<CQWF_StdFile> file, const CQWF_String& path)
{
    if (!file->Close()) {
        file->GiveUpReplacement();
        return false;
    }
    m_staged.push_back(Staged{std::move(file), path});
    return true;
}

bool CReplacedFiles::PlaceStaged(CQWF_String& failed)
{
    std::vector<Staged> staged = std::move(m_staged);
    m_staged.clear();
    for (Staged& s : staged) {
        if (!Put(*s.file, s.path)) {
            failed = s.path;
            return false;  // the others not put are given up with their objects
        }
    }
    return true;
}

bool CReplacedFiles::Put(CQWF_StdFile& file, const CQWF_String& path)
{
    const char* at = path.GetBuffer();
    bool known = false;
    for (size_t i = 0; i < m_placed.GetCount() && !known; ++i) known = *m_placed.GetStringPtr(i) == path.GetBuffer();
    CQWF_String aside;
    bool moved = false;
    if (!known) {
        // What a stopped run left under the hidden name is of no use any more.
        const CQWF_String hidden = AsideName(path);
        if (qwp::PathExists(hidden.GetBuffer()) || qwp::IsSymbolicLink(hidden.GetBuffer())) qwp::RemoveFile(hidden.GetBuffer());
        if (qwp::PathExists(at) || qwp::IsSymbolicLink(at)) {
            // The earlier file keeps a second name and the new one takes its place in one step:
            // whenever the run stops, the place holds one of them whole. Where the file system has
            // no second names, the earlier file moves aside by its name.
            aside = hidden;
            if (!qwp::LinkPath(at, aside.GetBuffer())) {
                moved = qwp::RenamePath(at, aside.GetBuffer());
                if (!moved) {
                    file.GiveUpReplacement();
                    return false;
                }
            }
        }
    }
    if (!file.Commit()) {
        if (moved) qwp::RenamePath(aside.GetBuffer(), at);
        else if (aside.GetLength() > 0) qwp::RemoveFile(aside.GetBuffer());
        return false;
    }
    if (!known) {
        m_placed.Add(path);
        m_aside.Add(aside);
    }
    return true;
}

bool CReplacedFiles::PlaceBytes(const CQWF_String& path, const void* bytes, size_t length)
{
    CQWF_StdFile file;
    if (!Begin(file, path, CQWF_StdFile::kModeWrite)) return false;
    if (length && file.Write(bytes, length) != static_cast<int64_t>(length)) {
        file.GiveUpReplacement();
        return false;
    }
    return Place(file, path);
}

void CReplacedFiles::RollBack()
{
    m_staged.clear();
    for (size_t i = m_placed.GetCount(); i-- > 0;) {
        const CQWF_String& path = *m_placed.GetStringPtr(i);
        const CQWF_String& aside = *m_aside.GetStringPtr(i);
        if (aside.GetLength() > 0) qwp::RenamePath(aside.GetBuffer(), path.GetBuffer());
        else qwp::RemoveFile(path.GetBuffer());
    }
    m_placed.RemoveAll();
    m_aside.RemoveAll();
}

void CReplacedFiles::Finish()
{
    m_staged.clear();
    for (size_t i = 0; i < m_aside.GetCount(); ++i)
        if (m_aside.GetStringPtr(i)->GetLength() > 0) qwp::RemoveFile(m_aside.GetStringPtr(i)->GetBuffer());
    m_placed.RemoveAll();
    m_aside.RemoveAll();
}

}  // namespace qwsetup
