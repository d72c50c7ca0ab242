#include "installer/setup/qw_installhelpers.h"

#include <cstring>
#include <string>

#include "framework/core/qwf_array.h"

#include "platform/qw_diskspace.h"
#include "platform/qw_drives.h"
#include "platform/qw_paths.h"
#include "platform/qw_registry.h"
#include "platform/qw_shelllink.h"
#include "platform/qw_userfolders.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

// ---------------------------------------------------------------------------------------------
// File system

bool CQWWIN32FileSystem::FileExists(const CQWF_String& path) const
{
    return path.GetLength() > 0 && qwp::PathExists(path.GetBuffer());
}

bool CQWWIN32FileSystem::FolderOfPathExists(const CQWF_String& path, CQWF_String& out) const
{
    CQWF_String probe = path.Left(260);
    for (;;) {
        if (FileExists(probe)) {
            out = probe;
            return true;
        }
        int64_t cut = probe.FindChar('\\', 0, false);
        if (cut < 0) return false;
        // Backward searches count from the end.
        probe = probe.Left(probe.GetLength() - 1 - static_cast<size_t>(cut));
    }
}

int64_t CQWWIN32FileSystem::GetFreeSpaceMB(const CQWF_String& path) const
{
    CQWF_String folder;
    if (!FolderOfPathExists(path, folder)) return -1;
    uint64_t available = 0, total = 0, free = 0;
    if (qwp::DiskFreeSpaceEx(folder.GetBuffer(), available, total, free))
        return static_cast<int64_t>(available >> 20);
    uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!qwp::DiskFreeSpace(folder.GetBuffer(), sectorsPerCluster, bytesPerSector, freeClusters, totalClusters))
        return -1;
    // In 64 bits: the product of the three overflows 32 bits beyond 4 GB.
    uint64_t bytes = uint64_t(sectorsPerCluster) * bytesPerSector * freeClusters;
    return static_cast<int64_t>(bytes >> 20);
}

namespace {
// The drive root and the parts of an absolute path as CreateFolderTree takes them; false for a
// path it refuses before making anything.
bool TreeParts(const CQWF_String& path, CQWF_String& normal, CQWF_StringArray& parts, const CQWF_String* within)
{
    const char* p = path.GetBuffer();
    if (path.GetLength() < 3 || !IsLetter(p[0]) || p[1] != ':' || p[2] != '\\') return false;
    char drive = Upper(p[0]);
    if (!qwp::IsLogicalDrive(drive)) return false;
    normal.Format("%c:\\", drive);
    // Check every part before creating anything.
    size_t i = 3;
    while (i <= path.GetLength()) {
        size_t end = i;
        while (end < path.GetLength() && !IsSeparator(p[end])) ++end;
        CQWF_String part = path.Mid(i, end - i);
        part.Trim();
        i = end + 1;
        if (part.GetLength() == 0 || part == ".") continue;
        if (part == "..") return false;
        parts.Add(part);
    }
    size_t length = normal.GetLength();
    for (size_t k = 0; k < parts.GetCount(); ++k) length += parts.GetStringPtr(k)->GetLength() + 1;
    if (length > CQWWIN32FileSystem::kMaxPath) return false;
    if (within) {
        CQWF_String level = normal;
        for (size_t k = 0; k < parts.GetCount(); ++k) {
            level += *parts.GetStringPtr(k);
            if (qwinstall::IsInsideFolder(level, *within) && qwp::IsSymbolicLink(level.GetBuffer())) return false;
            level += '\\';
        }
    }
    return true;
}
}  // namespace

bool CQWWIN32FileSystem::PlanFolderTree(const CQWF_String& path, CQWF_String& missing, CQWF_String* out,
                                        const CQWF_String* within) const
{
    missing = "";
    CQWF_String normal;
    CQWF_StringArray parts;
    if (!TreeParts(path, normal, parts, within)) return false;
    for (size_t k = 0; k < parts.GetCount(); ++k) {
        normal += *parts.GetStringPtr(k);
        normal += '\\';
        if (!qwp::FolderExists(normal.GetBuffer())) missing += normal + "\n";
    }
    if (out) *out = normal;
    return true;
}

bool CQWWIN32FileSystem::CreateFolderTree(CQWF_String* log, const CQWF_String& path, CQWF_String* out,
                                          const CQWF_String* within) const
{
    CQWF_String normal;
    CQWF_StringArray parts;
    if (!TreeParts(path, normal, parts, within)) return false;

    CQWF_StringArray made;
    for (size_t k = 0; k < parts.GetCount(); ++k) {
        normal += *parts.GetStringPtr(k);
        normal += '\\';
        qwp::FolderCreation result = qwp::CreateFolderReport(normal.GetBuffer());
        if (result == qwp::FolderCreation::Failed) {
            for (size_t m = made.GetCount(); m-- > 0;) qwp::RemoveFolder(made.GetStringPtr(m)->GetBuffer());
            return false;
        }
        if (result == qwp::FolderCreation::Created && log) {
            // A folder that no longer fits into the log is created but neither logged nor undone.
            if (normal.GetLength() + log->GetLength() + 2 < kMaxLog) {
                *log += normal;
                *log += '\n';
                if (made.GetCount() < kMaxUndo) made.Add(normal);
            }
        } else if (result == qwp::FolderCreation::Created && made.GetCount() < kMaxUndo) {
            made.Add(normal);
        }
    }
    if (out) *out = normal;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Registry

namespace {
bool RootOf(int root, qwp::RegRoot& out)
{
    if (root < kRegClassesRoot || root > kRegLocalMachine) return false;
    out = static_cast<qwp::RegRoot>(root);
    return true;
}

// A value as text; false, with the text the programs show for it, for values that are no text.
bool RegValueToString(const qwp::RegValue& value, CQWF_String& out)
{
    switch (value.type) {
    case qwp::RegType::String:
    case qwp::RegType::ExpandString: {
        std::string text(value.data.begin(), value.data.end());
        size_t zero = text.find('\0');
        if (zero != std::string::npos) text.resize(zero);
        out = text.c_str();
        return true;
    }
    case qwp::RegType::DWord: {
        uint32_t v = 0;
        for (size_t i = 0; i < 4 && i < value.data.size(); ++i) v |= uint32_t(value.data[i]) << (8 * i);
        out.Format("%ld", static_cast<long>(static_cast<int32_t>(v)));
        return true;
    }
    case qwp::RegType::Binary:
        out = "Binary data";
        return false;
    }
    out = "Can't convert to string";
    return false;
}
}  // namespace

bool SplitRegPath(const CQWF_String& path, CQWF_String& key, CQWF_String& value)
{
    int64_t back = path.FindChar('\\', 0, false);
    if (back < 0) {
        key = "";
        value = path;
    } else {
        size_t cut = path.GetLength() - 1 - static_cast<size_t>(back);
        key = path.Left(cut);
        value = path.Mid(cut + 1, path.GetLength());
    }
    return key.GetLength() <= 999 && value.GetLength() <= 999;
}

bool RegReadString(const CQWF_String& path, int root, CQWF_String& out)
{
    qwp::RegRoot r;
    CQWF_String key, name;
    if (!RootOf(root, r) || !SplitRegPath(path, key, name)) return false;
    qwp::RegValue value;
    if (!qwp::RegGetValue(r, key.GetBuffer(), name.GetBuffer(), value)) return false;
    // The value must fit a 256-byte buffer (strings with their terminating zero).
    size_t stored = value.data.size();
    if (value.type == qwp::RegType::String || value.type == qwp::RegType::ExpandString) ++stored;
    if (stored > 256) return false;
    return RegValueToString(value, out);
}

bool RegEnumSubKey(const CQWF_String& key, int root, CQWF_String& out, uint32_t index)
{
    qwp::RegRoot r;
    std::string name;
    if (!RootOf(root, r) || !qwp::RegEnumKey(r, key.GetBuffer(), index, name) || name.size() > 255) return false;
    out = name.c_str();
    return true;
}

bool RegWriteString(const CQWF_String& path, const CQWF_String& text)
{
    CQWF_String key, name;
    if (!SplitRegPath(path, key, name)) return false;
    if (!qwp::RegCreateKey(qwp::RegRoot::LocalMachine, key.GetBuffer())) return false;
    return qwp::RegSetValue(qwp::RegRoot::LocalMachine, key.GetBuffer(), name.GetBuffer(), qwp::RegType::String,
                           text.GetBuffer(), text.GetLength());
}

CQWF_String FirstMissingKey(const CQWF_String& key)
{
    for (size_t i = 0; i <= key.GetLength(); ++i) {
        if (i < key.GetLength() && key.GetBuffer()[i] != '\\') continue;
        CQWF_String part = key.Left(i);
        if (!qwp::RegKeyExists(qwp::RegRoot::LocalMachine, part.GetBuffer())) return part;
    }
    return "";
}

bool IsKeyOnTheWay(const CQWF_String& created, const CQWF_String& key)
{
    const size_t n = created.GetLength();
    return n > 0 && key.GetLength() >= n && key.Left(n).CompareNoCase(created) == 0 &&
           (key.GetLength() == n || key.GetBuffer()[n] == '\\');
}

void RemoveEmptyKeys(const CQWF_String& key, const CQWF_String& created)
{
    const size_t n = created.GetLength();
    if (!IsKeyOnTheWay(created, key)) return;
    CQWF_String k = key;
    for (;;) {
        std::string name;
        if (qwp::RegKeyExists(qwp::RegRoot::LocalMachine, k.GetBuffer())) {
            if (qwp::RegEnumKey(qwp::RegRoot::LocalMachine, k.GetBuffer(), 0, name) ||
                qwp::RegEnumValue(qwp::RegRoot::LocalMachine, k.GetBuffer(), 0, name) ||
                !qwp::RegDeleteKey(qwp::RegRoot::LocalMachine, k.GetBuffer()))
                return;
        }
        if (k.GetLength() <= n) return;
        k = k.Left(k.GetLength() - 1 - static_cast<size_t>(k.FindChar('\\', 0, false)));
    }
}

bool IsPlainName(const CQWF_String& name, CQWF_String* why)
{
    CQWF_String reason;
    const char* p = name.GetBuffer();
    if (name.GetLength() == 0) {
        reason = "empty name";
    } else if (name == "." || name == "..") {
        reason = "\".\" or \"..\" as a name";
    } else {
        for (size_t i = 0; i < name.GetLength() && reason.GetLength() == 0; ++i) {
            unsigned char c = static_cast<unsigned char>(p[i]);
            if (c == ':') reason = "a drive letter or colon";
            else if (c == '\\' || c == '/') reason = "a path separator";
            else if (c == '*' || c == '?') reason = "a wildcard";
            else if (c < 0x20 || c == '"' || c == '<' || c == '>' || c == '|') reason = "a character a file name cannot hold";
        }
        if (reason.GetLength() == 0 && (IsBlank(p[0]) || IsBlank(p[name.GetLength() - 1])))
            reason = "blanks at an end of the name";
    }
    if (why) *why = reason;
    return reason.GetLength() == 0;
}

// ---------------------------------------------------------------------------------------------
// Shortcuts

bool CQWShortcut::GetProgramsFolder(CQWF_String& out, CQWF_String* log) const
{
    static const qwp::SpecialFolder kOrder[] = {qwp::SpecialFolder::CommonPrograms, qwp::SpecialFolder::Programs};
    out = "";
    for (qwp::SpecialFolder which : kOrder) {
        std::string folder = qwp::SpecialFolderPath(which);
        if (!folder.empty()) {
            out = folder.c_str();
            return true;
        }
    }
    if (!log) return false;
    for (qwp::SpecialFolder which : kOrder) {
        std::string location = qwp::SpecialFolderLocation(which);
        CQWF_String made;
        if (location.empty() || !CQWWIN32FileSystem().CreateFolderTree(log, location.c_str(), &made)) continue;
        out = made.Left(made.GetLength() - 1);  // without its trailing backslash, as found ones
        return true;
    }
    return false;
}

bool CQWShortcut::PlanProgramsFolder(CQWF_String& out, CQWF_String& missing) const
{
    missing = "";
    if (GetProgramsFolder(out)) return true;
    for (qwp::SpecialFolder which : {qwp::SpecialFolder::CommonPrograms, qwp::SpecialFolder::Programs}) {
        std::string location = qwp::SpecialFolderLocation(which);
        CQWF_String normal;
        if (location.empty() || !CQWWIN32FileSystem().PlanFolderTree(location.c_str(), missing, &normal)) continue;
        out = normal.Left(normal.GetLength() - 1);
        return true;
    }
    return false;
}

bool CQWShortcut::MakeSubFolder(const CQWF_String& folder, const CQWF_String& name, CQWF_String* path,
                                bool* created) const
{
    CQWF_String full = qwinstall::WithBackslash(folder) + name;
    if (path) *path = full;
    qwp::FolderCreation result = qwp::CreateFolderReport(full.GetBuffer());
    if (created) *created = result == qwp::FolderCreation::Created;
    return result != qwp::FolderCreation::Failed;
}

bool CQWShortcut::WriteLink(const CQWF_String& linkPath, const CQWF_String& target,
                            const CQWF_String& workingFolder) const
{
    qwp::ShellLink link;
    link.target = target.GetBuffer();
    link.workingFolder = workingFolder.GetBuffer();
    return qwp::WriteShellLink(linkPath.GetBuffer(), link);
}

bool CQWShortcut::PrepareLink(const CQWF_String& group, const CQWF_String& name, CQWF_String& linkPath,
                              CQWF_String* groupFolder, bool* groupCreated, CQWF_String* log) const
{
    if (groupCreated) *groupCreated = false;
    // An empty or unsafe group would put links straight into the Programs folder or beside it.
    if (!IsPlainName(group) || !IsPlainName(name)) return false;
    CQWF_String programs, folder;
    if (!GetProgramsFolder(programs, log)) return false;
    if (!MakeSubFolder(programs, group, &folder, groupCreated)) return false;
    if (groupFolder) *groupFolder = folder;
    // The links would go where the link points.
    if (qwp::IsSymbolicLink(folder.GetBuffer())) return false;
    linkPath = qwp::ShellLinkFilePath((folder + "\\" + name).GetBuffer()).c_str();
    return true;
}

bool CQWShortcut::Create(const CQWF_String& target, const CQWF_String& group, const CQWF_String& name,
                         const CQWF_String& workingFolder, CQWF_String* linkPath, bool* groupCreated,
                         CQWF_String* log) const
{
    CQWF_String link;
    if (!PrepareLink(group, name, link, nullptr, groupCreated, log)) return false;
    if (linkPath) *linkPath = link;
    return WriteLink(link, target, workingFolder);
}

// ---------------------------------------------------------------------------------------------

namespace qwinstall {

CQWF_String WithBackslash(const CQWF_String& path)
{
    CQWF_String out = path;
    if (out.GetLength() == 0 || out.GetBuffer()[out.GetLength() - 1] != '\\') out += '\\';
    return out;
}

bool IsInsideFolder(const CQWF_String& path, const CQWF_String& folder)
{
    CQWF_String base = WithBackslash(folder);
    if (folder.GetLength() == 0 || path.GetLength() <= base.GetLength()) return false;
    return qwp::SamePathText(path.Left(base.GetLength()).GetBuffer(), base.GetBuffer());
}

bool IsSameFolder(const CQWF_String& a, const CQWF_String& b)
{
    return a.GetLength() > 0 && b.GetLength() > 0 &&
           qwp::SamePathText(WithBackslash(a).GetBuffer(), WithBackslash(b).GetBuffer());
}

bool LinkBetween(const CQWF_String& folder, const CQWF_String& path)
{
    const size_t start = WithBackslash(folder).GetLength();
    for (size_t i = start; i < path.GetLength(); ++i)
        if (path.GetBuffer()[i] == '\\' && qwp::IsSymbolicLink(path.Left(i).GetBuffer())) return true;
    return false;
}

bool IsHostFolderOf(const CQWF_String& folder, const CQWF_String& inner)
{
    if (!IsPlainAbsolutePath(folder) || !IsPlainAbsolutePath(inner)) return false;
    std::string outer = qwp::ToHostPath(folder.GetBuffer()), path = qwp::ToHostPath(inner.GetBuffer());
    for (std::string* p : {&outer, &path})
        while (!p->empty() && p->back() == '/') p->pop_back();
    return path == outer || path.rfind(outer + '/', 0) == 0;
}

bool IsFolderOfBase(const CQWF_String& folder, const CQWF_String& base, bool orInside)
{
    if (base.GetLength() == 0 || !IsPlainAbsolutePath(folder)) return false;
    if (IsSameFolder(folder, base) || IsInsideFolder(base, folder)) return true;
    return orInside && IsInsideFolder(folder, base) && !LinkBetween(base, WithBackslash(folder));
}

bool IsPlainAbsolutePath(const CQWF_String& path)
{
    const char* p = path.GetBuffer();
    if (path.GetLength() < 3 || !IsLetter(p[0]) || p[1] != ':' || p[2] != '\\') return false;
    size_t start = 3;
    for (size_t i = 3; i <= path.GetLength(); ++i) {
        if (i == path.GetLength() || IsSeparator(p[i])) {
            CQWF_String part = path.Mid(start, i - start);
            part.Trim();
            if (part == "..") return false;
            start = i + 1;
        } else if (p[i] == ':' || p[i] == '*' || p[i] == '?' || p[i] == '"' ||
                   static_cast<unsigned char>(p[i]) < 0x20) {
            return false;
        }
    }
    return true;
}

}  // namespace qwinstall
